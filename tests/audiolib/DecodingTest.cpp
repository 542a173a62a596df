// Decoder, equalizer and parser behaviour below the library interface.

#include "MediaFixtures.h"

#include "audio/lib/FfmpegDecoder.h"
#include "audio/lib/LegacyTagText.h"
#include "audio/lib/PeakingEqualizer.h"
#include "audio/lib/PlaylistLocation.h"
#include "function/text/TextCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>

namespace lirvo::audio {
namespace {

using testing::Decibels;
using testing::MakeTone;
using testing::Rms;
using testing::RunQuietly;
using testing::TempFolder;

std::unique_ptr<FfmpegDecoder> OpenFile(const std::string &path) {
    return FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
}

std::vector<float> ReadFrames(DecodedSource &source, int64_t frames) {
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    const int64_t got = source.Read(samples.data(), frames);
    samples.resize(static_cast<size_t>(std::max<int64_t>(got, 0)) * 2);
    return samples;
}

// Index of the first frame louder than the threshold, -1 when none.
int64_t FirstLoudFrame(const std::vector<float> &samples, float threshold) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > threshold) {
            return static_cast<int64_t>(i / 2);
        }
    }
    return -1;
}

// Silence for 5 s, then a 1 kHz tone: the onset tells where a seek really landed.
bool MakeOnsetFile(const std::string &path, const std::string &extra = "") {
    return RunQuietly(
        "ffmpeg -nostdin -y -f lavfi -i \"aevalsrc='if(gte(t,5),0.5*sin(2*PI*1000*(t-5)),0)':s=44100:d=8\" "
        "-ac 2 " +
        extra + " '" + path + "'");
}

TEST(AudioLibDecoding, SeekLandsOnTheRequestedFrame) {
    TempFolder folder;
    const std::string wav = folder.File("onset.wav");
    const std::string mp3 = folder.File("onset.mp3");
    ASSERT_TRUE(MakeOnsetFile(wav));
    ASSERT_TRUE(MakeOnsetFile(mp3, "-b:a 192k"));

    auto exact = OpenFile(wav);
    ASSERT_NE(exact, nullptr);
    const int64_t target = 44100 * 49 / 10; // 4.9 s: the tone starts 4410 frames later
    ASSERT_TRUE(exact->Seek(target));
    EXPECT_EQ(exact->Position(), target);
    EXPECT_NEAR(FirstLoudFrame(ReadFrames(*exact, 44100), 0.01f), 4410, 2);
    // Seeking back to the start and forward again works just as well.
    ASSERT_TRUE(exact->Seek(0));
    EXPECT_EQ(FirstLoudFrame(ReadFrames(*exact, 44100), 0.01f), -1);
    ASSERT_TRUE(exact->Seek(44100 * 5 + 441));
    EXPECT_LE(FirstLoudFrame(ReadFrames(*exact, 4410), 0.01f), 1);

    auto lossy = OpenFile(mp3);
    ASSERT_NE(lossy, nullptr);
    ASSERT_TRUE(lossy->Seek(target));
    EXPECT_EQ(lossy->Position(), target);
    // MP3 smears the onset a little (pre-echo); 10 ms is far below an audible misplacement.
    EXPECT_NEAR(FirstLoudFrame(ReadFrames(*lossy, 44100), 0.05f), 4410, 441);

    EXPECT_FALSE(exact->Seek(-1));
    EXPECT_FALSE(exact->Seek(44100 * 60));
}

