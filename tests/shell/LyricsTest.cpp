// The lyric steps around playback: lookup at track start, the line on every step, saving an
// online result, stale lookups, the show-lyrics switch.

#include "ShellTestSupport.h"

#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "update/UpdateState.h"

#include <QDir>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

class LyricsTest : public ShellTest {
protected:
    void PlayRow(int row) {
        main->lstDefaultMouseMove(row);
        main->plst_listItemDblClick();
        ASSERT_TRUE(WaitPlaying(row));
    }
    bool LookupDone() {
        return WaitUntil(
            [&] { return !main->LyricLookupRunning() && lirvo::lyrics::TLyricWorker::ActiveCount() == 0; });
    }
    void StepAt(int seconds) {
        library.SetPositionBytes(Engine().CurrentChannel(), seconds * lirvo::audio::testing::kBytesPerSecond);
        Ticks(10);
    }
    std::vector<std::string> LyricFiles() {
        QStringList names = QDir(QString::fromStdString(main->LyricDir())).entryList({"*.lrc"}, QDir::Files);
        std::vector<std::string> out;
        for (const auto &n : names)
            out.push_back(n.toStdString());
        return out;
    }
};

} // namespace

TEST_F(LyricsTest, LyricBesideTheSongIsLoadedAndFollowsThePosition) {
    const auto song = AddSong("beside.mp3", "Beside", "Me");
    WriteFile(media + "beside.lrc", "[00:01.00]first line\r\n[00:05.00]second line\r\n");
    WritePlaylist({song});
    Create();
    PlayRow(0);
    EXPECT_EQ(view.LastText(), "...");
    int lineSignals = 0;
    QObject::connect(main.get(), &TZylMain::bandLineChanged, [&] { ++lineSignals; });
    ASSERT_TRUE(LookupDone());
    EXPECT_NE(main->Timeline()->LrcText().find("second line"), std::string::npos);
    // What readers outside the window are told: where the lyric came from and the line shown.
    EXPECT_EQ(main->LyricSource(), lirvo::lyrics::TLyricSource::Beside);
    EXPECT_EQ(main->LyricWhere(), media + "beside.lrc");
    StepAt(0);
    EXPECT_EQ(view.LastText(), "first line"); // shown in advance
    EXPECT_EQ(main->BandLineText(), "first line");
    StepAt(6);
    EXPECT_EQ(view.LastText(), "second line");
    EXPECT_EQ(main->BandLineText(), "second line");
    EXPECT_EQ(lineSignals, 2) << "one notice per new line, not per tick";
    // After the track the slogan is the only line while the ticks go on.
    EndTrack();
    Spin(50);
    Ticks(10);
    EXPECT_EQ(view.LastText(), kSloganText);
    EXPECT_EQ(main->BandLineText(), "") << "the slogan is no lyric line";
    EXPECT_EQ(main->LyricSource(), lirvo::lyrics::TLyricSource::None);
}

TEST_F(LyricsTest, OnlineResultIsSavedUnderTitleAndArtistButNothingFoundWritesNoFile) {
    lirvo::update::SetOnlineAllowed(true);
    service->Add("A", "B", "[00:01.00]online line\n");
    const auto found = AddSong("found.mp3", "A", "B"), missing = AddSong("missing.mp3", "Nobody", "Knows");
    WritePlaylist({found, missing});
    Create();
    PlayRow(0);
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(LyricFiles(), std::vector<std::string>{"A - B.lrc"});
    EXPECT_EQ(lirvo::lyrics::ReadLyricFile(main->LyricDir() + "/A - B.lrc"), "[00:01.00]online line\r\n");
    EXPECT_NE(main->Timeline()->LrcText().find("online line"), std::string::npos);

    PlayRow(1);
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(service->Searches(), 2);
    EXPECT_EQ(LyricFiles(), std::vector<std::string>{"A - B.lrc"});
    StepAt(3);
    EXPECT_EQ(view.LastText(), kSloganText); // no lyric anywhere: the slogan

    // The kept lyric is found in the folder next time: no further search.
    PlayRow(0);
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(service->Searches(), 2);
    EXPECT_NE(main->Timeline()->LrcText().find("online line"), std::string::npos);
    EXPECT_EQ(QDir::cleanPath(QString::fromStdString(main->LyricFile())),
              QDir(QString::fromStdString(main->LyricDir())).filePath("A - B.lrc"));
}

