#include "lyrics/formats/ServiceLyricLrc.h"

#include "lyrics/core/EmbeddedLyrics.h"

#include <algorithm>
#include <cstdint>

namespace lirvo::lyrics::services {

namespace {

constexpr std::string_view kSourceHeader = "[lirvo-source:";
// The last time the LRC grammar holds: its whole fields keep two digits.
constexpr int32_t kLastLrcTime = 99 * 3600000 + 59 * 60000 + 59 * 1000 + 999;

std::string Time(int32_t ms) {
    return FormatLrcTime(static_cast<uint32_t>(std::clamp(ms, 0, kLastLrcTime)));
}

// A text on one LRC line: a line break would end the line (CR) or be kept inside it (LF).
void AppendOneLine(std::string &out, std::string_view text) {
    for (char c : text)
        out.push_back(c == '\r' || c == '\n' ? ' ' : c);
}

void AppendWords(std::string &lrc, const TTimedLine &line) {
    int64_t end = 0;
    const TTimedWord *last = nullptr;
    for (const TTimedWord &word : line.Words) {
        if (word.Text.empty())
            continue;
        lrc += '<' + Time(word.StartMs) + '>';
        AppendOneLine(lrc, word.Text);
        end = std::max(end, int64_t{word.StartMs} + std::max(word.DurationMs, 0));
        last = &word;
    }
    // The end tag is "where the sung words end", so it goes after the latest word end, which
    // a zero-length last word (punctuation) does not move.
    if (last && end > last->StartMs)
        lrc += '<' + Time(static_cast<int32_t>(std::min<int64_t>(end, kLastLrcTime))) + '>';
}

bool HasWordText(const TTimedLine &line) {
    return std::any_of(line.Words.begin(), line.Words.end(), [](const TTimedWord &w) { return !w.Text.empty(); });
}

} // namespace

std::string ServiceLyricToLrc(const TServiceLyric &lyric, std::string_view sourceTag) {
    std::string lrc(kSourceHeader);
    for (char c : sourceTag)
        if (c != '[' && c != ']' && c != '\r' && c != '\n')
            lrc.push_back(c);
    lrc += "]\r\n";
    for (const TTimedLine &line : lyric.Lines) {
        const std::string time = '[' + Time(line.StartMs) + ']';
        lrc += time;
        if (HasWordText(line))
            AppendWords(lrc, line);
        else
            AppendOneLine(lrc, line.Text);
        lrc += "\r\n";
        if (!line.Translation.empty()) {
            lrc += time;
            AppendOneLine(lrc, line.Translation);
            lrc += "\r\n";
        }
    }
    return lrc;
}

std::string ReadLrcSourceTag(std::string_view lrcText) {
    const std::size_t at = lrcText.find(kSourceHeader);
    if (at == std::string_view::npos)
        return {};
    const std::string_view rest = lrcText.substr(at + kSourceHeader.size());
    const std::size_t end = rest.find_first_of("]\r\n");
    if (end == std::string_view::npos || rest[end] != ']')
        return {};
    return std::string(rest.substr(0, end));
}

} // namespace lirvo::lyrics::services
