#include "shell/command/CommandMessages.h"
#include "FakeCommandTarget.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace lirvo::command {
namespace {

using test::FakeCommandTarget;
using Calls = std::vector<std::string>;

class CommandMessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        block = std::make_unique<CommandBlock>();
        std::memset(block.get(), 0, sizeof *block);
        target.AddStoredRows(3);
    }

    void Place(std::uint8_t code, const std::string &text) {
        block->Command = code;
        std::memcpy(block->Text, text.data(), text.size());
    }

    bool BlockIsZero() const {
        const auto *bytes = reinterpret_cast<const unsigned char *>(block.get());
        for (std::size_t i = 0; i < sizeof *block; ++i)
            if (bytes[i] != 0)
                return false;
        return true;
    }

    std::unique_ptr<CommandBlock> block;
    FakeCommandTarget target;
};

TEST_F(CommandMessagesTest, PlayFileAppendsRowTitledByFileNameAndPlaysIt) {
    const std::string path = "/music/某 歌.flac";
    target.tags[path] = {" \t ", "Singer "}; // a blank title tag does not count
    Place(CmdPlayFile, path);

    EXPECT_TRUE(WMSHARECMD(*block, 1, target, "http://prefix/"));

    ASSERT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.rows[3].number, 4);
    EXPECT_EQ(target.rows[3].title, "某 歌");
    EXPECT_EQ(target.rows[3].artist, "Singer "); // the artist tag is taken as read
    EXPECT_EQ(target.rows[3].path, path);        // no prefix for single paths
    EXPECT_EQ(target.currentIndex, 3);
    EXPECT_EQ(target.calls, (Calls{"stop", "play:" + path, "save"}));
    EXPECT_TRUE(BlockIsZero());
}

TEST_F(CommandMessagesTest, AddFileKeepsPlaybackAndUsesTheUntrimmedTitleTag) {
    target.currentIndex = 1;
    target.tags["/m/a.mp3"] = {" Tagged ", "A"};
    Place(CmdAddFile, "/m/a.mp3");

    WMSHARECMD(*block, 1, target, "");

    ASSERT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.rows[3].title, " Tagged ");
    EXPECT_EQ(target.currentIndex, 1);
    EXPECT_EQ(target.calls, (Calls{"save"}));
    EXPECT_TRUE(BlockIsZero());
}

TEST_F(CommandMessagesTest, PlayFileWhileANetworkAddressOpensIsAddedButNotPlayed) {
    target.engineState = EngineStateConnecting;
    Place(CmdPlayFile, "/m/b.ogg");

    WMSHARECMD(*block, 1, target, "");

    EXPECT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.currentIndex, 0);
    EXPECT_EQ(target.calls, (Calls{"save"}));
}

TEST_F(CommandMessagesTest, EmptyPathGivesAnEmptyRow) {
    Place(CmdAddFile, "");
    WMSHARECMD(*block, 1, target, "");
    ASSERT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.rows[3].title, "");
    EXPECT_EQ(target.rows[3].path, "");
}

TEST_F(CommandMessagesTest, NamesThatAreNotUtf8AreRefusedWithAWordAndNothingStops) {
    // "你好" in GBK: a name the playlist file could not keep exactly.
    Place(CmdPlayFile, "/music/\xC4\xE3\xBA\xC3.mp3");
    EXPECT_TRUE(WMSHARECMD(*block, 1, target, ""));
    EXPECT_EQ(target.rows.size(), 3u);
    EXPECT_EQ(target.calls, (Calls{"refused:1", "save"})); // the song playing goes on
    EXPECT_TRUE(BlockIsZero());
}

TEST_F(CommandMessagesTest, TextWithoutTerminatorIsReadUpToTheLastByteButOne) {
    std::memset(block->Text, 'x', sizeof block->Text); // a sender that overran the text
    block->Command = CmdAddFile;
    WMSHARECMD(*block, 1, target, "");
    ASSERT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.rows[3].path.size(), CommandTextMaxBytes);
}

