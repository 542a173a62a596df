#include "audio/engine/AudioEngine.h"

#include "FakeAudioLibrary.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace lirvo::audio {
namespace {

using ::testing::ElementsAre;
using testing::FakeAudioLibrary;
using testing::FakeFile;
using testing::FakeStream;
using testing::FakeUrl;
using testing::kBytesPerSecond;

const std::string kBuiltIn =
    "所有音乐|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm;*.aif";

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "audio_engine_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Records every report of the engine with the thread it arrived on.
struct Report {
    std::string kind;
    std::vector<std::int64_t> args;
    std::thread::id thread;
};

class Owner {
public:
    void Attach(TAudioEngine &engine) {
        engine.OnStatus = TStatusSlot::Bind<&Owner::Status>(this);
        engine.OnEnd = TEndSlot::Bind<&Owner::End>(this);
        engine.OnError = TErrorSlot::Bind<&Owner::Error>(this);
        engine.OnTick = TTickSlot::Bind<&Owner::Tick>(this);
        engine.OnDownload = TDownloadSlot::Bind<&Owner::Download>(this);
    }

    std::vector<Report> Reports(const std::string &kind) {
        std::lock_guard lock(mutex_);
        std::vector<Report> found;
        for (const auto &report : reports_) {
            if (kind.empty() || report.kind == kind) {
                found.push_back(report);
            }
        }
        return found;
    }
    // "status 1005", "error 1006 2", ... in arrival order (ticks and downloads left out).
    std::vector<std::string> Events() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        for (const auto &report : reports_) {
            if (report.kind == "tick" || report.kind == "download") {
                continue;
            }
            std::string text = report.kind;
            for (auto arg : report.args) {
                text += " " + std::to_string(arg);
            }
            found.push_back(text);
        }
        return found;
    }
    std::vector<std::string> Blocks() {
        std::lock_guard lock(mutex_);
        return blocks_;
    }
    TSampleBlock LastSamples() {
        std::lock_guard lock(mutex_);
        return lastSamples_;
    }
    TLevelBlock LastLevels() {
        std::lock_guard lock(mutex_);
        return lastLevels_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        reports_.clear();
    }

    std::function<void(std::int32_t)> statusHook;
    TAudioEngine *sizeSource = nullptr; // read DownloadSize at the final download call
    std::uint64_t sizeAtFinal = 0;
    bool throwOnEnd = false;
    bool throwOnTick = false;
    bool throwOnDownload = false;

private:
    void Add(std::string kind, std::vector<std::int64_t> args) {
        std::lock_guard lock(mutex_);
        reports_.push_back({std::move(kind), std::move(args), std::this_thread::get_id()});
    }
    void Status(std::int32_t status) {
        Add("status", {status});
        if (statusHook) {
            statusHook(status);
        }
    }
    void End(std::int32_t status) {
        Add("end", {status});
        if (throwOnEnd) {
            throw std::runtime_error("end handler failed");
        }
    }
    void Error(std::int32_t status, std::int32_t code) { Add("error", {status, code}); }
    void Tick(std::int32_t state, std::int32_t length, std::int32_t position, const TLevelBlock &levels,
              const TSampleBlock &samples) {
        Add("tick", {state, length, position});
        {
            std::lock_guard lock(mutex_);
            lastLevels_ = levels;
            lastSamples_ = samples;
        }
        if (throwOnTick) {
            throw std::runtime_error("tick handler failed");
        }
    }
    void Download(const void *buffer, std::uint32_t length, void *user) {
        // The size is taken before the report is added, so a reader that saw the report also
        // sees the size (the report list's lock orders them).
        if (buffer == nullptr && sizeSource != nullptr) {
            sizeAtFinal = sizeSource->DownloadSize.load();
        }
        Add("download",
            {buffer == nullptr ? -1 : static_cast<std::int64_t>(length), user == nullptr ? 0 : 1});
        if (buffer != nullptr) {
            std::lock_guard lock(mutex_);
            blocks_.emplace_back(static_cast<const char *>(buffer), length);
        }
        if (throwOnDownload) {
            throw std::runtime_error("cache write failed");
        }
    }

    std::mutex mutex_;
    std::vector<Report> reports_;
    std::vector<std::string> blocks_;
    TSampleBlock lastSamples_{};
    TLevelBlock lastLevels_{};
};

class AudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        lib.files["/music/a.mp3"] = FakeFile{200 * kBytesPerSecond, "Title A", "Artist A", "Album A"};
        lib.files["/music/b.mp3"] = FakeFile{90 * kBytesPerSecond, "", "", ""};
    }
    void TearDown() override { engine.reset(); }

    void Make(const std::string &addonFolder = "/nonexistent/folder/") {
        engine = std::make_unique<TAudioEngine>(lib, 7, addonFolder);
        owner.Attach(*engine);
    }

    static bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    static void Spin(int ms) {
        WaitFor([] { return false; }, ms);
    }
    void Open(const std::string &source) {
        engine->PlayFile(source);
        ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));
    }

    const std::thread::id main = std::this_thread::get_id();
    FakeAudioLibrary lib;
    Owner owner;
    std::unique_ptr<TAudioEngine> engine;
};

