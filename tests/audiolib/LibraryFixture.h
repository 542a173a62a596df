#pragma once
// A real audio library, initialised on SDL's dummy output for each test.

#include "MediaFixtures.h"

#include "audio/lib/AudioLibraryFactory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lirvo::audio::testing {

// The program folder, where the build puts the add-ons.
inline std::string ProgramFolder() {
    const char* fromEnvironment = std::getenv("LIRVO_BIN_DIR");
    return fromEnvironment != nullptr ? fromEnvironment : LIRVO_TEST_PROGRAM_FOLDER;
}

class AudioLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Tests never reach for real sound hardware, also when started outside ctest.
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        library = CreateAudioLibrary();
        ASSERT_TRUE(library->Init(kDefaultDevice, 44100, 0, 0, nullptr)) << library->ErrorGetCode();
        library->SetConfig(kConfigNetTimeout, 2000);
    }
    void TearDown() override { library->Free(); }

    Handle Open(const std::string &path) { return library->StreamCreateFile(false, path.c_str(), 0, 0, 0); }

    double Seconds(Handle stream, std::uint64_t bytes) {
        return library->ChannelBytes2Seconds(stream, bytes);
    }

    double LengthSeconds(Handle stream) {
        return Seconds(stream, library->ChannelGetLength(stream, kPosByte));
    }

    double PositionSeconds(Handle stream) {
        return Seconds(stream, library->ChannelGetPosition(stream, kPosByte));
    }

    // RMS over several snapshots of the channel's most recent output.
    double OutputRms(Handle stream, std::uint32_t bytes, int snapshots) {
        double sum = 0;
        std::vector<float> block(bytes / sizeof(float));
        for (int i = 0; i < snapshots; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(23));
            const std::uint32_t got = library->ChannelGetData(stream, block.data(), bytes);
            EXPECT_EQ(got, bytes);
            const double rms = Rms(block.data(), block.size());
            sum += rms * rms;
        }
        return std::sqrt(sum / snapshots);
    }

    std::unique_ptr<IAudioLibrary> library;
};

// Counts calls made from other threads and lets the test wait for them.
class CallCounter {
public:
    void Hit() {
        std::lock_guard lock(mutex_);
        ++count_;
        thread_ = std::this_thread::get_id();
        changed_.notify_all();
    }
    bool WaitFor(int count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return count_ >= count; });
    }
    int Count() {
        std::lock_guard lock(mutex_);
        return count_;
    }
    std::thread::id Thread() {
        std::lock_guard lock(mutex_);
        return thread_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
    std::thread::id thread_;
};

} // namespace lirvo::audio::testing
