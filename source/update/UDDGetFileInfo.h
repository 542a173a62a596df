#pragma once
// The program's own version, read from the program file. The build stores a fixed version
// record in an ELF note (name "Lirvo", type VersionNoteType) of every program that links the
// lirvo_version_note object library; a file without that note has version 0.0.0.0.

#include <cstdint>
#include <string>
#include <string_view>

namespace lirvo::update {

// The fixed version record (44 bytes). Version halves: MS = major << 16 | minor,
// LS = patch << 16 | build.
struct TFixedFileInfo {
    std::uint32_t dwSignature = 0;
    std::uint32_t dwStrucVersion = 0;
    std::uint32_t dwFileVersionMS = 0;
    std::uint32_t dwFileVersionLS = 0;
    std::uint32_t dwProductVersionMS = 0;
    std::uint32_t dwProductVersionLS = 0;
    std::uint32_t dwFileFlagsMask = 0;
    std::uint32_t dwFileFlags = 0;
    std::uint32_t dwFileOS = 0;
    std::uint32_t dwFileType = 0;
    std::uint32_t dwFileSubtype = 0;
};
static_assert(sizeof(TFixedFileInfo) == 44);

inline constexpr const char *VersionNoteName = "Lirvo";
inline constexpr std::uint32_t VersionNoteType = 0x4C560001;
inline constexpr std::uint32_t FixedFileInfoSignature = 0xFEEF04BD;

// Copies the version record of the program file into `info`; leaves `info` unchanged when the
// file cannot be read or carries no version note.
void GetFixedVersion(const std::string &fileName, TFixedFileInfo &info);

// The same over the bytes of an ELF file (32- or 64-bit, little-endian); false when absent.
bool ReadVersionNote(std::string_view elfImage, TFixedFileInfo &info);

} // namespace lirvo::update
