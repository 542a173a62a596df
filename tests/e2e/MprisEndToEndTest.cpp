// The desktop's media-player interface of the real player, driven by playerctl on a private
// session bus: the player is listed, reports status, metadata (Chinese tags, the lyric text),
// position, volume and loop, follows play/pause/next/previous/seek/open, and announces every
// change with PropertiesChanged and every seek with Seeked.

#include "DesktopSessionFixture.h"

#include <QStandardPaths>
#include <QUrl>

#include <csignal>

namespace {

using namespace lirvo::e2e;

TEST_F(DesktopSession, PlayerctlSeesAndDrivesThePlayer) {
    TaggedCopy("夜曲.ogg", "夜曲", "歌手甲", "专辑乙");
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.lrc"), Song("夜曲.lrc")));
    StartPlayer(Song("夜曲.ogg"));
    StartMonitor();

    EXPECT_TRUE(CtlSays({"-l"}, "lirvo")) << Ctl({"-l"}).toStdString();
    ASSERT_TRUE(CtlSays({"status"}, "Playing"));

    // Metadata: every field, with the tags as read and the lyric found beside the song.
    EXPECT_TRUE(CtlSays({"metadata", "xesam:album"}, "专辑乙")) << "the album is read off the main thread";
    EXPECT_EQ(Ctl({"metadata", "xesam:title"}), "夜曲");
    EXPECT_EQ(Ctl({"metadata", "xesam:artist"}), "歌手甲");
    EXPECT_EQ(Ctl({"metadata", "xesam:url"}), QUrl::fromLocalFile(Song("夜曲.ogg")).toString(QUrl::FullyEncoded));
    const qint64 length = Ctl({"metadata", "mpris:length"}).toLongLong();
    EXPECT_GT(length, 25'000'000);
    EXPECT_LT(length, 40'000'000);
    const QString trackId = Ctl({"metadata", "mpris:trackid"});
    EXPECT_TRUE(trackId.contains(QRegularExpression("^.?/net/lirvo/track/t[0-9a-f]{16}_0.?$"))) << trackId.toStdString();
    // A plain line of the demo lyric: the word-timed ones carry their word tags in the text.
    EXPECT_TRUE(WaitUntil([&] { return Ctl({"metadata", "xesam:asText"}).contains("街角的灯 还没睡醒"); }, 15000));

    // Pause and play again, as the play button does.
    Ctl({"pause"});
    EXPECT_TRUE(CtlSays({"status"}, "Paused"));
    Ctl({"play"});
    EXPECT_TRUE(CtlSays({"status"}, "Playing"));
    Ctl({"play-pause"});
    EXPECT_TRUE(CtlSays({"status"}, "Paused"));
    Ctl({"play-pause"});
    EXPECT_TRUE(CtlSays({"status"}, "Playing"));

    // Seek to an absolute position, then forward by an offset.
    Ctl({"position", "12"});
    EXPECT_TRUE(WaitUntil([&] { return Ctl({"position"}).toDouble() >= 12.0; }, 5000)) << Ctl({"position"}).toStdString();
    EXPECT_LT(Ctl({"position"}).toDouble(), 16.0);
    Ctl({"position", "5+"});
    EXPECT_TRUE(WaitUntil([&] { return Ctl({"position"}).toDouble() >= 17.0; }, 5000));

    // Volume 0..1 is the slider's 0..100; loop is the play mode.
    Ctl({"volume", "0.3"});
    EXPECT_TRUE(CtlSays({"volume"}, "0.300000"));
    Ctl({"loop", "Track"});
    EXPECT_TRUE(CtlSays({"loop"}, "Track"));
    Ctl({"loop", "Playlist"});
    EXPECT_TRUE(CtlSays({"loop"}, "Playlist"));
    int rc = 0;
    Ctl({"loop", "Sideways"}, &rc); // refused by playerctl or ignored by the player
    EXPECT_TRUE(CtlSays({"loop"}, "Playlist"));

    // Every change was announced; position changes only through Seeked.
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QString text = MonitorText();
            return text.contains("\"Paused\"") && text.contains("\"Volume\"") && text.contains("\"LoopStatus\"") &&
                   text.contains("\"Track\"") && text.contains("member=Seeked");
        },
        10000))
        << MonitorText().toStdString();
    EXPECT_TRUE(MonitorText().contains("member=PropertiesChanged"));
    EXPECT_FALSE(MonitorText().contains("\"Position\""));

    // The settings file keeps what was set over the bus.
    QuitPlayer();
    QFile settings(DataFile("Lirvo.xml"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray xml = settings.readAll();
    EXPECT_TRUE(xml.contains("<Volume Value=\"30\"")) << xml.toStdString();
    EXPECT_TRUE(xml.contains("<PLAY PATTERN=\"1\"")) << xml.toStdString();
}

TEST_F(DesktopSession, NextPreviousAndOpenUriFollowTheRows) {
    TaggedCopy("一.ogg", "第一首", "甲", "集");
    TaggedCopy("二.ogg", "第二首", "乙", "集");
    TaggedCopy("三.ogg", "第三首", "丙", "集");
    StartPlayer(Song("一.ogg"));
    ASSERT_EQ(StartAnother({"/l", Song("二.ogg")}), 0);
    ASSERT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "2"; }, 15000));
    ASSERT_TRUE(CtlSays({"metadata", "xesam:title"}, "第一首"));
    const QString firstId = Ctl({"metadata", "mpris:trackid"});

    Ctl({"next"});
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "51"}) == "1"; }, 10000));
    EXPECT_TRUE(CtlSays({"metadata", "xesam:title"}, "第二首"));
    EXPECT_TRUE(CtlSays({"status"}, "Playing"));
    EXPECT_NE(Ctl({"metadata", "mpris:trackid"}), firstId);

    Ctl({"previous"});
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "51"}) == "0"; }, 10000));
    EXPECT_TRUE(CtlSays({"metadata", "xesam:title"}, "第一首"));
    EXPECT_EQ(Ctl({"metadata", "mpris:trackid"}), firstId) << "a row keeps its track id";

    // open-uri appends a row and plays it; a scheme the player does not open changes nothing.
    Ctl({"open", QUrl::fromLocalFile(Song("三.ogg")).toString()});
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "3"; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "51"}) == "2"; }, 10000));
    EXPECT_TRUE(CtlSays({"metadata", "xesam:title"}, "第三首"));
    Ctl({"open", "smb://host/share/x.ogg"});
    Ctl({"stop"});
    EXPECT_TRUE(CtlSays({"status"}, "Stopped"));
    EXPECT_EQ(Send({"cmd", "50"}), "3");

    // Calls with wrong types or values are answered with an error or ignored; the player lives on.
    const auto call = [&](const QStringList &args) {
        QProcess send;
        send.setProcessEnvironment(env_);
        send.start("dbus-send", QStringList{"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.lirvo",
                                            "/org/mpris/MediaPlayer2"} +
                                    args);
        send.waitForFinished(10000);
        return send.exitCode();
    };
    EXPECT_NE(call({"org.mpris.MediaPlayer2.Player.Seek", "string:soon"}), 0);
    EXPECT_EQ(call({"org.mpris.MediaPlayer2.Player.Seek", "int64:9223372036854775807"}), 0);
    EXPECT_EQ(call({"org.mpris.MediaPlayer2.Player.Seek", "int64:-9223372036854775808"}), 0);
    EXPECT_EQ(call({"org.mpris.MediaPlayer2.Player.SetPosition", "objpath:/no/such/track", "int64:-5"}), 0);
    EXPECT_EQ(call({"org.mpris.MediaPlayer2.Player.OpenUri", "string:file:///a%00b.ogg"}), 0);
    EXPECT_EQ(call({"org.mpris.MediaPlayer2.Player.OpenUri", "string:"}), 0);
    EXPECT_NE(call({"org.freedesktop.DBus.Properties.Set", "string:org.mpris.MediaPlayer2.Player",
                    "string:Volume", "variant:string:loud"}),
              0);
    EXPECT_EQ(call({"org.freedesktop.DBus.Properties.Set", "string:org.mpris.MediaPlayer2.Player",
                    "string:Volume", "variant:double:nan"}),
              0);
    EXPECT_EQ(Send({"cmd", "50"}), "3");
    EXPECT_EQ(Ctl({"status"}), "Stopped");
    EXPECT_TRUE(CtlSays({"volume"}, "0.650000")) << "a NaN volume is ignored";

    QuitPlayer();
    EXPECT_EQ(SavedPaths(), (std::vector<std::string>{Song("一.ogg").toStdString(), Song("二.ogg").toStdString(),
                                                      Song("三.ogg").toStdString()}));
}

