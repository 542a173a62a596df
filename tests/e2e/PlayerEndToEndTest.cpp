// The real player on a private X server with a private HOME: it starts with a song, a second
// start hands its song over, lirvo-send controls it, the settings face and the desktop lyric
// show, and "退出" (or SIGTERM) writes the playlist and the settings.

#include "XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr unsigned long kKeyUp = 0xff52;
constexpr unsigned long kKeyReturn = 0xff0d;

// Player panel's top-left inside the main window (centre 504, 573; size 380 x 115).
constexpr double kPanelX = 504 - 190;
constexpr double kPanelY = 573 - 57.5;

QString FromEnvironment(const char *name, const char *builtIn) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(builtIn) : value;
}

bool WaitUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QThread::msleep(100);
    }
    return true;
}

class PlayerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        bin_ = FromEnvironment("LIRVO_BIN_DIR", LIRVO_TEST_BIN_DIR);
        shots_ = QStringLiteral(LIRVO_TEST_SHOTS_DIR);
        ASSERT_TRUE(QFile::exists(bin_ + "/lirvo"));
        QDir().mkpath(shots_);
        ASSERT_TRUE(x_.Start(kScreenWidth, kScreenHeight)) << x_.Error().toStdString();

        const QString h = home_.path();
        for (const char *sub : {"Documents", "run", "songs", ".config", ".cache"})
            QDir().mkpath(h + "/" + sub);
        QFile::setPermissions(h + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString demo = FromEnvironment("LIRVO_SOURCE_DIR", LIRVO_TEST_SOURCE_DIR) + "/resources/demo/";
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.ogg", Song("lirvo-demo.ogg")));
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.lrc", Song("lirvo-demo.lrc")));
        ASSERT_TRUE(QFile::copy(demo + "lirvo-demo.ogg", Song("second.ogg")));

        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", h);
        env_.insert("XDG_RUNTIME_DIR", h + "/run");
        env_.insert("XDG_DOCUMENTS_DIR", h + "/Documents");
        env_.insert("XDG_CONFIG_HOME", h + "/.config");
        env_.insert("XDG_CACHE_HOME", h + "/.cache");
        env_.insert("DISPLAY", x_.Display());
        env_.insert("QT_QPA_PLATFORM", "xcb");
        env_.insert("SDL_AUDIODRIVER", "dummy");
        env_.remove("WAYLAND_DISPLAY");
        // The player is a sanitized build too. Its leak check stays off here: at exit Qt's
        // image cache and raster engine leave blocks behind after the application object is
        // gone (and the OpenGL driver, where one is used, is unloaded before the check). The
        // offscreen UI tests check the same window code for leaks.
        env_.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0");
    }

    void TearDown() override {
        if (player_.state() != QProcess::NotRunning) {
            player_.terminate();
            if (!player_.waitForFinished(20000))
                player_.kill();
            player_.waitForFinished(5000);
        }
    }

    QString Song(const char *name) const { return home_.path() + "/songs/" + name; }
    QString DataFile(const char *name) const { return home_.path() + "/Documents/lirvo/" + name; }

    void StartPlayer(const QString &song) {
        player_.setProcessEnvironment(env_);
        player_.setProcessChannelMode(QProcess::ForwardedChannels);
        player_.start(bin_ + "/lirvo", {song});
        ASSERT_TRUE(player_.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return player_.state() != QProcess::Running || Send({"cmd", "15"}) == "1";
            },
            60000))
            << "the player never answered";
        ASSERT_EQ(player_.state(), QProcess::Running)
            << "the player ended early, exit code " << player_.exitCode();
    }

    // Runs lirvo-send; its output, trimmed, or "" when it failed. `exitCode` gets its exit code.
    QString Send(const QStringList &args, int *exitCode = nullptr) {
        QProcess send;
        send.setProcessEnvironment(env_);
        send.start(bin_ + "/lirvo-send", args);
        const bool finished = send.waitForFinished(20000);
        if (exitCode)
            *exitCode = finished ? send.exitCode() : -1;
        if (!finished || send.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(send.readAllStandardOutput()).trimmed();
    }

    // A point of the main window given in its own coordinates, on the screen.
    QPoint OnScreen(double x, double y) const { return window_.topLeft() + QPoint(qRound(x), qRound(y)); }

    QImage Shot(const QString &name, const QRect &area) {
        const QString file = shots_ + "/" + name;
        EXPECT_TRUE(x_.Screenshot(file, area)) << name.toStdString();
        return QImage(file);
    }

    // Share of the picture's pixels that are lit (drawn text and pictures on black).
    static double LitShare(const QImage &image) {
        if (image.isNull())
            return 0;
        qint64 lit = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                lit += qGray(image.pixel(x, y)) > 60;
        return double(lit) / (double(image.width()) * image.height());
    }

    QTemporaryDir home_;
    QString bin_, shots_;
    lirvo::e2e::XSession x_;
    QProcessEnvironment env_;
    QProcess player_;
    QRect window_;
};

