#pragma once
// What the command-message handlers need from the main-window controller. TZylMain implements
// it; tests use a fake. Every call happens on the main thread.

#include <cstdint>
#include <optional>
#include <string>

namespace lirvo::command {

struct SongTags {
    std::string Title;
    std::string Artist;
};

class ICommandTarget {
public:
    virtual ~ICommandTarget() = default;

    // Number of rows in the playlist view (equal to the number of playlist records).
    virtual int RowCount() const = 0;
    virtual std::int32_t CurrentIndex() const = 0;
    virtual void SetCurrentIndex(std::int32_t index) = 0;
    // Path of the record at `index`, or nullopt when the index names no record.
    virtual std::optional<std::string> RecordPath(std::int32_t index) const = 0;

    // Title and artist tags of a file; both empty when it cannot be read. Blocks while the file
    // is read: the controller does not carry out paths through WMSHARECMD but reads them on a
    // worker (ReadPathRows), so only song lists and tests call WMSHARECMD with it.
    virtual SongTags GetTags(const std::string &path) = 0;
    // The file name without folder and extension, as the playlist shows untagged files.
    virtual std::string TitleFromFileName(const std::string &path) const = 0;
    // Appends a row with this number, title, artist and path and rebuilds the record list.
    virtual void AppendRow(int number, const std::string &title, const std::string &artist,
                           const std::string &path) = 0;
    // Writes the playlist file.
    virtual void SavePlayList() = 0;
    // Tells the user that `count` handed-over files were not added: their names are not UTF-8
    // text, which the playlist file cannot keep exactly.
    virtual void SayNamesRefused(int count) = 0;

    // The engine's state code (1001 stopped ... 1005 connecting to a network address).
    virtual int EngineState() const = 0;
    virtual void Stop() = 0;
    virtual void PlayFile(const std::string &path) = 0;

    // The transport buttons, exactly as the user presses them.
    virtual void PlayPause() = 0;
    virtual void Previous() = 0;
    virtual void Next() = 0;
};

} // namespace lirvo::command
