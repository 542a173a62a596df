#pragma once
// Local playlist files (.m3u, .m3u8, .pls) given on the command line, chosen in the open dialog
// or sent with codes 1 and 11: their entries become playlist rows; the file itself never does.
// Network playlist addresses are not handled here (the audio library plays their first entry).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::command {

struct LocalPlaylistEntry {
    std::string Path;   // absolute local path or http(s) address
    std::string Title;  // from #EXTINF or TitleN; empty when the playlist names none
    std::string Artist; // the part before " - " of such a title
    bool operator==(const LocalPlaylistEntry &) const = default;
};

// True for a local path (no "scheme://", or a file:// address) whose name ends in .m3u, .m3u8
// or .pls, in any letter case.
bool IsLocalPlaylistPath(std::string_view path);

// The entries of a playlist text, in order. `folder` (ending in "/") resolves relative
// entries; file:// addresses become paths; http and https entries are kept; other addresses,
// entries that are playlists themselves and empty entries are dropped. The format is PLS when
// the text has a "[playlist]" section, M3U otherwise. Text that is not UTF-8 is read as GBK.
// Whether the files exist is not checked here.
std::vector<LocalPlaylistEntry> ParseLocalPlaylist(std::string_view text, const std::string &folder);

// Reads and parses the playlist file at `path` and drops entries naming local files that do
// not exist. Empty when the file cannot be read or is larger than kMaxLocalPlaylistBytes.
std::vector<LocalPlaylistEntry> ReadLocalPlaylist(const std::string &path);

inline constexpr std::size_t kMaxLocalPlaylistBytes = 16 * 1024 * 1024;

// An open-dialog filter ("name|patterns|name|patterns...") with the playlist patterns added to
// its first group and as a group of their own ("播放列表").
std::string FilterWithPlaylists(const std::string &filter);

} // namespace lirvo::command
