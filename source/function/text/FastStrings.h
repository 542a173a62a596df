#pragma once
// Byte-wise text operations on the program's UTF-8 strings: fields of a delimited record,
// splitting a list, percent decoding, byte and pattern search, file-name cleaning, Base64.
// None of them interprets multi-byte characters (a separator is found wherever its byte
// occurs) and every comparison is an exact, case-sensitive byte comparison. The one exception
// is a length cut, which always ends at a whole UTF-8 character.
// All functions are stateless and may run on any thread.
//
// Positions are 1-based and 0 means "not found". A start position below 1 is a caller error
// and throws std::invalid_argument whose text names source/function/FastStrings.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::text {

// Field `index` (1-based) of `text` cut at every `separator` byte; empty when the text is
// empty, the index is 0 or negative, or there are fewer fields. GetField("a|b|c", 3, '|') == "c".
std::string GetField(std::string_view text, int index, char separator);

// Every token between separators, empty ones included, except that an empty last token is
// dropped: "a,,b" -> {"a", "", "b"}, "a,b," -> {"a", "b"}, ",," -> {"", ""}, "" -> {}.
std::vector<std::string> SplitByChar(std::string_view text, char separator);
// The same, into an existing list, which is emptied first.
void SplitByChar(std::string_view text, char separator, std::vector<std::string> &list);

// Decodes "%XX" escapes and "+" (a blank) up to the first "&", which ends the text.
// The result is bytes: no character set conversion is done.
std::string PercentDecode(std::string_view text);

// Value of the hexadecimal digits among the first `count` bytes of `text` (clamped to its
// size), after leading blanks; the first other byte ends the number; no digits give 0.
unsigned HexValue(std::string_view text, std::size_t count);

// 1-based position of the first `byte` at or after `start`, or 0.
std::ptrdiff_t CharPosFrom(std::string_view text, char byte, std::ptrdiff_t start = 1);

// 1-based position of the first occurrence of the first `patternLength` bytes of `pattern`
// within the first `textLength` bytes of `text`, searching from `start`; 0 when absent or
// when the pattern is empty or longer than the text. Lengths are clamped to the real sizes.
std::ptrdiff_t TextPosFrom(std::string_view text, std::string_view pattern, std::ptrdiff_t textLength,
                           std::ptrdiff_t patternLength, std::ptrdiff_t start = 1);
// The same over the whole text and pattern.
std::ptrdiff_t TextPosFrom(std::string_view text, std::string_view pattern, std::ptrdiff_t start = 1);

// Boyer-Moore-Horspool bad-character table: how far the alignment moves for each byte seen
// under the pattern's last position.
using SkipTable = std::array<std::size_t, 256>;

// Fills `table` for `pattern`; an empty pattern throws std::invalid_argument("BufferLen is 0").
void BuildSkipTable(std::string_view pattern, SkipTable &table);

// 0-based offset of the leftmost occurrence of `pattern` in `range`, or nullopt.
// `table` must have been built for `pattern`.
std::optional<std::size_t> SkipSearch(std::string_view range, std::string_view pattern,
                                      const SkipTable &table);

// ASCII letters lower-cased; every other byte unchanged (names in XML files, file names).
std::string AsciiLower(std::string_view text);

// Longest name MakeValidFileName leaves (bytes).
inline constexpr std::size_t MaxFileNameBytes = 259;

// Removes the bytes " * / : < > ? \ | and cuts the rest to at most 259 bytes, ending at a
// whole UTF-8 character.
std::string MakeValidFileName(std::string_view text);

// Standard Base64 (RFC 4648 alphabet), padded with "=", no line breaks.
std::string EncodeBase64Text(std::string_view bytes);

// The value of a hexadecimal digit (either letter case); -1 for any other byte.
int HexDigit(unsigned char c);

// True when every byte is a blank or a control character (0x00-0x20); true for "".
bool IsBlank(std::string_view text);

// `text` without the blanks and control characters (0x00-0x20) at either end.
std::string_view TrimBlank(std::string_view text);

// True when `url` starts with "http://" or "https://", in any letter case.
bool HasWebScheme(std::string_view url);

// A whole decimal 32-bit integer with an optional sign ("+5", "-5"); nullopt for anything else
// ("", "+", "+-5", "5x") and for values outside the 32-bit range.
std::optional<std::int32_t> ParseInt32(std::string_view text);

} // namespace lirvo::text
