// File bytes through the encoding detection; what we write must read back as written.
#include "function/text/TextCodec.h"
#include "lyrics/core/LyricFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::lyrics;

    const std::string text = DecodeLyricBytes(bytes);
    if (!lirvo::text::IsValidUtf8(text) || text.find('\0') != std::string::npos)
        std::abort();
    const std::string joined = JoinLyricLines(text);
    if (JoinLyricLines(joined) != joined)
        std::abort();
    if (DecodeLyricBytes(EncodeLyricFile(text)) != joined)
        std::abort();
    return 0;
}
