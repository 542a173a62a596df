// The light decoder for local WAV, AIFF, Ogg Vorbis and MP3 files, held against FFmpeg's decoding
// of the same files, and the formats it must leave to FFmpeg and the add-ons.

#include "MediaFixtures.h"

#include "audio/lib/FfmpegDecoder.h"
#include "audio/lib/LightDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lirvo::audio {
namespace {

using testing::CounterFrame;
using testing::Decibels;
using testing::MakeCounter;
using testing::ReadAll;
using testing::Rms;
using testing::RunQuietly;
using testing::TallyReader;
using testing::TempFolder;
using testing::WriteAll;

std::unique_ptr<LightDecoder> OpenLight(const std::string &path) {
    return LightDecoder::Open(FileReader::Open(path));
}

// Everything the source gives, read in odd-sized pieces as the channel's feeder reads.
std::vector<float> ReadToEnd(DecodedSource &source) {
    std::vector<float> all;
    std::vector<float> piece(2 * 3001);
    for (int64_t got; (got = source.Read(piece.data(), 3001)) > 0;) {
        all.insert(all.end(), piece.begin(), piece.begin() + got * 2);
    }
    return all;
}

double MaxDifference(const std::vector<float> &a, const std::vector<float> &b) {
    double most = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        most = std::max(most, std::fabs(static_cast<double>(a[i]) - b[i]));
    }
    return most;
}

// Rising zero crossings of one side per second: the tone's frequency.
double Frequency(const std::vector<float> &stereo, int side) {
    int crossings = 0;
    for (size_t i = 2 + side; i < stereo.size(); i += 2) {
        if (stereo[i - 2] < 0 && stereo[i] >= 0) {
            ++crossings;
        }
    }
    return crossings / (static_cast<double>(stereo.size() / 2) / kOutputRate);
}

TEST(LightDecoder, DecodesItsFormatsAsFfmpegDoes) {
    TempFolder folder;
    const std::string counter = folder.File("counter.wav");
    ASSERT_TRUE(MakeCounter(counter, 3.0));
    const std::string aiff = folder.File("counter.aiff");
    const std::string vorbis = folder.File("tone.ogg");
    const std::string floats = folder.File("counter-float.wav");
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -i '" + counter + "' '" + aiff + "'"));
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -i '" + counter + "' -c:a pcm_f32le '" + floats + "'"));
    ASSERT_TRUE(
        RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=997:sample_rate=44100:duration=2.5\" "
                   "-ac 2 -c:a libvorbis -q:a 5 '" +
                   vorbis + "'"));

    for (const std::string &path : {counter, aiff, floats, vorbis}) {
        SCOPED_TRACE(path);
        auto light = OpenLight(path);
        ASSERT_NE(light, nullptr);
        auto reference = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
        ASSERT_NE(reference, nullptr);
        EXPECT_EQ(light->LengthFrames(), reference->LengthFrames());
        const std::vector<float> mine = ReadToEnd(*light);
        const std::vector<float> theirs = ReadToEnd(*reference);
        // Every frame, no more: the length is exact, so consecutive tracks join without a gap.
        EXPECT_EQ(mine.size(), theirs.size());
        EXPECT_EQ(static_cast<int64_t>(mine.size() / 2), light->LengthFrames());
        EXPECT_EQ(light->Position(), light->LengthFrames());
        // PCM comes out bit for bit; Vorbis through libvorbis differs from FFmpeg's own
        // decoder by rounding only.
        EXPECT_LT(MaxDifference(mine, theirs), path == vorbis ? 1e-3 : 1e-7);
        EXPECT_EQ(light->Read(std::vector<float>(64).data(), 32), 0) << "ended stays ended";
    }

    // The counter tells each frame apart: a seek lands on the frame asked for.
    auto light = OpenLight(counter);
    ASSERT_NE(light, nullptr);
    for (const int64_t target : {int64_t{100000}, int64_t{4095}, int64_t{0}, int64_t{131071}}) {
        ASSERT_TRUE(light->Seek(target));
        float frame[2] = {};
        ASSERT_EQ(light->Read(frame, 1), 1);
        EXPECT_EQ(CounterFrame(frame[0], frame[1]), target);
        EXPECT_EQ(light->Position(), target + 1);
    }
    EXPECT_FALSE(light->Seek(light->LengthFrames() + 1));
    EXPECT_FALSE(light->Seek(-1));
    EXPECT_TRUE(light->Seek(light->LengthFrames()));
    EXPECT_EQ(light->Read(std::vector<float>(64).data(), 32), 0);
}

