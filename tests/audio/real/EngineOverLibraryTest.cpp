// TAudioEngine over the real audio library: files made at test time with ffmpeg, network streams
// from a local HTTP server on 127.0.0.1, SDL's dummy output driver.

#include "audio/engine/AudioEngine.h"
#include "audio/lib/AudioLibraryFactory.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

namespace lirvo::audio {
namespace {

using ::testing::ElementsAre;

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "audio_engine_real_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// The program folder, where the build places the add-ons.
std::string BinDir() {
    const char *bin = std::getenv("LIRVO_BIN_DIR");
    return std::string(bin != nullptr ? bin : LIRVO_TEST_BIN_DIR) + "/";
}

// Runs a local HTTP server for the life of the object.
class LocalServer {
public:
    explicit LocalServer(const std::function<void(httplib::Server &)> &routes) {
        routes(server_);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LocalServer() {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

bool WaitFor(const std::function<bool()> &done, int timeoutMs = 10000) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Every report with the thread it came on.
class Recorder {
public:
    struct Entry {
        std::string text;
        std::thread::id thread;
    };
    void Attach(TAudioEngine &engine) {
        engine.OnStatus = TStatusSlot::Bind<&Recorder::Status>(this);
        engine.OnEnd = TEndSlot::Bind<&Recorder::End>(this);
        engine.OnError = TErrorSlot::Bind<&Recorder::Error>(this);
        engine.OnDownload = TDownloadSlot::Bind<&Recorder::Download>(this);
    }
    std::vector<Entry> Entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto &entry : Entries()) {
            texts.push_back(entry.text);
        }
        return texts;
    }
    std::string Downloaded() {
        std::lock_guard lock(mutex_);
        return downloaded_;
    }
    int FinalCalls() {
        std::lock_guard lock(mutex_);
        return finalCalls_;
    }
    int errorCode = 0;

private:
    void Add(std::string text) {
        std::lock_guard lock(mutex_);
        entries_.push_back({std::move(text), std::this_thread::get_id()});
    }
    void Status(std::int32_t status) { Add("status " + std::to_string(status)); }
    void End(std::int32_t status) { Add("end " + std::to_string(status)); }
    void Error(std::int32_t status, std::int32_t code) {
        errorCode = code;
        Add("error " + std::to_string(status));
    }
    void Download(const void *buffer, std::uint32_t length, void *) {
        std::lock_guard lock(mutex_);
        if (buffer == nullptr) {
            ++finalCalls_;
        } else {
            downloaded_.append(static_cast<const char *>(buffer), length);
        }
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::string downloaded_;
    int finalCalls_ = 0;
};

class EngineOverLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Also when ctest did not pass the test environment on.
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        App();
        dir_ = new QTemporaryDir();
        const std::string folder = dir_->path().toStdString();
        mp3_ = folder + "/短曲.mp3";
        const std::string make =
            "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1.5:sample_rate=44100' "
            "-ac 2 -c:a libmp3lame -b:a 128k -id3v2_version 3 -metadata title='晴天' "
            "-metadata artist='歌手' -metadata album='专辑' '" +
            mp3_ + "'";
        ASSERT_EQ(std::system(make.c_str()), 0);
        corrupt_ = folder + "/broken.mp3";
        std::ofstream(corrupt_, std::ios::binary) << std::string(20000, '\x5a');
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        library = CreateAudioLibrary();
        engine = std::make_unique<TAudioEngine>(*library, 0, BinDir());
        recorder.Attach(*engine);
    }
    void TearDown() override {
        engine.reset();
        library.reset();
    }
    bool Opened() {
        return WaitFor([&] { return !engine->IsOpening(); });
    }

