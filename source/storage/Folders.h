#pragma once
// Well-known folders, folder creation and the folder picker service.
// Paths use "/" as the separator; folder results end with "/".

#include <cstdint>
#include <string>

namespace lirvo::storage {

// Folder codes understood by GetSpecialFolder (one byte each).
namespace FolderCode {
inline constexpr std::uint8_t Desktop = 0x00;
inline constexpr std::uint8_t Documents = 0x05; // the user's documents folder
inline constexpr std::uint8_t Startup = 0x07;   // autostart entries
inline constexpr std::uint8_t Music = 0x0D;
inline constexpr std::uint8_t Videos = 0x0E;
inline constexpr std::uint8_t Templates = 0x15;
inline constexpr std::uint8_t AppData = 0x1A;      // per-user configuration
inline constexpr std::uint8_t LocalAppData = 0x1C; // per-user data
inline constexpr std::uint8_t Cache = 0x20;
inline constexpr std::uint8_t Pictures = 0x27;
inline constexpr std::uint8_t Home = 0x28;
inline constexpr std::uint8_t DocumentsAlias = 0x85; // what the program passes (0x80 | 0x05)
inline constexpr std::uint8_t Temporary = 0xA3;
} // namespace FolderCode

// The folder for `code`, ending with exactly one "/", or "" when the code names no folder here.
// Codes 0x00-0x9F select folder (code & 0x7F) of the table in FolderCode and its relatives,
// mapped to the XDG user folders ($XDG_CONFIG_HOME/user-dirs.dirs, falling back to
// $HOME/Documents, $HOME/Music, ...) and XDG base folders; 0xA3 is $TMPDIR or "/tmp/";
// every other code (including 0xA0, 0xA1, 0xA2, 0xA4-0xFF) gives "". The folder need not exist.
// `shortForm` is accepted for compatibility and changes nothing.
std::string GetSpecialFolder(std::uint8_t code, bool shortForm = false);

// The user's home folder without a trailing "/": $HOME, else the password database's entry.
std::string HomeFolder();

// There are no short (8.3) names here: the path stays as it is, except that with `length` > 0
// only its first `length` bytes are kept (cut at a whole UTF-8 character). Returns the
// resulting length (0 for an empty path).
int ToShortPath(std::string &path, int length = 0);

// True when `path` names an existing folder. Otherwise, with `create`, makes every missing
// folder of the path from the outermost inwards — only components followed by "/", so
// "a/b/c/" makes c and "a/b/c" does not — ignoring individual failures, and returns true once
// that pass has run (test the folder again if you must know). Without `create`, false.
// A path whose first byte is 0x80-0xBF (never the start of a UTF-8 character) is a folder-code
// path: that byte is a code for GetSpecialFolder and the rest is relative to that folder.
bool ForceFolder(const std::string &path, bool create);

} // namespace lirvo::storage
