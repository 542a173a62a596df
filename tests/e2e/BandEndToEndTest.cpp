// The desktop lyric band of the real player under Xvfb: the demo lyric's word-timed lines are
// swept while they play and stand still when paused, its translations show in a second row, and
// the lock from the main menu makes the band click-through and is kept in the settings.

#include "PlayerFixture.h"

#include "../lyricservices/LyricStandIns.h"
#include "storage/UDDXMLCFG.h"

#include <memory>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

using namespace lirvo::e2e;

constexpr unsigned long kKeyUp = 0xff52;
constexpr unsigned long kKeyReturn = 0xff0d;

// Where the band sits: along the bottom of the screen, 25 pixels in from either side.
const QRect kBand(25, kScreenHeight - 92, kScreenWidth - 50, 92);

// Pixels of the warm sung fill (orange to yellow); the plain fill is blue to green.
int WarmPixels(const QImage &image) {
    int warm = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            warm += qRed(p) > 200 && qBlue(p) < 110 && qGreen(p) > 60;
        }
    return warm;
}

// Lit pixels in rows [top, bottom) of the picture.
int LitInRows(const QImage &image, int top, int bottom) {
    int lit = 0;
    for (int y = top; y < std::min(bottom, image.height()); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 60;
    return lit;
}

TEST_F(PlayerEndToEnd, BandSweepsWordTimedLinesAndShowsTranslations) {
    // One slow word-timed line of solid squares over the whole song, with a translation: the
    // sweep moves about a square every three seconds, whenever the screenshots come.
    {
        QFile lyric(Song("lirvo-demo.lrc"));
        ASSERT_TRUE(lyric.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray line = "[00:00.50]";
        for (int i = 0; i < 10; ++i)
            line += QStringLiteral("<00:%1.50>\u25A0\u25A0 ").arg(i * 3, 2, 10, QLatin1Char('0')).toUtf8();
        line += "<00:30.50>\n[00:00.50]Squares in a row\n";
        lyric.write(line);
    }
    StartPlayer(Song("lirvo-demo.ogg"));
    // The player answers before its band shows and its engine (loaded after the window) plays:
    // the line is on the band once its translation row is drawn and its sweep has begun.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QImage shot = Shot("band-start.png", kBand);
            return LitInRows(shot, 46, 92) > 200 && WarmPixels(shot) > 0;
        },
        kPatienceMs))
        << "the word-timed line did not show";
    std::vector<int> warm;
    int translated = 0;
    for (int i = 0; i < 6; ++i) {
        const QImage shot = Shot(QStringLiteral("band-%1.png").arg(i), kBand);
        warm.push_back(WarmPixels(shot));
        translated += LitInRows(shot, 46, 92) > 200;
        QThread::msleep(700);
    }
    int growing = 0, best = 0;
    for (std::size_t i = 1; i < warm.size(); ++i) {
        growing = warm[i] > warm[i - 1] && warm[i - 1] > 0 ? growing + 1 : 0;
        best = std::max(best, growing);
    }
    EXPECT_GE(best, 2) << "the sung part grows over three shots in a row";
    EXPECT_GE(translated, 5) << "the translation shows in the second row";

    // Paused, the sweep stands still (once a frame drawn before the pause has reached the
    // screen); playing again, it moves on.
    ASSERT_EQ(Send({"cmd", "16"}), "1");
    const QImage paused = WaitForStill("band-paused-1.png", kBand);
    ASSERT_FALSE(paused.isNull()) << "the sweep went on while paused";
    QThread::msleep(1500);
    EXPECT_EQ(Shot("band-paused-2.png", kBand), paused);
    EXPECT_GT(WarmPixels(paused), 0);
    ASSERT_EQ(Send({"cmd", "16"}), "1");
    EXPECT_TRUE(WaitUntil([&] { return WarmPixels(Shot("band-resumed.png", kBand)) > WarmPixels(paused); },
                          kPatienceMs));
}

