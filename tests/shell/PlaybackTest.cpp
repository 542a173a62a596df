// Transport, play order, ticks and the plug-in messages.

#include "ShellTestSupport.h"

#include "update/UpdateState.h"

using namespace lirvo::shell;
using namespace lirvo::shell::testing;
using lirvo::audio::kStateEnded;
using lirvo::audio::kStatePaused;
using lirvo::audio::kStatePlaying;
using lirvo::audio::kStateStopped;

namespace {

class PlaybackTest : public ShellTest {
protected:
    // Three playable rows (180 s each), or a broken one at `brokenRow`.
    void ThreeRows(int brokenRow = -1) {
        std::vector<std::string> paths;
        for (int i = 0; i < 3; ++i)
            paths.push_back(i == brokenRow ? media + "missing" + std::to_string(i) + ".mp3"
                                           : AddSong("s" + std::to_string(i) + ".mp3",
                                                     "Song " + std::to_string(i), "Singer"));
        WritePlaylist(paths);
        Create();
    }
    void PlayRow(int row) {
        main->lstDefaultMouseMove(row);
        main->plst_listItemDblClick();
    }
    void SetMode(std::uint8_t mode) {
        main->setPlayModeIndex(mode == kPlaySequential ? 0 : mode == kPlayLoopList ? 1 : 2);
        ASSERT_EQ(main->PlayMode(), mode);
    }
    int Count(const std::string &prefix) {
        int n = 0;
        for (const auto &line : PluginLog())
            n += line.rfind(prefix, 0) == 0;
        return n;
    }
};

} // namespace

TEST_F(PlaybackTest, EndOfTrackFollowsThePlayOrderTable) {
    ThreeRows();
    struct Case {
        std::uint8_t mode;
        int from;
        int next; // -1: nothing further plays
    };
    for (const Case &c :
         {Case{kPlaySequential, 1, 2}, Case{kPlaySequential, 2, -1}, Case{kPlayLoopList, 1, 2},
          Case{kPlayLoopList, 2, 0}, Case{kPlayRepeatOne, 1, 1}, Case{kPlayRepeatOne, 2, 2}}) {
        SetMode(c.mode);
        PlayRow(c.from);
        ASSERT_TRUE(WaitPlaying(c.from)) << int(c.mode) << " " << c.from;
        const auto endedStream = Engine().CurrentChannel();
        EndTrack();
        if (c.next < 0) {
            Spin(100);
            EXPECT_EQ(State(), kStateEnded);
            EXPECT_EQ(main->CurrentIndex(), c.from);
            EXPECT_EQ(main->PlayButtonImage(), 0) << "the list has played out: the play picture again";
        } else {
            EXPECT_TRUE(WaitUntil([&] {
                return Engine().CurrentChannel() != endedStream && WaitPlaying(c.next);
            })) << int(c.mode)
                << " " << c.from;
        }
    }
    // After the last row ended in sequential order, play starts that row again.
    SetMode(kPlaySequential);
    PlayRow(2);
    ASSERT_TRUE(WaitPlaying(2));
    EndTrack();
    Spin(50);
    main->btn_playClick();
    EXPECT_TRUE(WaitUntil([&] { return State() == kStatePlaying && main->CurrentIndex() == 2; }));
}

TEST_F(PlaybackTest, FailedOpenSkipsAfterASecondExceptInRepeatOne) {
    ThreeRows(/*brokenRow=*/1);
    SetMode(kPlayLoopList);
    PlayRow(1);
    ASSERT_TRUE(WaitUntil([&] { return main->LanErrTimerActive(); }));
    EXPECT_EQ(State(), lirvo::audio::kStateOpenFailed);
    EXPECT_TRUE(WaitPlaying(2)); // one second later
    EXPECT_FALSE(main->LanErrTimerActive());

    SetMode(kPlayRepeatOne);
    const int ended = Count("109|");
    PlayRow(1);
    ASSERT_TRUE(WaitUntil([&] { return main->LanErrTimerActive(); }));
    ASSERT_TRUE(WaitUntil([&] { return !main->LanErrTimerActive(); }, 3000));
    EXPECT_EQ(Count("109|"), ended + 1);
    EXPECT_EQ(main->CurrentIndex(), 1);
    Spin(200);
    EXPECT_EQ(State(), lirvo::audio::kStateOpenFailed); // play does nothing after a failed open
    main->btn_nextClick();
    EXPECT_TRUE(WaitPlaying(2));

    // An error report with code 0 is no reason to move on.
    main->OnError(kStateEnded, 0);
    EXPECT_FALSE(main->LanErrTimerActive());
}