// ---------------------------------------------------------------- construction

TEST_F(AudioEngineTest, StartsLibraryAndExtendsFilterWithEveryAcceptedAddonInNameOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/";
    for (const char *name : {"b_beta.so", "b_alpha.so", "b_zbroken.so", "other.so", "b_note.txt"}) {
        std::ofstream(folder + name) << "x";
    }
    lib.addons["b_alpha.so"] = {{"*.flac;*.fla", "*.ape", "*.wv"}};
    lib.addons["b_beta.so"] = {{"*.opus"}};
    Make(folder);

    EXPECT_EQ(engine->Filter, kBuiltIn + ";*.flac;*.fla;*.ape;*.wv;*.opus");
    const auto calls = lib.Calls();
    const std::vector<std::string> expected{"GetVersion",
                                            "Init -1 44100 0 7",
                                            "PluginLoad " + folder + "b_alpha.so",
                                            "PluginGetInfo 100",
                                            "PluginLoad " + folder + "b_beta.so",
                                            "PluginGetInfo 101",
                                            "PluginLoad " + folder + "b_zbroken.so",
                                            "SetConfig 21 1",
                                            "SetConfig 15 0",
                                            "SetConfig 11 2000",
                                            "SetConfig 37 15000",
                                            "Start"};
    EXPECT_EQ(calls, expected);

    // The refused add-on was the last attempt: its 0 handle is what destruction passes on.
    engine.reset();
    const auto after = lib.Calls();
    const std::vector<std::string> tail(after.begin() + static_cast<long>(calls.size()), after.end());
    EXPECT_THAT(tail, ElementsAre("ChannelStop 0", "PluginFree 0", "Stop", "Free"));
    EXPECT_THAT(owner.Events(), ElementsAre("status 1001"));
}

TEST_F(AudioEngineTest, FilterIsTheBuiltInTextWithoutAddonsAndEmptyWhenTheLibraryFails) {
    Make();
    EXPECT_EQ(engine->Filter, kBuiltIn);
    std::string fixed;
    engine->GetDefaultFilter(fixed);
    EXPECT_EQ(fixed.size(), 252u);
    EXPECT_TRUE(fixed.starts_with("mp1/mp2/mp3/wav/ogg/mod/s3m/it/umx/mo3/mtm/xm|*.mp1;"));

    for (std::uint32_t version : {0x02030000u, 0x02050000u}) {
        FakeAudioLibrary other;
        other.version = version;
        TAudioEngine wrong(other, 0, "/nonexistent/");
        EXPECT_EQ(wrong.Filter, "");
        EXPECT_FALSE(other.Called("Init -1 44100 0 0"));
        EXPECT_FALSE(other.Called("Start"));
    }

    FakeAudioLibrary noDevice;
    noDevice.initSucceeds = false;
    TAudioEngine silent(noDevice, 0, "/nonexistent/");
    EXPECT_EQ(silent.Filter, "");
    EXPECT_FALSE(noDevice.Called("SetConfig 11 2000"));
}

TEST_F(AudioEngineTest, EngineWithoutDeviceStillTicksAndFailsOpensQuietly) {
    lib.version = 0x02050000;
    Make();
    engine->Pause(); // state 1003: the tick must run although the library never started
    ASSERT_TRUE(WaitFor([&] { return !owner.Reports("tick").empty(); }));
    lib.files.clear();
    Open("/music/a.mp3");
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
}

// ---------------------------------------------------------------- opening

TEST_F(AudioEngineTest, LocalFileOpensOnWorkerAndStartsWithEffectsVolumeAndEndSync) {
    Make();
    engine->SetVolume(80);
    Open("/music/a.mp3");

    EXPECT_THAT(owner.Events(), ElementsAre("status 1002"));
    EXPECT_EQ(owner.Reports("status")[0].thread, main);
    EXPECT_EQ(engine->State.load(), kStatePlaying);
    EXPECT_EQ(engine->GetLength(), 200000);
    EXPECT_EQ(engine->DownloadSize.load(), 0u);

    const Handle channel = engine->CurrentChannel();
    ASSERT_NE(channel, 0u);
    const auto record = lib.StreamRecord(channel);
    EXPECT_TRUE(record.playing);
    EXPECT_THAT(record.volumes, ElementsAre(0.8f));
    ASSERT_EQ(record.effects.size(), 10u);
    const float centers[] = {80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
    for (std::size_t band = 0; band < 10; ++band) {
        const auto fx = lib.Effect(record.effects[band]);
        EXPECT_EQ(fx.center, centers[band]);
        EXPECT_EQ(fx.bandwidth, 5.0f);
        EXPECT_EQ(fx.gain, 0.0f);
    }
    const std::string ch = std::to_string(channel);
    EXPECT_TRUE(lib.Called("ChannelPlay " + ch + " 0"));
    EXPECT_TRUE(lib.Called("ChannelSetSync " + ch + " 2 0"));
    EXPECT_FALSE(lib.Called("StreamCreateURL /music/a.mp3 0 0"));
}

TEST_F(AudioEngineTest, UnopenableTextConnectsOnWorkerThenFailsWithTheOpensOwnCode) {
    lib.urls["http://127.0.0.1:9/missing.mp3"] = FakeUrl{false, kErrorTimeout, 0, 0, {}, 0};
    Make();
    Open("http://127.0.0.1:9/missing.mp3");

    const auto events = owner.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "status 1005");
    // The code is that of the failed network open, not of the main thread's latest call.
    EXPECT_EQ(events[1], "error 1006 " + std::to_string(kErrorTimeout));
    const auto statuses = owner.Reports("status");
    EXPECT_NE(statuses[0].thread, main);
    EXPECT_EQ(owner.Reports("error")[0].thread, main);
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    EXPECT_EQ(engine->CurrentChannel(), 0u);

    // The worker is gone, so the next open is accepted.
    owner.Clear();
    Open("/music/b.mp3");
    EXPECT_THAT(owner.Events(), ElementsAre("status 1002"));
}

