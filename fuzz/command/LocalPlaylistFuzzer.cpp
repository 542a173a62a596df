// Local playlist files (.m3u, .m3u8, .pls) come from anywhere on disk.
#include "shell/command/LocalPlaylist.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    for (const auto &entry : lirvo::command::ParseLocalPlaylist(text, "/base/")) {
        // Every entry is an absolute path or a web address, never a playlist, never holds a
        // zero byte.
        const bool web = entry.Path.rfind("http://", 0) == 0 || entry.Path.rfind("https://", 0) == 0 ||
                         entry.Path.rfind("HTTP", 0) == 0 || entry.Path.rfind("Http", 0) == 0;
        if (entry.Path.empty() || (!web && entry.Path.front() != '/' && entry.Path.find("://") == std::string::npos) ||
            entry.Path.find('\0') != std::string::npos ||
            lirvo::command::IsLocalPlaylistPath(entry.Path))
            std::abort();
    }
    return 0;
}
