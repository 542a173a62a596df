#include "shell/command/SongList.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"

namespace lirvo::command {

namespace {

// The decoded bytes are UTF-8 from another program; anything malformed becomes U+FFFD so that
// the rest of the program only ever sees well-formed text.
std::string ToWellFormedUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t len = text::DecodeUtf8(s, i, cp);
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
        if (char32_t marker = 0; !decoded.empty())
            decoded.erase(0, text::DecodeUtf8(decoded, 0, marker));

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