TEST_F(AudioEngineTest, SecondPlayFileDuringAnOpenIsRefusedAndTheFirstCompletes) {
    lib.urls["http://radio.example/live"] = FakeUrl{};
    Make();
    Open("/music/b.mp3");
    const Handle old = engine->CurrentChannel();
    owner.Clear();

    engine->PlayFile("/music/b.mp3");
    // The old track is released at once, but the state stays until the new one opened.
    EXPECT_TRUE(lib.StreamRecord(old).freed);
    EXPECT_EQ(engine->State.load(), kStatePlaying);
    engine->PlayFile("/music/a.mp3");
    EXPECT_THAT(owner.Events(), ElementsAre("error 1004 -3"));
    EXPECT_EQ(owner.Reports("error")[0].thread, main);
    ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));
    EXPECT_THAT(owner.Events(), ElementsAre("error 1004 -3", "status 1002"));
    EXPECT_TRUE(lib.StreamsOf("/music/a.mp3").empty());
    owner.Clear();

    // The same while a network open waits for its server.
    lib.HoldUrlOpens();
    engine->PlayFile("http://radio.example/live");
    ASSERT_TRUE(WaitFor([&] { return lib.WaitingUrlOpens() == 1; }));
    engine->PlayFile("/music/a.mp3");
    lib.ReleaseUrlOpens();
    ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));

    EXPECT_THAT(owner.Events(), ElementsAre("status 1005", "error 1004 -3", "status 1002"));
    EXPECT_EQ(lib.StreamRecord(engine->CurrentChannel()).source, "http://radio.example/live");
    EXPECT_TRUE(lib.StreamsOf("/music/a.mp3").empty());
}

TEST_F(AudioEngineTest, StopDuringNetworkOpenReportsStoppedAtOnceAndDiscardsTheLateStream) {
    lib.urls["http://radio.example/slow"] = FakeUrl{true, 0, 60 * kBytesPerSecond, 5000, {"abc", "def"}, 200};
    Make();
    lib.HoldUrlOpens();
    engine->PlayFile("http://radio.example/slow");
    ASSERT_TRUE(WaitFor([&] { return lib.WaitingUrlOpens() == 1; }));

    engine->Stop();
    EXPECT_EQ(engine->State.load(), kStateStopped);
    EXPECT_THAT(owner.Events(), ElementsAre("status 1005", "status 1001"));

    lib.ReleaseUrlOpens();
    ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    // Code 0: a stopped open is no failure that should make the owner move on.
    EXPECT_THAT(owner.Events(), ElementsAre("status 1005", "status 1001", "error 1006 0"));
    const auto streams = lib.StreamsOf("http://radio.example/slow");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_TRUE(lib.StreamRecord(streams[0]).freed);
    EXPECT_FALSE(lib.StreamRecord(streams[0]).playing);
    Spin(50);
    EXPECT_TRUE(owner.Reports("download").empty());
}

// A network open held on its worker, so a test can stop and replace it while it is under way.
class HeldOpenTest : public AudioEngineTest {
protected:
    void StartHeldNetworkOpen() {
        lib.urls["http://radio.example/slow"] = FakeUrl{true, 0, 60 * kBytesPerSecond, 5000, {}, 0};
        Make();
        lib.HoldUrlOpens();
        engine->PlayFile("http://radio.example/slow");
        ASSERT_TRUE(WaitFor([&] { return lib.WaitingUrlOpens() == 1; }));
    }
};

