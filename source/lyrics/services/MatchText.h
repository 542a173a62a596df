#pragma once
// The form in which the online lookup compares titles and artists across services: highlight
// tags (<em>) removed, full-width forms made half-width, traditional Chinese made simplified
// (OpenCC's t2s), letters lower-cased, blanks at both ends trimmed.

#include <string>
#include <string_view>

namespace lirvo::lyrics::services {

// Without the service's highlight tags ("<em>晴天</em>" gives "晴天").
std::string StripHighlightTags(std::string_view text);

// Full-width ASCII forms (U+FF01..U+FF5E) and the ideographic space as their ASCII twins.
std::string FullWidthToHalfWidth(std::string_view text);

// Traditional Chinese as simplified; the text unchanged when OpenCC or its data is missing.
std::string TraditionalToSimplified(std::string_view text);

// All of the above, then ASCII letters lower-cased and the ends trimmed.
std::string NormalizeForMatch(std::string_view text);

// Similarity score 0..100 of two names after NormalizeForMatch.
int MatchScore(std::string_view a, std::string_view b);

} // namespace lirvo::lyrics::services
