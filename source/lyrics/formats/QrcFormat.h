#pragma once
// The XML-wrapped word-timed format with "text(start,duration)" words.

#include "lyrics/formats/ServiceLyric.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// The entity-decoded value of the LyricContent attribute of the Lyric_1 element. The services
// write the value with raw line breaks and leave "&" and '"' unescaped at times, so the value
// is taken as everything up to the last '"' before the element's "/>" (or ">" when the element
// is not self-closing). nullopt when the document has no such attribute.
std::optional<std::string> ExtractQrcLyricContent(std::string_view document);

// True for an XML document (first byte after a BOM and blanks is "<") that holds a Lyric_1
// element; false for plain lyric text.
bool LooksLikeQrcDocument(std::string_view document);

// Lines "[lineStartMs,lineDurationMs]" followed by words "text(wordStartMs,wordDurationMs)" with
// word times from the song start, each tag after its word. A word's text runs from the end of
// the previous tag to the next "(digits,digits)" group, so it may hold other parentheses; text
// after the last tag has no time and is dropped. Header lines ("[ti:...]", "[offset:0]", ...)
// and malformed lines are skipped. Result in stable time order.
std::vector<TTimedLine> ParseQrc(std::string_view lyricContent);

} // namespace lirvo::lyrics::services
