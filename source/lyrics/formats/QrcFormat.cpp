#include "lyrics/formats/QrcFormat.h"

#include "function/text/FastStrings.h"
#include "lyrics/formats/FormatScan.h"
#include "lyrics/formats/LineTimedLrc.h"

namespace lirvo::lyrics::services {

namespace {

constexpr std::string_view kElement = "<Lyric_1";
constexpr std::string_view kAttribute = "LyricContent";

bool IsXmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Index of the first Lyric_1 start tag (the name followed by a blank, "/" or ">"), or npos.
std::size_t FindElement(std::string_view document, std::size_t from = 0) {
    for (std::size_t at = document.find(kElement, from); at != std::string_view::npos;
         at = document.find(kElement, at + 1)) {
        const std::size_t next = at + kElement.size();
        if (next < document.size() && (IsXmlBlank(document[next]) || document[next] == '/' || document[next] == '>'))
            return at;
    }
    return std::string_view::npos;
}

// Index right after the opening quote of LyricContent="..." at or after `from`, or npos.
std::size_t FindAttributeValue(std::string_view document, std::size_t from) {
    for (std::size_t at = document.find(kAttribute, from); at != std::string_view::npos;
         at = document.find(kAttribute, at + 1)) {
        std::size_t p = at + kAttribute.size();
        while (p < document.size() && IsXmlBlank(document[p]))
            ++p;
        if (p >= document.size() || document[p] != '=')
            continue;
        ++p;
        while (p < document.size() && IsXmlBlank(document[p]))
            ++p;
        if (p < document.size() && document[p] == '"')
            return p + 1;
    }
    return std::string_view::npos;
}

// Index of the '"' that closes the value: the first '"' followed (after blanks) by `close`.
std::size_t FindValueEnd(std::string_view document, std::size_t from, std::string_view close) {
    for (std::size_t at = document.find(close, from); at != std::string_view::npos;
         at = document.find(close, at + 1)) {
        // Blanks between the quote and the close are crossed backwards; the run of blanks
        // before one close holds no other close, so each byte is crossed once.
        std::size_t q = at;
        while (q > from && IsXmlBlank(document[q - 1]))
            --q;
        if (q > from && document[q - 1] == '"')
            return q - 1;
    }
    return std::string_view::npos;
}

// The word tag "(start,duration)" at `pos`; on success `pos` is past it.
bool ReadWordTag(std::string_view line, std::size_t &pos, TTimedWord &word) {
    return detail::ReadWordTimes(line, pos, '(', ')', 2, word);
}

void ParseTimedLine(std::string_view line, std::vector<TTimedLine> &lines) {
    std::size_t pos = 0;
    TTimedLine *started = detail::StartTimedLine(line, lines, pos);
    if (!started)
        return;
    TTimedLine &result = *started;
    std::size_t textStart = pos;
    bool anyTag = false;
    // A "(" that starts no tag belongs to the word's text; a failed try reads only digits and
    // commas, so the scan stays linear.
    for (std::size_t open = line.find('(', pos); open != std::string_view::npos;) {
        std::size_t after = open;
        TTimedWord word;
        if (ReadWordTag(line, after, word)) {
            anyTag = true;
            if (open > textStart)
                result.Words.push_back(
                    TTimedWord{word.StartMs, word.DurationMs, std::string(line.substr(textStart, open - textStart))});
            textStart = after;
            open = line.find('(', after);
        } else {
            open = line.find('(', open + 1);
        }
    }
    result.Text = anyTag ? detail::JoinWords(result.Words) : std::string(text::TrimBlank(line.substr(pos)));
}

} // namespace

std::optional<std::string> ExtractQrcLyricContent(std::string_view document) {
    const std::size_t element = FindElement(document);
    if (element == std::string_view::npos)
        return std::nullopt;
    const std::size_t value = FindAttributeValue(document, element + kElement.size());
    if (value == std::string_view::npos)
        return std::nullopt;
    std::size_t end = FindValueEnd(document, value, "/>");
    if (end == std::string_view::npos)
        end = FindValueEnd(document, value, ">");
    if (end == std::string_view::npos)
        return std::nullopt;
    return DecodeXmlEntities(document.substr(value, end - value));
}

bool LooksLikeQrcDocument(std::string_view document) {
    const std::string_view start = detail::TrimLeftBlank(detail::DropByteOrderMark(document));
    return start.starts_with('<') && FindElement(start) != std::string_view::npos;
}

std::vector<TTimedLine> ParseQrc(std::string_view lyricContent) {
    std::vector<TTimedLine> lines;
    detail::ForEachLine(lyricContent, [&](std::string_view raw) {
        ParseTimedLine(detail::TrimLeftBlank(raw), lines);
    });
    detail::SortByStart(lines);
    return lines;
}

} // namespace lirvo::lyrics::services