// A song with no lyric of its own: the lyric comes from a NetEase stand-in, word-timed (yrc)
// with its translation (ytlrc), is swept on the band with the translation under it, and is kept
// in the lyric folder, so a second start without the service shows the same.
TEST_F(PlayerEndToEnd, LyricFromNeteaseIsSweptWithItsTranslationAndKeptForOfflinePlays) {
    const QString song = Song("wind.ogg");
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=330:duration=40' "
                             "-metadata title=晚风 -metadata artist=林某 '" + song.toStdString() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    auto netease = std::make_unique<lirvo::lyrics::testing::NeteaseStandIn>();
    std::string yrc = "[500,30000]";
    for (int i = 0; i < 10; ++i)
        yrc += "(" + std::to_string(500 + i * 3000) + ",3000,0)\u25A0\u25A0 ";
    lirvo::lyrics::testing::NeteaseSong entry;
    entry.Id = 2026121;
    entry.Name = "晚风";
    entry.Artist = "林某";
    entry.DurationMs = 40000;
    entry.Lrc = "[00:00.50]\u25A0\u25A0\n";
    entry.Yrc = yrc;
    entry.Ytlrc = "[00:00.500]Squares in a row\n";
    netease->Songs = {entry};
    {
        QDir().mkpath(DataFile(""));
        lirvo::storage::TDKConfig config(DataFile("Lirvo.xml").toStdString(), "MainConfig");
        config.WriteString("Network/NETEASE", "URL", netease->Url());
        config.WriteString("Network/LYRICSOURCES", "ORDER", "netease");
        config.Save();
    }
    auto bandShowsTheLine = [&](const char *name) {
        return WaitUntil(
            [&] {
                const QImage shot = Shot(QString::fromLatin1(name), kBand);
                return LitInRows(shot, 46, 92) > 200 && WarmPixels(shot) > 0;
            },
            kPatienceMs);
    };

    StartPlayer(song);
    ASSERT_TRUE(bandShowsTheLine("online-band.png")) << "the online lyric did not show";
    const int warmBefore = WarmPixels(Shot("online-band-1.png", kBand));
    EXPECT_TRUE(WaitUntil([&] { return WarmPixels(Shot("online-band-2.png", kBand)) > warmBefore; }, kPatienceMs))
        << "the sweep moves";
    EXPECT_EQ(netease->BadSeals.load(), 0);
    const QString kept = DataFile("lrc/晚风 - 林某.lrc");
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(kept); }, kPatienceMs));
    ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal);

    // Offline: the service is gone, the kept file serves.
    const int asked = netease->RequestCount();
    netease.reset();
    StartPlayer(song);
    ASSERT_TRUE(bandShowsTheLine("offline-band.png")) << "the kept lyric did not show";
    EXPECT_GE(asked, 2);
}

TEST_F(PlayerEndToEnd, LockFromTheMenuMakesTheBandClickThroughAndIsKept) {
    // A lyric of solid squares for the whole song, so the pointer surely rests on a glyph.
    {
        QFile lyric(Song("lirvo-demo.lrc"));
        ASSERT_TRUE(lyric.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lyric.write("[00:00.10]\xe2\x96\xa0\xe2\x96\xa0\xe2\x96\xa0\xe2\x96\xa0\xe2\x96\xa0\xe2\x96\xa0\n");
    }
    // Started locked, as the settings say.
    QDir().mkpath(home_.path() + "/Documents/lirvo");
    {
        QFile settings(DataFile("Lirvo.xml"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n"
                       "<MainConfig><Window><DESKTOPLRC SHOW=\"1\" LOCK=\"1\"/></Window></MainConfig>\n");
    }
    StartPlayer(Song("lirvo-demo.ogg"));
    ASSERT_TRUE(WaitForStartAnimation()) << "no main window, or its start animation did not end";
    // The control bar's button strip lies above the band's centre.
    const QRect strip(kScreenWidth / 2 - 152, kBand.top() - 59 + 10, 305, 35);
    const QPoint onGlyph(kScreenWidth / 2, kBand.top() + 22);
    const auto lit = [](const QImage &image, QPoint at) {
        return image.rect().contains(at) && qGray(image.pixel(at)) > 60;
    };
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QImage band = Shot("locked-band.png", kBand);
            return LitShare(band) > 0.01 && lit(band, onGlyph - kBand.topLeft()) &&
                   lit(band, onGlyph - QPoint(40, 0) - kBand.topLeft());
        },
        kPatienceMs))
        << "the squares are drawn under the pointer's places";
    // The bar comes up while the pointer moves over the text and hides itself a second or two
    // after the pointer rests, so the pointer moves again before every screenshot of the strip.
    // The largest lit share of the strip seen within `ms`, ending early once the bar shows.
    const auto hoverAndLook = [&](const QString &name, int ms) {
        double most = 0;
        WaitUntil(
            [&] {
                x_.MoveTo(onGlyph.x() - 40, onGlyph.y());
                x_.MoveTo(onGlyph.x(), onGlyph.y());
                most = std::max(most, LitShare(Shot(name, strip)));
                return most > 0.01;
            },
            ms);
        return most;
    };
    EXPECT_LT(hoverAndLook("locked-strip.png", 4000), 0.001) << "locked: no control bar";

    // Unlock from the main menu ("锁定桌面歌词" is the second item from the bottom).
    x_.MoveTo(10, 10);
    ASSERT_TRUE(OpenMainMenu()) << "the main menu did not open";
    Shot("lock-menu.png", {});
    ASSERT_TRUE(x_.Key(kKeyUp));
    ASSERT_TRUE(x_.Key(kKeyUp));
    ASSERT_TRUE(x_.Key(kKeyReturn));
    EXPECT_GT(hoverAndLook("unlocked-strip.png", kPatienceMs), 0.01)
        << "unlocked: the bar comes up over the text";

    // The state is written with the other settings.
    ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal)
        << "the player did not end on SIGTERM";
    QFile settings(DataFile("Lirvo.xml"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("LOCK=\"0\""));
}

} // namespace

namespace {

using namespace lirvo::e2e;

// Weston on the private X server (its x11 backend) with XWayland: a Wayland session in which the
// player is started as a desktop session would start it.
class WaylandSession : public PlayerEndToEnd {
protected:
    static constexpr int kWidth = 1200;
    static constexpr int kHeight = 900;

