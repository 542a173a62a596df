// Arbitrary bytes through the YRC parser and the LRC writer.
#include "LyricCheck.h"
#include "lyrics/formats/YrcFormat.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    CheckServiceLines(lirvo::lyrics::services::ParseYrc(text));
    return 0;
}
