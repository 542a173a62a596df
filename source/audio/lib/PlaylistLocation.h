#pragma once
// Network locations that name a playlist (.m3u, .m3u8, .pls) instead of a song: the first
// entry of such a playlist is what gets played.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::audio {

// True when the location's path (before any query or fragment) ends in a playlist extension,
// or when the server's content type names a playlist.
bool IsPlaylistLocation(std::string_view url, std::string_view contentType = {});

// True when an M3U text is an HLS playlist (it carries "#EXT-X-" tags): its entries are
// segments or variants of one stream, not songs.
bool IsHlsPlaylist(std::string_view text);

// The first entry of an M3U or PLS text, made absolute against `baseUrl`. Only http and
// https entries are returned: a playlist from the network never points the player at a
// local file.
std::optional<std::string> FirstPlaylistEntry(std::string_view text, std::string_view baseUrl);

} // namespace lirvo::audio
