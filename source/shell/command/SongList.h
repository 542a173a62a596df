#pragma once
// Decoding of the song lists other programs hand over with codes 2 and 22: comma-separated,
// percent-encoded UTF-8 items, each a marker character followed by "location|title-artist".

#include <string>
#include <string_view>
#include <vector>

namespace lirvo::command {

struct SongListEntry {
    std::string Title;
    std::string Singer;
    std::string Location; // music path prefix + the item's location
};

// One entry per item, in order. Never throws on any input; the texts of the entries are
// valid UTF-8 apart from the prefix, which is used as given.
std::vector<SongListEntry> DecodeSongList(std::string_view text, std::string_view musicPathPrefix);

} // namespace lirvo::command
