#include "ProcessHarness.h"
#include "platform/InstanceLock.h"
#include "platform/MessagePort.h"
#include "platform/SharedBlock.h"
#include "shell/command/mapshare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::command {
namespace {

using test::ProcessHarness;

std::string Hex(const std::string &s) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

class InstanceTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (firstPid > 0) {
            if (auto port = platform::MessagePortClient::Find(MainWindowClass, MainWindowCaption))
                port->Send({4242, 0, 0});
            EXPECT_EQ(harness.Wait(firstPid), 0);
        }
    }

    void StartFirst(const std::vector<std::string> &args = {}) {
        firstPid = harness.Spawn(LIRVO_INSTANCE_HOST, args);
        ASSERT_GT(firstPid, 0);
        ASSERT_TRUE(harness.WaitForRecord("ready " + std::to_string(firstPid)));
    }

    // A later start of the program; every later start ends with exit code 0.
    void StartSecond(const std::vector<std::string> &args, const std::string &cwd = {}) {
        const auto result = harness.Run(LIRVO_INSTANCE_HOST, args, cwd);
        EXPECT_EQ(result.exitCode, 0) << result.output;
    }

    // WM_CMDPLAY sent to the running instance; also proves earlier posts were handled.
    std::int32_t Ask(std::int64_t request) {
        auto port = platform::MessagePortClient::Find(MainWindowClass, MainWindowCaption);
        if (!port)
            return -100;
        return port->Send({WM_CMDPLAY, request, 0}).value_or(-200);
    }

    std::vector<std::string> Lines(const std::string &prefix) const {
        std::vector<std::string> out;
        for (const auto &line : harness.RecordLines())
            if (line.rfind(prefix, 0) == 0)
                out.push_back(line);
        return out;
    }

    ProcessHarness harness;
    int firstPid = -1;
};

TEST_F(InstanceTest, FirstStartHandsItsOwnPathToItselfAfterTheStoredRows) {
    StartFirst({"/tmp/song one.mp3"});
    EXPECT_EQ(Ask(50), 4);
    EXPECT_EQ(Ask(51), 3);
    EXPECT_EQ(Lines("row"), (std::vector<std::string>{"row 4 title=song one path=/tmp/song one.mp3"}));
}

TEST_F(InstanceTest, SecondStartWithAPathWritesTheBlockAndPlaysIt) {
    StartFirst();
    ASSERT_EQ(Ask(50), 3);
    StartSecond({"/music/a.mp3"});
    EXPECT_EQ(Ask(50), 4);
    EXPECT_EQ(Ask(51), 3);
    EXPECT_EQ(Lines("block"),
              (std::vector<std::string>{"block cmd=1 header0=1 tail0=1 len=12 text=" + Hex("/music/a.mp3")}));
    EXPECT_EQ(Lines("row"), (std::vector<std::string>{"row 4 title=a path=/music/a.mp3"}));
}

TEST_F(InstanceTest, EveryPathOfAStartArrivesTheFirstPlaysTheRestAreAdded) {
    StartFirst();
    StartSecond({"/music/a.mp3", "/music/b.mp3", "/music/c.mp3"});
    EXPECT_EQ(Ask(50), 6);
    EXPECT_EQ(Ask(51), 3); // a plays; b and c only follow it
    EXPECT_EQ(Lines("block"),
              (std::vector<std::string>{"block cmd=1 header0=1 tail0=1 len=12 text=" + Hex("/music/a.mp3"),
                                        "block cmd=11 header0=1 tail0=1 len=12 text=" + Hex("/music/b.mp3"),
                                        "block cmd=11 header0=1 tail0=1 len=12 text=" + Hex("/music/c.mp3")}));
}

TEST_F(InstanceTest, FirstStartWithSeveralPathsAddsThemAllAfterTheStoredRows) {
    StartFirst({"/l", "/m/x.mp3", "/m/y.mp3"});
    EXPECT_EQ(Ask(50), 5);
    EXPECT_EQ(Ask(51), 0); // "/l": nothing plays
    EXPECT_EQ(Lines("row"),
              (std::vector<std::string>{"row 4 title=x path=/m/x.mp3", "row 5 title=y path=/m/y.mp3"}));
}

TEST_F(InstanceTest, SlashLAddsOnlyAndCapitalLIsTakenAsAPath) {
    StartFirst();
    StartSecond({"/l", "/music/b.mp3"});
    EXPECT_EQ(Ask(50), 4);
    EXPECT_EQ(Ask(51), 0); // not played
    StartSecond({"/L", "/music/c.mp3"});
    EXPECT_EQ(Ask(50), 6);
    EXPECT_EQ(Ask(51), 4); // "/L" is the path that plays; the real path is added after it
    const auto blocks = Lines("block");
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], "block cmd=11 header0=1 tail0=1 len=12 text=" + Hex("/music/b.mp3"));
    EXPECT_EQ(blocks[1], "block cmd=1 header0=1 tail0=1 len=2 text=" + Hex("/L"));
    EXPECT_EQ(blocks[2], "block cmd=11 header0=1 tail0=1 len=12 text=" + Hex("/music/c.mp3"));
}