TEST_F(CommandMessagesTest, PlayListAppendsPrefixedRowsAndPlaysTheFirstNewOne) {
    // Two items; of the last two characters ("Q2") the first is dropped, the "2" stays.
    Place(CmdPlayList, "*a%2F1.mp3%7CTitle+One+-+Singer+One,*b%2F2.mp3%7C%E6%AD%8C-%E6%89%8BQ2");

    EXPECT_TRUE(WMSHARECMD(*block, 1, target, "http://h/m/"));

    ASSERT_EQ(target.rows.size(), 5u);
    EXPECT_EQ(target.rows[3].number, 4);
    EXPECT_EQ(target.rows[3].path, "http://h/m/a/1.mp3");
    EXPECT_EQ(target.rows[3].title, "Title One");
    EXPECT_EQ(target.rows[3].artist, "Singer One");
    EXPECT_EQ(target.rows[4].number, 5);
    EXPECT_EQ(target.rows[4].title, "歌");
    EXPECT_EQ(target.rows[4].artist, "手2");
    EXPECT_EQ(target.currentIndex, 3);
    EXPECT_EQ(target.calls, (Calls{"stop", "play:http://h/m/a/1.mp3", "save"}));
    EXPECT_TRUE(BlockIsZero());
}

TEST_F(CommandMessagesTest, PlayListWithoutItemsStopsAndPlaysNothing) {
    Place(CmdPlayList, "");
    WMSHARECMD(*block, 1, target, "p/");
    EXPECT_EQ(target.rows.size(), 3u);
    EXPECT_EQ(target.calls, (Calls{"stop", "save"}));
}

TEST_F(CommandMessagesTest, AddListLeavesTheCurrentSongPlaying) {
    target.currentIndex = 2;
    target.engineState = 1002;
    Place(CmdAddList, "*x%7Ct-a,*y%7Cu-bZ.");
    WMSHARECMD(*block, 1, target, "");
    ASSERT_EQ(target.rows.size(), 5u);
    EXPECT_EQ(target.rows[4].path, "y");
    EXPECT_EQ(target.rows[4].artist, "b.");
    EXPECT_EQ(target.currentIndex, 2);
    EXPECT_EQ(target.calls, (Calls{"save"}));
}

TEST_F(CommandMessagesTest, UnknownCodeOrWrongLParamOnlyClearsTheBlock) {
    Place(7, "/m/a.mp3");
    EXPECT_TRUE(WMSHARECMD(*block, 1, target, ""));
    EXPECT_TRUE(BlockIsZero());

    Place(CmdPlayFile, "/m/a.mp3");
    EXPECT_TRUE(WMSHARECMD(*block, 2, target, ""));
    EXPECT_TRUE(BlockIsZero());

    EXPECT_EQ(target.rows.size(), 3u);
    EXPECT_TRUE(target.calls.empty());
}

TEST_F(CommandMessagesTest, FailureSavesWhatArrivedAndLeavesTheBlock) {
    target.throwOnAppendAt = 4; // the second new row fails
    Place(CmdPlayList, "*a%7Ct-a,*b%7Cu-bxy");

    EXPECT_FALSE(WMSHARECMD(*block, 1, target, ""));

    EXPECT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.calls, (Calls{"save"}));
    EXPECT_EQ(block->Command, CmdPlayList);
}

TEST(CmdPlayTest, RequestsAnswerAsTheTableSays) {
    FakeCommandTarget target;
    target.AddStoredRows(3);
    target.currentIndex = -1;

    EXPECT_EQ(WMCMDPLAY(target, 15, 0), 1);
    EXPECT_EQ(WMCMDPLAY(target, 16, 0), 1);
    EXPECT_EQ(WMCMDPLAY(target, 19, 0), 1);
    EXPECT_EQ(WMCMDPLAY(target, 20, 0), 1);
    EXPECT_EQ(target.calls, (Calls{"playpause", "previous", "next"}));
    EXPECT_EQ(WMCMDPLAY(target, 50, 0), 3);
    EXPECT_EQ(WMCMDPLAY(target, 51, 0), -1);
    target.currentIndex = 2;
    EXPECT_EQ(WMCMDPLAY(target, 51, 0), 2);
    EXPECT_EQ(WMCMDPLAY(target, 17, 0), -1);
    EXPECT_EQ(WMCMDPLAY(target, (std::int64_t(1) << 32) + 16, 0), -1); // not truncated to 16
}

TEST(CmdPlayTest, NonZeroLParamDoesNothing) {
    FakeCommandTarget target;
    target.AddStoredRows(2);
    EXPECT_EQ(WMCMDPLAY(target, 16, 5), -1);
    EXPECT_EQ(WMCMDPLAY(target, 50, -1), -1);
    EXPECT_TRUE(target.calls.empty());
}

} // namespace
} // namespace lirvo::command