TEST_F(HeldOpenTest, PlayFileAfterStopReplacesTheOpenUnderWayOnceItsWorkerEnded) {
    StartHeldNetworkOpen();
    if (HasFatalFailure())
        return;

    engine->Stop();
    engine->PlayFile("/music/a.mp3");
    Spin(50);
    // One open at a time: the replacement waits for the abandoned worker.
    EXPECT_TRUE(lib.StreamsOf("/music/a.mp3").empty());
    EXPECT_TRUE(engine->IsOpening());
    EXPECT_EQ(engine->State.load(), kStateStopped);

    lib.ReleaseUrlOpens();
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStatePlaying && !engine->IsOpening(); }));
    // The abandoned open ends as a stopped one (code 0, so the owner does not move on).
    EXPECT_THAT(owner.Events(), ElementsAre("status 1005", "status 1001", "error 1006 0", "status 1002"));
    EXPECT_EQ(lib.StreamRecord(engine->CurrentChannel()).source, "/music/a.mp3");
    EXPECT_TRUE(lib.StreamRecord(engine->CurrentChannel()).playing);
    const auto late = lib.StreamsOf("http://radio.example/slow");
    ASSERT_EQ(late.size(), 1u);
    EXPECT_TRUE(lib.StreamRecord(late[0]).freed);
    EXPECT_FALSE(lib.StreamRecord(late[0]).playing);

    // Between local files, as when a file manager hands several over at once: each one is
    // stopped and replaced before its open completed, and the last plays.
    owner.Clear();
    for (const char *song : {"/music/b.mp3", "/music/a.mp3", "/music/b.mp3"}) {
        engine->Stop();
        engine->PlayFile(song);
    }
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStatePlaying && !engine->IsOpening(); }));
    EXPECT_EQ(lib.StreamRecord(engine->CurrentChannel()).source, "/music/b.mp3");
    // Each accepted PlayFile ends once: the abandoned b, the dropped a, the b that plays.
    EXPECT_THAT(owner.Events(), ElementsAre("status 1001", "status 1001", "status 1001", "error 1006 0",
                                            "error 1006 0", "status 1002"));
    int sounding = 0;
    for (const char *song : {"/music/a.mp3", "/music/b.mp3"})
        for (Handle stream : lib.StreamsOf(song))
            sounding += lib.StreamRecord(stream).playing && !lib.StreamRecord(stream).freed;
    EXPECT_EQ(sounding, 1);
}

TEST_F(HeldOpenTest, AReplacementIsRefusedLikeAnyOpenAndDroppedByStop) {
    StartHeldNetworkOpen();
    if (HasFatalFailure())
        return;
    engine->Stop();
    engine->PlayFile("/music/a.mp3");
    engine->PlayFile("/music/b.mp3"); // no Stop before it: the replacement is an open under way
    engine->Stop();                   // and this drops it again
    lib.ReleaseUrlOpens();
    ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));
    Spin(50);

    EXPECT_THAT(owner.Events(), ElementsAre("status 1005", "status 1001", "error 1004 -3", "status 1001",
                                            "error 1006 0", "error 1006 0"));
    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    EXPECT_TRUE(lib.StreamsOf("/music/a.mp3").empty());
    EXPECT_TRUE(lib.StreamsOf("/music/b.mp3").empty());
}

TEST_F(AudioEngineTest, StopAfterTheWorkerFinishedButBeforeCompletionStillAbandonsTheOpen) {
    Make();
    engine->PlayFile("/music/a.mp3");
    // Let the worker finish without running the queued completion.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lib.StreamsOf("/music/a.mp3").empty() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    engine->Stop();
    ASSERT_TRUE(WaitFor([&] { return !engine->IsOpening(); }));

    EXPECT_EQ(engine->State.load(), kStateOpenFailed);
    EXPECT_THAT(owner.Events(), ElementsAre("status 1001", "error 1006 0"));
    EXPECT_TRUE(lib.StreamRecord(lib.StreamsOf("/music/a.mp3")[0]).freed);
}

TEST_F(AudioEngineTest, HandlerMayStartTheNextTrackFromTheOpenReport) {
    Make();
    engine->OnError = {[](void *context, std::int32_t status, std::int32_t) {
                           auto *self = static_cast<TAudioEngine *>(context);
                           if (status == kStateOpenFailed) {
                               self->PlayFile("/music/b.mp3");
                           }
                       },
                       engine.get()};
    engine->PlayFile("/music/broken.mp3");
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStatePlaying; }));
    EXPECT_EQ(lib.StreamRecord(engine->CurrentChannel()).source, "/music/b.mp3");
}

TEST_F(AudioEngineTest, NetworkBlocksReachOnDownloadInOrderOnTheDownloadThread) {
    lib.urls["http://songs.example/x.mp3"] =
        FakeUrl{true, 0, 60 * kBytesPerSecond, 9, {"one", "two", "three"}, 0};
    lib.urls["http://songs.example/unknown.mp3"] = FakeUrl{true, 0, 60 * kBytesPerSecond, kErrorValue, {}, 0};
    Make();
    owner.sizeSource = engine.get();
    owner.throwOnDownload = true; // the engine swallows the handler's failures
    engine->DownloadedBytes = 77;
    Open("http://songs.example/x.mp3");
    EXPECT_EQ(engine->DownloadSize.load(), 9u);
    EXPECT_EQ(engine->DownloadedBytes.load(), 0u);
    ASSERT_TRUE(WaitFor([&] { return owner.Reports("download").size() == 4; }));

    EXPECT_THAT(owner.Blocks(), ElementsAre("one", "two", "three"));
    const auto downloads = owner.Reports("download");
    EXPECT_EQ(downloads.back().args, (std::vector<std::int64_t>{-1, 0})); // final call, no user value
    EXPECT_EQ(owner.sizeAtFinal, 9u);
    for (const auto &report : downloads) {
        EXPECT_NE(report.thread, main);
        EXPECT_EQ(report.args[1], 0);
    }

    Open("http://songs.example/unknown.mp3");
    EXPECT_EQ(engine->DownloadSize.load(), kErrorValue);
}

