// The eapi answer opener and the byte decoders on arbitrary input, with the round trips that
// must hold for any bytes.
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/EapiCodec.h"
#include "lyrics/codecs/ZlibInflate.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::lyrics::codecs;

    const std::optional<std::string> opened = EapiOpenAnswer(input);
    if (opened && (opened->size() >= size || size - opened->size() > 16))
        std::abort();
    if (EapiOpenAnswer(EapiSeal(input)) != input)
        std::abort();

    DecodeHex(input);
    if (DecodeHex(EncodeHexUpper(input)) != input)
        std::abort();
    DecodeBase64(input);

    const std::optional<std::string> inflated = InflateZlib(input, 1 << 20);
    if (inflated && inflated->size() > (1u << 20))
        std::abort();
    return 0;
}
