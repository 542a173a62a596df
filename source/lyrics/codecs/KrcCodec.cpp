#include "lyrics/codecs/KrcCodec.h"

#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/ZlibInflate.h"

#include <cstdint>

namespace lirvo::lyrics::codecs {

namespace {

constexpr std::string_view kKrcHeader = "krc1";
constexpr std::uint8_t kKrcKey[16] = {0x40, 0x47, 0x61, 0x77, 0x5E, 0x32, 0x74, 0x47,
                                      0x51, 0x36, 0x31, 0x2D, 0xCE, 0xD2, 0x6E, 0x69};

} // namespace

std::optional<std::string> DecryptKrcBytes(std::string_view fileBytes) {
    if (!fileBytes.starts_with(kKrcHeader))
        return std::nullopt;
    std::string packed(fileBytes.substr(kKrcHeader.size()));
    for (std::size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<char>(static_cast<std::uint8_t>(packed[i]) ^ kKrcKey[i % 16]);
    std::optional<std::string> text = InflateZlib(packed);
    if (text)
        StripUtf8Bom(*text);
    return text;
}

std::optional<std::string> DecryptKrc(std::string_view base64Content) {
    const std::optional<std::string> bytes = DecodeBase64(base64Content);
    if (!bytes)
        return std::nullopt;
    return DecryptKrcBytes(*bytes);
}

} // namespace lirvo::lyrics::codecs
