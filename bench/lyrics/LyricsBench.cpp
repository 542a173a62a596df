// Parsing a large LRC text, sorting many lines, and the best-named lookup in a big folder.
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

} // namespace
