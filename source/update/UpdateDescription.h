#pragma once
// Reading the update description: the marker word test, the values of its "ver", "file" and
// "musicpath" elements, and the version comparison. Pure functions over outside input.

#include "update/UDDGetFileInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lirvo::update {

// True when the fetched text contains the root word "zylvan" (case-sensitive).
bool HasRootWord(std::string_view response);

struct UpdateDescription {
    // Values of the last "ver", "file" and "musicpath" element (names compared lower-cased,
    // the attribute "value" case-sensitive). An end tag of the same name empties the value.
    std::optional<std::string> Ver;
    std::optional<std::string> File;
    std::optional<std::string> MusicPath;
    // False when the document is malformed; the values read before the fault are kept.
    bool Complete = true;
};

UpdateDescription ParseUpdateDescription(std::string_view document);

// The program's version as the digits of its four parts joined without separators
// (4.0.1.23 -> "40123").
std::string LocalVersionDigits(const TFixedFileInfo &info);

// True when remote > local, both read as 32-bit integers and compared as unsigned values;
// nullopt when either is not a valid integer (then there is no update).
std::optional<bool> IsNewerVersion(std::string_view localDigits, std::string_view remoteVer);

} // namespace lirvo::update
