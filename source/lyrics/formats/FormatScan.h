#pragma once
// Scanning helpers shared by the service lyric parsers (not part of the public API): line
// splitting, bounded number reading and the "[start,duration]" line tag. Every helper runs in
// time linear in what it reads and never reads outside the given text.

#include "function/text/FastStrings.h"
#include "lyrics/formats/ServiceLyric.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services::detail {

// The text without a leading UTF-8 byte order mark.
std::string_view DropByteOrderMark(std::string_view text);

// Calls fn(line) for every line of `text` (cut at "\n"; a "\r" before it is removed; a BOM at
// the start is dropped). The last line needs no line break.
template <typename Fn> void ForEachLine(std::string_view text, Fn &&fn) {
    text = DropByteOrderMark(text);
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        fn(line);
        if (lf == std::string_view::npos)
            break;
        text.remove_prefix(lf + 1);
    }
}

// `text` without blanks and control characters (0x00-0x20) at its start.
std::string_view TrimLeftBlank(std::string_view text);

// Reads the decimal digits at `pos` (at least one) and moves `pos` past them. Values beyond
// int32 saturate at INT32_MAX, so that huge numbers cannot overflow later sums.
std::optional<int32_t> ReadNumber(std::string_view text, std::size_t &pos);

// Reads `count` numbers separated by "," from `pos`, closed by `close`; on success `pos` is
// past `close`. `pos` is left unchanged when the bytes there are not such a group.
bool ReadNumberGroup(std::string_view text, std::size_t &pos, char close, int32_t *values, int count);

// The "[start,duration]" tag at the very start of `line`: the line's times and, in `pos`, the
// index right after "]". nullopt for anything else (header tags such as "[ti:...]").
struct TLineTag {
    int32_t StartMs = 0;
    int32_t DurationMs = 0;
};
std::optional<TLineTag> ReadLineTag(std::string_view line, std::size_t &pos);

// A new line in `lines` with the times of the "[start,duration]" tag that starts `line`, and
// `pos` right after that tag; nullptr (and nothing added) when `line` starts with no such tag.
TTimedLine *StartTimedLine(std::string_view line, std::vector<TTimedLine> &lines, std::size_t &pos);

// The word tag at `pos`: `open`, then `count` (2 or 3) numbers separated by ",", then `close`.
// Its first two numbers become the word's start and duration, and `pos` moves past it. False,
// with `pos` unchanged, when the bytes there are no such tag.
bool ReadWordTimes(std::string_view line, std::size_t &pos, char open, char close, int count, TTimedWord &word);

// a + b for song times, kept within 0..INT32_MAX.
int32_t AddTimes(int32_t a, int32_t b);

// Joins the words' texts, trimmed at both ends, into the line's text.
std::string JoinWords(const std::vector<TTimedWord> &words);

// Stable ascending order by StartMs.
void SortByStart(std::vector<TTimedLine> &lines);

// True when the JSON text nests arrays and objects no deeper than `maxDepth` (strings are
// skipped). Guards the JSON parser, whose document for "[[[[..." grows with the depth.
bool JsonNestingWithin(std::string_view json, int maxDepth);

// Reads the words of a line whose word tags stand before their words (each tag starts at an
// `open` byte; `readTag(line, pos, word)` reads one at `pos`, fills the word's times and moves
// `pos` past it, or returns false). A word's text runs to the next tag; words without text are
// dropped and text before the first tag is ignored. Without any tag the line keeps its trimmed
// text and no words. Linear: a failed tag read crosses only digits and commas, never `open`.
template <typename ReadTag>
void ReadWordsAfterTags(std::string_view line, std::size_t pos, char open, ReadTag &&readTag, TTimedLine &out) {
    bool anyTag = false;
    std::size_t textStart = pos;
    TTimedWord pending; // the times of the word whose text is being collected
    auto closeWord = [&](std::size_t textEnd) {
        if (anyTag && textEnd > textStart)
            out.Words.push_back(TTimedWord{pending.StartMs, pending.DurationMs,
                                           std::string(line.substr(textStart, textEnd - textStart))});
    };
    const std::size_t bodyStart = pos;
    for (std::size_t at = line.find(open, pos); at != std::string_view::npos;) {
        std::size_t after = at;
        TTimedWord word;
        if (readTag(line, after, word)) {
            closeWord(at);
            pending = word;
            anyTag = true;
            textStart = after;
            at = line.find(open, after);
        } else {
            at = line.find(open, at + 1);
        }
    }
    if (!anyTag) {
        out.Text = std::string(text::TrimBlank(line.substr(bodyStart)));
        return;
    }
    closeWord(line.size());
    out.Text = JoinWords(out.Words);
}

} // namespace lirvo::lyrics::services::detail
