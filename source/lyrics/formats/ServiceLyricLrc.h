#pragma once
// Turns a service lyric into the LRC text of our lyric folder, which TLyricHandle reads back.

#include "lyrics/formats/ServiceLyric.h"

#include <string>
#include <string_view>

namespace lirvo::lyrics::services {

// LRC text with "\r\n" line ends: first the header "[lirvo-source:<sourceTag>]" (TLyricHandle
// reads it as no line), then per line "[mm:ss.xxx]" and either its text or, for a word-timed
// line, "<mm:ss.xxx>word" per word plus an end tag "<mm:ss.xxx>" at the end of the last word
// when that lies after the last word's start. A translation follows as a second line with the
// same time. Times are clamped to 0..99:59:59.999; line breaks inside texts become blanks, and
// "[", "]" and line breaks are left out of the source tag. Words without text are left out.
// Texts are written as they are, so a text that itself reads as a tag ("[12]", "<00:01>",
// "[ar:x]") does not survive reading back; "[Chorus]", "<3", "a < b" and "(x)" do.
std::string ServiceLyricToLrc(const TServiceLyric &lyric, std::string_view sourceTag);

// The <sourceTag> of the first "[lirvo-source:<sourceTag>]" header in the text, "" when none.
std::string ReadLrcSourceTag(std::string_view lrcText);

} // namespace lirvo::lyrics::services