TEST(AudioLibDecoding, ThreeMinuteFilesReportTheirLength) {
    TempFolder folder;
    const std::string mp3 = folder.File("long.mp3");
    const std::string ogg = folder.File("long.ogg");
    const std::string wav = folder.File("long.wav");
    ASSERT_TRUE(RunQuietly("sox -n -r 44100 -c 1 '" + wav + "' synth 180 sine 440"));
    ASSERT_TRUE(RunQuietly("lame --quiet -b 32 '" + wav + "' '" + mp3 + "'"));
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -i '" + wav + "' -c:a libvorbis -q:a 0 '" + ogg + "'"));

    auto exact = OpenFile(wav);
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->LengthFrames(), 180 * 44100);
    for (const std::string &path : {mp3, ogg}) {
        auto decoder = OpenFile(path);
        ASSERT_NE(decoder, nullptr) << path;
        EXPECT_NEAR(static_cast<double>(decoder->LengthFrames()) / 44100.0, 180.0, 0.1) << path;
    }
    // Mono plays at full level on both sides (sox's sine peaks at 0.705, RMS 0.4985); mixed
    // as a centre channel it would come out 3 dB lower.
    const std::vector<float> samples = ReadFrames(*exact, 4410);
    ASSERT_EQ(samples.size(), 8820u);
    EXPECT_NEAR(Rms(samples.data(), samples.size()), 0.4985, 0.01);
    EXPECT_FLOAT_EQ(samples[2000], samples[2001]);
}

TEST(AudioLibDecoding, DecodesToTheEndAndStops) {
    TempFolder folder;
    const std::string mp2 = folder.File("short.mp2");
    ASSERT_TRUE(MakeTone(mp2, 1.0, 440, "-ar 48000 -c:a mp2")); // resampled from 48 kHz
    auto decoder = OpenFile(mp2);
    ASSERT_NE(decoder, nullptr);
    int64_t total = 0;
    std::vector<float> block(4096 * 2);
    for (int64_t got; (got = decoder->Read(block.data(), 4096)) > 0;) {
        total += got;
    }
    EXPECT_NEAR(static_cast<double>(total), 44100.0, 2000.0);
    EXPECT_EQ(decoder->Read(block.data(), 4096), 0);
    EXPECT_EQ(decoder->Position(), total);
    EXPECT_EQ(decoder->LengthFrames(), total); // exact once the end has been reached
}

// A four-channel ProTracker module: one looped square-wave sample started on the first row of
// a single 64-row pattern (64 rows x 6 ticks x 20 ms = 7.68 s).
std::vector<uint8_t> TrackerModule() {
    std::vector<uint8_t> module(20 + 31 * 30 + 2 + 128 + 4, 0);
    std::memcpy(module.data(), "lirvo test module", 17);
    uint8_t *sample = module.data() + 20;
    std::memcpy(sample, "square", 6);
    const uint16_t words = 2000;
    sample[22] = words >> 8;
    sample[23] = words & 0xFF;
    sample[25] = 64;         // volume
    sample[28] = words >> 8; // loop the whole sample
    sample[29] = words & 0xFF;
    for (int i = 1; i < 31; ++i) {
        module[20 + i * 30 + 29] = 1; // empty samples: no loop
    }
    module[950] = 1; // song length: one pattern
    module[951] = 127;
    std::memcpy(module.data() + 1080, "M.K.", 4);
    std::vector<uint8_t> pattern(64 * 4 * 4, 0);
    const uint16_t period = 428; // C-3
    pattern[0] = static_cast<uint8_t>(period >> 8);
    pattern[1] = static_cast<uint8_t>(period & 0xFF);
    pattern[2] = 1 << 4; // sample 1
    module.insert(module.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < words * 2; ++i) {
        module.push_back(static_cast<uint8_t>((i / 16) % 2 == 0 ? 64 : -64));
    }
    return module;
}