// Another player on the desktop (mpv with its MPRIS script) plays while nothing of ours does:
// the band draws that song's lyric on mpv's clock, the line bus names mpv and follows a seek,
// and the band is cleared when mpv leaves the bus.
TEST_F(DesktopSession, TheBandFollowsAnotherPlayersSong) {
    if (!QFile::exists("/usr/lib/mpv-mpris/mpris.so") || QStandardPaths::findExecutable("mpv").isEmpty())
        GTEST_SKIP() << "mpv with its MPRIS script is not installed";
    const QString song = Song("followed.ogg");
    TaggedCopy("followed.ogg", "Followed", "Elsewhere", "Album");
    QFile lyric(Song("followed.lrc"));
    ASSERT_TRUE(lyric.open(QIODevice::WriteOnly));
    QByteArray lines;
    for (int i = 0; i < 30; ++i)
        lines += QStringLiteral("[00:%1.00]\u25A0\u25A0 line %2 \u25A0\u25A0\n").arg(i * 2, 2, 10, QLatin1Char('0')).arg(i).toUtf8();
    lyric.write(lines);
    lyric.close();
    StartPlayerWith({});

    QProcess mpv;
    EndWithTest(mpv);
    mpv.setProcessEnvironment(env_);
    mpv.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mpv.start("mpv", {"--no-config", "--load-scripts=no", "--script=/usr/lib/mpv-mpris/mpris.so", "--ao=null",
                      "--vo=null", "--really-quiet", "--loop-file=inf", song});
    ASSERT_TRUE(mpv.waitForStarted(10000));

    auto now = [&] {
        QProcess reader;
        EndWithTest(reader);
        reader.setProcessEnvironment(env_);
        reader.start(bin_ + "/lirvo-lyrics", {"now"});
        if (!reader.waitForFinished(20000))
            StopProcess(reader, 0);
        return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
    };
    auto property = [&](const char *name) {
        QProcess get;
        EndWithTest(get);
        get.setProcessEnvironment(env_);
        get.start("dbus-send", {"--session", "--print-reply=literal", "--dest=net.lirvo.Lirvo", "/net/lirvo/Lyrics",
                                "org.freedesktop.DBus.Properties.Get", "string:net.lirvo.Lyrics1",
                                QStringLiteral("string:%1").arg(QLatin1String(name))});
        get.waitForFinished(10000);
        return QString::fromUtf8(get.readAllStandardOutput()).trimmed();
    };
    ASSERT_TRUE(WaitUntil([&] { return now().contains(" line "); }, kPatienceMs)) << now().toStdString();
    EXPECT_TRUE(property("Player").contains("org.mpris.MediaPlayer2.mpv")) << property("Player").toStdString();
    EXPECT_TRUE(property("Source").contains("beside:" + Song("followed.lrc"))) << property("Source").toStdString();
    EXPECT_TRUE(property("Title").contains("Followed"));

    // The band draws the line: ink where it sits at the bottom of the screen.
    const QRect band(25, kScreenHeight - 92, kScreenWidth - 50, 92);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const QImage shot = Shot("follow-band.png", band);
            int lit = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    lit += qGray(shot.pixel(x, y)) > 60;
            return lit > 300;
        },
        kPatienceMs))
        << "the band drew no line for mpv's song";

    // A seek in mpv moves the line: 21 s is line 10.
    QProcess seek;
    EndWithTest(seek);
    seek.setProcessEnvironment(env_);
    seek.start("playerctl", {"-p", "mpv", "position", "21"});
    ASSERT_TRUE(seek.waitForFinished(20000));
    EXPECT_TRUE(WaitUntil([&] { return now().contains("line 10 "); }, kPatienceMs)) << now().toStdString();
    const qint64 clock = property("Position").section(' ', -1).toLongLong();
    EXPECT_GE(clock, 20500) << property("Position").toStdString();
    EXPECT_LT(clock, 26000);

    // mpv leaves the bus: nothing is followed, the line is gone.
    StopProcess(mpv, 10000);
    EXPECT_TRUE(WaitUntil([&] { return now().isEmpty(); }, kPatienceMs)) << now().toStdString();
    EXPECT_FALSE(property("Player").contains("mpv"));
}

} // namespace
