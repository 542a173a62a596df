// The real player across restarts and at the edges of playback: a song whose name holds the
// characters "・" and "―" still plays after a restart; two broken playlists in a row leave
// two kept copies and a word on the title line; a failed open followed at once by "上一曲"
// does not skip on later; every entry of the preset list takes the pointer.

#include "DesktopSessionFixture.h"

#include <QUrl>

namespace {

using namespace lirvo::e2e;

class RestartEndToEnd : public DesktopSession {
protected:
    void WriteFile(const QString &path, const QByteArray &bytes) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray ReadFile(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    // The title line of the player face, once the start animation has shown it.
    QImage TitleLine(const QString &shot) {
        if (!WaitForStartAnimation())
            ADD_FAILURE() << "no main window, or its start animation did not end";
        return Shot(shot, QRect(OnScreen(kPanelX + 3, kPanelY + 98), QSize(375, 17)));
    }
};

TEST_F(RestartEndToEnd, SongNamedWithGb2312PunctuationPlaysAfterARestart) {
    const QString song = Song("夜・曲―一.ogg");
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), song));
    StartPlayer(song);
    ASSERT_TRUE(CtlSays({"status"}, "Playing"));
    QuitPlayer();
    ASSERT_EQ(SavedPaths(), std::vector<std::string>{song.toStdString()});

    StartPlayerWith({});
    ASSERT_EQ(Send({"cmd", "50"}), "1");
    EXPECT_EQ(Send({"cmd", "16"}), "1"); // the play button
    EXPECT_TRUE(CtlSays({"status"}, "Playing"));
    EXPECT_EQ(Ctl({"metadata", "xesam:url"}), QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded));
}

TEST_F(RestartEndToEnd, TwoBrokenPlaylistsInARowKeepBothCopies) {
    const QString playlist = DataFile("Default.pls");
    const QByteArray first = "<DefaultList><PlayerList><broken first";
    const QByteArray second = "<DefaultList><PlayerList><broken second";
    WriteFile(playlist, first);
    StartPlayerWith({});
    const QImage firstNote = TitleLine("broken-playlist-first.png");
    QuitPlayer();
    EXPECT_EQ(ReadFile(playlist + ".bad"), first);

    WriteFile(playlist, second);
    StartPlayerWith({});
    const QImage secondNote = TitleLine("broken-playlist-second.png");
    QuitPlayer();
    EXPECT_EQ(ReadFile(playlist + ".bad"), first) << "the first copy is never written over";
    EXPECT_EQ(ReadFile(playlist + ".bad.2"), second);

    // A start with a sound playlist shows the slogan; both broken starts showed something else.
    StartPlayerWith({});
    const QImage slogan = TitleLine("sound-playlist.png");
    EXPECT_GT(LitShare(firstNote), 0.02);
    EXPECT_NE(firstNote, slogan);
    EXPECT_NE(secondNote, slogan);
    EXPECT_NE(firstNote, secondNote) << "each note shows the name of its own copy";
}

TEST_F(RestartEndToEnd, PreviousRightAfterAFailedOpenIsNotFollowedByALateSkip) {
    const QString gone = Song("gone.ogg");
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), gone));
    StartPlayer(Song("lirvo-demo.ogg"));
    int rc = -1;
    Send({"add", gone}, &rc);
    ASSERT_EQ(rc, 0);
    Send({"add", Song("second.ogg")}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "3"; }, kPatienceMs));
    ASSERT_TRUE(QFile::remove(gone));

    // "下一曲" opens the missing song, "上一曲" follows at once: the list rests on the first row.
    ASSERT_EQ(Send({"cmd", "20"}), "1");
    ASSERT_EQ(Send({"cmd", "19"}), "1");
    QThread::msleep(1500);
    EXPECT_EQ(Send({"cmd", "51"}), "0");
    EXPECT_EQ(Ctl({"status"}), "Playing");
    EXPECT_EQ(Ctl({"metadata", "xesam:url"}),
              QUrl::fromLocalFile(Song("lirvo-demo.ogg")).toString(QUrl::FullyEncoded));
}

TEST_F(RestartEndToEnd, EveryPresetEntryTakesTheClick) {
    StartPlayer(Song("lirvo-demo.ogg"));
    ASSERT_TRUE(WaitForStartAnimation()) << "no main window, or its start animation did not end";
    const QRect panel(OnScreen(kPanelX, kPanelY), QSize(380, 115));
    const QImage playerFace = Shot("preset-player-panel.png", panel);
    const QPoint about = OnScreen(kPanelX + 344 + 15, kPanelY + 55 + 15);
    ASSERT_TRUE(x_.Click(about.x(), about.y()));
    ASSERT_FALSE(WaitForStill("preset-settings-panel.png", panel,
                              [&](const QImage &shot) { return ChangedShare(shot, playerFace) > 0.1; })
                     .isNull())
        << "the panel did not turn to the settings face";

    // The list opens under its box, one 22-pixel entry per preset; the shipped file has nine.
    constexpr int kPresets = 9;
    const QRect list(OnScreen(kPanelX + 269, kPanelY + 10 + 21), QSize(92, kPresets * 22));
    const QImage closed = Shot("preset-list-closed.png", list);
    const QPoint box = OnScreen(kPanelX + 269 + 46, kPanelY + 10 + 10);
    ASSERT_TRUE(x_.Click(box.x(), box.y()));
    const QImage open = WaitForStill("preset-list-open.png", list,
                                     [&](const QImage &shot) { return ChangedShare(shot, closed) > 0.3; });
    ASSERT_FALSE(open.isNull()) << "the preset list did not open";
    const QPoint last = OnScreen(kPanelX + 269 + 46, kPanelY + 10 + 21 + (kPresets - 1) * 22 + 11);
    ASSERT_TRUE(x_.Click(last.x(), last.y()));
    // The list closes on the choice; the choice is made by then.
    ASSERT_FALSE(WaitForChange("preset-list-chosen.png", list, open, 0.3).isNull())
        << "the list did not close";

    QFile::remove(DataFile("Lirvo.xml"));
    QuitPlayer();
    QFile settings(DataFile("Lirvo.xml"));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("<EQ ID=\"8\"/>")) << "the last preset was chosen";
}

} // namespace