TEST(AudioLibDecoding, TrackerModulesAndOtherBuiltInFormatsPlay) {
    TempFolder folder;
    const std::vector<uint8_t> module = TrackerModule();
    auto tracker = FfmpegDecoder::Open(std::make_unique<MemoryReader>(module.data(), module.size()),
                                       BuiltInFormats(), false);
    ASSERT_NE(tracker, nullptr);
    EXPECT_EQ(tracker->FormatName(), "libopenmpt");
    EXPECT_NEAR(static_cast<double>(tracker->LengthFrames()) / 44100.0, 7.68, 0.1);
    const std::vector<float> music = ReadFrames(*tracker, 22050);
    EXPECT_GT(Rms(music.data(), music.size()), 0.01);

    for (const char *name : {"tone.aiff", "tone.wav", "tone.ogg", "tone.mp3"}) {
        const std::string path = folder.File(name);
        ASSERT_TRUE(MakeTone(path, 1.0, 440, "-ar 22050")) << name;
        auto decoder = OpenFile(path);
        ASSERT_NE(decoder, nullptr) << name;
        // Until the end is reached an MP3 length still holds the encoder's final padding.
        EXPECT_NEAR(static_cast<double>(decoder->LengthFrames()) / 44100.0, 1.0, 0.03) << name;
        const std::vector<float> samples = ReadFrames(*decoder, 22050);
        EXPECT_NEAR(Rms(samples.data(), samples.size()), 0.0625, 0.01) << name;
    }
}

TEST(AudioLibDecoding, BuiltInDecoderLeavesAddonFormatsAlone) {
    TempFolder folder;
    const std::string flac = folder.File("tone.flac");
    const std::string opus = folder.File("tone.opus");
    ASSERT_TRUE(MakeTone(flac, 0.5, 440));
    ASSERT_TRUE(MakeTone(opus, 0.5, 440, "-c:a libopus"));
    EXPECT_EQ(OpenFile(flac), nullptr);
    EXPECT_EQ(OpenFile(opus), nullptr); // an Ogg container, but not Vorbis
}

// RMS of a steady stretch of `hz` after the equalizer chain with the given gains.
double EqualizedRms(const std::string &path, const std::array<float, 10> &gains) {
    static constexpr std::array<float, 10> kCentres = {80,   170,  310,   600,   1000,
                                                       3000, 6000, 10000, 12000, 14000};
    auto decoder = OpenFile(path);
    if (decoder == nullptr) {
        return -1;
    }
    EffectChain chain;
    for (uint32_t band = 0; band < 10; ++band) {
        PeakingParameters p{kCentres[band], 5.0f, gains[band]};
        EXPECT_TRUE(NormaliseParameters(p));
        chain.Add(band + 1, 1, p);
    }
    std::vector<float> samples = ReadFrames(*decoder, 44100);
    chain.Process(samples.data(), static_cast<int64_t>(samples.size() / 2));
    // Skip the first 0.25 s while the filters settle.
    return Rms(samples.data() + 2 * 11025, samples.size() - 2 * 11025);
}

TEST(AudioLibEqualizer, FirstBandLiftsAnEightyHertzToneBySixDecibels) {
    TempFolder folder;
    const std::string low = folder.File("80.wav");
    const std::string mid = folder.File("1000.wav");
    ASSERT_TRUE(MakeTone(low, 1.0, 80));
    ASSERT_TRUE(MakeTone(mid, 1.0, 1000));
    const std::array<float, 10> flat{};
    std::array<float, 10> firstBand{};
    firstBand[0] = 6;
    EXPECT_NEAR(Decibels(EqualizedRms(low, firstBand) / EqualizedRms(low, flat)), 6.0, 0.3);
    EXPECT_NEAR(Decibels(EqualizedRms(mid, firstBand) / EqualizedRms(mid, flat)), 0.0, 0.3);
    std::array<float, 10> cut{};
    cut[4] = -12;
    EXPECT_NEAR(Decibels(EqualizedRms(mid, cut) / EqualizedRms(mid, flat)), -12.0, 0.5);
    // Gains beyond the +/-15 dB range act as the limit.
    std::array<float, 10> tooMuch{};
    tooMuch[0] = 40;
    EXPECT_NEAR(Decibels(EqualizedRms(low, tooMuch) / EqualizedRms(low, flat)), 15.0, 0.5);
}