TEST_F(LyricsTest, ControlBarShiftIsKeptInTheLyricFileForTheNextPlay) {
    const auto song = AddSong("shift.mp3", "Shift", "Me");
    const std::string lyric = media + "shift.lrc";
    WriteFile(lyric, "[ti:Shift]\n[00:01.00]first line\n[00:05.00]second line\n");
    WritePlaylist({song});
    Create();
    PlayRow(0);
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(main->LyricFile(), lyric);
    main->SetLyricOffset(main->Timeline()->Offset() + 500);
    main->SetLyricOffset(main->Timeline()->Offset() + 500);
    main->SetLyricOffset(main->Timeline()->Offset() - 500);
    main->WaitForLyricWrites();
    EXPECT_EQ(ReadFile(lyric), "[offset:500]\n[ti:Shift]\n[00:01.00]first line\n[00:05.00]second line\n");

    PlayRow(0); // the next play
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(main->Timeline()->Offset(), 500);
    StepAt(5); // 5 s is past the second line's 5 s less the 0.5 s shift
    EXPECT_EQ(view.LastText(), "second line");
}

TEST_F(LyricsTest, LookupThatEndsAfterTheTrackChangedIsNotLoadedButKeptUnderItsOwnSong) {
    lirvo::update::SetOnlineAllowed(true);
    service->Add("First", "S", "[00:01.00]first song text\n");
    service->Add("Second", "S", "[00:01.00]second song text\n");
    const auto first = AddSong("first.mp3", "First", "S"), second = AddSong("second.mp3", "Second", "S");
    WritePlaylist({first, second});
    Create();
    service->Hold();
    PlayRow(0);
    ASSERT_TRUE(WaitUntil([&] { return service->Searches() == 1; }));
    main->btn_nextClick(); // the second song starts while the first lookup waits
    ASSERT_TRUE(WaitPlaying(1));
    EXPECT_TRUE(main->LyricLookupRunning());
    service->Release();
    ASSERT_TRUE(WaitUntil([&] { return service->Searches() == 2; }));
    ASSERT_TRUE(LookupDone());
    EXPECT_EQ(main->Timeline()->LrcText().find("first song text"), std::string::npos);
    EXPECT_NE(main->Timeline()->LrcText().find("second song text"), std::string::npos);
    // Each lyric is kept under the song it was found for, whatever plays when it arrives.
    EXPECT_EQ(LyricFiles(), (std::vector<std::string>{"First - S.lrc", "Second - S.lrc"}));
}

TEST_F(LyricsTest, ShowLyricsSwitchHidesTheBandAndStopsItsUpdates) {
    const auto song = AddSong("s.mp3", "S", "");
    WritePlaylist({song});
    Create();
    ASSERT_TRUE(view.lyricVisible);
    PlayRow(0);
    view.controlBarVisible = true;
    main->chkShowLrcClicked(false);
    EXPECT_FALSE(main->ShowLyrics());
    EXPECT_FALSE(view.lyricVisible);
    EXPECT_EQ(view.controlBarCloses, 1);
    const auto shown = view.texts.size();
    Ticks(20);
    EXPECT_EQ(view.texts.size(), shown);
    main->chkShowLrcClicked(true);
    EXPECT_TRUE(view.lyricVisible);
    EXPECT_EQ(view.controlBarCloses, 1);
    Ticks(10);
    EXPECT_GT(view.texts.size(), shown);
    // The tick is written at the next save.
    main->chkShowLrcClicked(false);
    main->SaveSettings();
    EXPECT_NE(ReadFile(dataDir + "Lirvo.xml").find("SHOW=\"0\""), std::string::npos);
}