TEST(LightDecoder, OtherRatesAreConvertedAndMonoFillsBothSides) {
    TempFolder folder;
    const std::string monoWav = folder.File("mono-22050.wav");
    const std::string monoVorbis = folder.File("mono-22050.ogg");
    const std::string wide = folder.File("stereo-48000.wav");
    const std::string tone = "sine=frequency=1000:sample_rate=22050:duration=2";
    ASSERT_TRUE(
        RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"" + tone + "\" -c:a pcm_s16le '" + monoWav + "'"));
    ASSERT_TRUE(
        RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"" + tone + "\" -c:a libvorbis '" + monoVorbis + "'"));
    ASSERT_TRUE(
        RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=1000:sample_rate=48000:duration=2\" "
                   "-ac 2 '" +
                   wide + "'"));

    for (const std::string &path : {monoWav, monoVorbis, wide}) {
        SCOPED_TRACE(path);
        auto light = OpenLight(path);
        ASSERT_NE(light, nullptr);
        EXPECT_NEAR(static_cast<double>(light->LengthFrames()), 2.0 * kOutputRate, 2);
        const std::vector<float> mine = ReadToEnd(*light);
        EXPECT_NEAR(static_cast<double>(mine.size() / 2), static_cast<double>(light->LengthFrames()), 1);
        ASSERT_GT(mine.size(), static_cast<size_t>(kOutputRate));
        // The middle second: the same tone at the same level as FFmpeg's conversion gives.
        const std::vector<float> middle(mine.begin() + kOutputRate, mine.begin() + 3 * kOutputRate);
        EXPECT_NEAR(Frequency(middle, 0), 1000, 3);
        auto reference = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
        ASSERT_NE(reference, nullptr);
        const std::vector<float> theirs = ReadToEnd(*reference);
        ASSERT_GT(theirs.size(), static_cast<size_t>(3 * kOutputRate));
        const double theirRms = Rms(theirs.data() + kOutputRate, 2 * kOutputRate);
        EXPECT_NEAR(Decibels(Rms(middle.data(), middle.size()) / theirRms), 0.0, 0.1);
        if (light->SourceChannels() == 1) {
            for (size_t i = 0; i < mine.size(); i += 2) {
                ASSERT_EQ(mine[i], mine[i + 1]) << "frame " << i / 2;
            }
        }
    }

    // A seek in a converted source lands where the tone begins: silence first, then the tone.
    const std::string onset = folder.File("onset-22050.ogg");
    ASSERT_TRUE(
        RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc='if(gte(t,3),0.5*sin(2*PI*1000*(t-3)),0)':"
                   "s=22050:d=4\" -c:a libvorbis '" +
                   onset + "'"));
    auto light = OpenLight(onset);
    ASSERT_NE(light, nullptr);
    ReadToEnd(*light);
    ASSERT_TRUE(light->Seek(static_cast<int64_t>(2.9 * kOutputRate)));
    const std::vector<float> after = ReadToEnd(*light);
    const auto loud = std::find_if(after.begin(), after.end(), [](float s) { return std::fabs(s) > 0.05f; });
    ASSERT_NE(loud, after.end());
    EXPECT_NEAR(static_cast<double>((loud - after.begin()) / 2), 0.1 * kOutputRate, 0.002 * kOutputRate);
}

