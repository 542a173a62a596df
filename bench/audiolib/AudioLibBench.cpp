// CPU time to decode and equalize a 10-minute MP3, measured against the ffmpeg command line
// decoding the same file to the same format in the same run; the light decoder beside FFmpeg on
// the same Ogg Vorbis and MP3 files; and the cost of reading tags the way the engine does for every file
// added to the playlist.

#include "audio/lib/AudioLibraryFactory.h"
#include "audio/lib/FfmpegDecoder.h"
#include "audio/lib/LightDecoder.h"
#include "audio/lib/PeakingEqualizer.h"
#include "audio/lib/TagReader.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace lirvo::audio;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Media made once per run in a private folder.
class BenchMedia {
public:
    static BenchMedia &Get() {
        static BenchMedia media;
        return media;
    }
    std::string tenMinutes;
    std::string tagged;
    std::string monoVorbis;   // a minute at 22050 Hz, mono: converted to the output rate
    std::string stereoVorbis; // a minute at 44100 Hz, stereo: no conversion
    std::string stereoMp3;    // the same minute as a 192 kb/s MP3

private:
    BenchMedia() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lirvo-audiolib-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("no temporary folder");
        }
        folder_ = pattern;
        tenMinutes = (folder_ / "ten-minutes.mp3").string();
        tagged = (folder_ / "tagged.mp3").string();
        monoVorbis = (folder_ / "mono-22050.ogg").string();
        stereoVorbis = (folder_ / "stereo-44100.ogg").string();
        stereoMp3 = (folder_ / "stereo-44100.mp3").string();
        const std::string chord = "\"aevalsrc='0.2*sin(2*PI*220*t)+0.15*sin(2*PI*277*t)+0.05*(random(0)-0.5)'";
        Run("ffmpeg -nostdin -y -f lavfi -i " + chord + ":s=22050:d=60\" -c:a libvorbis '" + monoVorbis + "'");
        Run("ffmpeg -nostdin -y -f lavfi -i " + chord + ":s=44100:d=60\" -ac 2 -c:a libvorbis '" + stereoVorbis +
            "'");
        Run("ffmpeg -nostdin -y -f lavfi -i " + chord + ":s=44100:d=60\" -ac 2 -b:a 192k '" + stereoMp3 + "'");
        // A chord with some noise, so the encoder has real work and the decoder real data.
        Run("ffmpeg -nostdin -y -f lavfi -i "
            "\"aevalsrc='0.2*sin(2*PI*220*t)+0.15*sin(2*PI*277*t)+0.1*sin(2*PI*"
            "330*t)+0.05*(random(0)-0.5)':s=44100:d=600\" -ac 2 -b:a 192k '" +
            tenMinutes + "'");
        Run("ffmpeg -nostdin -y -f lavfi -i \"sine=frequency=440:duration=240\" -ac 2 -b:a 128k "
            "-id3v2_version 3 -metadata title=晴天 -metadata artist=周杰伦 -metadata album=叶惠美 '" +
            tagged + "'");
    }
    ~BenchMedia() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    static void Run(const std::string &command) {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
            throw std::runtime_error("could not run: " + command);
        }
    }
    std::filesystem::path folder_;
};

// Decodes the whole file the way a playing channel does; returns the frames decoded.
int64_t DecodeFile(const std::string &path, bool equalize) {
    static constexpr std::array<float, 10> kCentres = {80,   170,  310,   600,   1000,
                                                       3000, 6000, 10000, 12000, 14000};
    static constexpr std::array<float, 10> kPreset = {6, 4, 2, 0, -2, 1, 3, 4, 5, 6}; // nine active bands
    auto decoder = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
    if (decoder == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    EffectChain chain;
    for (uint32_t band = 0; band < 10; ++band) {
        chain.Add(band + 1, 1, PeakingParameters{kCentres[band], 5.0f, kPreset[band]});
    }
    std::vector<float> block(2048 * 2);
    int64_t total = 0;
    for (int64_t got; (got = decoder->Read(block.data(), 2048)) > 0;) {
        if (equalize) {
            chain.Process(block.data(), got);
        }
        total += got;
    }
    benchmark::DoNotOptimize(block.data());
    return total;
}

void DecodeAgainstFfmpeg(benchmark::State &state, bool equalize) {
    const std::string &path = BenchMedia::Get().tenMinutes;
    const std::string command =
        "ffmpeg -nostdin -v quiet -i '" + path + "' -f f32le -ar 44100 -ac 2 - >/dev/null";
    double ours = 0;
    double theirs = 0;
    int64_t frames = 0;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        frames = DecodeFile(path, equalize);
        ours += ProcessCpuSeconds() - before;

        state.PauseTiming();
        const double childrenBefore = ChildrenCpuSeconds();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
        }
        theirs += ChildrenCpuSeconds() - childrenBefore;
        state.ResumeTiming();
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["audio_s"] = static_cast<double>(frames) / 44100.0;
    state.counters["ours_cpu_s"] = ours / runs;
    state.counters["ffmpeg_cpu_s"] = theirs / runs;
    state.counters["ratio"] = theirs > 0 ? ours / theirs : 0;
}

