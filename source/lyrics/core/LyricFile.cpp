#include "lyrics/core/LyricFile.h"

#include "function/text/TextCodec.h"
#include "storage/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace lirvo::lyrics {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view UpToNul(std::string_view text) {
    std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// The UTF-16 text up to its first NUL code unit (an odd last byte is dropped).
std::string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::size_t units = bytes.size() / 2;
    std::size_t end = 0;
    while (end < units && (bytes[2 * end] != '\0' || bytes[2 * end + 1] != '\0'))
        ++end;
    return lirvo::text::Utf16ToUtf8(bytes.substr(0, 2 * end), bigEndian);
}

// Text that is UTF-8 but for a few bad bytes (a damaged file, a badly cut tag): at least 99 %
// of its multi-byte sequences are well-formed. GBK text is almost never that close, since most
// GBK pairs are no UTF-8 sequence.
bool MostlyUtf8(std::string_view body) {
    std::size_t good = 0, bad = 0;
    for (std::size_t i = 0; i < body.size();) {
        if (static_cast<unsigned char>(body[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = lirvo::text::DecodeUtf8(body, i, cp);
        if (length > 0) {
            ++good;
            i += length;
        } else {
            ++bad;
            ++i;
        }
    }
    return good > 0 && good * 100 >= 99 * (good + bad);
}

// UTF-8 with U+FFFD for each byte that starts no well-formed sequence.
std::string RepairUtf8(std::string_view body) {
    std::string out;
    out.reserve(body.size() + 16);
    for (std::size_t i = 0; i < body.size();) {
        char32_t cp = 0;
        const std::size_t length = lirvo::text::DecodeUtf8(body, i, cp);
        if (length > 0) {
            out.append(body.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

} // namespace

std::string DecodeLyricBytes(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) {
        std::string_view body = UpToNul(bytes.substr(kUtf8Bom.size()));
        // A BOM followed by broken UTF-8 still yields valid text (broken bytes are read as GBK).
        return lirvo::text::IsValidUtf8(body) ? std::string(body) : lirvo::text::GbkToUtf8(body);
    }
    if (bytes.starts_with("\xFF\xFE"))
        return DecodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return DecodeUtf16(bytes.substr(2), true);
    std::string_view body = UpToNul(bytes);
    if (lirvo::text::IsValidUtf8(body))
        return std::string(body);
    if (MostlyUtf8(body))
        return RepairUtf8(body);
    return lirvo::text::GbkToUtf8(body);
}

std::string JoinLyricLines(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            out.append(text.substr(pos));
            out.append("\r\n");
            break;
        }
        out.append(text.substr(pos, end - pos));
        out.append("\r\n");
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
    return out;
}

std::optional<std::string> ReadLyricFileBytes(const std::string &path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::optional<std::string> ReadLyricFile(const std::string &path) {
    const std::optional<std::string> bytes = ReadLyricFileBytes(path);
    if (!bytes)
        return std::nullopt;
    return JoinLyricLines(DecodeLyricBytes(*bytes));
}

std::string EncodeLyricFile(std::string_view utf8Text) {
    std::string joined = JoinLyricLines(utf8Text);
    if (!lirvo::text::IsValidUtf8(joined))
        joined = lirvo::text::GbkToUtf8(joined); // cannot come from our own code; keep it valid
    // GBK only when reading the file back gives the same text: every character has a GBK
    // form that maps back to it, and the bytes cannot be mistaken for UTF-8 or for a BOM.
    if (std::optional<std::string> gbk = lirvo::text::Utf8ToGbk(joined)) {
        if (DecodeLyricBytes(*gbk) == joined)
            return *std::move(gbk);
    }
    return std::string(kUtf8Bom) + joined;
}

bool WriteLyricFile(const std::string &path, std::string_view utf8Text, std::string *error) {
    return lirvo::storage::WriteFileAtomically(path, EncodeLyricFile(utf8Text), error);
}

} // namespace lirvo::lyrics
