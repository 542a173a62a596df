#include "lyrics/formats/LineTimedLrc.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"

#include "lyrics/core/uLRCHandle.h"
#include "lyrics/formats/FormatScan.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace lirvo::lyrics::services {

std::vector<TTimedLine> ParseLineTimedLrc(std::string_view text) {
    TLyricHandle handle;
    handle.Parse(detail::DropByteOrderMark(text));
    std::vector<TTimedLine> lines;
    lines.reserve(handle.Items().size());
    for (const TLyricItem &item : handle.Items()) {
        TTimedLine &line = lines.emplace_back();
        line.StartMs = item.Time;
        line.Text = item.Text;
    }
    detail::SortByStart(lines);
    return lines;
}

namespace {


// The value of a digit of a numeric reference; -1 for a byte that is none.
int DigitValue(char c, bool hex) {
    if (hex)
        return text::HexDigit(static_cast<unsigned char>(c));
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

// Code point of a numeric reference body ("#65", "#x41"), nullopt unless it names a character
// XML allows (no NUL, no surrogates, at most U+10FFFF).
std::optional<uint32_t> NumericReference(std::string_view body) {
    if (body.size() < 2 || body[0] != '#')
        return std::nullopt;
    const bool hex = body[1] == 'x' || body[1] == 'X';
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty())
        return std::nullopt;
    uint32_t cp = 0;
    for (char c : digits) {
        const int d = DigitValue(c, hex);
        if (d < 0)
            return std::nullopt;
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        if (cp > 0x10FFFF)
            return std::nullopt;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return cp;
}

} // namespace

std::string DecodeXmlEntities(std::string_view text) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> kNamed = {
        {{"amp", '&'}, {"quot", '"'}, {"apos", '\''}, {"lt", '<'}, {"gt", '>'}}};
    // The longest reference we decode, "#x10FFFF" or "#1114111" with leading zeros aside;
    // the ";" is looked for only this far, so a stray "&" costs a bounded look-ahead.
    constexpr std::size_t kMaxBody = 10;
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, amp - pos));
        pos = amp + 1;
        const std::size_t semi = text.substr(0, std::min(text.size(), pos + kMaxBody + 1)).find(';', pos);
        if (semi == std::string_view::npos) {
            out.push_back('&');
            continue;
        }
        const std::string_view body = text.substr(pos, semi - pos);
        bool decoded = false;
        for (const auto &[name, c] : kNamed) {
            if (body == name) {
                out.push_back(c);
                decoded = true;
                break;
            }
        }
        if (!decoded) {
            if (std::optional<uint32_t> cp = NumericReference(body)) {
                text::AppendUtf8(out, static_cast<char32_t>(*cp));
                decoded = true;
            }
        }
        if (decoded)
            pos = semi + 1;
        else
            out.push_back('&');
    }
    return out;
}

} // namespace lirvo::lyrics::services