void BM_DecodeAndEqualizeTenMinuteMp3(benchmark::State &state) {
    DecodeAgainstFfmpeg(state, true);
}
void BM_DecodeTenMinuteMp3(benchmark::State &state) {
    DecodeAgainstFfmpeg(state, false);
}
BENCHMARK(BM_DecodeAndEqualizeTenMinuteMp3)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTenMinuteMp3)->Iterations(3)->Unit(benchmark::kMillisecond);

// What the engine's GetTags asks of the library for one file.
// A minute of Ogg Vorbis or MP3 decoded to the output format: arg 0 the light decoder
// (libvorbisfile or libmpg123, libsoxr), arg 1 FFmpeg (its own decoders, libswresample); the time
// is per minute of sound.
void DecodeMinute(benchmark::State &state, const std::string &path) {
    std::vector<float> block(2048 * 2);
    for (auto _ : state) {
        std::unique_ptr<DecodedSource> decoder;
        if (state.range(0) == 0) {
            decoder = LightDecoder::Open(FileReader::Open(path));
        } else {
            decoder = FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false);
        }
        if (decoder == nullptr) {
            state.SkipWithError("cannot open the file");
            return;
        }
        int64_t total = 0;
        for (int64_t got; (got = decoder->Read(block.data(), 2048)) > 0;) {
            total += got;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetLabel(state.range(0) == 0 ? "light decoder" : "FFmpeg");
}
void BM_DecodeMonoVorbisMinute(benchmark::State &state) {
    DecodeMinute(state, BenchMedia::Get().monoVorbis);
}
void BM_DecodeStereoVorbisMinute(benchmark::State &state) {
    DecodeMinute(state, BenchMedia::Get().stereoVorbis);
}
void BM_DecodeStereoMp3Minute(benchmark::State &state) {
    DecodeMinute(state, BenchMedia::Get().stereoMp3);
}
BENCHMARK(BM_DecodeMonoVorbisMinute)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeStereoVorbisMinute)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeStereoMp3Minute)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GetTagsPerFile(benchmark::State &state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    auto library = CreateAudioLibrary();
    if (!library->Init(kDefaultDevice, 44100, 0, 0, nullptr)) {
        state.SkipWithError("no output device");
        return;
    }
    const std::string &path = BenchMedia::Get().tagged;
    for (auto _ : state) {
        const Handle stream = library->StreamCreateFile(false, path.c_str(), 0, 0, 0);
        const double seconds =
            library->ChannelBytes2Seconds(stream, library->ChannelGetLength(stream, kPosByte));
        benchmark::DoNotOptimize(seconds);
        for (const char *format : {"%TITL", "%ARTI", "%ALBM"}) {
            benchmark::DoNotOptimize(library->TagsRead(stream, format));
        }
        library->StreamFree(stream);
    }
    library->Free();
}
BENCHMARK(BM_GetTagsPerFile)->Unit(benchmark::kMicrosecond);

// The two halves of the above: opening the decoder, and TagLib reading the tags.
void BM_OpenDecoderOnly(benchmark::State &state) {
    const std::string &path = BenchMedia::Get().tagged;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FfmpegDecoder::Open(FileReader::Open(path), BuiltInFormats(), false));
    }
}
BENCHMARK(BM_OpenDecoderOnly)->Unit(benchmark::kMicrosecond);

void BM_ReadTagsOnly(benchmark::State &state) {
    const std::string &path = BenchMedia::Get().tagged;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ReadTrackTags(path));
    }
}
BENCHMARK(BM_ReadTagsOnly)->Unit(benchmark::kMicrosecond);

} // namespace
