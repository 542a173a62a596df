// Adding, deleting, clearing and double-clicking rows; the playlist file after each change;
// the command messages through the controller.

#include "ShellTestSupport.h"

#include "lyrics/core/LrcClass.h"
#include "shell/command/CommandBlock.h"
#include "shell/command/LocalPlaylist.h"
#include "storage/UDDPlayerlist.h"

#include <cstring>
#include <thread>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;
using lirvo::audio::kStatePlaying;
using lirvo::audio::kStateStopped;

namespace {

class PlaylistTest : public ShellTest {
protected:
    std::vector<std::string> SavedPaths() {
        lirvo::storage::TDKPlist list(main->PlaylistPath(), "DefaultList");
        list.LoadList("PlayerList");
        std::vector<std::string> paths;
        for (const auto &entry : list.Entries())
            paths.push_back(entry.Path);
        return paths;
    }
    std::vector<int> Numbers() {
        std::vector<int> numbers;
        for (const auto &row : main->Rows().Rows())
            numbers.push_back(row.number);
        return numbers;
    }
    // Five rows loaded from the file, row `playing` playing.
    void FiveRowsPlaying(int playing) {
        std::vector<std::string> paths;
        for (int i = 0; i < 5; ++i)
            paths.push_back(AddSong("r" + std::to_string(i) + ".mp3", "R" + std::to_string(i), "A"));
        WritePlaylist(paths);
        Create();
        main->lstDefaultMouseMove(playing);
        main->plst_listItemDblClick();
        ASSERT_TRUE(WaitPlaying(playing));
    }
    void Delete(int row, int answer) {
        view.answers.push_back(answer);
        main->lstDefaultMouseMove(row);
        main->pmdel_delselectClick();
    }
};

} // namespace

TEST_F(PlaylistTest, AddingToAnEmptyListNumbersInDialogOrderAndPlaysTheFirst) {
    Create();
    const auto a = AddSong("a.mp3", "Alpha", "X"), b = AddSong("b.mp3", "Beta", ""), c = AddSong("c.mp3");
    AddThroughDialog({c, a, b});
    EXPECT_EQ(view.dialogFilters.back(), lirvo::command::FilterWithPlaylists(Engine().Filter));
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(main->Records()[0].Path, c);
    EXPECT_EQ(main->Records()[1].Caption, "Alpha - X");
    EXPECT_EQ(main->Records()[2].Caption, "Beta"); // no artist: no " - "
    EXPECT_EQ(main->Records()[0].Caption, "c");    // no title tag: the file name
    EXPECT_TRUE(WaitPlaying(0));
    EXPECT_EQ(main->Rows().Row(0).playing, true);
    EXPECT_TRUE(main->PlaylistVisible());
    EXPECT_EQ(SavedPaths(), (std::vector<std::string>{c, a, b}));

    // Two more to the three: numbered 4 and 5, playback untouched.
    const auto stream = Engine().CurrentChannel();
    const auto d = AddSong("d.mp3", "  \t", "Artist D"), e = media + "no-such-file.flac";
    AddThroughDialog({d, e});
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(main->Records()[3].Caption, "d - Artist D"); // blank title tag
    EXPECT_EQ(main->Records()[4].Caption, "no-such-file"); // unreadable file, still added
    EXPECT_EQ(Engine().CurrentChannel(), stream);
    EXPECT_EQ(main->CurrentIndex(), 0);
    EXPECT_EQ(SavedPaths().size(), 5u);

    // A cancelled dialog changes nothing.
    view.dialogResults.push_back(std::nullopt);
    main->lbl_openClick();
    Spin(20);
    EXPECT_EQ(main->RowCount(), 5);
}

TEST_F(PlaylistTest, AChosenLocalPlaylistAddsItsEntriesInItsPlace) {
    Create();
    const auto a = AddSong("a.mp3", "Alpha", "X"), b = AddSong("b.mp3", "Beta", "Y"), c = AddSong("c.mp3");
    const std::string list = media + "list.m3u8";
    WriteFile(list, "#EXTM3U\n#EXTINF:12,歌手 - 夜曲\nb.mp3\nmissing.mp3\n" + a + "\n");
    view.dialogResults.push_back(std::vector<std::string>{c, list});
    main->lbl_openClick();
    ASSERT_TRUE(WaitUntil([&] { return main->RowCount() == 3; }));
    Spin(20);
    ASSERT_EQ(main->RowCount(), 3); // the playlist itself and its missing entry are no rows
    EXPECT_EQ(main->Records()[0].Path, c);
    EXPECT_EQ(main->Records()[1].Path, b);
    EXPECT_EQ(main->Records()[1].Caption, "夜曲 - 歌手"); // the playlist's title wins over the tags
    EXPECT_EQ(main->Records()[2].Caption, "Alpha - X");
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3}));
    EXPECT_NE(view.dialogFilters.back().find("*.m3u;*.m3u8;*.pls"), std::string::npos);
}

