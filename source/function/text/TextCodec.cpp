#include "function/text/TextCodec.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <mutex>
#include <vector>

namespace lirvo::text {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD


// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is malformed.
std::size_t SequenceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlongs
        if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < len)
        return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    if (b1 < lo || b1 > hi)
        return 0;
    for (std::size_t i = 2; i < len; ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 0;
    }
    return len;
}

// Owns an iconv descriptor for one conversion.
class Converter {
public:
    Converter(const char *to, const char *from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Runs iconv over `in`, appending to `out`. On an unconvertible or incomplete input sequence
// calls `onBad(remainingInput)`, which returns how many input bytes to skip (0 aborts).
template <typename OnBad> bool Convert(iconv_t cd, std::string_view in, std::string &out, OnBad onBad) {
    char *src = const_cast<char *>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char *dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (errno != EILSEQ && errno != EINVAL)
            return false;
        const std::size_t skip = onBad(std::string_view(src, srcLeft));
        if (skip == 0)
            return false;
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr); // reset shift state
    }
    char *dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return true;
}

} // namespace

std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t &cp) {
    if (at >= text.size())
        return 0;
    const std::size_t len = SequenceLength(text.substr(at));
    if (len == 0)
        return 0;
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    cp = static_cast<unsigned char>(text[at]) & kLeadMask[len];
    for (std::size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return len;
}

bool IsValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t len = SequenceLength(bytes);
        if (len == 0)
            return false;
        bytes.remove_prefix(len);
    }
    return true;
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    // CP936 is GBK plus the single-byte euro sign 0x80, which is what Windows writes.
    Converter conv("UTF-8", "CP936");
    auto replaceOne = [&out](std::string_view rest) -> std::size_t {
        out += kReplacement;
        // A lead byte followed by a valid trail byte that has no mapping is one character.
        const auto b0 = static_cast<unsigned char>(rest[0]);
        if (b0 >= 0x81 && b0 <= 0xFE && rest.size() >= 2) {
            const auto b1 = static_cast<unsigned char>(rest[1]);
            if (b1 >= 0x40 && b1 <= 0xFE && b1 != 0x7F)
                return 2;
        }
        return 1;
    };
    if (!conv.ok() || !Convert(conv.get(), gbk, out, replaceOne)) {
        // No converter: keep ASCII, mark everything else as undecodable.
        out.clear();
        for (char c : gbk) {
            if (static_cast<unsigned char>(c) < 0x80)
                out.push_back(c);
            else
                out += kReplacement;
        }
    }
    return out;
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    if (!IsValidUtf8(utf8))
        return std::nullopt;
    Converter conv("CP936", "UTF-8");
    if (!conv.ok())
        return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    if (!Convert(conv.get(), utf8, out, [](std::string_view) -> std::size_t { return 0; }))
        return std::nullopt;
    return out;
}

namespace {

// The single character `code` decodes to with `cd`, or 0 when it is not exactly one.
char32_t DecodeTwoBytes(iconv_t cd, unsigned hi, unsigned lo) {
    char in[2] = {static_cast<char>(hi), static_cast<char>(lo)};
    unsigned char out[8];
    char *src = in;
    char *dst = reinterpret_cast<char *>(out);
    std::size_t srcLeft = 2, dstLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || dstLeft != 4)
        return 0;
    return out[0] | (out[1] << 8) | (out[2] << 16) | (char32_t(out[3]) << 24);
}

// Unicode (BMP) to the GB2312 code both decoders agree on; 0 where there is none.
// kAmbiguous marks characters with a GB2312 code that GBK reads as another character.
constexpr std::uint16_t kAmbiguous = 1;

const std::vector<std::uint16_t> &Gb2312Table() {
    static std::vector<std::uint16_t> table;
    static std::once_flag once;
    std::call_once(once, [] {
        table.assign(0x10000, 0);
        Converter gb2312("UTF-32LE", "GB2312");
        Converter gbk("UTF-32LE", "GBK");
        if (!gb2312.ok() || !gbk.ok())
            return;
        for (unsigned hi = 0xA1; hi <= 0xF7; ++hi) {
            for (unsigned lo = 0xA1; lo <= 0xFE; ++lo) {
                const char32_t cp = DecodeTwoBytes(gb2312.get(), hi, lo);
                if (cp == 0 || cp >= 0x10000 || table[cp] != 0)
                    continue;
                table[cp] = DecodeTwoBytes(gbk.get(), hi, lo) == cp ? static_cast<std::uint16_t>((hi << 8) | lo)
                                                                      : kAmbiguous;
            }
        }
    });
    return table;
}

} // namespace

std::uint16_t Gb2312Code(char32_t cp) {
    const std::uint16_t code = cp >= 0x80 && cp < 0x10000 ? Gb2312Table()[cp] : 0;
    return code == kAmbiguous ? 0 : code;
}

bool HasGb2312Ambiguity(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(utf8, i, cp);
        if (len > 0 && cp < 0x10000 && Gb2312Table()[cp] == kAmbiguous)
            return true;
        i += len > 0 ? len : 1;
    }
    return false;
}

bool FitsGb2312(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t len = DecodeUtf8(utf8, i, cp);
        if (len == 0 || (cp >= 0x80 && Gb2312Code(cp) == 0))
            return false;
        i += len;
    }
    return true;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    const auto unit = [&](std::size_t i) -> char16_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    const std::size_t units = bytes.size() / 2;
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t u = unit(2 * k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char16_t v = unit(2 * (k + 1));
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(v) - 0xDC00));
                ++k;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            out += kReplacement;
        else
            AppendUtf8(out, u);
    }
    if (bytes.size() % 2 != 0)
        out += kReplacement; // a dangling odd byte is half a character
    return out;
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (char c : latin1)
        AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) {
    if (maxBytes >= text.size())
        return text.size();
    // Step back over continuation bytes: the character they belong to started earlier.
    std::size_t cut = maxBytes;
    int steps = 0;
    while (cut > 0 && steps < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++steps;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        return maxBytes; // not UTF-8 here (a run of stray continuation bytes): cut where asked
    if (cut < maxBytes && static_cast<unsigned char>(text[cut]) < 0x80)
        return maxBytes; // stray continuation bytes after ASCII: they belong to nothing
    return cut;
}

std::string Utf8Truncate(std::string_view text, std::size_t maxBytes) {
    return std::string(text.substr(0, Utf8PrefixLength(text, maxBytes)));
}

void AppendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace lirvo::text