TEST_F(AudioEngineTest, DownloadThatEndsBeforeTheOpenReturnsIsReportedEndedOnlyWithItsSizeKnown) {
    FakeUrl quick{true, 0, 60 * kBytesPerSecond, 6, {"abc", "def"}, 0};
    quick.finishesBeforeOpenReturns = true;
    lib.urls["http://songs.example/quick.mp3"] = quick;
    Make();
    owner.sizeSource = engine.get();
    Open("http://songs.example/quick.mp3");
    ASSERT_TRUE(WaitFor([&] { return owner.Reports("download").size() == 3; }));
    EXPECT_THAT(owner.Blocks(), ElementsAre("abc", "def"));
    EXPECT_EQ(owner.Reports("download").back().args[0], -1);
    // Compared with 0 the owner would keep a copy of a download it cannot judge complete.
    EXPECT_EQ(owner.sizeAtFinal, 6u);
}

TEST_F(AudioEngineTest, ThrowingConnectingHandlerDoesNotPreventTheNetworkOpen) {
    lib.urls["http://songs.example/x.mp3"] = FakeUrl{};
    Make();
    owner.statusHook = [](std::int32_t status) {
        if (status == kStateConnecting) {
            throw std::runtime_error("cache folder missing");
        }
    };
    Open("http://songs.example/x.mp3");
    EXPECT_EQ(engine->State.load(), kStatePlaying);
}

TEST_F(AudioEngineTest, ThrowingPlayingHandlerStillReleasesTheWorker) {
    Make();
    owner.statusHook = [](std::int32_t status) {
        if (status == kStatePlaying) {
            throw std::runtime_error("preset file broken");
        }
    };
    Open("/music/a.mp3");
    owner.statusHook = nullptr;
    owner.Clear();
    Open("/music/b.mp3");
    EXPECT_THAT(owner.Events(), ElementsAre("status 1002"));
}

// ---------------------------------------------------------------- transport and end

TEST_F(AudioEngineTest, TransportChangesStateAndReportsOnMainThreadEvenWithNothingOpen) {
    Make();
    engine->Pause();
    EXPECT_EQ(engine->State.load(), kStatePaused);
    engine->Resume();
    EXPECT_EQ(engine->State.load(), kStatePlaying);
    engine->Stop();
    EXPECT_EQ(engine->State.load(), kStateStopped);
    EXPECT_THAT(owner.Events(), ElementsAre("status 1003", "status 1002", "status 1001"));
    for (const auto &report : owner.Reports("status")) {
        EXPECT_EQ(report.thread, main);
    }

    Open("/music/a.mp3");
    const Handle channel = engine->CurrentChannel();
    engine->Pause();
    EXPECT_FALSE(lib.StreamRecord(channel).playing);
    engine->Resume();
    EXPECT_TRUE(lib.StreamRecord(channel).playing);
    engine->Stop();
    EXPECT_FALSE(lib.StreamRecord(channel).freed); // the next PlayFile frees it
    Open("/music/b.mp3");
    EXPECT_TRUE(lib.StreamRecord(channel).freed);
}

TEST_F(AudioEngineTest, ChannelEndSetsEndedAndReportsOnceOnTheLibraryThread) {
    Make();
    Open("/music/a.mp3");
    owner.Clear();
    owner.throwOnEnd = true; // must not escape into the library's thread
    lib.EndChannel(engine->CurrentChannel());

    EXPECT_EQ(engine->State.load(), kStateEnded);
    const auto ends = owner.Reports("end");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].args[0], kStateEnded);
    EXPECT_NE(ends[0].thread, main);
    EXPECT_TRUE(owner.Reports("status").empty());
}

TEST_F(AudioEngineTest, VolumeIsScaledForTheCurrentAndEveryLaterChannel) {
    Make();
    engine->SetVolume(65); // nothing open yet: kept for later
    Open("/music/a.mp3");
    const Handle first = engine->CurrentChannel();
    EXPECT_THAT(lib.StreamRecord(first).volumes, ElementsAre(0.65f));

    engine->SetVolume(30);
    engine->SetVolume(65);
    EXPECT_THAT(lib.StreamRecord(first).volumes, ElementsAre(0.65f, 0.30f, 0.65f));
    Open("/music/b.mp3");
    EXPECT_THAT(lib.StreamRecord(engine->CurrentChannel()).volumes, ElementsAre(0.65f));
}

TEST_F(AudioEngineTest, PositionAndLengthUseFullByteCountsAndNeverGoNegative) {
    lib.files["/music/long.wav"] = FakeFile{6 * 3600 * kBytesPerSecond, "", "", ""};
    Make();
    EXPECT_EQ(engine->GetPosition(), 0); // no channel: the library answers -1 seconds
    EXPECT_EQ(engine->GetLength(), 0);

    Open("/music/long.wav");
    EXPECT_EQ(engine->GetLength(), 6 * 3600 * 1000);
    const Handle channel = engine->CurrentChannel();
    lib.SetPositionBytes(channel, 5ull * 3600 * kBytesPerSecond + kBytesPerSecond / 2); // beyond 4 GiB
    EXPECT_EQ(engine->GetPosition(), 5 * 3600 * 1000 + 500);

    engine->SetPosition(90250);
    EXPECT_EQ(lib.StreamRecord(channel).positionBytes, 90250ull * 44100 / 1000 * 8);
    EXPECT_EQ(engine->GetPosition(), 90250);
    engine->SetPosition(-500);
    EXPECT_EQ(engine->GetPosition(), 0);

    lib.bytesToSecondsFails = true;
    EXPECT_EQ(engine->GetPosition(), 0);
    EXPECT_EQ(engine->GetLength(), 0);
}

