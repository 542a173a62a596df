#pragma once
// Tag texts stored in "Latin-1" fields (ID3v1, and ID3v2 frames declaring ISO-8859-1) often
// hold GBK bytes written by Chinese tagging tools, or UTF-8. These helpers tell them apart.

#include <string>
#include <string_view>

namespace lirvo::audio {

// True when every byte >= 0x80 belongs to a well-formed GBK double-byte character and at least
// half of those characters lie in the GB2312 area (both bytes >= 0xA1), where Chinese text is.
// European Latin-1 text rarely forms such pairs.
bool LooksLikeGbk(std::string_view bytes);

// UTF-8 text of a legacy tag field: ASCII and valid UTF-8 as they are, GBK-looking bytes
// decoded as GBK, anything else as Latin-1.
std::string DecodeLegacyTagText(std::string_view bytes);

// Makes TagLib decode the fields above with DecodeLegacyTagText. Idempotent and thread-safe.
void InstallLegacyTagDecoders();

} // namespace lirvo::audio
