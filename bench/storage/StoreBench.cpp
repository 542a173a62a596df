// Save and load of a 10,000-entry playlist and a settings round trip, measured the way the
// main window uses the stores (each save opens the existing file first).

#include "storage/UDDPlayerlist.h"
#include "storage/UDDXMLCFG.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using lirvo::storage::TDKConfig;
using lirvo::storage::TDKPlist;

namespace {

struct Row {
    std::string title, artist, path;
};

const std::string &Folder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lirvo-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern + "/";
    }();
    return folder;
}

std::vector<Row> MakeRows(int count) {
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        rows.push_back({"\xE5\xA4\x9C\xE6\x9B\xB2 Night Song " + n, "\xE6\xAD\x8C\xE6\x89\x8B Singer " + n,
                        "/home/user/Music/\xE6\xAD\x8C\xE6\x89\x8B/Album " + std::to_string(i / 12) + "/" +
                            n + " - Night Song.mp3"});
    }
    return rows;
}

void SaveRows(const std::string &path, const std::vector<Row> &rows) {
    TDKPlist list(path, "DefaultList");
    list.ClearList("PlayerList");
    for (const auto &row : rows)
        list.AddEntry("PlayerList/LIST", row.title, row.artist, "0", row.path, 0);
    list.Save();
}

void BM_PlaylistSave10000(benchmark::State &state) {
    const std::string path = Folder() + "save.pls";
    const auto rows = MakeRows(10000);
    SaveRows(path, rows); // an existing list, as on every save but the first
    for (auto _ : state)
        SaveRows(path, rows);
    state.SetItemsProcessed(state.iterations() * 10000);
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void BM_PlaylistLoad10000(benchmark::State &state) {
    const std::string path = Folder() + "load.pls";
    SaveRows(path, MakeRows(10000));
    for (auto _ : state) {
        TDKPlist list(path, "DefaultList");
        list.LoadList("PlayerList");
        benchmark::DoNotOptimize(list.Count());
        if (list.Count() != 10000)
            state.SkipWithError("wrong entry count");
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}

void BM_SettingsRoundTrip(benchmark::State &state) {
    const std::string path = Folder() + "Lirvo.xml";
    const char *keys[][2] = {
        {"Window/PLAY", "PATTERN"},    {"Window/Volume", "Value"},  {"Window/EQ", "ID"},
        {"Window/DESKTOPLRC", "SHOW"}, {"Window/AUTORUN", "Value"}, {"Window/LEFT", "Value"},
        {"Window/TOP", "Value"},       {"Window/LRCLEFT", "Value"}, {"Window/LRCTOP", "Value"}};
    for (auto _ : state) {
        TDKConfig config(path, "MainConfig");
        int sum = 0;
        for (const auto &key : keys)
            sum += config.ReadInteger(key[0], key[1], 0);
        const std::string lyricDir =
            config.ReadString("Window/LRC", "PATH", "/home/user/Documents/lirvo/lrc/");
        const std::string musicDir =
            config.ReadString("Window/MUSIC", "PATH", "/home/user/Documents/lirvo/music/");
        for (const auto &key : keys)
            config.WriteInteger(key[0], key[1], sum % 7);
        config.WriteString("Window/LRC", "PATH", lyricDir);
        config.WriteString("Window/MUSIC", "PATH", musicDir);
        config.WriteString("Network/LYRICS", "URL", "http://127.0.0.1:8080/api");
        config.Save();
    }
}

} // namespace

BENCHMARK(BM_PlaylistSave10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_PlaylistLoad10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_SettingsRoundTrip)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