// ---------------------------------------------------------------- tick

TEST_F(AudioEngineTest, TickIsSilentWhileStoppedAndCarriesPositionZeroAfterAFailedOpen) {
    Make();
    Spin(200);
    EXPECT_TRUE(owner.Reports("tick").empty());

    Open("/music/nowhere.mp3");
    ASSERT_TRUE(WaitFor([&] { return !owner.Reports("tick").empty(); }));
    const auto tick = owner.Reports("tick").front();
    EXPECT_EQ(tick.args, (std::vector<std::int64_t>{kStateOpenFailed, 0, 0}));
    EXPECT_EQ(tick.thread, main);
    const auto samples = owner.LastSamples();
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float v) { return v == 0.0f; }));

    engine->Stop();
    Spin(20);
    owner.Clear();
    Spin(200);
    EXPECT_TRUE(owner.Reports("tick").empty());
}

TEST_F(AudioEngineTest, TickWhilePlayingCarriesPositionLengthAndSampleDataOnlyWhilePlaying) {
    Make();
    Open("/music/a.mp3");
    lib.SetPositionBytes(engine->CurrentChannel(), 12 * kBytesPerSecond);
    owner.throwOnTick = true; // a failing handler must not stop later ticks
    owner.Clear();
    ASSERT_TRUE(WaitFor([&] { return owner.Reports("tick").size() >= 2; }));
    EXPECT_EQ(owner.Reports("tick").back().args, (std::vector<std::int64_t>{kStatePlaying, 200000, 12000}));
    auto samples = owner.LastSamples();
    EXPECT_EQ(samples[0], 0.5f);
    EXPECT_EQ(samples[511], 0.5f); // 2048 bytes of channel data
    EXPECT_EQ(samples[512], 0.0f);
    EXPECT_EQ(samples[2048], 0.0f);
    const auto levels = owner.LastLevels();
    EXPECT_TRUE(std::all_of(levels.begin(), levels.end(), [](std::uint32_t v) { return v == 0; }));

    engine->Pause();
    owner.Clear();
    ASSERT_TRUE(WaitFor([&] { return !owner.Reports("tick").empty(); }));
    samples = owner.LastSamples();
    EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(owner.Reports("tick").back().args[0], kStatePaused);
}

// ---------------------------------------------------------------- equalizer

TEST_F(AudioEngineTest, GainsSetBeforeAnyTrackApplyToTheNextTrackAndKeepTheBandShape) {
    Make();
    TEqGains gains{6, 0, -3, 0, 0, 0, 0, 0, 0, 12};
    engine->SetEQ(gains);
    EXPECT_EQ(engine->CurrentEqGains(), gains);

    Open("/music/a.mp3");
    auto effects = lib.StreamRecord(engine->CurrentChannel()).effects;
    ASSERT_EQ(effects.size(), 10u);
    EXPECT_EQ(lib.Effect(effects[0]).gain, 6.0f);
    EXPECT_EQ(lib.Effect(effects[2]).gain, -3.0f);
    EXPECT_EQ(lib.Effect(effects[9]).gain, 12.0f);
    EXPECT_EQ(lib.Effect(effects[9]).center, 14000.0f);

    engine->SetEQ(TEqGains{});
    for (Handle fx : effects) {
        EXPECT_EQ(lib.Effect(fx).gain, 0.0f);
        EXPECT_EQ(lib.Effect(fx).bandwidth, 5.0f);
    }
    Open("/music/b.mp3");
    effects = lib.StreamRecord(engine->CurrentChannel()).effects;
    EXPECT_EQ(lib.Effect(effects[0]).gain, 0.0f);
}

// ---------------------------------------------------------------- tags

TEST_F(AudioEngineTest, TagsComeFromASeparateStreamAndAreEmptyForLocations) {
    lib.files["/music/three.mp3"] = FakeFile{180 * kBytesPerSecond, "只有标题", "", ""};
    Make();
    Open("/music/a.mp3");
    const Handle channel = engine->CurrentChannel();

    TTags tags;
    engine->GetTags("/music/three.mp3", tags);
    EXPECT_EQ(tags.Title, "只有标题");
    EXPECT_EQ(tags.Artist, "");
    EXPECT_EQ(tags.Album, "");
    EXPECT_DOUBLE_EQ(tags.Duration, 180.0 / 86400.0);
    const auto streams = lib.StreamsOf("/music/three.mp3");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_TRUE(lib.StreamRecord(streams[0]).freed);
    EXPECT_EQ(engine->CurrentChannel(), channel);
    EXPECT_FALSE(lib.StreamRecord(channel).freed);

    engine->GetTags("/music/a.mp3", tags);
    EXPECT_EQ(tags.Artist, "Artist A");
    EXPECT_EQ(tags.Album, "Album A");

    engine->GetTags("http://songs.example/x.mp3", tags);
    EXPECT_EQ(tags.Title, "");
    EXPECT_EQ(tags.Artist, "");
    EXPECT_EQ(tags.Album, "");
    EXPECT_EQ(tags.Duration, 0.0);
    EXPECT_TRUE(lib.Called("StreamFree 0"));
}

