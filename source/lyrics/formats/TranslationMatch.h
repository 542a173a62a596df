#pragma once
// Pairs the lines of a lyric with the lines of its separately delivered translation.

#include "lyrics/formats/ServiceLyric.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// True for a translation entry that stands for "no translation": empty, only blanks, or "//".
bool IsUntranslated(std::string_view text);

// Gives each lyric line the translation line whose start is nearest to its own (the earlier one
// on a tie), when no more than `toleranceMs` away. Untranslated entries are no candidates, each
// translation line is given at most once, and lines with blank text take none. Lines are served
// in their order; a line that already has a translation keeps it.
void AttachTranslationsByTime(std::vector<TTimedLine> &lines, const std::vector<TTimedLine> &translation,
                              int32_t toleranceMs);

// Line i takes translation line i when both lists have the same number of lines (the services
// that deliver a translation per line index write them that way), else as AttachTranslationsByTime.
void AttachTranslationsByIndexOrTime(std::vector<TTimedLine> &lines, const std::vector<TTimedLine> &translation,
                                     int32_t toleranceMs);

} // namespace lirvo::lyrics::services
