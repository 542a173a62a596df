// The hand-off rules between writers and the running instance, in one process: which commands
// a command line gives, that a writer never overwrites a command not yet taken, and that taking
// frees the block for the next writer.

#include "ProcessHarness.h"
#include "shell/command/CommandHandOff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

namespace lirvo::command {
namespace {

using namespace std::chrono_literals;

std::string Cwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

TEST(CommandsForArgumentsTest, FirstPathPlaysTheRestAreAddedAndSlashLAddsAll) {
    EXPECT_TRUE(CommandsForArguments({}).empty());
    EXPECT_EQ(CommandsForArguments({"/a.mp3", "rel/b.ogg", "http://h/c.mp3"}),
              (std::vector<PendingCommand>{{CmdPlayFile, "/a.mp3"},
                                           {CmdAddFile, Cwd() + "/rel/b.ogg"},
                                           {CmdAddFile, "http://h/c.mp3"}}));
    EXPECT_EQ(CommandsForArguments({"/l", "/a.mp3", "/b.mp3"}),
              (std::vector<PendingCommand>{{CmdAddFile, "/a.mp3"}, {CmdAddFile, "/b.mp3"}}));
    EXPECT_EQ(CommandsForArguments({"/l"}), (std::vector<PendingCommand>{{CmdAddFile, ""}}));
    EXPECT_EQ(CommandsForArguments({"/L", "/a.mp3"}),
              (std::vector<PendingCommand>{{CmdPlayFile, "/L"}, {CmdAddFile, "/a.mp3"}}));
}

class HandOffTest : public ::testing::Test {
protected:
    void SetUp() override { std::memset(block.get(), 0, sizeof *block); }
    test::ProcessHarness runtime; // a private runtime folder for the writer lock
    std::unique_ptr<CommandBlock> block = std::make_unique<CommandBlock>();
};

TEST_F(HandOffTest, AnUntakenCommandIsNeverOverwritten) {
    WriteCommand(*block, {CmdAddFile, "/waiting.mp3"});
    int posts = 0;
    HandOffOptions options;
    options.Limit = 200ms;
    options.Post = [&] { return ++posts > 0; };
    EXPECT_EQ(HandOver(*block, {{CmdPlayFile, "/new.mp3"}}, options), HandOffResult::NotTaken);
    EXPECT_EQ(block->Command, CmdAddFile);
    EXPECT_STREQ(block->Text, "/waiting.mp3");
    EXPECT_EQ(posts, 0);
}

TEST_F(HandOffTest, EachCommandWaitsUntilThePreviousOneIsTakenAndArrivesWhole) {
    // A long text followed by a short one: the short one must not carry a tail of the long.
    const std::string longText = "/" + std::string(70000, 'x');
    const std::vector<PendingCommand> sent{{CmdPlayFile, longText}, {CmdAddFile, "/b.mp3"}, {CmdAddFile, "/c"}};
    std::atomic<bool> done{false};
    std::vector<std::pair<std::uint8_t, std::string>> taken;
    std::thread reader([&] {
        while (!done.load() || LoadCommandByte(*block) != CmdNone) {
            if (auto copy = TakeCommand(*block))
                taken.emplace_back(copy->Command, std::string(copy->Text, strnlen(copy->Text, sizeof copy->Text)));
            std::this_thread::sleep_for(1ms);
        }
    });
    HandOffOptions options;
    options.Limit = 10s;
    EXPECT_EQ(HandOver(*block, sent, options), HandOffResult::Done);
    done = true;
    reader.join();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].first, CmdPlayFile);
    EXPECT_EQ(taken[0].second, longText.substr(0, CommandTextMaxBytes));
    EXPECT_EQ(taken[1], std::make_pair(std::uint8_t{CmdAddFile}, std::string("/b.mp3")));
    EXPECT_EQ(taken[2], std::make_pair(std::uint8_t{CmdAddFile}, std::string("/c")));
    EXPECT_EQ(block->Command, CmdNone);
    EXPECT_EQ(TakeCommand(*block), nullptr);
}

TEST_F(HandOffTest, TwoWritersAtOnceKeepTheirCommandsTogether) {
    std::vector<std::string> order;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load() || LoadCommandByte(*block) != CmdNone) {
            if (auto copy = TakeCommand(*block))
                order.emplace_back(copy->Text);
            std::this_thread::sleep_for(1ms);
        }
    });
    HandOffOptions options;
    options.Limit = 10s;
    std::thread other([&] { HandOver(*block, {{CmdPlayFile, "/x1"}, {CmdAddFile, "/x2"}, {CmdAddFile, "/x3"}}, options); });
    HandOver(*block, {{CmdPlayFile, "/y1"}, {CmdAddFile, "/y2"}, {CmdAddFile, "/y3"}}, options);
    other.join();
    done = true;
    reader.join();
    ASSERT_EQ(order.size(), 6u);
    // Whichever writer went first, its three commands came one after another.
    EXPECT_EQ(order[0][1], order[1][1]);
    EXPECT_EQ(order[1][1], order[2][1]);
    EXPECT_EQ(order[3][1], order[4][1]);
    EXPECT_NE(order[0][1], order[3][1]);
}

} // namespace
} // namespace lirvo::command
