// Answers of the lyric server through the search and lyric parsers.
#include "lyrics/core/LrclibService.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view body(reinterpret_cast<const char *>(data), size);
    lirvo::lyrics::ParseLrclibSearchAnswer(body);
    lirvo::lyrics::ParseLrclibLyricAnswer(body);
    return 0;
}
