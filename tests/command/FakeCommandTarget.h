#pragma once
// A scripted stand-in for the main-window controller: a playlist in memory and a record of
// every transport call, so tests can check what the command handlers did.

#include "shell/command/ICommandTarget.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace lirvo::test {

struct FakeRow {
    int number = 0;
    std::string title, artist, path;
};

class FakeCommandTarget : public command::ICommandTarget {
public:
    std::vector<FakeRow> rows;
    std::int32_t currentIndex = 0;
    int engineState = 1001;
    std::map<std::string, command::SongTags> tags;
    std::vector<std::string> calls; // "stop", "play:<path>", "save", "refused:<n>", "playpause", "previous", "next"
    int throwOnAppendAt = -1;       // row count at which AppendRow throws

    void AddStoredRows(int count) {
        for (int i = 0; i < count; ++i)
            rows.push_back({i + 1, "stored" + std::to_string(i + 1), "", "/stored/" + std::to_string(i + 1)});
    }

    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::int32_t CurrentIndex() const override { return currentIndex; }
    void SetCurrentIndex(std::int32_t index) override { currentIndex = index; }
    std::optional<std::string> RecordPath(std::int32_t index) const override {
        if (index < 0 || index >= RowCount())
            return std::nullopt;
        return rows[static_cast<std::size_t>(index)].path;
    }
    command::SongTags GetTags(const std::string &path) override {
        const auto it = tags.find(path);
        return it == tags.end() ? command::SongTags{} : it->second;
    }
    std::string TitleFromFileName(const std::string &path) const override {
        std::string name = path.substr(path.find_last_of('/') + 1);
        const auto dot = name.find_last_of('.');
        return dot == std::string::npos ? name : name.substr(0, dot);
    }
    void AppendRow(int number, const std::string &title, const std::string &artist,
                   const std::string &path) override {
        if (throwOnAppendAt == RowCount())
            throw std::runtime_error("cannot add row");
        rows.push_back({number, title, artist, path});
    }
    void SavePlayList() override { calls.push_back("save"); }
    void SayNamesRefused(int count) override { calls.push_back("refused:" + std::to_string(count)); }
    int EngineState() const override { return engineState; }
    void Stop() override { calls.push_back("stop"); }
    void PlayFile(const std::string &path) override { calls.push_back("play:" + path); }
    void PlayPause() override { calls.push_back("playpause"); }
    void Previous() override { calls.push_back("previous"); }
    void Next() override { calls.push_back("next"); }
};

} // namespace lirvo::test
