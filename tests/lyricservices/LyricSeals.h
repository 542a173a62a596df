#pragma once
// The services' side of the lyric encodings, for stand-ins and benchmarks: QQ Music's
// Triple-DES over zlib and Kugou's KRC sealing.

#include "function/text/FastStrings.h"
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/QqDes.h"

#include <zlib.h>

#include <cstdint>
#include <string>

namespace lirvo::lyrics::testing {

inline std::string Deflate(const std::string &text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(text.data()),
              static_cast<uLong>(text.size()), 9);
    out.resize(size);
    return out;
}

// What QQ Music sends for a text with crypt=1: hex of its Triple-DES over zlib, zero-padded.
inline std::string QqSeal(const std::string &text) {
    using namespace lirvo::lyrics::codecs;
    static const char kKey[] = "!@#)(*$%123ZXC!@!@#)(NHL";
    const auto *key = reinterpret_cast<const uint8_t *>(kKey);
    const TDesSchedule e1(key, TDesVariant::QqMusic, TDesDirection::Encrypt);
    const TDesSchedule d2(key + 8, TDesVariant::QqMusic, TDesDirection::Decrypt);
    const TDesSchedule e3(key + 16, TDesVariant::QqMusic, TDesDirection::Encrypt);
    std::string bytes = Deflate(text);
    bytes.resize((bytes.size() + 7) / 8 * 8, '\0');
    for (std::size_t i = 0; i < bytes.size(); i += 8) {
        auto *block = reinterpret_cast<uint8_t *>(bytes.data() + i);
        DesCryptBlock(e1, block, block);
        DesCryptBlock(d2, block, block);
        DesCryptBlock(e3, block, block);
    }
    return EncodeHexUpper(bytes);
}

// What Kugou sends for a KRC text: base64 of "krc1" and the XOR-ed zlib of BOM + text.
inline std::string KrcSeal(const std::string &text) {
    static const uint8_t kKey[16] = {0x40, 0x47, 0x61, 0x77, 0x5E, 0x32, 0x74, 0x47,
                                     0x51, 0x36, 0x31, 0x2D, 0xCE, 0xD2, 0x6E, 0x69};
    std::string bytes = Deflate("\xEF\xBB\xBF" + text);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ kKey[i % 16]);
    return text::EncodeBase64Text("krc1" + bytes);
}

} // namespace lirvo::lyrics::testing