TEST(AskDeleteTextTest, NamesTheTitleElseTheCaptionElseTheFileName) {
    EXPECT_EQ(AskDeleteText("夜曲", "夜曲 - 歌手", "/m/x.mp3"), "确定要删除《夜曲》吗？");
    EXPECT_EQ(AskDeleteText(" ", "Caption", "/m/x.mp3"), "确定要删除《Caption》吗？");
    EXPECT_EQ(AskDeleteText("", "", "/music/a b.flac"), "确定要删除《a b.flac》吗？");
    EXPECT_EQ(AskDeleteText("", "", "http://host/"), "确定要删除《http://host/》吗？")
        << "an address without a file name is named whole";
}

TEST_F(PlaylistTest, DeletingARowAboveThePlayingOneKeepsPlayingAndRenumbers) {
    FiveRowsPlaying(3);
    const auto stream = Engine().CurrentChannel();
    const auto playingPath = main->Records()[3].Path;
    Delete(1, IMainView::kYes);
    EXPECT_EQ(view.asked.back(), "确定要删除《R1》吗？") << "the question names the song";
    EXPECT_EQ(main->CurrentIndex(), 2);
    EXPECT_EQ(main->Records()[2].Path, playingPath);
    EXPECT_TRUE(main->Rows().Row(2).playing);
    EXPECT_EQ(Engine().CurrentChannel(), stream);
    EXPECT_EQ(State(), kStatePlaying);
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(SavedPaths().size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(main->Records()[static_cast<std::size_t>(i)].Path, main->Rows().Row(i).path);

    // "No" changes nothing, for delete and for clear.
    Delete(0, IMainView::kNo);
    view.answers.push_back(IMainView::kNo);
    main->pmdel_clearlistClick();
    EXPECT_EQ(view.asked.back(), kAskClearText);
    EXPECT_EQ(main->RowCount(), 4);
    EXPECT_EQ(main->CurrentIndex(), 2);
    EXPECT_EQ(State(), kStatePlaying);
}

TEST_F(PlaylistTest, DeletingThePlayingLastRowStopsAndPlayThenDoesNothingUntilNext) {
    FiveRowsPlaying(4);
    Delete(4, IMainView::kYes);
    EXPECT_EQ(State(), kStateStopped);
    EXPECT_EQ(main->CurrentIndex(), 4); // names no row now
    EXPECT_EQ(main->Timeline()->LrcText(), "");
    main->btn_playClick();
    Spin(50);
    EXPECT_EQ(State(), kStateStopped);
    main->btn_nextClick();
    EXPECT_TRUE(WaitPlaying(0));
}

TEST_F(PlaylistTest, WhileTheConfirmationIsOpenThePointerDoesNotChangeTheSelection) {
    FiveRowsPlaying(0);
    main->lstDefaultMouseMove(2);
    main->pmdel_delselectClick(); // no answer queued: the popup stays open
    ASSERT_TRUE(view.IsConfirmationOpen());
    main->lstDefaultMouseMove(4);
    EXPECT_EQ(main->Rows().SelectedIndex(), 2);
    view.Answer(IMainView::kYes);
    EXPECT_EQ(main->RowCount(), 4);
    EXPECT_EQ(main->Records()[2].Title, "R3");
}

// "Next" while the question is open selects the new playing row; "是" still deletes the row whose
// button was clicked.
TEST_F(PlaylistTest, DeleteRemovesTheButtonsOwnRowWhateverIsSelectedMeanwhile) {
    FiveRowsPlaying(3);
    main->lstDefaultMouseMove(1);
    main->pmdel_delselectClick();
    ASSERT_TRUE(view.IsConfirmationOpen());
    main->btn_nextClick();
    ASSERT_TRUE(WaitPlaying(4));
    EXPECT_EQ(main->Rows().SelectedIndex(), 4);
    view.Answer(IMainView::kYes);
    ASSERT_EQ(main->RowCount(), 4);
    EXPECT_EQ(main->Records()[1].Title, "R2");
    EXPECT_EQ(main->Records()[3].Title, "R4");
    EXPECT_EQ(main->CurrentIndex(), 3);
    EXPECT_EQ(State(), kStatePlaying);
}

// A file name that is not UTF-8 could not survive the playlist file: it is refused with a word
// on the title line instead of being stored broken.
TEST_F(PlaylistTest, NamesThatAreNotUtf8AreRefusedWithAMessage) {
    const auto first = AddSong("first.mp3", "First", "X");
    WritePlaylist({first}); // a list that is not empty: adding plays nothing
    Create();
    const auto good = AddSong("good.mp3", "Good", "X");
    const auto bad = AddSong("bad\xB2\xE2.mp3", "Bad", "X");
    view.dialogResults.push_back(std::vector<std::string>{bad, good});
    main->lbl_openClick();
    ASSERT_TRUE(WaitUntil([&] { return main->RowCount() == 2; }));
    Spin(100);
    EXPECT_EQ(main->RowCount(), 2);
    EXPECT_EQ(SavedPaths(), (std::vector<std::string>{first, good}));
    EXPECT_NE(main->TitleTextUtf8().find("1 个文件"), std::string::npos) << main->TitleTextUtf8();
}

TEST_F(PlaylistTest, ClearingStopsShowsTheInvitationAndTheNextAdditionPlays) {
    FiveRowsPlaying(2);
    view.answers.push_back(IMainView::kYes);
    main->pmdel_clearlistClick();
    EXPECT_EQ(State(), kStateStopped);
    EXPECT_EQ(main->RowCount(), 0);
    EXPECT_TRUE(main->Records().empty());
    EXPECT_FALSE(main->PlaylistVisible());
    EXPECT_EQ(main->CurrentIndex(), 2); // kept
    EXPECT_TRUE(SavedPaths().empty());
    EXPECT_NE(ReadFile(main->PlaylistPath()).find("PlayerList"), std::string::npos);
    main->pmdel_clearlistClick(); // nothing to clear: no question
    EXPECT_EQ(view.asked.size(), 1u);

    const auto song = AddSong("new.mp3", "New", "");
    AddThroughDialog({song});
    EXPECT_TRUE(WaitPlaying(0));
    EXPECT_TRUE(main->PlaylistVisible());
}

TEST_F(PlaylistTest, DoubleClickRestartsAnyRowButNotWhileConnecting) {
    FiveRowsPlaying(1);
    const auto stream = Engine().CurrentChannel();
    main->plst_listItemDblClick(); // the playing row again: starts from the beginning
    EXPECT_TRUE(WaitUntil([&] { return Engine().CurrentChannel() != stream && WaitPlaying(1); }));

    // A network row whose server is held: the engine stays connecting.
    library.urls["http://127.0.0.1:1/x.mp3"] = {};
    library.HoldUrlOpens();
    main->AppendRow(6, "Net", "", "http://127.0.0.1:1/x.mp3");
    main->lstDefaultMouseMove(5);
    main->plst_listItemDblClick();
    ASSERT_TRUE(WaitUntil([&] { return State() == lirvo::audio::kStateConnecting; }));
    main->lstDefaultMouseMove(0);
    main->plst_listItemDblClick();
    EXPECT_EQ(main->CurrentIndex(), 5);
    library.ReleaseUrlOpens();
    EXPECT_TRUE(WaitPlaying(5));
}

TEST_F(PlaylistTest, PointerShowsOneDeleteButtonAndSelectsItsRow) {
    FiveRowsPlaying(0);
    main->lstDefaultMouseMove(0);
    EXPECT_TRUE(main->Rows().Row(0).deleteVisible);
    main->lstDefaultMouseMove(2);
    EXPECT_FALSE(main->Rows().Row(0).deleteVisible);
    EXPECT_TRUE(main->Rows().Row(2).deleteVisible);
    EXPECT_EQ(main->Rows().SelectedIndex(), 2);
    main->lstDefaultMouseMove(-1); // off the rows: the last button stays
    EXPECT_TRUE(main->Rows().Row(2).deleteVisible);
    EXPECT_EQ(main->Rows().SelectedIndex(), 2);
}

TEST(TitleFromFileName, TakesTheNameWithoutFolderAndLastExtension) {
    EXPECT_EQ(FileNameTitle("/music/Song.mp3"), "Song");
    EXPECT_EQ(FileNameTitle("/my.folder/README"), "README");
    EXPECT_EQ(FileNameTitle("/x/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(FileNameTitle("http://host/a/b.ogg"), "b");
    EXPECT_EQ(FileNameTitle("/x/.hidden"), "");
    EXPECT_EQ(FileNameTitle(""), "");
}

TEST_F(PlaylistTest, CommandMessagesAppendPlayAndAnswerThroughTheController) {
    FiveRowsPlaying(0);
    const auto song = AddSong("sent.mp3", "", "Sender");
    lirvo::command::CommandBlock block{};
    block.Command = lirvo::command::CmdPlayFile;
    std::strcpy(block.Text, song.c_str());
    main->WMSHARECMD(block, 1);
    EXPECT_EQ(block.Command, 0); // the block is cleared
    ASSERT_TRUE(WaitUntil([&] { return main->RowCount() == 6; }));
    EXPECT_EQ(main->Rows().Row(5).number, 6);
    EXPECT_EQ(main->Records()[5].Caption, "sent - Sender");
    EXPECT_TRUE(WaitPlaying(5));
    EXPECT_EQ(SavedPaths().size(), 6u);
    EXPECT_EQ(main->WMCMDPLAY(50, 0), 6);
    EXPECT_EQ(main->WMCMDPLAY(51, 0), 5);
    EXPECT_EQ(main->WMCMDPLAY(16, 0), 1);
    EXPECT_EQ(State(), lirvo::audio::kStatePaused);
}

TEST_F(PlaylistTest, PlayCommandsInQuickSuccessionPlayTheLastFile) {
    // As when several files are opened at once: each command arrives before the open of the
    // one before it has completed, and the last one plays.
    FiveRowsPlaying(0);
    std::vector<std::string> sent;
    for (int i = 0; i < 3; ++i)
        sent.push_back(AddSong("quick" + std::to_string(i) + ".mp3")); // before any worker reads the songs
    for (const auto &song : sent) {
        lirvo::command::CommandBlock block{};
        block.Command = lirvo::command::CmdPlayFile;
        std::strcpy(block.Text, song.c_str());
        main->WMSHARECMD(block, 1);
    }
    ASSERT_TRUE(WaitPlaying(7));
    EXPECT_EQ(main->RowCount(), 8);
    Spin(50);
    EXPECT_EQ(State(), kStatePlaying);
    EXPECT_EQ(library.StreamRecord(Engine().CurrentChannel()).source, sent.back());
    // The files whose turn was over before they opened never sounded.
    for (int i = 0; i < 2; ++i)
        for (auto stream : library.StreamsOf(sent[static_cast<std::size_t>(i)]))
            EXPECT_FALSE(library.StreamRecord(stream).playing) << sent[static_cast<std::size_t>(i)];
}

TEST_F(PlaylistTest, HandedOverPathsAreReadOffTheMainThreadAndKeepTheirOrder) {
    FiveRowsPlaying(0);
    const auto first = AddSong("first.mp3", "First", "One"), last = AddSong("last.mp3", "Last", "Two");
    const auto send = [&](std::uint8_t code, const std::string &text) {
        lirvo::command::CommandBlock block{};
        block.Command = code;
        std::strcpy(block.Text, text.c_str());
        main->WMSHARECMD(block, 1);
    };
    send(lirvo::command::CmdAddFile, first);
    send(lirvo::command::CmdAddList, "xlisted.mp3|Listed-Singer  ");
    send(lirvo::command::CmdPlayFile, last);
    // The song list needs no file, but waits for the path before it.
    EXPECT_EQ(main->RowCount(), 5);
    ASSERT_TRUE(WaitPlaying(7));
    ASSERT_EQ(main->RowCount(), 8);
    EXPECT_EQ(main->Records()[5].Caption, "First - One");
    EXPECT_EQ(main->Records()[6].Caption, "Listed - Singer");
    EXPECT_EQ(main->Records()[7].Caption, "Last - Two");
    EXPECT_EQ(SavedPaths().size(), 8u);
    const auto mainThread = std::this_thread::get_id();
    for (const auto &path : {first, last}) {
        const auto threads = library.FileOpenThreads(path);
        ASSERT_FALSE(threads.empty()) << path;
        for (const auto &thread : threads)
            EXPECT_NE(thread, mainThread) << path << " was opened on the main thread";
    }
}
