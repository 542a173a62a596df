#include "lyrics/codecs/ByteCoding.h"

#include "function/text/FastStrings.h"

#include <array>
#include <cstdint>

namespace lirvo::lyrics::codecs {

namespace {

constexpr bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}


constexpr std::uint8_t kBase64Invalid = 0xFF;
constexpr std::uint8_t kBase64Space = 0xFE;
constexpr std::uint8_t kBase64Pad = 0xFD;

constexpr std::array<std::uint8_t, 256> makeBase64Table() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kBase64Invalid);
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    for (char c : {' ', '\t', '\n', '\r', '\f', '\v'})
        table[static_cast<unsigned char>(c)] = kBase64Space;
    table['='] = kBase64Pad;
    return table;
}

constexpr std::array<std::uint8_t, 256> kBase64Table = makeBase64Table();

} // namespace

std::optional<std::string> DecodeHex(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string out(text.size() / 2, '\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int high = text::HexDigit(static_cast<unsigned char>(text[2 * i]));
        const int low = text::HexDigit(static_cast<unsigned char>(text[2 * i + 1]));
        if (high < 0 || low < 0)
            return std::nullopt;
        out[i] = static_cast<char>((high << 4) | low);
    }
    return out;
}

std::string EncodeHexUpper(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out(bytes.size() * 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out[2 * i] = digits[byte >> 4];
        out[2 * i + 1] = digits[byte & 0x0F];
    }
    return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t group = 0;  // the sextets of the group being read, oldest highest
    std::size_t inGroup = 0;  // sextets read into `group`
    std::size_t padding = 0;  // "=" seen so far; once non-zero only more "=" may follow
    for (char c : text) {
        const std::uint8_t value = kBase64Table[static_cast<unsigned char>(c)];
        if (value == kBase64Space)
            continue;
        if (value == kBase64Invalid)
            return std::nullopt;
        if (value == kBase64Pad) {
            ++padding;
            continue;
        }
        if (padding != 0)
            return std::nullopt;
        group = (group << 6) | value;
        if (++inGroup == 4) {
            out.push_back(static_cast<char>(group >> 16));
            out.push_back(static_cast<char>(group >> 8));
            out.push_back(static_cast<char>(group));
            group = 0;
            inGroup = 0;
        }
    }
    // One sextet cannot hold a byte; padding must fill the last group up to four exactly.
    if (inGroup == 1)
        return std::nullopt;
    if (padding != 0 && (inGroup == 0 || inGroup + padding != 4))
        return std::nullopt;
    if (inGroup == 2) {
        out.push_back(static_cast<char>(group >> 4));
    } else if (inGroup == 3) {
        out.push_back(static_cast<char>(group >> 10));
        out.push_back(static_cast<char>(group >> 2));
    }
    return out;
}

} // namespace lirvo::lyrics::codecs