    static QTemporaryDir *dir_;
    static std::string mp3_;
    static std::string corrupt_;
    const std::thread::id main = std::this_thread::get_id();
    std::unique_ptr<IAudioLibrary> library;
    Recorder recorder;
    std::unique_ptr<TAudioEngine> engine;
};

QTemporaryDir *EngineOverLibraryTest::dir_ = nullptr;
std::string EngineOverLibraryTest::mp3_;
std::string EngineOverLibraryTest::corrupt_;

TEST_F(EngineOverLibraryTest, FilterOffersTheShippedAddonsFormats) {
    EXPECT_TRUE(engine->Filter.starts_with("所有音乐|*.mp1;")) << engine->Filter;
    EXPECT_NE(engine->Filter.find("*.flac"), std::string::npos) << engine->Filter;
}

TEST_F(EngineOverLibraryTest, LocalFilePlaysToItsEndAndReportsTheEndOnceOffTheMainThread) {
    engine->SetVolume(40);
    engine->PlayFile(mp3_);
    ASSERT_TRUE(Opened());
    ASSERT_EQ(engine->State.load(), kStatePlaying);
    EXPECT_NEAR(engine->GetLength(), 1500, 60);

    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStateEnded && recorder.Texts().size() >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // nothing more comes
    EXPECT_THAT(recorder.Texts(), ElementsAre("status 1002", "end 1004"));
    const auto entries = recorder.Entries();
    EXPECT_EQ(entries[0].thread, main);
    EXPECT_NE(entries[1].thread, main);
    EXPECT_GE(engine->GetPosition(), 1400);

    TTags tags;
    engine->GetTags(mp3_, tags);
    EXPECT_EQ(tags.Title, "晴天");
    EXPECT_EQ(tags.Artist, "歌手");
    EXPECT_EQ(tags.Album, "专辑");
    EXPECT_NEAR(tags.Duration * 86400.0, 1.5, 0.06);
}

TEST_F(EngineOverLibraryTest, SeekPauseAndResumeActOnTheRealChannel) {
    engine->PlayFile(mp3_);
    ASSERT_TRUE(Opened());
    engine->Pause();
    engine->SetPosition(1000);
    EXPECT_NEAR(engine->GetPosition(), 1000, 30);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_NEAR(engine->GetPosition(), 1000, 30); // paused: the position stands still
    engine->Resume();
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStateEnded; }));
}

TEST_F(EngineOverLibraryTest, RapidOpensStopsAndSeeksEndEveryOpenExactlyOnce) {
    int accepted = 0;
    int refused = 0;
    bool stopped = false; // since the last accepted PlayFile: the next one replaces that open
    for (int round = 0; round < 25; ++round) {
        if (engine->IsOpening() && !stopped) {
            engine->PlayFile(mp3_);
            ++refused;
        } else {
            engine->PlayFile(round % 5 == 4 ? corrupt_ : mp3_);
            ++accepted;
            stopped = false;
        }
        if (round % 3 == 0) {
            engine->Stop();
            stopped = true;
        }
        engine->SetPosition(round * 40);
        engine->SetVolume(static_cast<float>(round * 4));
        engine->Pause();
        WaitFor([] { return false; }, round % 4 * 5);
    }
    ASSERT_TRUE(Opened());
    int completions = 0;
    int refusals = 0;
    for (const auto &text : recorder.Texts()) {
        completions += text == "status 1002" || text == "error 1006" ? 1 : 0;
        refusals += text == "error 1004" ? 1 : 0;
    }
    EXPECT_EQ(completions, accepted);
    EXPECT_EQ(refusals, refused);
}

TEST_F(EngineOverLibraryTest, CorruptFileFailsWithANonZeroCodeAndTheNextOpenWorks) {
    engine->PlayFile(corrupt_);
    ASSERT_TRUE(Opened());
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    EXPECT_THAT(recorder.Texts(), ElementsAre("status 1005", "error 1006"));
    EXPECT_NE(recorder.errorCode, 0);
    EXPECT_EQ(engine->GetPosition(), 0);
    EXPECT_EQ(engine->GetLength(), 0);

    TTags tags{"x", "y", "z", 1.0};
    engine->GetTags(corrupt_, tags);
    EXPECT_EQ(tags.Title, "");
    EXPECT_EQ(tags.Duration, 0.0);

    engine->PlayFile(mp3_);
    ASSERT_TRUE(Opened());
    EXPECT_EQ(engine->State.load(), kStatePlaying);
}