TEST(LightDecoder, Mp3IsGaplessAndSeeksThroughItsTableOfContents) {
    TempFolder folder;
    // With and without an ID3v2 tag in front, at a variable and at a constant bit rate, stereo
    // and mono: each as long as the tone, the encoder's delay and padding cut off.
    const std::string tagged = folder.File("tagged.mp3");
    const std::string plain = folder.File("plain-mono.mp3");
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=997:sample_rate=44100:duration=2.5\" "
                           "-ac 2 -c:a libmp3lame -q:a 2 -metadata title=晨光 '" + tagged + "'"));
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=1000:sample_rate=22050:duration=2\" "
                           "-c:a libmp3lame -b:a 64k -id3v2_version 0 '" + plain + "'"));
    ASSERT_EQ(ReadAll(plain).at(0), 0xFF) << "the untagged file starts with a frame";
    for (const auto &[path, seconds] : {std::pair{tagged, 2.5}, std::pair{plain, 2.0}}) {
        SCOPED_TRACE(path);
        auto light = OpenLight(path);
        ASSERT_NE(light, nullptr);
        EXPECT_NEAR(static_cast<double>(light->LengthFrames()), seconds * kOutputRate, 2);
        const std::vector<float> mine = ReadToEnd(*light);
        EXPECT_NEAR(static_cast<double>(mine.size() / 2), static_cast<double>(light->LengthFrames()), 1);
        ASSERT_GT(mine.size(), static_cast<size_t>(3 * kOutputRate));
        const std::vector<float> middle(mine.begin() + kOutputRate, mine.begin() + 3 * kOutputRate);
        EXPECT_NEAR(Frequency(middle, 0), path == tagged ? 997 : 1000, 3);
        // The same level as FFmpeg's decoding of the file.
        auto reference = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
        ASSERT_NE(reference, nullptr);
        const std::vector<float> theirs = ReadToEnd(*reference);
        ASSERT_GT(theirs.size(), static_cast<size_t>(3 * kOutputRate));
        EXPECT_NEAR(Decibels(Rms(middle.data(), middle.size()) / Rms(theirs.data() + kOutputRate, 2 * kOutputRate)),
                    0.0, 0.1);
        EXPECT_EQ(light->Read(std::vector<float>(64).data(), 32), 0) << "ended stays ended";
    }

    // 90 s at a variable bit rate, with the encoder's table of contents; a 1 kHz tone joins the
    // quiet background at 80 s. A seek to 79.9 s reads a little of the file, not the nine
    // tenths before the target, and lands within the table's coarseness (a percent of the file).
    const std::string longer = folder.File("long.mp3");
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i "
                           "\"aevalsrc='0.05*sin(2*PI*300*t)+if(gte(t,80),0.5*sin(2*PI*1000*(t-80)),0)'"
                           ":s=44100:d=90\" -ac 2 -c:a libmp3lame -q:a 2 '" + longer + "'"));
    int64_t tally = 0;
    auto light = LightDecoder::Open(std::make_unique<TallyReader>(FileReader::Open(longer), tally));
    ASSERT_NE(light, nullptr);
    const int64_t size = FileReader::Open(longer)->Size();
    const int64_t before = tally;
    const int64_t target = kOutputRate * 799 / 10;
    ASSERT_TRUE(light->Seek(target));
    std::vector<float> second(2 * kOutputRate);
    ASSERT_EQ(light->Read(second.data(), kOutputRate), kOutputRate);
    EXPECT_LT(tally - before, size / 10) << "of " << size;
    const auto loud = std::find_if(second.begin(), second.end(), [](float v) { return std::fabs(v) > 0.3f; });
    ASSERT_NE(loud, second.end());
    EXPECT_NEAR(static_cast<double>((loud - second.begin()) / 2), 0.1 * kOutputRate, 0.3 * kOutputRate);
    EXPECT_FALSE(light->Seek(light->LengthFrames() + 1));
}

TEST(LightDecoder, LeavesEveryOtherFormatToFfmpegAndTheAddOns) {
    TempFolder folder;
    const std::string counter = folder.File("counter.wav");
    ASSERT_TRUE(MakeCounter(counter, 1.0));
    struct Other {
        const char *name;
        const char *options;
    };
    const Other others[] = {
        {"tone.mp2", ""},
        {"tone.m4a", "-c:a aac"},
        {"tone.flac", ""},
        {"tone.opus", ""},
        {"surround.wav", "-ac 6"},
        {"adpcm.wav", "-c:a adpcm_ima_wav"},
        {"mp3-in.wav", "-c:a libmp3lame"},
    };
    for (const Other &other : others) {
        SCOPED_TRACE(other.name);
        const std::string path = folder.File(other.name);
        ASSERT_TRUE(
            RunQuietly("ffmpeg -nostdin -y -i '" + counter + "' " + other.options + " '" + path + "'"));
        EXPECT_EQ(OpenLight(path), nullptr);
    }

    // Damaged and hostile files are refused or end, never read past their data.
    std::vector<uint8_t> bytes = ReadAll(counter);
    ASSERT_GT(bytes.size(), 1000u);
    const std::string cut = folder.File("cut.wav");
    WriteAll(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30));
    EXPECT_EQ(OpenLight(cut), nullptr);
    const std::string header = folder.File("header-only.wav");
    WriteAll(header, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12));
    EXPECT_EQ(OpenLight(header), nullptr);
    EXPECT_EQ(OpenLight(folder.File("missing.wav")), nullptr);

    // Samples of a float file that are not numbers come out as silence.
    const std::string floats = folder.File("floats.wav");
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -i '" + counter + "' -c:a pcm_f32le '" + floats + "'"));
    bytes = ReadAll(floats);
    const float poison[4] = {std::nanf(""), INFINITY, -INFINITY, 0.25f};
    std::memcpy(bytes.data() + bytes.size() - sizeof poison, poison, sizeof poison);
    WriteAll(floats, bytes);
    auto light = OpenLight(floats);
    ASSERT_NE(light, nullptr);
    const std::vector<float> all = ReadToEnd(*light);
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(std::vector<float>(all.end() - 4, all.end()), (std::vector<float>{0.0f, 0.0f, 0.0f, 0.25f}));
}

} // namespace
} // namespace lirvo::audio
