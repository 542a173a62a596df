#pragma once
// The word-timed format with "(start,duration,0)" tags before each word and JSON credit lines.

#include "lyrics/formats/ServiceLyric.h"

#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// Lines "[lineStartMs,lineDurationMs]" followed by words "(wordStartMs,wordDurationMs,0)text"
// with word times from the song start; lines that are JSON objects {"t":ms,"c":[{"tx":...}]}
// are credit lines without words. Header tags and malformed lines are skipped, words without
// text are dropped, and text before a line's first word tag is ignored (a line without any
// word tag keeps its text as a line-timed line). Result in stable time order.
std::vector<TTimedLine> ParseYrc(std::string_view text);

} // namespace lirvo::lyrics::services
