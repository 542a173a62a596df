#include "function/text/FastStrings.h"

#include "function/text/TextCodec.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace lirvo::text {
namespace {

void RequireStart(std::ptrdiff_t start, const char *operation) {
    if (start < 1)
        throw std::invalid_argument(std::string("source/function/FastStrings: ") + operation +
                                    " needs a start position of at least 1, got " + std::to_string(start));
}


} // namespace

std::string GetField(std::string_view text, int index, char separator) {
    if (text.empty() || index < 1)
        return {};
    std::size_t from = 0;
    for (; index > 1; --index) {
        const std::size_t p = text.find(separator, from);
        if (p == std::string_view::npos)
            return {}; // fewer fields than asked for
        from = p + 1;
    }
    const std::size_t end = text.find(separator, from);
    return std::string(
        text.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
}

void SplitByChar(std::string_view text, char separator, std::vector<std::string> &list) {
    list.clear();
    std::size_t from = 0;
    for (std::size_t p; (p = text.find(separator, from)) != std::string_view::npos; from = p + 1)
        list.emplace_back(text.substr(from, p - from));
    if (from < text.size())
        list.emplace_back(text.substr(from));
}

std::vector<std::string> SplitByChar(std::string_view text, char separator) {
    std::vector<std::string> list;
    SplitByChar(text, separator, list);
    return list;
}

unsigned HexValue(std::string_view text, std::size_t count) {
    count = std::min(count, text.size());
    std::size_t i = 0;
    while (i < count && text[i] == ' ')
        ++i;
    unsigned value = 0;
    for (; i < count; ++i) {
        const int digit = HexDigit(static_cast<unsigned char>(text[i]));
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

std::string PercentDecode(std::string_view text) {
    const std::size_t stop = std::min(text.find('&'), text.size());
    std::string out;
    out.reserve(stop);
    for (std::size_t i = 0; i < stop; ++i) {
        const char c = text[i];
        if (c == '%') {
            // The two bytes after "%" are consumed even when they are not hexadecimal digits.
            const std::string_view digits = text.substr(i + 1, std::min<std::size_t>(2, stop - i - 1));
            out.push_back(static_cast<char>(HexValue(digits, 2) & 0xFF));
            i += 2;
        } else if (c == '+') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::ptrdiff_t CharPosFrom(std::string_view text, char byte, std::ptrdiff_t start) {
    RequireStart(start, "CharPosFrom");
    if (text.empty() || static_cast<std::size_t>(start) > text.size())
        return 0;
    const std::size_t p = text.find(byte, static_cast<std::size_t>(start - 1));
    return p == std::string_view::npos ? 0 : static_cast<std::ptrdiff_t>(p + 1);
}

void BuildSkipTable(std::string_view pattern, SkipTable &table) {
    if (pattern.empty())
        throw std::invalid_argument("BufferLen is 0");
    const std::size_t length = pattern.size();
    table.fill(length);
    for (std::size_t i = 0; i + 1 < length; ++i)
        table[static_cast<unsigned char>(pattern[i])] = length - 1 - i;
}

std::optional<std::size_t> SkipSearch(std::string_view range, std::string_view pattern,
                                      const SkipTable &table) {
    const std::size_t m = pattern.size();
    if (m == 0 || m > range.size())
        return std::nullopt;
    const unsigned char last = static_cast<unsigned char>(pattern[m - 1]);
    for (std::size_t at = 0; at + m <= range.size();) {
        const unsigned char under = static_cast<unsigned char>(range[at + m - 1]);
        if (under == last && range.compare(at, m - 1, pattern.substr(0, m - 1)) == 0)
            return at;
        at += table[under];
    }
    return std::nullopt;
}

std::ptrdiff_t TextPosFrom(std::string_view text, std::string_view pattern, std::ptrdiff_t textLength,
                           std::ptrdiff_t patternLength, std::ptrdiff_t start) {
    RequireStart(start, "TextPosFrom");
    if (patternLength < 1 || patternLength > textLength)
        return 0;
    text = text.substr(0, std::min(static_cast<std::size_t>(textLength), text.size()));
    pattern = pattern.substr(0, std::min(static_cast<std::size_t>(patternLength), pattern.size()));
    if (pattern.empty() || static_cast<std::size_t>(start) > text.size())
        return 0;
    SkipTable table;
    BuildSkipTable(pattern, table);
    const std::size_t from = static_cast<std::size_t>(start - 1);
    const auto found = SkipSearch(text.substr(from), pattern, table);
    return found ? static_cast<std::ptrdiff_t>(from + *found + 1) : 0;
}

std::ptrdiff_t TextPosFrom(std::string_view text, std::string_view pattern, std::ptrdiff_t start) {
    return TextPosFrom(text, pattern, static_cast<std::ptrdiff_t>(text.size()),
                       static_cast<std::ptrdiff_t>(pattern.size()), start);
}

std::string MakeValidFileName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '"':
        case '*':
        case '/':
        case ':':
        case '<':
        case '>':
        case '?':
        case '\\':
        case '|':
            break;
        default:
            out.push_back(c);
        }
    }
    out.resize(Utf8PrefixLength(out, MaxFileNameBytes));
    return out;
}

std::string EncodeBase64Text(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool IsBlank(std::string_view text) {
    for (unsigned char c : text)
        if (c > 0x20)
            return false;
    return true;
}

std::string_view TrimBlank(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20)
        --e;
    return text.substr(b, e - b);
}

bool HasWebScheme(std::string_view url) {
    const std::string head = AsciiLower(url.substr(0, 8));
    return head.starts_with("http://") || head.starts_with("https://");
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    // from_chars takes "-5" but not "+5"; "+5" is a decimal integer too, but "+-5" and "++5" are not.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '+' || text.front() == '-')
            return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace lirvo::text