// Stereo white noise in [-0.5, 0.5), the same for the same seed.
std::vector<float> Noise(size_t frames, uint32_t seed) {
    std::vector<float> samples(2 * frames);
    for (float &sample : samples) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<float>(seed >> 8) / static_cast<float>(1u << 24) - 0.5f;
    }
    return samples;
}

TEST(AudioLibEqualizer, ChainMatchesBandsAppliedOneAfterAnother) {
    // Every band active, so the chain runs them in more than one pass; blocks of odd sizes
    // check that filter state carries over from one block to the next.
    static constexpr std::array<float, 10> kCentres = {80,   170,  310,   600,   1000,
                                                       3000, 6000, 10000, 12000, 14000};
    static constexpr std::array<float, 10> kGains = {6, -4, 3, -2, 5, -6, 2, 4, -3, 1};
    const std::vector<float> signal = Noise(5000, 7);
    std::vector<float> expected = signal;
    for (size_t band = 0; band < 10; ++band) {
        PeakingFilter filter(PeakingParameters{kCentres[band], 5.0f, kGains[band]});
        filter.Process(expected.data(), 5000);
    }
    EffectChain chain;
    for (uint32_t band = 0; band < 10; ++band) {
        chain.Add(band + 1, 1, PeakingParameters{kCentres[band], 5.0f, kGains[band]});
    }
    std::vector<float> actual = signal;
    chain.Process(actual.data(), 1234);
    chain.Process(actual.data() + 2 * 1234, 5000 - 1234);
    for (size_t i = 0; i < actual.size(); ++i) {
        ASSERT_NEAR(actual[i], expected[i], 1e-5) << i;
    }
}

TEST(AudioLibEqualizer, ParametersAreCheckedAndLimited) {
    PeakingParameters ok{80, 5, 6};
    EXPECT_TRUE(NormaliseParameters(ok));
    EXPECT_FLOAT_EQ(ok.gain, 6);
    PeakingParameters loud{80, 5, 20};
    EXPECT_TRUE(NormaliseParameters(loud));
    EXPECT_FLOAT_EQ(loud.gain, 15);
    PeakingParameters quiet{80, 5, -99};
    EXPECT_TRUE(NormaliseParameters(quiet));
    EXPECT_FLOAT_EQ(quiet.gain, -15);
    for (PeakingParameters bad :
         {PeakingParameters{0, 5, 0}, PeakingParameters{30000, 5, 0}, PeakingParameters{80, 0.5f, 0},
          PeakingParameters{80, 40, 0}, PeakingParameters{NAN, 5, 0}, PeakingParameters{80, 5, INFINITY}}) {
        EXPECT_FALSE(NormaliseParameters(bad)) << bad.centre << " " << bad.bandwidth << " " << bad.gain;
    }
    // Higher priority runs first; equal priorities keep the order they were added in.
    EffectChain chain;
    chain.Add(1, 1, ok);
    chain.Add(2, 5, ok);
    PeakingParameters read;
    EXPECT_TRUE(chain.Get(2, read));
    EXPECT_TRUE(chain.Remove(1));
    EXPECT_FALSE(chain.Get(1, read));
    EXPECT_FALSE(chain.Set(1, ok));
}

// Largest second difference: a sine of amplitude A at f Hz never exceeds A (2 pi f / 44100)^2,
// while any step in the waveform (a click) shows as a value about the size of the step.
float LargestCurvature(const std::vector<float> &samples, size_t fromFrame, size_t toFrame) {
    float largest = 0;
    for (size_t i = std::max<size_t>(fromFrame, 2); i < toFrame; ++i) {
        for (size_t side = 0; side < 2; ++side) {
            const float d = samples[2 * i + side] - 2 * samples[2 * (i - 1) + side] + samples[2 * (i - 2) + side];
            largest = std::max(largest, std::fabs(d));
        }
    }
    return largest;
}

float Peak(const std::vector<float> &samples, size_t fromFrame, size_t toFrame) {
    float peak = 0;
    for (size_t i = 2 * fromFrame; i < 2 * toFrame && i < samples.size(); ++i) {
        peak = std::max(peak, std::fabs(samples[i]));
    }
    return peak;
}