TEST_F(EngineOverLibraryTest, NetworkStreamPlaysAndHandsEveryByteToOnDownload) {
    const std::string body = ReadAll(mp3_);
    LocalServer server([&](httplib::Server &routes) {
        routes.Get("/song.mp3", [&](const httplib::Request &, httplib::Response &response) {
            response.set_content(body, "audio/mpeg");
        });
    });

    engine->PlayFile(server.Url("/song.mp3"));
    ASSERT_TRUE(Opened());
    EXPECT_EQ(engine->State.load(), kStatePlaying);
    EXPECT_EQ(engine->DownloadSize.load(), body.size());
    ASSERT_TRUE(WaitFor([&] { return recorder.FinalCalls() == 1; }));
    EXPECT_EQ(recorder.Downloaded(), body);
    EXPECT_THAT(recorder.Texts(), ElementsAre("status 1005", "status 1002"));
    EXPECT_NE(recorder.Entries()[0].thread, main);

    engine.reset(); // frees the stream before the server goes
}

TEST_F(EngineOverLibraryTest, StreamWhoseServerFallsSilentEndsWithTheEndReportAndAShortDownload) {
    const std::string body = ReadAll(mp3_);
    const size_t sent = body.size() * 2 / 5;
    auto quiet = std::make_shared<std::atomic<bool>>(true);
    LocalServer server([&](httplib::Server &routes) {
        routes.Get("/song.mp3", [&body, sent, quiet](const httplib::Request &, httplib::Response &response) {
            response.set_content_provider(body.size(), "audio/mpeg",
                                          [&body, sent, quiet](size_t offset, size_t, httplib::DataSink &sink) {
                                              if (offset >= sent) {
                                                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                                  return quiet->load();
                                              }
                                              return sink.write(body.data() + offset, sent - offset);
                                          });
        });
    });
    // The player waits 15 s; the test does not.
    ASSERT_TRUE(library->SetConfig(kConfigNetReadTimeout, 400));

    engine->PlayFile(server.Url("/song.mp3"));
    ASSERT_TRUE(Opened());
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStateEnded; }, 15000));
    // An ordinary end, so the play order goes on; no error report on top of it. The state is
    // set before the end is reported, so the test waits for the report as well.
    ASSERT_TRUE(WaitFor([&] { return recorder.FinalCalls() == 1 && recorder.Texts().size() >= 3; }));
    EXPECT_THAT(recorder.Texts(), ElementsAre("status 1005", "status 1002", "end 1004"));
    // Short of the announced size: the owner's cache keeps nothing and points no row at it.
    EXPECT_EQ(recorder.Downloaded().size(), sent);
    EXPECT_EQ(engine->DownloadSize.load(), body.size());
    *quiet = false;
    engine.reset();
}

TEST_F(EngineOverLibraryTest, StopWhileTheServerIsSilentGivesStoppedAtOnceAndAQuietFailureLater) {
    // A socket that accepts connections (through the backlog) but never answers.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(silent, reinterpret_cast<sockaddr *>(&address), &length);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/never.mp3";

    engine->PlayFile(url);
    // The worker sets the state, then reports it: the stop comes after both.
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStateConnecting && !recorder.Texts().empty(); }));
    engine->Stop();
    EXPECT_EQ(engine->State.load(), kStateStopped);
    ASSERT_TRUE(Opened()); // the 2000 ms connection time-out ends the worker
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    EXPECT_THAT(recorder.Texts(), ElementsAre("status 1005", "status 1001", "error 1006"));
    EXPECT_EQ(recorder.errorCode, 0);

    // Without the stop the same server gives a real failure code.
    engine->PlayFile(url);
    ASSERT_TRUE(Opened());
    EXPECT_NE(recorder.errorCode, 0);
    ::close(silent);
}

} // namespace
} // namespace lirvo::audio
