#include "platform/InstanceLock.h"
#include "platform/MessagePort.h"
#include "platform/RuntimeDir.h"
#include "platform/SharedBlock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lirvo::platform {
namespace {

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "platform_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lirvo-plat-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        App();
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // Runs the event loop until `done` or a few seconds passed.
    static void SpinUntil(const std::function<bool()> &done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    std::string dir;
};

TEST_F(PlatformTest, RuntimeFolderIsPrivate) {
    const std::string own = dir + "/lirvo";
    ASSERT_EQ(mkdir(own.c_str(), 0755), 0);
    const auto folder = ProgramRuntimeDir();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, own);
    struct stat st {};
    ASSERT_EQ(stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A file in the folder's place is not used.
    std::filesystem::remove(own);
    {
        FILE *f = std::fopen(own.c_str(), "w");
        std::fclose(f);
    }
    EXPECT_FALSE(ProgramRuntimeDir());
}

TEST_F(PlatformTest, SharedBlockIsOwnerOnlyAndSharedBetweenMappings) {
    const std::string name = "/lirvo-test-" + std::to_string(getpid());
    SharedBlock missing;
    EXPECT_FALSE(missing.Open(name, 4096, SharedBlock::Mode::OpenExisting));

    SharedBlock a, b;
    ASSERT_TRUE(a.Open(name, 65544)) << a.Error();
    ASSERT_TRUE(b.Open(name, 65544, SharedBlock::Mode::OpenExisting)) << b.Error();
    static_cast<char *>(a.Data())[65543] = 'z';
    EXPECT_EQ(static_cast<char *>(b.Data())[65543], 'z');
    struct stat st {};
    ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 65544);
    EXPECT_TRUE(SharedBlock::Unlink(name));
}

TEST_F(PlatformTest, InstanceLockIsFreedWhenItsHolderDies) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        InstanceLock lock;
        const char ok = lock.TryAcquire("test-lock") ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        pause(); // held until killed
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, '1');

    InstanceLock mine;
    EXPECT_FALSE(mine.TryAcquire("test-lock"));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.TryAcquire("test-lock"));
    close(ready[0]);
    close(ready[1]);
}

TEST_F(PlatformTest, PostedAndSentMessagesReachTheHandlerOnTheMainThread) {
    std::vector<PortMessage> received;
    bool onMainThread = true;
    const auto mainThread = std::this_thread::get_id();
    MessagePortServer server;
    ASSERT_TRUE(server.Listen("cls", "Cap tion", [&](const PortMessage &m) {
        onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
        received.push_back(m);
        if (m.message == 99)
            throw std::runtime_error("handler failed");
        return static_cast<std::int32_t>(m.wParam * 2);
    })) << server.Error();

    std::atomic<bool> finished{false};
    std::optional<std::int32_t> answer, failedAnswer;
    bool posted = false;
    std::thread client([&] {
        auto first = MessagePortClient::Find("cls", "Cap tion");
        posted = first && first->Post({2734, 1, 1});
        auto second = MessagePortClient::Find("cls", "Cap tion");
        if (second)
            answer = second->Send({1807, -21, 0});
        auto third = MessagePortClient::Find("cls", "Cap tion");
        if (third)
            failedAnswer = third->Send({99, 1, 0});
        finished = true;
    });
    SpinUntil([&] { return finished.load(); });
    client.join();

    EXPECT_TRUE(posted);
    EXPECT_EQ(answer, -42);
    EXPECT_EQ(failedAnswer, -1); // an exception in the handler answers -1
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].message, 2734u);
    EXPECT_EQ(received[0].lParam, 1);
    EXPECT_EQ(received[1].wParam, -21);
    EXPECT_TRUE(onMainThread);
    EXPECT_FALSE(MessagePortClient::Find("other", "Cap tion"));
}

TEST_F(PlatformTest, MessagesKeepTheOrderTheyWereSentIn) {
    // The first connection is accepted long before its message arrives; the message sent
    // after it on a second connection must still come second.
    std::vector<std::int64_t> order;
    MessagePortServer server;
    ASSERT_TRUE(server.Listen("c", "s", [&](const PortMessage &m) {
        order.push_back(m.wParam);
        return 0;
    }));
    std::atomic<bool> finished{false};
    std::thread client([&] {
        for (int round = 0; round < 5; ++round) {
            auto early = MessagePortClient::Find("c", "s");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            if (early)
                early->Post({1, round * 2, 0});
            if (auto later = MessagePortClient::Find("c", "s"))
                later->Send({1, round * 2 + 1, 0});
        }
        finished = true;
    });
    SpinUntil([&] { return finished.load(); });
    client.join();
    EXPECT_EQ(order, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(PlatformTest, AStuckClientDoesNotHoldUpOthers) {
    int handled = 0;
    MessagePortServer server;
    ASSERT_TRUE(server.Listen("c", "s", [&](const PortMessage &) { return ++handled; }));

    // Connects and writes half a message, then never finishes it.
    const int stuck = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", server.Path().c_str());
    ASSERT_EQ(connect(stuck, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(write(stuck, "0123456789", 10), 10);

    std::atomic<bool> finished{false};
    std::optional<std::int32_t> answer;
    std::thread client([&] {
        if (auto port = MessagePortClient::Find("c", "s"))
            answer = port->Send({1, 0, 0});
        finished = true;
    });
    SpinUntil([&] { return finished.load(); });
    client.join();
    EXPECT_EQ(answer, 1);
    close(stuck);
}

TEST_F(PlatformTest, PortOfADeadProcessIsReplacedButALiveOneIsNot) {
    const auto path = MessagePortPath("c", "s");
    ASSERT_TRUE(path);
    {
        // A socket file nobody listens on, as a crashed instance leaves it.
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path->c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        close(fd);
    }
    EXPECT_FALSE(MessagePortClient::Find("c", "s"));
    MessagePortServer server;
    ASSERT_TRUE(server.Listen("c", "s", [](const PortMessage &) { return 7; })) << server.Error();
    MessagePortServer rival;
    EXPECT_FALSE(rival.Listen("c", "s", [](const PortMessage &) { return 8; }));

    server.Close();
    EXPECT_FALSE(std::filesystem::exists(*path));
    EXPECT_FALSE(MessagePortClient::Find("c", "s"));
}

} // namespace
} // namespace lirvo::platform
