// A channel's ring as the device callback sees it: what a pause takes back, where the resume
// goes on, what is ready after a prefill, and when an equalizer change reaches the mix. The callback is played by the test, block by
// block, with the latency a PulseAudio stream reports, so every check is exact.

#include "MediaFixtures.h"

#include "audio/lib/FfmpegDecoder.h"
#include "audio/lib/PlaybackChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace lirvo::audio {
namespace {

using namespace std::chrono_literals;
using testing::CounterFrame;
using testing::MakeCounter;
using testing::TempFolder;

constexpr int64_t kBlock = 4410;    // what a 100 ms refill asks for
constexpr int64_t kLatency = 8820;  // the listener is this far behind the end of each block
constexpr int64_t kFileFrames = 3 * 44100;

class ChannelRingTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = folder.File("counter.wav");
        ASSERT_TRUE(MakeCounter(path, 3.0));
        auto source = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
        ASSERT_NE(source, nullptr);
        channel = std::make_unique<PlaybackChannel>(1, std::move(source), ChannelOrigin{});
    }
    void TearDown() override {
        if (channel) {
            channel->Shutdown();
        }
    }

    // One device block; returns the counter frames it holds (-1 where the block was silent).
    std::vector<int64_t> MixBlock(int64_t frames = kBlock) {
        std::vector<float> out(static_cast<size_t>(frames) * 2, 0.0f);
        PlaybackChannel::MixReport report;
        const int64_t taken = channel->MixInto(out.data(), frames, report, kLatency);
        std::vector<int64_t> heard;
        for (int64_t i = 0; i < frames; ++i) {
            heard.push_back(i < taken ? CounterFrame(out[2 * i], out[2 * i + 1]) : -1);
        }
        return heard;
    }
    // One block once the feeder (on its own thread) has decoded it whole, or what is left of the
    // file after `from`.
    std::vector<int64_t> MixWholeBlock(int64_t from = 0) {
        WaitUntilBuffered(std::min(kBlock, kFileFrames - from));
        return MixBlock();
    }
    // Waits (10 s at most) until the feeder, on its own thread, has `frames` frames ready.
    void WaitUntilBuffered(int64_t frames) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (channel->BufferedFrames() < frames && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
    }

    TempFolder folder;
    std::unique_ptr<PlaybackChannel> channel;
};

TEST_F(ChannelRingTest, PrefillLeavesADeviceBufferReadyForTheFirstBlock) {
    ASSERT_TRUE(channel->PrefillAndWait(5s));
    ASSERT_TRUE(channel->Play(false));
    // A PulseAudio stream's first request is its whole 200 ms buffer.
    const std::vector<int64_t> first = MixBlock(2 * kBlock);
    for (int64_t i = 0; i < 2 * kBlock; ++i) {
        ASSERT_EQ(first[static_cast<size_t>(i)], i) << "frame " << i << " of the first block";
    }
}

TEST_F(ChannelRingTest, PauseTakesBackWhatTheDeviceHeldAndTheResumeGoesOnFromThere) {
    ASSERT_TRUE(channel->PrefillAndWait(5s));
    ASSERT_TRUE(channel->Play(false));
    int64_t next = 0;
    for (int round = 0; round < 2; ++round) {
        const std::vector<int64_t> block = MixWholeBlock();
        ASSERT_EQ(block.front(), next);
        ASSERT_EQ(block.back(), next + kBlock - 1);
        next += kBlock;
    }
    // The feeder fills the ring up again (half of it was free): with what is taken back, more
    // than a full ring waits, and the feeder must write over none of it.
    WaitUntilBuffered(14336);
    // Heard: about a latency behind what was mixed, moved on by the time since the last block.
    ASSERT_TRUE(channel->Pause(true));
    const int64_t heard = channel->PositionFrames();
    EXPECT_GE(heard, next - kLatency);
    EXPECT_LE(heard, next - kLatency + kBlock);
    EXPECT_TRUE(MixBlock()[0] == -1) << "a paused channel adds nothing";

    const int64_t waiting = channel->BufferedFrames();
    EXPECT_GT(waiting, 16384) << "more than the feeder fills up to";
    ASSERT_TRUE(channel->Play(false));
    EXPECT_EQ(channel->PositionFrames(), heard);
    // Woken by the resume, the feeder finds no room: it must not decode over the kept frames.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(channel->BufferedFrames(), waiting);
    // The rest of the file follows the frame heard last, every frame once and in order: the
    // frames taken back were kept, and the feeder wrote over none of them meanwhile.
    next = heard;
    while (next < kFileFrames) {
        const std::vector<int64_t> block = MixWholeBlock(next);
        for (int64_t frame : block) {
            if (frame == -1) {
                break; // the end of the file
            }
            ASSERT_EQ(frame, next);
            ++next;
        }
        if (block.back() == -1) {
            break;
        }
    }
    EXPECT_EQ(next, kFileFrames);
}

