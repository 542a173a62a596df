// Legacy tag fields hold arbitrary bytes; whatever they hold, the result is valid UTF-8.

#include "audio/lib/LegacyTagText.h"
#include "function/text/TextCodec.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::string text = lirvo::audio::DecodeLegacyTagText(bytes);
    if (!lirvo::text::IsValidUtf8(text)) {
        std::abort();
    }
    lirvo::audio::LooksLikeGbk(bytes);
    return 0;
}
