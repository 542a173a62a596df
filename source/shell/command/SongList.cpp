#include "shell/command/SongList.h"

#include "function/text/FastStrings.h"

#include <cstdint>

namespace lirvo::command {

namespace {

// Length of the well-formed UTF-8 sequence at `i`, or 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    std::uint32_t cp;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    if (overlong || surrogate || cp > 0x10FFFF)
        return 0;
    return len;
}

// The decoded bytes are UTF-8 from another program; anything malformed becomes U+FFFD so that
// the rest of the program only ever sees well-formed text.
std::string ToWellFormedUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

} // namespace

std::vector<SongListEntry> DecodeSongList(std::string_view text, std::string_view musicPathPrefix) {
    std::string list(text);
    // Senders end the list with two characters of which the first is not part of the data.
    if (list.size() >= 2)
        list.erase(list.size() - 2, 1);

    std::vector<SongListEntry> entries;
    for (const std::string &item : text::SplitByChar(list, ',')) {
        std::string decoded = text::PercentDecode(item);
        // A decoded zero byte would end the text anywhere it is handed on; end it here.
        if (const auto zero = decoded.find('\0'); zero != std::string::npos)
            decoded.resize(zero);
        decoded = ToWellFormedUtf8(decoded);
        // The first character is a marker of the sender's and carries no data.
        if (!decoded.empty())
            decoded.erase(0, Utf8SequenceLength(decoded, 0));

        const std::string pair = text::GetField(decoded, 2, '|');
        SongListEntry entry;
        entry.Location = std::string(musicPathPrefix) + text::GetField(decoded, 1, '|');
        entry.Title = std::string(text::TrimBlank(text::GetField(pair, 1, '-')));
        entry.Singer = std::string(text::TrimBlank(text::GetField(pair, 2, '-')));
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace lirvo::command
