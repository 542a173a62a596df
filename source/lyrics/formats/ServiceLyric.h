#pragma once
// A lyric as the online services give it, before it becomes LRC text in our store: timed lines,
// each with its words (when the service times words) and its translation. Times are song time in
// milliseconds, kept as exact as the source gives them.

#include <cstdint>
#include <string>
#include <vector>

namespace lirvo::lyrics::services {

struct TTimedWord {
    int32_t StartMs = 0;
    int32_t DurationMs = 0;
    std::string Text; // as written, with a trailing blank where the source has one

    bool operator==(const TTimedWord &) const = default;
};

struct TTimedLine {
    int32_t StartMs = 0;
    int32_t DurationMs = 0;       // 0 when the source gives none
    std::string Text;             // the line's text (the words joined, for a word-timed line)
    std::vector<TTimedWord> Words; // empty for a line-timed line
    std::string Translation;      // "" when the line has none

    bool operator==(const TTimedLine &) const = default;
};

struct TServiceLyric {
    std::vector<TTimedLine> Lines; // in time order
    bool Instrumental = false;     // the service says the piece has no words

    bool HasWords() const {
        for (const TTimedLine &line : Lines)
            if (!line.Words.empty())
                return true;
        return false;
    }
    bool HasTranslation() const {
        for (const TTimedLine &line : Lines)
            if (!line.Translation.empty())
                return true;
        return false;
    }
    bool operator==(const TServiceLyric &) const = default;
};

} // namespace lirvo::lyrics::services