TEST(AudioLibEqualizer, GainChangesGlideOverTwentyMillisecondsWithoutAStep) {
    // A 1 kHz tone through the 1 kHz band: +12 dB multiplies it by four, in phase.
    constexpr size_t kFrames = 44100;
    std::vector<float> tone(2 * kFrames);
    for (size_t i = 0; i < kFrames; ++i) {
        tone[2 * i] = tone[2 * i + 1] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 44100.0));
    }
    const float steadyCurvature = 0.8f * std::pow(2 * static_cast<float>(M_PI) * 1000.0f / 44100.0f, 2.0f);
    const PeakingParameters boosted{1000, 5, 12};
    const PeakingParameters flat{1000, 5, 0};

    for (const bool fromFlat : {false, true}) {
        SCOPED_TRACE(fromFlat ? "0 dB to +12 dB" : "+12 dB to 0 dB");
        EffectChain chain;
        chain.Add(1, 1, fromFlat ? flat : boosted);
        std::vector<float> out = tone;
        const size_t change = 22050; // in the middle of a 1024-frame block, as the feeder runs it
        size_t at = 0;
        for (size_t block = 1000; at < kFrames; at += block) {
            const size_t n = std::min(block, kFrames - at);
            if (at <= change && change < at + n) {
                chain.Process(out.data() + 2 * at, static_cast<int64_t>(change - at));
                ASSERT_TRUE(chain.Set(1, fromFlat ? boosted : flat));
                chain.Process(out.data() + 2 * change, static_cast<int64_t>(at + n - change));
            } else {
                chain.Process(out.data() + 2 * at, static_cast<int64_t>(n));
            }
        }
        // Read back at once as the value set; the sound follows within about 20 ms.
        PeakingParameters read;
        ASSERT_TRUE(chain.Get(1, read));
        EXPECT_EQ(read.gain, fromFlat ? 12.0f : 0.0f);
        EXPECT_LT(LargestCurvature(out, change - 2000, change + 4000), steadyCurvature * 1.2f);
        const float before = Peak(out, change - 441, change);
        const float halfway = Peak(out, change + 400, change + 482);
        const float after = Peak(out, change + 1323, change + 2205); // 30 to 50 ms later
        EXPECT_NEAR(before, fromFlat ? 0.2f : 0.8f, 0.02f);
        EXPECT_GT(halfway, 0.3f);
        EXPECT_LT(halfway, 0.7f);
        EXPECT_NEAR(after, fromFlat ? 0.8f : 0.2f, 0.02f);
        if (!fromFlat) {
            // Once its state has died away a flat band passes the signal through untouched.
            for (size_t i = 2 * (kFrames - 4410); i < 2 * kFrames; ++i) {
                ASSERT_EQ(out[i], tone[i]) << i;
            }
        }
    }
}

TEST(AudioLibEqualizer, ChangesMadeWhileAnotherThreadProcessesAreAllTakenUpToTheLast) {
    // The mixing thread runs blocks while another thread keeps changing the band: no block waits
    // for the changes, none is torn, and the last change made is the one heard.
    constexpr size_t kBlockFrames = 512;
    std::vector<float> tone(2 * kBlockFrames);
    EffectChain chain;
    ASSERT_TRUE(chain.Add(1, 1, PeakingParameters{1000, 5, 0}));
    std::atomic<bool> changing{true};
    std::thread changer([&] {
        for (int i = 0; changing.load(); ++i) {
            ASSERT_TRUE(chain.Set(1, PeakingParameters{1000, 5, (i % 2) != 0 ? 12.0f : -12.0f}));
        }
        ASSERT_TRUE(chain.Set(1, PeakingParameters{1000, 5, 12}));
    });
    size_t frame = 0;
    const auto nextBlock = [&] {
        for (size_t i = 0; i < kBlockFrames; ++i, ++frame) {
            tone[2 * i] = tone[2 * i + 1] = 0.2f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * frame / 44100.0));
        }
        chain.Process(tone.data(), kBlockFrames);
        return Peak(tone, 0, kBlockFrames);
    };
    for (int block = 0; block < 400; ++block) {
        const float peak = nextBlock();
        ASSERT_TRUE(std::isfinite(peak));
        ASSERT_LT(peak, 0.95f) << "no louder than the boost allows, with room for the glides";
    }
    changing = false;
    changer.join();
    for (int block = 0; block < 10; ++block) {
        nextBlock();
    }
    EXPECT_NEAR(nextBlock(), 0.8f, 0.02f);
    PeakingParameters read;
    ASSERT_TRUE(chain.Get(1, read));
    EXPECT_EQ(read.gain, 12.0f);
}

