#pragma once
// Short builders and printers for the service lyric tests.

#include "lyrics/formats/ServiceLyric.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace lirvo::lyrics::services {

// Found by gtest through argument-dependent lookup, so they live in the types' namespace.
inline void PrintTo(const TTimedWord &word, std::ostream *os) {
    *os << "(" << word.StartMs << "," << word.DurationMs << ")'" << word.Text << "'";
}
inline void PrintTo(const TTimedLine &line, std::ostream *os) {
    *os << "\n  [" << line.StartMs << "," << line.DurationMs << "] '" << line.Text << "' words:";
    for (const TTimedWord &word : line.Words)
        PrintTo(word, os);
    if (!line.Translation.empty())
        *os << " tr:'" << line.Translation << "'";
}

inline TTimedWord Wd(int32_t start, int32_t duration, std::string text) {
    return TTimedWord{start, duration, std::move(text)};
}
inline TTimedLine Ln(int32_t start, int32_t duration, std::string text, std::vector<TTimedWord> words = {},
                     std::string translation = {}) {
    return TTimedLine{start, duration, std::move(text), std::move(words), std::move(translation)};
}

} // namespace lirvo::lyrics::services
