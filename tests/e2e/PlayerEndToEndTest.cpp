// The real player on a private X server with a private HOME: it starts with a song, a second
// start hands its song over, lirvo-send controls it, the settings face and the desktop lyric
// show, and "退出" (or SIGTERM) writes the playlist and the settings.

#include "PlayerFixture.h"

namespace {

using namespace lirvo::e2e;

constexpr unsigned long kKeyUp = 0xff52;
constexpr unsigned long kKeyReturn = 0xff0d;

TEST_F(PlayerEndToEnd, StartHandOverControlSettingsLyricAndQuit) {
    StartPlayer(Song("lirvo-demo.ogg"));
    EXPECT_EQ(Send({"cmd", "50"}), "1");

    // A second start hands its song to the running player and ends at once.
    QProcess second;
    EndWithTest(second);
    second.setProcessEnvironment(env_);
    second.start(bin_ + "/lirvo", {Song("second.ogg")});
    ASSERT_TRUE(second.waitForFinished(kPatienceMs));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "2"; }, kPatienceMs));
    EXPECT_EQ(Send({"cmd", "51"}), "1") << "the handed-over song plays";

    ASSERT_TRUE(WaitForStartAnimation())
        << "no main window of 1008 x 768, or its start animation did not end";
    EXPECT_EQ(window_.topLeft(), QPoint((kScreenWidth - 1008) / 2, (kScreenHeight - 768) / 2)) << "centred";
    const QImage main = Shot("main-window.png", window_);
    EXPECT_GT(LitShare(main), 0.002);

    // Pausing changes the play button's picture.
    const QRect playButton(OnScreen(kPanelX + 22, kPanelY + 19), QSize(65, 65));
    const QImage playing = Shot("play-button-playing.png", playButton);
    EXPECT_EQ(Send({"cmd", "16"}), "1");
    EXPECT_TRUE(
        WaitUntil([&] { return Shot("play-button-paused.png", playButton) != playing; }, kPatienceMs));

    // The desktop lyric band along the bottom of the screen shows drawn text.
    const QRect band(25, kScreenHeight - 92, kScreenWidth - 50, 92);
    EXPECT_GT(LitShare(Shot("desktop-lyric.png", band)), 0.005);

    // The settings face: press "设置" and let the turn finish.
    const QRect panel(OnScreen(kPanelX, kPanelY), QSize(380, 115));
    const QImage playerFace = Shot("player-panel.png", panel);
    const QPoint about = OnScreen(kPanelX + 344 + 15, kPanelY + 55 + 15);
    ASSERT_TRUE(x_.Click(about.x(), about.y()));
    Shot("settings-turning.png", window_);
    const QImage settings = WaitForStill("settings-panel.png", panel, [&](const QImage &shot) {
        return ChangedShare(shot, playerFace) > 0.1;
    });
    ASSERT_FALSE(settings.isNull()) << "the panel did not turn to the settings face";
    Shot("settings-face.png", window_);
    EXPECT_NE(settings, main.copy(QRect(panel.topLeft() - window_.topLeft(), panel.size())));

    // "返回" turns back to the player face.
    const QPoint back = OnScreen(kPanelX + 305 + 28, kPanelY + 83 + 11);
    ASSERT_TRUE(x_.Click(back.x(), back.y()));
    ASSERT_FALSE(WaitForStill("player-panel-again.png", panel,
                              [&](const QImage &shot) { return ChangedShare(shot, settings) > 0.1; })
                     .isNull())
        << "the panel did not turn back";

    // "退出" from the main menu writes the playlist and the settings, then the program ends.
    QFile::remove(DataFile("Default.pls"));
    ASSERT_FALSE(QFile::exists(DataFile("Lirvo.xml")));
    ASSERT_TRUE(OpenMainMenu()) << "the main menu did not open";
    Shot("main-menu.png", {});
    ASSERT_TRUE(x_.Key(kKeyUp));
    ASSERT_TRUE(x_.Key(kKeyReturn));
    ASSERT_TRUE(player_.waitForFinished(kPatienceMs)) << "the player did not end";
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
    EXPECT_TRUE(xml.contains("<DESKTOPLRC SHOW=\"1\" LOCK=\"0\" FOLLOW=\"1\"/>"));
}

TEST_F(PlayerEndToEnd, TerminationSignalSavesLikeQuit) {
    StartPlayer(Song("lirvo-demo.ogg"));
    int rc = -1;
    Send({"add", Song("second.ogg")}, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "2"; }, kPatienceMs));
    QFile::remove(DataFile("Default.pls"));
    ASSERT_FALSE(QFile::exists(DataFile("Lirvo.xml")));

    ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal)
        << "the player did not end on SIGTERM";
    EXPECT_EQ(player_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player_.exitCode(), 0);
    QFile playlist(DataFile("Default.pls"));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    EXPECT_TRUE(playlist.readAll().contains(Song("second.ogg").toUtf8()));
    EXPECT_TRUE(QFile::exists(DataFile("Lirvo.xml")));
}

} // namespace
