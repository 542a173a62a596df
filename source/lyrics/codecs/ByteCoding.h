#pragma once
// Hex and Base64 decoding of the text fields the lyric services send binary data in.
// Every decoder takes arbitrary bytes and answers nullopt for anything malformed.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics::codecs {

// Hex digits (either letter case) to bytes. Blanks and line ends around the digits are
// allowed; anything else that is not a hex digit, or an odd number of digits, gives nullopt.
// "" (or only blanks) decodes to "".
std::optional<std::string> DecodeHex(std::string_view text);

// Two upper-case hex digits per byte.
std::string EncodeHexUpper(std::string_view bytes);

// Standard Base64 (RFC 4648 alphabet "A-Za-z0-9+/"). ASCII whitespace anywhere is skipped and
// the "=" padding may be left out; a character outside the alphabet, "=" anywhere but at the
// end, padding that does not complete the last group, or a lone character in the last group
// gives nullopt. Unused low bits of the last character are not checked.
std::optional<std::string> DecodeBase64(std::string_view text);

} // namespace lirvo::lyrics::codecs
