// The program's audio library: lirvo-audio.so loaded at run time, on a thread of its own or by
// the first call, and every call going through to the module's library.

#include "audio/lib/FfmpegApi.h"
#include "audio/module/AudioModule.h"
#include "audio/module/ModuleAudioLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace lirvo::audio;

std::string ModulePath() {
    const char *folder = std::getenv("LIRVO_BIN_DIR");
    return std::string(folder != nullptr ? folder : LIRVO_TEST_PROGRAM_FOLDER) + "/" + kAudioModuleFile;
}

std::string DemoSong() {
    const char *source = std::getenv("LIRVO_SOURCE_DIR");
    return std::string(source != nullptr ? source : LIRVO_TEST_SOURCE_FOLDER) + "/resources/demo/lirvo-demo.ogg";
}

class AudioModuleTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
};

TEST_F(AudioModuleTest, LoadsInTheBackgroundThenEveryCallReachesTheModulesLibrary) {
    ModuleAudioLibrary library(ModulePath());
    EXPECT_FALSE(library.LoadEnded());
    std::promise<std::thread::id> loaded;
    library.LoadInBackground([&] { loaded.set_value(std::this_thread::get_id()); });
    auto done = loaded.get_future();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_NE(done.get(), std::this_thread::get_id()) << "loaded on a thread of its own";
    EXPECT_TRUE(library.LoadEnded());
    EXPECT_EQ(library.Error(), "");
    // Asked again after the load, the answer comes at once on the caller's thread.
    std::thread::id again;
    library.LoadInBackground([&] { again = std::this_thread::get_id(); });
    EXPECT_EQ(again, std::this_thread::get_id());

    EXPECT_EQ(library.GetVersion() >> 16, kInterfaceVersionHigh);
    ASSERT_TRUE(library.Init(kDefaultDevice, 44100, 0, 0, nullptr));
    const std::string song = DemoSong();
    const Handle stream = library.StreamCreateFile(false, song.c_str(), 0, 0, 0);
    ASSERT_NE(stream, 0u) << library.ErrorGetCode();
    EXPECT_NEAR(library.ChannelBytes2Seconds(stream, library.ChannelGetLength(stream, kPosByte)), 32.0, 0.1);
    EXPECT_STREQ(library.TagsRead(stream, "%TITL - %ARTI"), "晨光 - Lirvo");
    EXPECT_EQ(library.ErrorGetCode(), kErrorOk);
    EXPECT_EQ(library.StreamCreateFile(false, "/no/such/file.ogg", 0, 0, 0), 0u);
    EXPECT_EQ(library.ErrorGetCode(), kErrorFileOpen) << "the module's own error of this thread";
    EXPECT_TRUE(library.StreamFree(stream));
    EXPECT_TRUE(library.Free());
}

// Whether a file whose name holds `name` is mapped into this process.
bool Mapped(const std::string &name) {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
    return text.find(name) != std::string::npos;
}

// FFmpeg, and the hundred libraries it brings, are loaded with the first file that needs them;
// libcurl with the first download, so not at all here.
TEST_F(AudioModuleTest, FfmpegIsLoadedOnlyWithAFileThatNeedsIt) {
    ASSERT_FALSE(Mapped("libavcodec")) << "this test program links no FFmpeg of its own";
    ASSERT_FALSE(Mapped("libcurl")) << "nor libcurl";
    ModuleAudioLibrary library(ModulePath());
    ASSERT_TRUE(library.Init(kDefaultDevice, 44100, 0, 0, nullptr));
    const Handle vorbis = library.StreamCreateFile(false, DemoSong().c_str(), 0, 0, 0);
    ASSERT_NE(vorbis, 0u) << library.ErrorGetCode();
    ASSERT_TRUE(library.ChannelPlay(vorbis, false));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(library.ChannelGetPosition(vorbis, kPosByte), 0u);
    EXPECT_FALSE(Mapped(kFfmpegModuleFile));
    EXPECT_FALSE(Mapped("libavcodec"));

    char folder[] = "/tmp/lirvo-module-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    // MP3 has its own light decoder too; MPEG Layer II is FFmpeg's.
    const std::string mp3 = std::string(folder) + "/tone.mp3";
    const std::string layer2File = std::string(folder) + "/tone.mp2";
    for (const std::string &file : {mp3, layer2File}) {
        ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel quiet -y -f lavfi -i sine=frequency=440:duration=1 '" +
                               file + "'")
                                  .c_str()),
                  0);
    }
    const Handle layer3 = library.StreamCreateFile(false, mp3.c_str(), 0, 0, 0);
    ASSERT_NE(layer3, 0u) << library.ErrorGetCode();
    EXPECT_NEAR(library.ChannelBytes2Seconds(layer3, library.ChannelGetLength(layer3, kPosByte)), 1.0, 0.05);
    EXPECT_FALSE(Mapped(kFfmpegModuleFile));
    const Handle layer2 = library.StreamCreateFile(false, layer2File.c_str(), 0, 0, 0);
    ASSERT_NE(layer2, 0u) << library.ErrorGetCode();
    EXPECT_NEAR(library.ChannelBytes2Seconds(layer2, library.ChannelGetLength(layer2, kPosByte)), 1.0, 0.05);
    EXPECT_TRUE(Mapped(kFfmpegModuleFile));
    EXPECT_TRUE(Mapped("libavcodec"));
    EXPECT_FALSE(Mapped("libcurl"));
    EXPECT_TRUE(library.StreamFree(layer2));
    EXPECT_TRUE(library.StreamFree(layer3));
    EXPECT_TRUE(library.StreamFree(vorbis));
    EXPECT_TRUE(library.Free());
    std::remove(mp3.c_str());
    std::remove(layer2File.c_str());
    rmdir(folder);
}

TEST_F(AudioModuleTest, CallsBeforeTheLoadWaitForItAndAllSeeTheSameLibrary) {
    ModuleAudioLibrary library(ModulePath());
    // The first call loads the module itself; calls meanwhile from other threads wait for it.
    std::atomic<int> versions{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([&] {
            if ((library.GetVersion() >> 16) == kInterfaceVersionHigh)
                ++versions;
        });
    std::promise<void> told;
    library.LoadInBackground([&] { told.set_value(); }); // during or after the load: told once
    for (auto &caller : callers)
        caller.join();
    EXPECT_EQ(versions.load(), 4);
    EXPECT_EQ(told.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(library.Error(), "");
}

TEST_F(AudioModuleTest, WithoutTheModuleEveryCallFailsAndSaysWhy) {
    ModuleAudioLibrary library(ModulePath() + ".missing");
    std::promise<void> told;
    library.LoadInBackground([&] { told.set_value(); });
    EXPECT_FALSE(library.Init(kDefaultDevice, 44100, 0, 0, nullptr)); // waits for the failed load
    EXPECT_EQ(library.ErrorGetCode(), kErrorInit);
    EXPECT_EQ(told.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "a failed load is reported too";
    EXPECT_NE(library.Error().find(".missing"), std::string::npos) << library.Error();
    EXPECT_EQ(library.GetVersion(), kInterfaceVersion) << "no version mismatch to report";
    EXPECT_EQ(library.StreamCreateFile(false, "x.ogg", 0, 0, 0), 0u);
    EXPECT_EQ(library.ChannelGetPosition(1, kPosByte), kErrorValue);
    EXPECT_STREQ(library.TagsRead(1, "%TITL"), "");
    EXPECT_EQ(library.ErrorGetCode(), kErrorInit);
}

} // namespace
