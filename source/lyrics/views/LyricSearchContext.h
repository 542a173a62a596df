#pragma once
// What the control bar and the lyric search window need from the rest of the program, handed in
// by whoever creates them, so that they depend on no controller. Every function runs on the GUI
// thread; an empty function means "not available" (no offset change, no song, nothing loaded).

#include "lyrics/core/LRC_Header.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::lyrics {

// The playlist row that plays now.
struct TSongRef {
    std::string Title;
    std::string Songer;
};

struct TLyricSearchContext {
    // The shared online lyric service (may be null: searches then find nothing).
    std::shared_ptr<ILrcService> Service;
    // When set, asked for the service each time one is needed instead of `Service` (for owners
    // that create the service after the windows).
    std::function<std::shared_ptr<ILrcService>()> GetService;
    // The lyric folder at this moment (UTF-8 path, with or without a trailing "/").
    std::function<std::string()> LyricDir;
    // The row at the current index, nullopt when there is none.
    std::function<std::optional<TSongRef>()> CurrentSong;
    // Loads a lyric text into the timeline of the playing song.
    std::function<void(const std::string &)> LoadText;
    // When set, used instead of LoadText: the lyric with the file it was saved to ("" when it
    // could not be saved), so that timing shifts can be kept in that file.
    std::function<void(const std::string &text, const std::string &file)> LoadLyricFile;
    // The services the user ticked in the search window, in order (to keep in the settings).
    std::function<void(const std::vector<std::string> &keys)> SourcesChanged;
};

// Read and write access to the timing offset of the lyric timeline, in milliseconds.
struct TLyricOffsetAccess {
    std::function<int32_t()> Offset;
    std::function<void(int32_t)> SetOffset;
};

} // namespace lirvo::lyrics