    void SetUp() override {
        PlayerEndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        if (QStandardPaths::findExecutable("weston").isEmpty() ||
            QStandardPaths::findExecutable("Xwayland").isEmpty())
            GTEST_SKIP() << "weston or Xwayland is not installed";
        socket_ = QStringLiteral("wayland-lirvo-%1").arg(QCoreApplication::applicationPid());
        log_ = home_.path() + "/weston.log";
        QProcessEnvironment env = env_;
        env.insert("DISPLAY", x_.Display());
        env.remove("WAYLAND_DISPLAY");
        EndWithTest(weston_);
        weston_.setProcessEnvironment(env);
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        weston_.setStandardOutputFile(home_.path() + "/weston.out");
        weston_.start("weston", {"--backend=x11-backend.so", "--xwayland", "--use-pixman", "--idle-time=0",
                                 "--socket=" + socket_, QStringLiteral("--width=%1").arg(kWidth),
                                 QStringLiteral("--height=%1").arg(kHeight), "--log=" + log_});
        ASSERT_TRUE(weston_.waitForStarted(10000));
        // Weston names the display of its X server in its log.
        const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
        ASSERT_TRUE(WaitUntil(
            [&] {
                QFile file(log_);
                if (!file.open(QIODevice::ReadOnly))
                    return false;
                const auto m = listening.match(QString::fromUtf8(file.readAll()));
                if (m.hasMatch())
                    xwayland_ = m.captured(1);
                return m.hasMatch() || weston_.state() != QProcess::Running;
            },
            kPatienceMs));
        ASSERT_FALSE(xwayland_.isEmpty()) << "weston did not start its X server";
        env_.insert("WAYLAND_DISPLAY", socket_);
        env_.insert("XDG_SESSION_TYPE", "wayland");
        env_.insert("DISPLAY", xwayland_);
        env_.remove("QT_QPA_PLATFORM");
    }

    void TearDown() override {
        PlayerEndToEnd::TearDown();
        StopProcess(weston_, 10000);
    }

    // Geometry of the first window on the XWayland display whose name starts with `title`.
    QRect XWaylandWindow(const QString &title) {
        QProcess info;
        EndWithTest(info);
        info.start("xwininfo", {"-display", xwayland_, "-root", "-tree"});
        if (!info.waitForFinished(10000))
            return {};
        const QRegularExpression line(
            QStringLiteral("\"%1[^\"]*\".*\\s(\\d+)x(\\d+)[+-]-?\\d+[+-]-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)")
                .arg(QRegularExpression::escape(title)));
        for (const QString &text : QString::fromLocal8Bit(info.readAllStandardOutput()).split('\n')) {
            const auto m = line.match(text);
            if (m.hasMatch())
                return QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(),
                             m.captured(2).toInt());
        }
        return {};
    }

    QString socket_, log_, xwayland_;
    QProcess weston_;
};

// Left-most and right-most columns of lyric glyphs in a picture (right is -1 when none).
std::pair<int, int> LitSpan(const QImage &image) {
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            // The plain fill (blue to green) or the sung one (orange to yellow), not the desktop.
            const QRgb p = image.pixel(x, y);
            if (qBlue(p) - qRed(p) > 80 || (qRed(p) > 200 && qBlue(p) < 110)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return {left, right};
}

TEST_F(WaylandSession, BandIsAnX11WindowAtTheBottomOfTheScreenAndLeavesNoOldLines) {
    StartPlayer(Song("lirvo-demo.ogg"));
    // The band is an X11 window on the XWayland display, along the bottom of its screen.
    QRect band;
    ASSERT_TRUE(WaitUntil([&] { return !(band = XWaylandWindow("lirvo 桌面歌词")).isEmpty(); }, kPatienceMs))
        << "no band on the XWayland display";
    EXPECT_EQ(band.x(), 25);
    EXPECT_EQ(band.width(), kWidth - 50);
    EXPECT_EQ(band.y() + band.height(), kHeight);
    EXPECT_FALSE(XWaylandWindow("Lirvo4").isEmpty()) << "the main window is an X11 window too";

    // What the compositor shows: weston's output lies at the top left of the private X server.
    // Lines follow each other; a shorter line after a longer one must look shorter (a band that
    // is not cleared keeps the old glyphs around the new ones). The song lasts 32 s; a shorter
    // line follows a longer one within its first 10 s.
    int widest = 0;
    bool shrank = false;
    QElapsedTimer clock;
    clock.start();
    int shot = 0;
    while (clock.elapsed() < 40000 && !shrank) {
        const QImage image =
            Shot(QStringLiteral("wayland-band-%1.png").arg(shot++, 2, 10, QLatin1Char('0')), band);
        const auto [left, right] = LitSpan(image.copy(0, 0, image.width(), 46));
        if (right >= 0) {
            const int width = right - left;
            shrank = widest - width > 40;
            widest = std::max(widest, width);
        }
        QThread::msleep(400);
    }
    EXPECT_GT(widest, 100) << "lyric lines are shown";
    EXPECT_TRUE(shrank) << "a shorter line replaced a longer one without leftovers";
}

} // namespace
