// Song lists arrive from any local program through the command block.
#include "shell/command/SongList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto entries = lirvo::command::DecodeSongList(text, "http://prefix/");
    for (const auto &entry : entries) {
        // Every location keeps the prefix; titles and singers never hold a zero byte.
        if (entry.Location.rfind("http://prefix/", 0) != 0 || entry.Title.find('\0') != std::string::npos ||
            entry.Singer.find('\0') != std::string::npos)
            std::abort();
    }
    return 0;
}