TEST(AudioLibEqualizer, BandsComeAndGoWithinTheRoomOfTheChainAndAResetClearsTheirState) {
    const std::vector<float> noise = Noise(2000, 11);
    const PeakingParameters boost{1000, 5, 9};
    const auto processed = [&](EffectChain &chain) {
        std::vector<float> out = noise;
        chain.Process(out.data(), 2000);
        return out;
    };

    EffectChain chain;
    for (uint32_t band = 1; band <= EffectChain::kMaxBands; ++band) {
        ASSERT_TRUE(chain.Add(band, 1, PeakingParameters{1000, 5, 0})) << band;
    }
    EXPECT_FALSE(chain.Add(999, 1, boost)) << "no room for one more band";
    EXPECT_EQ(processed(chain), noise) << "flat bands pass the signal through";
    // A removed band is gone at once; one added in its place starts at its own gain and state,
    // with nothing of the band before it.
    ASSERT_TRUE(chain.Remove(5));
    EXPECT_FALSE(chain.Remove(5));
    EXPECT_FALSE(chain.Set(5, boost));
    ASSERT_TRUE(chain.Add(100, 1, boost));
    EffectChain fresh;
    ASSERT_TRUE(fresh.Add(1, 1, boost));
    EXPECT_EQ(processed(chain), processed(fresh));
    // The same noise again runs on from the state the first block left, unless a reset came
    // first: then it is filtered exactly as by a band that never ran.
    EffectChain unused;
    ASSERT_TRUE(unused.Add(1, 1, boost));
    const std::vector<float> firstPass = processed(unused);
    EXPECT_NE(processed(chain), firstPass);
    chain.Reset();
    EXPECT_EQ(processed(chain), firstPass);
}

// A 5.1 file whose every channel carries the same tone, and the same tone in stereo and mono.
TEST(AudioLibDecoding, MultichannelDownmixKeepsEverySourceAtItsOwnLevel) {
    TempFolder folder;
    const std::string tone = "0.8*sin(2*PI*440*t)";
    const std::string surround = folder.File("surround.wav");
    const std::string stereo = folder.File("stereo.wav");
    const std::string mono = folder.File("mono.wav");
    auto make = [&](const std::string &path, int channels, const std::string &layout) {
        std::string expression = tone;
        for (int i = 1; i < channels; ++i) {
            expression += "|" + tone;
        }
        return RunQuietly("ffmpeg -nostdin -y -f lavfi -i \"aevalsrc='" + expression + "':s=44100:c=" + layout +
                          ":d=1\" -c:a pcm_f32le '" + path + "'");
    };
    ASSERT_TRUE(make(surround, 6, "5.1"));
    ASSERT_TRUE(make(stereo, 2, "stereo"));
    ASSERT_TRUE(make(mono, 1, "mono"));
    for (const std::string &path : {surround, stereo, mono}) {
        SCOPED_TRACE(path);
        auto decoder = OpenFile(path);
        ASSERT_NE(decoder, nullptr);
        const std::vector<float> samples = ReadFrames(*decoder, 44100);
        ASSERT_EQ(samples.size(), 2u * 44100);
        float left = 0, right = 0;
        for (size_t i = 0; i < samples.size(); i += 2) {
            left = std::max(left, std::fabs(samples[i]));
            right = std::max(right, std::fabs(samples[i + 1]));
        }
        EXPECT_NEAR(left, 0.8f, 0.01f);
        EXPECT_NEAR(right, 0.8f, 0.01f);
    }
}

