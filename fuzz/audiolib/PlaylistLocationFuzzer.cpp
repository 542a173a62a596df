// Playlist texts from the network: the first entry must always be an http(s) location; HLS
// lists are told from the others.

#include "audio/lib/PlaylistLocation.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    // The first line doubles as the base location, so relative forms get exercised too.
    const size_t newline = text.find('\n');
    const std::string_view base = newline == std::string_view::npos ? text : text.substr(0, newline);
    for (std::string_view from : {base, std::string_view("http://host/dir/list.m3u?q=1")}) {
        if (auto entry = lirvo::audio::FirstPlaylistEntry(text, from)) {
            std::string head = entry->substr(0, 8);
            for (char &c : head) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (!head.starts_with("http://") && !head.starts_with("https://")) {
                std::abort();
            }
        }
    }
    lirvo::audio::IsPlaylistLocation(base, text.substr(0, 64));
    lirvo::audio::IsHlsPlaylist(text);
    return 0;
}