TEST_F(PlaybackTest, AFailedOpenSaysWhyAndInOrderTheLastRowStopsInsteadOfWrapping) {
    ThreeRows(/*brokenRow=*/2);
    SetMode(kPlaySequential);
    PlayRow(2);
    ASSERT_TRUE(WaitUntil([&] { return main->LanErrTimerActive(); }));
    EXPECT_EQ(main->TitleTextUtf8(), "无法播放《missing2》：文件不存在");
    ASSERT_TRUE(WaitUntil([&] { return !main->LanErrTimerActive(); }, 3000));
    Spin(300);
    EXPECT_EQ(main->CurrentIndex(), 2) << "the first row must not start again";
    EXPECT_EQ(State(), lirvo::audio::kStateOpenFailed);
    EXPECT_EQ(main->PlayButtonImage(), 0);

    // Looping the list, the failure moves on to the first row as before.
    SetMode(kPlayLoopList);
    PlayRow(2);
    EXPECT_TRUE(WaitPlaying(0));
}

// Pressing "previous" at once after a failed open plays that row; the pending skip must not
// move the list on a second later. Nor does a report while connecting start a skip.
TEST_F(PlaybackTest, TheSkipAfterAFailedOpenGivesWayToTheUser) {
    ThreeRows(/*brokenRow=*/1);
    PlayRow(1);
    ASSERT_TRUE(WaitUntil([&] { return main->LanErrTimerActive(); }));
    main->btn_previousClick();
    ASSERT_TRUE(WaitPlaying(0));
    Spin(1500);
    EXPECT_EQ(main->CurrentIndex(), 0);
    EXPECT_EQ(State(), kStatePlaying);

    Engine().State.store(lirvo::audio::kStateConnecting);
    main->OnError(lirvo::audio::kStateConnecting, 1);
    EXPECT_FALSE(main->LanErrTimerActive());
}

TEST_F(PlaybackTest, NextWrapsAndPreviousStopsAtTheFirstRow) {
    ThreeRows();
    for (std::uint8_t mode : {kPlaySequential, kPlayLoopList, kPlayRepeatOne}) {
        SetMode(mode);
        PlayRow(2);
        ASSERT_TRUE(WaitPlaying(2));
        main->btn_nextClick();
        EXPECT_TRUE(WaitPlaying(0)) << int(mode);
    }
    SetMode(kPlaySequential);
    main->btn_previousClick();
    EXPECT_EQ(main->CurrentIndex(), -1);
    // Pressed again, the index stays before the first row rather than going further back.
    main->btn_previousClick();
    main->btn_previousClick();
    EXPECT_EQ(main->CurrentIndex(), -1);
    Spin(50);
    EXPECT_EQ(State(), kStatePlaying); // the song goes on
    EXPECT_TRUE(main->Rows().Row(0).playing);
    EXPECT_EQ(main->WMCMDPLAY(51, 0), -1);
    EXPECT_EQ(main->WMCMDPLAY(50, 0), 3);
    EXPECT_EQ(main->WMCMDPLAY(16, 5), -1);
    EXPECT_EQ(State(), kStatePlaying);
    // The song at row 0 ends while the index is -1: row 0 plays (next of -1).
    EndTrack();
    EXPECT_TRUE(WaitPlaying(0));
    main->btn_previousClick();
    main->btn_nextClick();
    EXPECT_TRUE(WaitPlaying(0));
}

TEST_F(PlaybackTest, NextPressedAgainBeforeTheOpenCompletedPlaysTheRowAfter) {
    ThreeRows();
    PlayRow(0);
    ASSERT_TRUE(WaitPlaying(0));
    main->btn_nextClick();
    main->btn_nextClick(); // row 1's open has not completed yet
    EXPECT_TRUE(WaitPlaying(2));
    Spin(50);
    EXPECT_EQ(State(), kStatePlaying);
    EXPECT_EQ(main->CurrentIndex(), 2);
}

