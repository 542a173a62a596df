#pragma once
// Lyric files on disk. Reading detects the encoding (UTF-8 with or without BOM, UTF-16 with
// BOM, otherwise GBK) and yields our UTF-8 text; writing keeps files readable by other
// players: GBK with CR LF when every character has a GBK form, else UTF-8 with BOM and CR LF.
// Writes replace the file atomically.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics {

// File bytes to UTF-8 text, by BOM or validity; the text ends at the first NUL character.
std::string DecodeLyricBytes(std::string_view bytes);

// Splits the text into lines at CR LF, CR or LF (a NUL ends the text) and joins them again,
// each line followed by CR LF. A final line break does not start another line, so
// "a\nb\n" and "a\r\nb" both give "a\r\nb\r\n"; "" gives "".
std::string JoinLyricLines(std::string_view text);

// The bytes of a regular file as stored; nullopt when it cannot be read (missing, a folder,
// no permission, an I/O error).
std::optional<std::string> ReadLyricFileBytes(const std::string &path);

// Reads and decodes a lyric file, then joins its lines as JoinLyricLines does.
// nullopt when the file cannot be read (missing, a folder, no permission).
std::optional<std::string> ReadLyricFile(const std::string &path);

// The bytes WriteLyricFile stores for `utf8Text`: lines joined with CR LF, in GBK when the
// whole text has a GBK form, otherwise UTF-8 with a BOM. GBK is also avoided when its bytes
// would read back differently (they happen to be valid UTF-8 or to start like a BOM, or a
// character does not map back to itself), so a written file always reads back as the text that was written.
std::string EncodeLyricFile(std::string_view utf8Text);

// Writes `utf8Text` as EncodeLyricFile gives it, replacing `path` atomically.
// False (with a reason in `error` when given) on failure; the old file is then untouched.
bool WriteLyricFile(const std::string &path, std::string_view utf8Text, std::string *error = nullptr);

} // namespace lirvo::lyrics
