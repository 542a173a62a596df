// KRC decoding on the input as the Base64 field, and on "krc1" + the input as the file bytes
// (through their Base64), so that the XOR and zlib stages see arbitrary data too.
#include "lyrics/codecs/KrcCodec.h"

#include "function/text/FastStrings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::lyrics::codecs;

    DecryptKrc(input);
    const std::string file = "krc1" + std::string(input);
    const std::optional<std::string> viaBase64 = DecryptKrc(lirvo::text::EncodeBase64Text(file));
    if (viaBase64 != DecryptKrcBytes(file))
        std::abort();
    return 0;
}
