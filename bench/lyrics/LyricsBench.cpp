// Parsing a large LRC text (plain and with word tags), sorting many lines, the best-named
// lookup in a big folder and the whole offline lookup of a song over that folder.
// Goals: parsing with word tags at 100 MB/s or more; the offline lookup over 10,000 files
// in 30 ms or less.
#include "lyrics/core/LyricLookup.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/core/uLRCHandle.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

using namespace lirvo::lyrics;

std::string TimeTag(int ms) {
    char tag[32];
    std::snprintf(tag, sizeof tag, "[%02d:%02d.%02d]", ms / 60000 % 100, ms / 1000 % 60, ms / 10 % 100);
    return tag;
}

// About `bytes` of typical lyric text: metadata, then tagged lines, some sharing a text.
std::string MakeLrc(std::size_t bytes) {
    std::string text =
        "[ti:Benchmark Song]\r\n[ar:Some Singer]\r\n[al:Album]\r\n[by:lirvo]\r\n[offset:0]\r\n";
    int ms = 0;
    for (int line = 0; text.size() < bytes; ++line) {
        ms += 1730;
        text += TimeTag(ms);
        if (line % 7 == 0)
            text += TimeTag(ms + 600000);
        text += line % 3 == 0 ? "这是一行中文歌词，带一点标点" : "And a line of lyric text in English";
        text += "\r\n";
    }
    return text;
}

void BM_Parse1MB(benchmark::State &state) {
    const std::string text = MakeLrc(1 << 20);
    TLyricHandle handle;
    for (auto _ : state) {
        handle.Parse(text);
        benchmark::DoNotOptimize(handle.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["lines"] = handle.Count();
}
BENCHMARK(BM_Parse1MB)->Unit(benchmark::kMillisecond);

// About `bytes` of enhanced LRC: every line with a word tag before each word and an end tag.
std::string MakeWordLrc(std::size_t bytes) {
    std::string text = "[ti:Benchmark Song]\r\n[ar:Some Singer]\r\n";
    static const char *const kWords[] = {"这是", "一行", "中文", "歌词，", "And ", "a ", "line ", "of ", "words "};
    int ms = 0;
    for (int line = 0; text.size() < bytes; ++line) {
        ms += 1730;
        text += TimeTag(ms);
        int word = ms;
        for (int w = 0; w < 6; ++w, word += 240) {
            std::string tag = TimeTag(word);
            tag.front() = '<';
            tag.back() = '>';
            text += tag + kWords[(line + w) % 9];
        }
        std::string end = TimeTag(word);
        end.front() = '<';
        end.back() = '>';
        text += end + "\r\n";
    }
    return text;
}

void BM_ParseWordTags1MB(benchmark::State &state) {
    const std::string text = MakeWordLrc(1 << 20);
    TLyricHandle handle;
    for (auto _ : state) {
        handle.Parse(text);
        benchmark::DoNotOptimize(handle.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["lines"] = handle.Count();
    if (handle.Count() == 0 || handle.GetItem(0).Words.size() != 6)
        state.SkipWithError("word tags were not read");
}
BENCHMARK(BM_ParseWordTags1MB)->Unit(benchmark::kMillisecond);

void BM_Sort20000Lines(benchmark::State &state) {
    std::mt19937 rng(7);
    TLyricHandle shuffled;
    for (int i = 0; i < 20000; ++i)
        shuffled.Add(TLyricItem{"some lyric line text", "", static_cast<int32_t>(rng() % 600000), {}, -1});
    TLyricHandle handle; // reassigned while paused, so freeing the old lines is not timed
    for (auto _ : state) {
        state.PauseTiming();
        handle = shuffled;
        state.ResumeTiming();
        handle.Sort();
        benchmark::DoNotOptimize(handle.Items().data());
    }
}
BENCHMARK(BM_Sort20000Lines)->Unit(benchmark::kMillisecond);

// A folder of 10,000 lyric files. Arg 0: no name comes near the key; arg 1: a near match
// (96..99) exists, so the whole folder is still listed; arg 2: every name has about the key's
// length, so every one is scored (the worst case; near names may match).
class LyricFolder {
public:
    LyricFolder() {
        char pattern[] = "/tmp/lirvo-bench-lrc-XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        path = pattern;
        for (int i = 0; i < 10000; ++i)
            std::ofstream(path + "/Song Title " + std::to_string(i) + " Artist Name " +
                          std::to_string(i % 97) + ".lrc");
        std::ofstream(path + "/a long song title artist2.lrc");
    }
    ~LyricFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

void BM_BestNamedLookup10000(benchmark::State &state) {
    static LyricFolder folder;
    static const std::pair<const char *, const char *> keys[] = {
        {"Nothing Like It", "X"}, {"A Long Song Title", "Artist"}, {"Song Title 5000", "Artist Name 77"}};
    const auto &[title, singer] = keys[state.range(0)];
    std::string found;
    for (auto _ : state) {
        found = FindBestLyricFile(folder.path, title, singer);
        benchmark::DoNotOptimize(found.data());
    }
    if (state.range(0) < 2 && found.empty() == (state.range(0) == 1))
        state.SkipWithError("unexpected lookup result");
}
BENCHMARK(BM_BestNamedLookup10000)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The whole offline lookup the player runs when a song starts (what `lirvo-lyrics find
// --offline` does): beside the song, its tags (a real file without lyrics), then the folder of
// 10,000 files, where the song's saved lyric is found. Arg 0: the lyric is in the folder;
// arg 1: nowhere, so every step runs to its end.
void BM_OfflineFind10000(benchmark::State &state) {
    static LyricFolder folder;
    static LyricFolder songFolder; // holds only the song (its listing is the beside step)
    static const std::string song = [] {
        const std::string dir = songFolder.path + "/music";
        std::filesystem::create_directories(dir);
        const std::string path = dir + "/song.mp3";
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' '" + path + "'";
        if (std::system(command.c_str()) != 0)
            std::ofstream(path) << "not really audio";
        std::ofstream(folder.path + "/" + OnlineLyricFileName("Saved Song", "Its Artist")) << "[00:01.00]x\r\n";
        return path;
    }();
    TLyricLookupRequest request;
    request.Path = song;
    request.Song = state.range(0) == 0 ? TSongQuery{"Saved Song", "Its Artist", "", 1000}
                                       : TSongQuery{"Not There", "Anyone", "", 1000};
    request.LyricDir = folder.path;
    TLyricSource source = TLyricSource::None;
    for (auto _ : state) {
        source = LookupLyric(request, nullptr).Source;
        benchmark::DoNotOptimize(source);
    }
    if ((source == TLyricSource::Folder) != (state.range(0) == 0))
        state.SkipWithError("unexpected lookup result");
}
BENCHMARK(BM_OfflineFind10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
