#pragma once
// Conversions between the program's internal UTF-8 text and the encodings found in files:
// GBK (code page 936, also the superset used for GB2312 declarations) and UTF-16.
// All functions are re-entrant and may run on any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lirvo::text {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// Decodes the well-formed UTF-8 sequence at `text[at]` into `cp`; returns its length, or 0
// when the bytes there are malformed (as IsValidUtf8 judges them) or `at` is past the end.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t &cp);

// Appends the UTF-8 form of the code point `cp` (at most U+10FFFF) to `out`.
void AppendUtf8(std::string &out, char32_t cp);

// GBK bytes to UTF-8. Undecodable sequences become U+FFFD, so the result is always valid UTF-8.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK; nullopt when some character has no GBK form (or the input is not valid UTF-8).
std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// The two-byte GB2312 (EUC-CN) code of `cp`, high byte first, or 0 when there is none. Only
// codes that GBK, the superset our files are read with, decodes to the same character count:
// a few codes (A1A4, A1AA) mean one character in GB2312 and another in GBK, and writing
// those would change the text on the next read.
std::uint16_t Gb2312Code(char32_t cp);

// True when `utf8` holds a character that a plain GB2312 encoder writes with one of those
// codes (・ U+30FB, ― U+2015), so that GBK would read it back as another.
bool HasGb2312Ambiguity(std::string_view utf8);

// True when valid UTF-8 `utf8` can be written with Gb2312Code codes (and ASCII) alone.
bool FitsGb2312(std::string_view utf8);

// UTF-16 (little- or big-endian, no BOM in the input) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Latin-1 bytes to UTF-8 (each byte is the code point of the same value).
std::string Latin1ToUtf8(std::string_view latin1);

// The longest prefix length <= maxBytes that does not split a UTF-8 sequence of `text`.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes);

// `text` cut to at most maxBytes at a whole character (see Utf8PrefixLength).
std::string Utf8Truncate(std::string_view text, std::size_t maxBytes);

} // namespace lirvo::text
