#include "update/UntCkUpThread.h"
#include "update/UpdateState.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lirvo::update {
namespace {

namespace fs = std::filesystem;

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "update_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

void SpinUntil(const std::function<bool()> &done, int ms = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

const char *Description(const std::string &inner) {
    static std::string text;
    text = R"(<?xml version="1.0" encoding="UTF-8"?><zylvan>)" + inner + "</zylvan>";
    return text.c_str();
}

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        char pattern[] = "/tmp/lirvo-upd-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        appDir = std::string(pattern) + "/";
        // A stand-in updater that writes down the argument it was given.
        const std::string updater = appDir + "update";
        std::ofstream(updater)
            << "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/updater-arg.tmp\"\n"
               "mv \"$(dirname \"$0\")/updater-arg.tmp\" \"$(dirname \"$0\")/updater-arg\"\n";
        fs::permissions(updater, fs::perms::owner_all);

        server.Get("/soft/cfg.xml", [this](const httplib::Request &, httplib::Response &res) {
            res.status = status;
            res.set_content(body, "text/xml");
        });
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        serverThread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        url = "http://127.0.0.1:" + std::to_string(port) + "/soft/cfg.xml";

        SetOnlineAllowed(false);
        SetMusicPathPrefix("");
    }
    void TearDown() override {
        server.stop();
        serverThread.join();
        std::error_code ec;
        fs::remove_all(appDir, ec);
    }

    struct Outcome {
        bool done = false, reachable = false, updateAvailable = false;
        std::string updateFile;
    };

    // Runs a whole check with this test program as the program file, as the controller would.
    Outcome Check(const std::string &exeName = "/proc/self/exe", const std::string &address = {}) {
        Outcome outcome;
        QObject receiver;
        TCheckUPDate *checker = TCheckUPDate::Start(exeName, address.empty() ? url : address, &receiver,
                                                    [&](const TCheckUPDate &c) {
                                                        outcome.done = true;
                                                        outcome.reachable = c.Reachable();
                                                        outcome.updateAvailable = c.UpdateAvailable();
                                                        outcome.updateFile = c.UpdateFile();
                                                        UpdateCheckDone(c, appDir, 1234);
                                                    });
        EXPECT_NE(checker, nullptr);
        QPointer<TCheckUPDate> watch(checker);
        SpinUntil([&] { return watch.isNull(); }); // the checker frees itself after its completion
        EXPECT_TRUE(outcome.done);
        return outcome;
    }