// ---------------------------------------------------------------- destruction

TEST_F(AudioEngineTest, DestroyingTheEngineDuringANetworkOpenWaitsAndReleasesTheStream) {
    lib.urls["http://radio.example/slow"] = FakeUrl{true, 0, 60 * kBytesPerSecond, 10, {"abc"}, 1000};
    Make();
    lib.HoldUrlOpens();
    engine->PlayFile("http://radio.example/slow");
    ASSERT_TRUE(WaitFor([&] { return lib.WaitingUrlOpens() == 1; }));
    std::thread server([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lib.ReleaseUrlOpens();
    });
    engine.reset();
    server.join();

    const auto streams = lib.StreamsOf("http://radio.example/slow");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_TRUE(lib.StreamRecord(streams[0]).freed);
    EXPECT_TRUE(owner.Reports("download").empty());
    EXPECT_EQ(lib.Calls().back(), "Free");
}

// ---------------------------------------------------------------- output device, idle, gapless

TEST_F(AudioEngineTest, TrackWithoutAnOutputDeviceStopsInPlaceAndTheNextPlayTriesAgain) {
    lib.deviceAvailable = false;
    Make();
    Open("/music/a.mp3");
    // Stopped with a reason the owner can show, never an error that moves the list on.
    EXPECT_THAT(owner.Events(), ElementsAre("status 1001", "error 1001 -2"));
    EXPECT_EQ(engine->State.load(), kStateStopped);
    EXPECT_EQ(engine->CurrentChannel(), 0u);
    ASSERT_EQ(lib.StreamsOf("/music/a.mp3").size(), 1u);
    EXPECT_TRUE(lib.StreamRecord(lib.StreamsOf("/music/a.mp3")[0]).freed);
    EXPECT_FALSE(engine->IsTicking());

    lib.deviceAvailable = true; // the sound server came up
    owner.Clear();
    Open("/music/a.mp3");
    EXPECT_THAT(owner.Events(), ElementsAre("status 1002"));

    // A resume after the device was let go, with no device to be had, stays paused.
    engine->Pause();
    lib.deviceAvailable = false;
    owner.Clear();
    engine->Resume();
    EXPECT_THAT(owner.Events(), ElementsAre("error 1003 -2"));
    EXPECT_EQ(engine->State.load(), kStatePaused);
    lib.deviceAvailable = true;
    engine->Resume();
    EXPECT_EQ(engine->State.load(), kStatePlaying);
}

TEST_F(AudioEngineTest, ResumeAfterTheDeviceWasLetGoOpensItOffTheMainThread) {
    Make();
    Open("/music/a.mp3");
    engine->Pause();
    lib.outputOpen = false; // let go during a long pause
    owner.Clear();
    engine->Resume();
    EXPECT_EQ(engine->State.load(), kStatePaused); // the device opens on a worker first
    ASSERT_TRUE(WaitFor([&] { return engine->State.load() == kStatePlaying; }));
    EXPECT_THAT(owner.Events(), ElementsAre("status 1002"));
    EXPECT_NE(lib.prepareThread, std::this_thread::get_id());
    EXPECT_TRUE(lib.StreamRecord(engine->CurrentChannel()).playing);

    // No device to be had: it stays paused and says why.
    engine->Pause();
    lib.outputOpen = false;
    lib.deviceAvailable = false;
    owner.Clear();
    engine->Resume();
    engine->Resume(); // a second press while the first is under way changes nothing
    ASSERT_TRUE(WaitFor([&] { return !engine->IsResuming(); }));
    EXPECT_THAT(owner.Events(), ElementsAre("error 1003 -2"));
    EXPECT_EQ(engine->State.load(), kStatePaused);

    // Stopped while the device opens: nothing starts afterwards.
    lib.deviceAvailable = true;
    owner.Clear();
    engine->Resume();
    engine->Stop();
    ASSERT_TRUE(WaitFor([&] { return !engine->IsResuming(); }));
    Spin(50);
    EXPECT_EQ(engine->State.load(), kStateStopped);
    EXPECT_THAT(owner.Events(), ElementsAre("status 1001"));
}