TEST_F(PlaybackTest, PauseAndResumeRerunTheWholeTrackStart) {
    ThreeRows();
    lirvo::update::SetOnlineAllowed(true);
    PlayRow(0);
    ASSERT_TRUE(WaitPlaying(0));
    ASSERT_TRUE(WaitUntil([&] { return !main->LyricLookupRunning(); }));
    EXPECT_EQ(main->PlayButtonImage(), 1);
    EXPECT_EQ(main->TitleTextUtf8(), "Song 0 - Singer");
    EXPECT_EQ(main->ProgressMaximum(), 180000);
    const int searches = service->Searches();
    ASSERT_EQ(Count("108|"), 1);

    main->btn_playClick();
    EXPECT_EQ(State(), kStatePaused);
    EXPECT_EQ(main->PlayButtonImage(), 0);
    main->btn_playClick();
    EXPECT_EQ(State(), kStatePlaying);
    EXPECT_EQ(main->PlayButtonImage(), 1);
    EXPECT_EQ(Count("108|"), 2);
    EXPECT_EQ(view.LastText(), "...");
    EXPECT_TRUE(
        WaitUntil([&] { return service->Searches() == searches + 1 && !main->LyricLookupRunning(); }));

    // A stop shows the play picture again.
    main->Stop();
    EXPECT_EQ(main->PlayButtonImage(), 0);
}

TEST_F(PlaybackTest, PluginMessagesDescribeTheRowAfterThePlayOrderStep) {
    ThreeRows();
    SetMode(kPlayLoopList);
    PlayRow(1);
    ASSERT_TRUE(WaitPlaying(1));
    EndTrack();
    ASSERT_TRUE(WaitPlaying(2));
    auto log = PluginLog();
    // 100, 108 for row 1, then 109 describing row 2 (the row after the step), then 108 for row 2.
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "100");
    EXPECT_EQ(log[1].substr(0, log[1].rfind('|')), "108|" + media + "s1.mp3|Song 1|Singer");
    EXPECT_EQ(log[1].substr(log[1].rfind('|') + 1), "0.002083333"); // 180 s in days
    bool ended = false;
    for (const auto &line : log)
        ended |= line.rfind("109|" + media + "s2.mp3|Song 2|Singer|", 0) == 0;
    EXPECT_TRUE(ended);
    main->FormDestroy();
    EXPECT_EQ(PluginLog().back(), "101");
}

TEST_F(PlaybackTest, TicksAreThinnedAndTheBarMovesOnlyWhenFullyShown) {
    ThreeRows();
    PlayRow(0);
    ASSERT_TRUE(WaitPlaying(0));
    library.SetPositionBytes(Engine().CurrentChannel(), 42 * lirvo::audio::testing::kBytesPerSecond);
    // Align with the counter: tick until a step runs.
    std::size_t texts = view.texts.size();
    for (int i = 0; i < 10 && view.texts.size() == texts; ++i)
        Ticks(1);
    ASSERT_GT(view.texts.size(), texts);
    EXPECT_EQ(main->ProgressValue(), 0); // faded out: untouched
    EXPECT_EQ(view.LastText(), ". . ."); // no lyric lines yet

    main->setProgressOpacity(0.5);
    Ticks(10);
    EXPECT_EQ(main->ProgressValue(), 0);
    main->setProgressOpacity(1.0);
    texts = view.texts.size();
    Ticks(9);
    EXPECT_EQ(main->ProgressValue(), 0);
    EXPECT_EQ(view.texts.size(), texts);
    Ticks(1);
    EXPECT_EQ(main->ProgressValue(), 42000);
    EXPECT_EQ(view.texts.size(), texts + 1);
}

TEST_F(PlaybackTest, SeekMapsTheClickOntoTheTrack) {
    const auto song = AddSong("long.mp3", "Long", "", 200);
    WritePlaylist({song});
    Create();
    PlayRow(0);
    ASSERT_TRUE(WaitPlaying(0));
    ASSERT_EQ(main->ProgressMaximum(), 200000);
    main->tbrmainMouseDown(190, 380);
    EXPECT_EQ(Engine().GetPosition(), 100000);
}

TEST_F(PlaybackTest, PlayModeChangeTakesEffectAtTheNextEnd) {
    ThreeRows();
    SetMode(kPlaySequential);
    PlayRow(2);
    ASSERT_TRUE(WaitPlaying(2));
    main->setPlayModeIndex(1); // "循环" while the last row plays
    main->setPlayModeIndex(5); // not an entry: the mode stays
    EXPECT_EQ(main->PlayMode(), kPlayLoopList);
    EndTrack();
    EXPECT_TRUE(WaitPlaying(0));
}

