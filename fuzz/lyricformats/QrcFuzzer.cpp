// Arbitrary bytes as a QRC document (extraction, then the content parser) and directly as
// lyric content.
#include "LyricCheck.h"
#include "lyrics/formats/QrcFormat.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics::services;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    LooksLikeQrcDocument(text);
    if (std::optional<std::string> content = ExtractQrcLyricContent(text)) {
        // Decoding only ever shortens the value, which lies inside the document.
        if (content->size() > size)
            std::abort();
        CheckServiceLines(ParseQrc(*content));
    }
    CheckServiceLines(ParseQrc(text));
    return 0;
}
