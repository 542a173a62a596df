#pragma once
// The word-timed format with "<offset,duration,0>" tags relative to the line start and the
// translation packed into a "[language:...]" header.

#include "lyrics/formats/ServiceLyric.h"

#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// Lines "[lineStartMs,lineDurationMs]" followed by words "<offsetMs,durationMs,0>text" whose
// offsets count from the line start, each tag before its word. Translations come from the
// "[language:<base64 JSON>]" header: the content entry of type 1 holds one array per timed
// line, in the file's line order, whose string is the translation ("", blanks and "//" mean
// none); romanisation (type 0) is never used. Other headers and malformed lines are skipped,
// words without text are dropped. Result in stable time order.
std::vector<TTimedLine> ParseKrc(std::string_view text);

} // namespace lirvo::lyrics::services