TEST_F(InstanceTest, ManyStartsAtOnceLoseNothing) {
    // Twelve starts at the same moment, one path each, none of them the first instance yet:
    // one becomes the player, the others hand over while it is still starting up.
    setenv("LIRVO_HOST_START_DELAY_MS", "300", 1);
    std::vector<int> pids;
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        const std::string path = "/music/song" + std::to_string(i) + ".mp3";
        expected.push_back(path);
        pids.push_back(harness.Spawn(LIRVO_INSTANCE_HOST, {path}));
    }
    unsetenv("LIRVO_HOST_START_DELAY_MS");
    ASSERT_TRUE(harness.WaitForRecord("ready "));
    const std::string ready = Lines("ready").front();
    firstPid = std::stoi(ready.substr(6));
    for (int pid : pids) {
        if (pid != firstPid) {
            EXPECT_EQ(harness.Wait(pid), 0);
        }
    }
    EXPECT_EQ(Ask(50), 15);
    std::vector<std::string> arrived;
    for (const auto &row : Lines("row"))
        arrived.push_back(row.substr(row.find(" path=") + 6));
    std::sort(arrived.begin(), arrived.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(arrived, expected); // each exactly once
}

TEST_F(InstanceTest, CommandWrittenWhileTheFirstIsStartingIsTakenByIt) {
    // The instance lock is held (by this test) but no message port exists yet.
    auto lock = std::make_unique<platform::InstanceLock>();
    ASSERT_TRUE(lock->TryAcquire(InstanceLockName));
    StartSecond({"/music/early.mp3"});
    platform::SharedBlock block;
    ASSERT_TRUE(block.Open(CommandBlockName(), CommandBlockSize));
    EXPECT_EQ(static_cast<const CommandBlock *>(block.Data())->Command, CmdPlayFile);

    lock.reset(); // "the first instance" goes; a real one starts and must not lose the command
    StartFirst();
    EXPECT_EQ(Ask(50), 4);
    EXPECT_EQ(Lines("row"), (std::vector<std::string>{"row 4 title=early path=/music/early.mp3"}));
    EXPECT_EQ(static_cast<const CommandBlock *>(block.Data())->Command, CmdNone);
}

TEST_F(InstanceTest, SecondStartWithoutArgumentsHandsNothingOverAndShowsTheWindow) {
    StartFirst();
    StartSecond({});
    EXPECT_EQ(Ask(50), 3);
    EXPECT_TRUE(Lines("block").empty());
    EXPECT_EQ(Lines("show window").size(), 1u);
    // With files, nothing asks for the window.
    StartSecond({"/music/x.ogg"});
    EXPECT_EQ(Lines("show window").size(), 1u);
}

TEST_F(InstanceTest, RelativePathIsResolvedAgainstTheSendersFolder) {
    StartFirst();
    StartSecond({"sub/x.ogg"}, "/usr");
    EXPECT_EQ(Lines("row"), (std::vector<std::string>{"row 4 title=x path=/usr/sub/x.ogg"}));
}

TEST_F(InstanceTest, LongPathsKeepTheTerminatorAndWholeCharacters) {
    StartFirst();
    const std::string path300 = "/" + std::string(299, 'p');
    StartSecond({path300});
    // 70,000 bytes of three-byte characters after "/": 65535 would split one, so 65533 remain.
    std::string path70k = "/";
    while (path70k.size() < 70000)
        path70k += "\xE2\x82\xAC";
    StartSecond({"/l", path70k});
    EXPECT_EQ(Ask(50), 5);
    const auto blocks = Lines("block");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], "block cmd=1 header0=1 tail0=1 len=300 text=" + Hex(path300));
    EXPECT_EQ(blocks[1], "block cmd=11 header0=1 tail0=1 len=65533 text=" + Hex(path70k.substr(0, 65533)));
}

TEST_F(InstanceTest, WithoutABlockTheProgramEndsBeforeAnyWindow) {
    // A folder where the shared memory object should be makes it impossible to map.
    const std::string object = "/dev/shm" + CommandBlockName();
    ASSERT_EQ(mkdir(object.c_str(), 0700), 0);
    StartSecond({"/music/a.mp3"});
    rmdir(object.c_str());
    EXPECT_TRUE(harness.RecordLines().empty()); // never got as far as its port
}

TEST_F(InstanceTest, ALockLeftByADeadInstanceIsFree) {
    StartFirst();
    kill(firstPid, SIGKILL);
    harness.Wait(firstPid);
    firstPid = -1;
    // The next start becomes the first instance and takes over the port of the dead one.
    StartFirst({"/music/new.mp3"});
    EXPECT_EQ(Ask(50), 4);
}

#ifdef LIRVO_SEND
TEST_F(InstanceTest, LirvoSendDrivesTheRunningInstance) {
    StartFirst();
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"add", "/m/one.mp3"}).exitCode, 0);
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"list-add", "*a%7CT1-S1,*b%7CT2-S2x."}).exitCode, 0);
    const auto count = harness.Run(LIRVO_SEND, {"cmd", "50"});
    EXPECT_EQ(count.exitCode, 0);
    EXPECT_EQ(count.output, "6\n");
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"list-play", "*c%7CT3-S3x."}).exitCode, 0);
    EXPECT_EQ(Ask(51), 6);
    EXPECT_EQ(Lines("row"),
              (std::vector<std::string>{"row 4 title=one path=/m/one.mp3", "row 5 title=T1 path=a",
                                        "row 6 title=T2 path=b", "row 7 title=T3 path=c"}));
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"cmd", "16"}).output, "1\n");
}

TEST_F(InstanceTest, LirvoSendWithoutARunningInstanceFails) {
    const auto result = harness.Run(LIRVO_SEND, {"play", "/m/one.mp3"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("not running"), std::string::npos) << result.output;
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"cmd", "50"}).exitCode, 1);
    EXPECT_EQ(harness.Run(LIRVO_SEND, {"frobnicate"}).exitCode, 2);
}
#endif

} // namespace
} // namespace lirvo::command