    std::string UpdaterArgumentSeen(int ms = 10000) const {
        const std::string path = appDir + "updater-arg";
        QElapsedTimer timer;
        timer.start();
        while (!fs::exists(path) && timer.elapsed() < ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(path);
        const std::string arg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return QByteArray::fromBase64(QByteArray::fromStdString(arg)).toStdString();
    }

    httplib::Server server;
    std::thread serverThread;
    int port = 0;
    std::string url, appDir;
    std::string body;
    int status = 200;
};

// This test program carries the project version 0.1.0.0, whose digits read as 100.
TEST_F(UpdateCheckTest, EqualVersionIsNoUpdateButSetsTheValues) {
    body = Description(R"(<ver value="100"/><file value="x.zip"/><musicpath value="http://m.example/"/>)");
    const Outcome o = Check();
    EXPECT_TRUE(o.reachable);
    EXPECT_FALSE(o.updateAvailable);
    EXPECT_TRUE(OnlineAllowed());
    EXPECT_EQ(MusicPathPrefix(), "http://m.example/");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(appDir + "updater-arg"));
}

TEST_F(UpdateCheckTest, HigherVersionStartsTheUpdaterWithHandleAndFile) {
    body = Description(R"(<ver value="101"/><file value="x.zip"/>)");
    const Outcome o = Check();
    EXPECT_TRUE(o.updateAvailable);
    EXPECT_EQ(o.updateFile, "x.zip");
    EXPECT_EQ(UpdaterArgumentSeen(), "1234|x.zip");
}

TEST_F(UpdateCheckTest, NamesInAnyCaseCountButTheAttributeNameDoesNot) {
    body = Description(R"(<VER value="101"/><File value="up.zip"/>)");
    EXPECT_TRUE(Check().updateAvailable);
    body = Description(R"(<ver Value="101"/>)");
    EXPECT_FALSE(Check().updateAvailable);
}

TEST_F(UpdateCheckTest, VerWithAnEndTagIsNoUpdate) {
    body = Description(R"(<ver value="999"></ver>)");
    const Outcome o = Check();
    EXPECT_TRUE(o.reachable);
    EXPECT_FALSE(o.updateAvailable);
}

TEST_F(UpdateCheckTest, ProgramWithoutVersionCountsAsZero) {
    body = Description(R"(<ver value="1"/><file value="f"/>)");
    EXPECT_TRUE(Check("/bin/sh").updateAvailable);
}

TEST_F(UpdateCheckTest, AnswerWithoutTheRootWordOrWithAnErrorStatusIsNotReachable) {
    SetMusicPathPrefix("kept");
    body = R"(<?xml version="1.0"?><other><ver value="999"/><musicpath value="x"/></other>)";
    Outcome o = Check();
    EXPECT_FALSE(o.reachable);
    EXPECT_FALSE(o.updateAvailable);
    EXPECT_FALSE(OnlineAllowed());
    EXPECT_EQ(MusicPathPrefix(), "kept");

    status = 404;
    body = Description(R"(<ver value="999"/>)");
    o = Check();
    EXPECT_FALSE(o.reachable);
}

TEST_F(UpdateCheckTest, ZeroByteEndsOnlyItsOwnBlock) {
    // Block 1 (bytes 0-1024) loses everything after its zero byte; block 2 arrives whole.
    std::string first = "<zylvan><file value=\"a\"/>";
    first += '\0';
    first.resize(1025, 'X');
    body = first + "<ver value=\"101\"/></zylvan>";
    EXPECT_EQ(HttpGetText(url), "<zylvan><file value=\"a\"/><ver value=\"101\"/></zylvan>");
    EXPECT_TRUE(Check().updateAvailable);
}

TEST_F(UpdateCheckTest, ServerThatNeverAnswersEndsAfterTheTimeOut) {
    // Accepts connections (the backlog does) but never reads or writes.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    const std::string silent = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/soft/cfg.xml";

    HttpOptions quick;
    quick.totalTimeout = std::chrono::milliseconds(300);
    EXPECT_EQ(HttpGetText(silent, quick), "");

    bool done = false, reachable = true;
    QObject receiver;
    TCheckUPDate::Start(
        "/proc/self/exe", silent, &receiver,
        [&](const TCheckUPDate &c) {
            done = true;
            reachable = c.Reachable();
        },
        quick);
    SpinUntil([&] { return done; });
    EXPECT_TRUE(done);
    EXPECT_FALSE(reachable);

    // Closing the program cancels a check that would otherwise wait 15 seconds.
    QPointer<TCheckUPDate> slow =
        TCheckUPDate::Start("/proc/self/exe", silent, &receiver, [](const TCheckUPDate &) {});
    slow->Cancel();
    EXPECT_TRUE(slow->isFinished());
    SpinUntil([&] { return slow.isNull(); });
    close(fd);
}

TEST_F(UpdateCheckTest, CompletionNeverReachesADestroyedReceiver) {
    server.Get("/slow", [](const httplib::Request &, httplib::Response &res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        res.set_content(Description(""), "text/xml");
    });
    bool called = false;
    auto *receiver = new QObject;
    QPointer<TCheckUPDate> checker =
        TCheckUPDate::Start("/proc/self/exe", "http://127.0.0.1:" + std::to_string(port) + "/slow", receiver,
                            [&](const TCheckUPDate &) { called = true; });
    ASSERT_FALSE(checker.isNull());
    delete receiver; // the window closes while the check runs
    SpinUntil([&] { return checker.isNull(); });
    EXPECT_TRUE(checker.isNull());
    EXPECT_FALSE(called);
}

TEST_F(UpdateCheckTest, NoAddressMeansNoCheckAndOnlineAllowed) {
    QObject receiver;
    EXPECT_EQ(TCheckUPDate::Start("/proc/self/exe", "  ", &receiver, [](const TCheckUPDate &) {}), nullptr);
    EXPECT_TRUE(OnlineAllowed());
    EXPECT_EQ(MusicPathPrefix(), "");
}

} // namespace
} // namespace lirvo::update