TEST(AudioLibPlaylist, FirstEntryOfM3uAndPls) {
    EXPECT_EQ(FirstPlaylistEntry("#EXTM3U\n#EXTINF:1,x\nhttp://h/a.mp3\nhttp://h/b.mp3\n", "http://h/l.m3u"),
              "http://h/a.mp3");
    EXPECT_EQ(FirstPlaylistEntry("\xEF\xBB\xBF\r\n song.mp3 \r\n", "http://h/dir/list.m3u?x=1"),
              "http://h/dir/song.mp3");
    EXPECT_EQ(FirstPlaylistEntry("/abs/s.mp3", "https://h:8000/dir/list.m3u"), "https://h:8000/abs/s.mp3");
    EXPECT_EQ(FirstPlaylistEntry("//other/s.mp3", "https://h/list.m3u"), "https://other/s.mp3");
    EXPECT_EQ(
        FirstPlaylistEntry("[playlist]\nNumberOfEntries=2\nFile2=http://h/2.mp3\nFile1=http://h/1.mp3\n",
                           "http://h/l.pls"),
        "http://h/1.mp3");
    // Local files and other schemes are never followed; empty lists give nothing.
    EXPECT_FALSE(FirstPlaylistEntry("file:///etc/passwd\n", "http://h/l.m3u"));
    EXPECT_FALSE(FirstPlaylistEntry("[playlist]\nFile1=file:///etc/passwd\n", "http://h/l.pls"));
    EXPECT_FALSE(FirstPlaylistEntry("#EXTM3U\n", "http://h/l.m3u"));
    EXPECT_FALSE(FirstPlaylistEntry("", "http://h/l.m3u"));
    EXPECT_FALSE(FirstPlaylistEntry("song.mp3", "not a url"));

    EXPECT_TRUE(IsPlaylistLocation("http://h/radio.M3U"));
    EXPECT_TRUE(IsPlaylistLocation("http://h/radio.pls?session=1"));
    EXPECT_TRUE(IsPlaylistLocation("http://h/stream", "audio/x-scpls; charset=utf-8"));
    EXPECT_FALSE(IsPlaylistLocation("http://h/song.mp3"));
    EXPECT_FALSE(IsPlaylistLocation("http://h/m3u/song.mp3"));
}

TEST(AudioLibTagText, LegacyFieldsAreDecodedByWhatTheyHold) {
    const std::string chinese = "周杰伦 - 晴天";
    const std::string gbk = *text::Utf8ToGbk(chinese);
    EXPECT_TRUE(LooksLikeGbk(gbk));
    EXPECT_EQ(DecodeLegacyTagText(gbk), chinese);
    EXPECT_EQ(DecodeLegacyTagText(gbk + std::string(5, '\0')), chinese); // ID3v1 padding
    EXPECT_EQ(DecodeLegacyTagText(chinese), chinese);                    // UTF-8 left alone
    EXPECT_EQ(DecodeLegacyTagText("Plain title"), "Plain title");
    // European Latin-1 text stays Latin-1 even where its bytes happen to pair up as GBK.
    EXPECT_EQ(DecodeLegacyTagText("Mot\xF6rhead"), "Motörhead");
    EXPECT_EQ(DecodeLegacyTagText("caf\xE9"), "café");
    EXPECT_EQ(DecodeLegacyTagText("Beyonc\xE9 Knowles"), "Beyoncé Knowles");
    EXPECT_FALSE(LooksLikeGbk("abc"));
    EXPECT_FALSE(LooksLikeGbk("\xB0")); // a lead byte without its trail
}

} // namespace
} // namespace lirvo::audio