TEST_F(ChannelRingTest, PauseWithoutTakingBackAndPauseAfterASeekStopWhereTheyMust) {
    ASSERT_TRUE(channel->Play(false));
    for (int round = 0; round < 3; ++round) {
        MixWholeBlock();
    }
    // An output that plays out what it holds (SDL's): the position stands at the end of what
    // was mixed and the resume goes on from there.
    ASSERT_TRUE(channel->Pause(false));
    EXPECT_EQ(channel->PositionFrames(), 3 * kBlock);
    ASSERT_TRUE(channel->Play(false));
    EXPECT_EQ(MixWholeBlock().front(), 3 * kBlock);

    // A seek while playing: its first block is written over what the device held, so it is
    // heard at once and the position moves on from the new place without waiting.
    ASSERT_TRUE(channel->Seek(44100));
    const int64_t landed = MixWholeBlock(44100).front(); // within a packet of the target
    ASSERT_NEAR(static_cast<double>(landed), 44100, 64);
    ASSERT_TRUE(channel->Pause(true));
    const int64_t paused = channel->PositionFrames();
    EXPECT_GE(paused, landed);
    EXPECT_LE(paused, landed + kBlock);
    ASSERT_TRUE(channel->Play(false));
    EXPECT_EQ(MixWholeBlock(paused).front(), paused);

    // A seek while paused: the block after the resume waits behind the device's latency, and a
    // pause then takes back no further than the new place (the frames before it in the ring
    // belong to the old one).
    ASSERT_TRUE(channel->Pause(false));
    ASSERT_TRUE(channel->Seek(2 * 44100));
    ASSERT_TRUE(channel->Play(false));
    const int64_t resumedAt = MixWholeBlock(2 * 44100).front();
    ASSERT_NEAR(static_cast<double>(resumedAt), 2 * 44100, 64);
    ASSERT_TRUE(channel->Pause(true));
    EXPECT_EQ(channel->PositionFrames(), resumedAt);
    ASSERT_TRUE(channel->Play(false));
    EXPECT_EQ(MixWholeBlock(resumedAt).front(), resumedAt);

    EXPECT_FALSE(channel->Pause(true) && channel->Pause(true)) << "a second pause finds nothing playing";
}

TEST_F(ChannelRingTest, AnEqualizerChangeIsHeardInTheNextBlockAndWhatAPauseTakesBackIsNotEqualizedTwice) {
    channel->Shutdown();
    const std::string path = folder.File("tone.wav");
    ASSERT_TRUE(testing::MakeTone(path, 3.0, 1000));
    auto source = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
    ASSERT_NE(source, nullptr);
    channel = std::make_unique<PlaybackChannel>(1, std::move(source), ChannelOrigin{});
    ASSERT_TRUE(channel->Effects().Add(7, 1, PeakingParameters{1000, 5, 0}));
    ASSERT_TRUE(channel->PrefillAndWait(5s));
    ASSERT_TRUE(channel->Play(false));

    std::vector<float> mixed; // every frame mixed so far, in order
    const auto mixBlock = [&] {
        WaitUntilBuffered(kBlock);
        std::vector<float> out(2 * kBlock, 0.0f);
        PlaybackChannel::MixReport report;
        const int64_t taken = channel->MixInto(out.data(), kBlock, report, kLatency);
        out.resize(static_cast<size_t>(2 * taken));
        return out;
    };
    const auto peak = [](const std::vector<float> &samples, size_t fromFrame) {
        float largest = 0.0f;
        for (size_t i = 2 * fromFrame; i < samples.size(); ++i) {
            largest = std::max(largest, std::fabs(samples[i]));
        }
        return largest;
    };

    std::vector<float> block = mixBlock();
    ASSERT_EQ(block.size(), 2u * kBlock);
    const float flat = peak(block, 0);
    ASSERT_GT(flat, 0.05f) << "the tone is there";
    mixed.insert(mixed.end(), block.begin(), block.end());
    // Decoded ahead, the ring holds a third of a second at 0 dB; the boost is still heard in the
    // very next block, once the gain has glided up (20 ms).
    ASSERT_TRUE(channel->Effects().Set(7, PeakingParameters{1000, 5, 12}));
    block = mixBlock();
    ASSERT_EQ(block.size(), 2u * kBlock);
    EXPECT_NEAR(peak(block, 1323), 4 * flat, 0.2f * flat);
    mixed.insert(mixed.end(), block.begin(), block.end());
    for (int round = 0; round < 2; ++round) {
        block = mixBlock();
        mixed.insert(mixed.end(), block.begin(), block.end());
    }

    // A pause takes back what was mixed but not heard; the resume mixes those frames again as
    // they were, not passed through the filter a second time.
    ASSERT_TRUE(channel->Pause(true));
    const int64_t resumeAt = channel->PositionFrames();
    const int64_t mixedFrames = static_cast<int64_t>(mixed.size() / 2);
    ASSERT_LE(resumeAt + kBlock, mixedFrames) << "a whole block is taken back";
    ASSERT_TRUE(channel->Play(false));
    block = mixBlock();
    ASSERT_EQ(block.size(), 2u * kBlock);
    for (size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(block[i], mixed[2 * static_cast<size_t>(resumeAt) + i]) << "sample " << i;
    }
}

} // namespace
} // namespace lirvo::audio