TEST_F(PlaybackTest, PlayWithNoRowsOrNoRecordDoesNothing) {
    Create();
    main->btn_playClick();
    main->btn_nextClick();
    main->btn_previousClick();
    Spin(50);
    EXPECT_EQ(State(), kStateStopped);
    EXPECT_TRUE(library.StreamsOf("").empty());
    EXPECT_EQ(main->CurrentIndex(), 0);
}

TEST_F(PlaybackTest, NoOutputDeviceKeepsTheRowSaysWhyAndTheNextPlayTriesAgain) {
    ThreeRows();
    SetMode(kPlayLoopList);
    library.deviceAvailable = false;
    PlayRow(1);
    ASSERT_TRUE(WaitUntil([&] { return main->TitleText() == QString::fromUtf8(kNoOutputDeviceText); }));
    Spin(1300); // longer than the skip after a failed open would take
    EXPECT_FALSE(main->LanErrTimerActive());
    EXPECT_EQ(main->CurrentIndex(), 1);
    EXPECT_EQ(State(), kStateStopped);
    EXPECT_EQ(main->PlayButtonImage(), 0);
    EXPECT_EQ(Count("108|"), 0);

    library.deviceAvailable = true; // e.g. the sound server started after the player
    main->btn_playClick();
    EXPECT_TRUE(WaitPlaying(1));
    EXPECT_EQ(main->TitleText(), QString::fromStdString("Song 1 - Singer"));
}

TEST_F(PlaybackTest, FollowingRowIsOpenedAheadAndTakesOverWithoutASecondOpen) {
    ThreeRows();
    SetMode(kPlayLoopList);
    PlayRow(2);
    ASSERT_TRUE(WaitPlaying(2));
    Ticks(10);
    EXPECT_EQ(Engine().QueuedNext(), ""); // far from the end: nothing opened ahead
    library.SetPositionBytes(Engine().CurrentChannel(), 177 * lirvo::audio::testing::kBytesPerSecond);
    Ticks(10);
    EXPECT_EQ(Engine().QueuedNext(), media + "s0.mp3"); // loop order: the first row follows the last
    // The play order changes near the end: what was opened ahead follows it.
    SetMode(kPlaySequential);
    Ticks(10);
    EXPECT_EQ(Engine().QueuedNext(), "");
    SetMode(kPlayRepeatOne);
    Ticks(10);
    EXPECT_EQ(Engine().QueuedNext(), media + "s2.mp3");
    SetMode(kPlayLoopList);
    Ticks(10);
    ASSERT_TRUE(WaitUntil([&] { return Engine().QueuedChannel() != 0; }));
    const auto queued = Engine().QueuedChannel();
    const std::size_t opensOfRow0 = library.StreamsOf(media + "s0.mp3").size();

    const std::size_t logBefore = PluginLog().size();
    EndTrack();
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_EQ(Engine().CurrentChannel(), queued);
    EXPECT_EQ(library.StreamsOf(media + "s0.mp3").size(), opensOfRow0);
    // The usual order of reports: the end message for the row now current, then its start.
    const auto log = PluginLog();
    ASSERT_EQ(log.size(), logBefore + 2);
    EXPECT_EQ(log[logBefore].rfind("109|" + media + "s0.mp3|", 0), 0u) << log[logBefore];
    EXPECT_EQ(log[logBefore + 1].rfind("108|" + media + "s0.mp3|", 0), 0u) << log[logBefore + 1];
    EXPECT_TRUE(main->TrimScheduled()); // the end of a track trims once, ticks never do
}

TEST_F(PlaybackTest, WorkingSetIsTrimmedAfterPlaylistChangesNotByTicks) {
    ThreeRows();
    PlayRow(0);
    ASSERT_TRUE(WaitPlaying(0));
    ASSERT_TRUE(WaitUntil([&] { return !main->TrimScheduled(); }, 3000));
    Ticks(30);
    EXPECT_FALSE(main->TrimScheduled());
    main->AddListRow(4, "New", "", media + "new.mp3");
    EXPECT_TRUE(main->TrimScheduled());
}