TEST_F(AudioEngineTest, TickRunsOnlyWhilePlaybackMovesOrBrieflyAfterItStopped) {
    Make();
    engine->QuietTickLimitMs = 300;
    EXPECT_FALSE(engine->IsTicking()); // a fresh engine is idle
    Open("/music/a.mp3");
    EXPECT_TRUE(engine->IsTicking());
    Spin(500);
    EXPECT_TRUE(engine->IsTicking()); // playing: no limit

    engine->Pause();
    EXPECT_TRUE(engine->IsTicking());
    ASSERT_TRUE(WaitFor([&] { return !engine->IsTicking(); }, 2000));
    owner.Clear();
    Spin(200);
    EXPECT_TRUE(owner.Reports("tick").empty());
    // A seek while quiet shows the new place, then goes quiet again.
    engine->SetPosition(2000);
    ASSERT_TRUE(WaitFor([&] { return !owner.Reports("tick").empty(); }, 1000));
    EXPECT_EQ(owner.Reports("tick").back().args.at(2), 2000);
    ASSERT_TRUE(WaitFor([&] { return !engine->IsTicking(); }, 2000));

    engine->Resume();
    EXPECT_TRUE(engine->IsTicking());
    lib.EndChannel(engine->CurrentChannel()); // ended: the last position shows, then quiet
    ASSERT_TRUE(WaitFor([&] { return !owner.Reports("end").empty(); }));
    ASSERT_TRUE(WaitFor([&] { return !engine->IsTicking(); }, 2000));

    Open("/music/b.mp3");
    EXPECT_TRUE(engine->IsTicking());
    engine->Stop();
    EXPECT_FALSE(engine->IsTicking()); // stopped: at once
}

TEST_F(AudioEngineTest, QueuedNextTrackIsHandedOverAtTheEndAndTakenOverByItsPlay) {
    Make();
    engine->SetVolume(40);
    Open("/music/a.mp3");
    const Handle first = engine->CurrentChannel();
    engine->QueueNext("/music/b.mp3");
    ASSERT_TRUE(WaitFor([&] { return engine->QueuedChannel() != 0; }));
    const Handle next = engine->QueuedChannel();
    EXPECT_TRUE(lib.Called("ChannelSetNext " + std::to_string(first) + " " + std::to_string(next)));
    const FakeStream queued = lib.StreamRecord(next);
    EXPECT_FALSE(queued.playing);
    EXPECT_EQ(queued.effects.size(), kEqBandCount);
    EXPECT_EQ(queued.volumes.back(), 0.4f);
    EXPECT_NE(queued.endSync, nullptr);
    engine->QueueNext("/music/b.mp3"); // the same track again changes nothing
    EXPECT_EQ(engine->QueuedChannel(), next);

    // The library starts the queued stream the moment the first ends; the owner's reaction
    // (stop, play the next row) takes it over instead of opening the file again.
    owner.Clear();
    lib.EndChannel(first);
    EXPECT_TRUE(lib.StreamRecord(next).playing);
    engine->Stop();
    engine->PlayFile("/music/b.mp3");
    EXPECT_EQ(engine->CurrentChannel(), next);
    EXPECT_TRUE(lib.StreamRecord(first).freed);
    EXPECT_TRUE(lib.StreamRecord(next).playing);
    // Its start is reported on a later turn, after whatever the owner does next on this one.
    EXPECT_THAT(owner.Events(), ElementsAre("end 1004", "status 1001"));
    ASSERT_TRUE(WaitFor([&] { return owner.Events().size() == 3; }));
    EXPECT_EQ(owner.Events().back(), "status 1002");
    EXPECT_EQ(engine->State.load(), kStatePlaying);
    EXPECT_EQ(engine->GetLength(), 90000);
    EXPECT_EQ(lib.StreamsOf("/music/b.mp3").size(), 1u);
    EXPECT_EQ(engine->QueuedNext(), "");
}

TEST_F(AudioEngineTest, QueuedTrackIsLetGoWhenReplacedCancelledOrStopped) {
    lib.files["/music/c.mp3"] = FakeFile{};
    Make();
    Open("/music/a.mp3");
    engine->QueueNext("/music/b.mp3");
    ASSERT_TRUE(WaitFor([&] { return engine->QueuedChannel() != 0; }));
    const Handle b = engine->QueuedChannel();
    engine->QueueNext("/music/c.mp3"); // the play order changed
    EXPECT_TRUE(lib.StreamRecord(b).freed);
    ASSERT_TRUE(WaitFor([&] { return engine->QueuedChannel() != 0; }));
    const Handle c = engine->QueuedChannel();
    engine->QueueNext("");
    EXPECT_TRUE(lib.StreamRecord(c).freed);
    EXPECT_EQ(engine->QueuedChannel(), 0u);

    // A user's stop lets the queued track go once the turn is over; playing the row again
    // opens it afresh.
    engine->QueueNext("/music/b.mp3");
    ASSERT_TRUE(WaitFor([&] { return engine->QueuedChannel() != 0; }));
    const Handle again = engine->QueuedChannel();
    engine->Stop();
    Spin(50);
    EXPECT_TRUE(lib.StreamRecord(again).freed);
    Open("/music/b.mp3");
    EXPECT_EQ(lib.StreamsOf("/music/b.mp3").size(), 3u);

    // A network location or an unopenable text is not opened ahead: its turn opens it as usual.
    engine->QueueNext("http://example.invalid/song.mp3");
    Spin(100);
    EXPECT_EQ(engine->QueuedChannel(), 0u);
    owner.Clear();
    engine->Stop();
    Open("http://example.invalid/song.mp3");
    EXPECT_EQ(owner.Events().at(1), "status 1005");
}

} // namespace
} // namespace lirvo::audio