TEST_F(PlayerEndToEnd, StartHandOverControlSettingsLyricAndQuit) {
    StartPlayer(Song("lirvo-demo.ogg"));
    EXPECT_EQ(Send({"cmd", "50"}), "1");

    // A second start hands its song to the running player and ends at once.
    QProcess second;
    second.setProcessEnvironment(env_);
    second.start(bin_ + "/lirvo", {Song("second.ogg")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "2"; }, 10000));
    EXPECT_EQ(Send({"cmd", "51"}), "1") << "the handed-over song plays";

    window_ = x_.WindowGeometry("Lirvo4");
    ASSERT_EQ(window_.size(), QSize(1008, 768));
    EXPECT_EQ(window_.topLeft(), QPoint((kScreenWidth - 1008) / 2, (kScreenHeight - 768) / 2)) << "centred";
    QThread::msleep(4000); // start animation: fade-in, then the playlist panel grows
    const QImage main = Shot("main-window.png", window_);
    EXPECT_GT(LitShare(main), 0.002);

    // Pausing changes the play button's picture.
    const QRect playButton(OnScreen(kPanelX + 22, kPanelY + 19), QSize(65, 65));
    const QImage playing = Shot("play-button-playing.png", playButton);
    EXPECT_EQ(Send({"cmd", "16"}), "1");
    EXPECT_TRUE(WaitUntil([&] { return Shot("play-button-paused.png", playButton) != playing; }, 10000));

    // The desktop lyric band along the bottom of the screen shows drawn text.
    const QRect band(25, kScreenHeight - 92, kScreenWidth - 50, 92);
    EXPECT_GT(LitShare(Shot("desktop-lyric.png", band)), 0.005);

    // The settings face: press "设置" and let the turn finish.
    const QPoint about = OnScreen(kPanelX + 344 + 15, kPanelY + 55 + 15);
    ASSERT_TRUE(x_.Click(about.x(), about.y()));
    QThread::msleep(200);
    Shot("settings-turning.png", window_);
    QThread::msleep(2300);
    const QRect panel(OnScreen(kPanelX, kPanelY), QSize(380, 115));
    const QImage settings = Shot("settings-face.png", window_);
    EXPECT_NE(Shot("settings-panel.png", panel),
              main.copy(QRect(panel.topLeft() - window_.topLeft(), panel.size())));

    // "退出" from the main menu writes the playlist and the settings, then the program ends.
    QFile::remove(DataFile("Default.pls"));
    ASSERT_FALSE(QFile::exists(DataFile("Lirvo.xml")));
    const QPoint back = OnScreen(kPanelX + 305 + 28, kPanelY + 83 + 11);
    ASSERT_TRUE(x_.Click(back.x(), back.y()));
    QThread::msleep(2500);
    const QPoint menu = OnScreen(kPanelX + 327 + 10, kPanelY + 3 + 10);
    ASSERT_TRUE(x_.Click(menu.x(), menu.y()));
    QThread::msleep(1500);
    Shot("main-menu.png", {});
    ASSERT_TRUE(x_.Key(kKeyUp));
    QThread::msleep(300);
    ASSERT_TRUE(x_.Key(kKeyReturn));
    ASSERT_TRUE(player_.waitForFinished(30000)) << "the player did not end";
    EXPECT_EQ(player_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player_.exitCode(), 0);

    QFile playlist(DataFile("Default.pls"));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    const QByteArray list = playlist.readAll();
    EXPECT_TRUE(list.contains(Song("lirvo-demo.ogg").toUtf8()));
    EXPECT_TRUE(list.contains(Song("second.ogg").toUtf8()));
    QFile settingsFile(DataFile("Lirvo.xml"));
    ASSERT_TRUE(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray xml = settingsFile.readAll();
    EXPECT_TRUE(xml.contains("<Volume Value=\"65\"/>"));
    EXPECT_TRUE(xml.contains("<DESKTOPLRC SHOW=\"1\"/>"));
}

TEST_F(PlayerEndToEnd, TerminationSignalSavesLikeQuit) {
    StartPlayer(Song("lirvo-demo.ogg"));
    int rc = -1;
    Send({"add", Song("second.ogg")}, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "2"; }, 10000));
    QFile::remove(DataFile("Default.pls"));
    ASSERT_FALSE(QFile::exists(DataFile("Lirvo.xml")));

    ::kill(static_cast<pid_t>(player_.processId()), SIGTERM);
    ASSERT_TRUE(player_.waitForFinished(30000));
    EXPECT_EQ(player_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player_.exitCode(), 0);
    QFile playlist(DataFile("Default.pls"));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    EXPECT_TRUE(playlist.readAll().contains(Song("second.ogg").toUtf8()));
    EXPECT_TRUE(QFile::exists(DataFile("Lirvo.xml")));
}

} // namespace
