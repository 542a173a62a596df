#include "update/UDDGetFileInfo.h"

#include <algorithm>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::update {

namespace {

// Bounds-checked little-endian reads from the image; the file is outside input.
struct Image {
    std::string_view bytes;

    template <typename T> std::optional<T> Read(std::uint64_t offset) const {
        if (offset > bytes.size() || bytes.size() - offset < sizeof(T))
            return std::nullopt;
        T value;
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
        return value;
    }
};

std::uint64_t AlignUp4(std::uint64_t n) {
    return (n + 3) & ~std::uint64_t(3);
}

// Walks the notes in [offset, offset + size) for ours.
bool FindNote(const Image &image, std::uint64_t offset, std::uint64_t size, TFixedFileInfo &info) {
    if (offset > image.bytes.size())
        return false;
    const std::uint64_t end = std::min<std::uint64_t>(
        offset + std::min<std::uint64_t>(size, image.bytes.size()), image.bytes.size());
    const std::size_t nameLength = std::strlen(VersionNoteName) + 1;
    std::uint64_t pos = offset;
    while (pos + 12 <= end) {
        const auto nameSize = image.Read<std::uint32_t>(pos);
        const auto descSize = image.Read<std::uint32_t>(pos + 4);
        const auto type = image.Read<std::uint32_t>(pos + 8);
        if (!nameSize || !descSize || !type)
            return false;
        const std::uint64_t nameAt = pos + 12;
        const std::uint64_t descAt = nameAt + AlignUp4(*nameSize);
        const std::uint64_t next = descAt + AlignUp4(*descSize);
        if (next > end || next <= pos)
            return false;
        if (*type == VersionNoteType && *nameSize == nameLength && *descSize >= sizeof(TFixedFileInfo) &&
            std::memcmp(image.bytes.data() + nameAt, VersionNoteName, nameLength) == 0) {
            std::memcpy(&info, image.bytes.data() + descAt, sizeof(TFixedFileInfo));
            return true;
        }
        pos = next;
    }
    return false;
}

template <typename Ehdr, typename Shdr, typename Phdr>
bool ReadNotes(const Image &image, TFixedFileInfo &info) {
    const auto header = image.Read<Ehdr>(0);
    if (!header)
        return false;
    // Section headers first (they survive in ordinary builds), then the note segments.
    if (header->e_shentsize == sizeof(Shdr)) {
        for (std::uint64_t i = 0; i < header->e_shnum; ++i) {
            const auto section = image.Read<Shdr>(header->e_shoff + i * sizeof(Shdr));
            if (!section)
                break;
            if (section->sh_type == SHT_NOTE && FindNote(image, section->sh_offset, section->sh_size, info))
                return true;
        }
    }
    if (header->e_phentsize == sizeof(Phdr)) {
        for (std::uint64_t i = 0; i < header->e_phnum; ++i) {
            const auto segment = image.Read<Phdr>(header->e_phoff + i * sizeof(Phdr));
            if (!segment)
                break;
            if (segment->p_type == PT_NOTE && FindNote(image, segment->p_offset, segment->p_filesz, info))
                return true;
        }
    }
    return false;
}

} // namespace

bool ReadVersionNote(std::string_view elfImage, TFixedFileInfo &info) {
    const Image image{elfImage};
    if (elfImage.size() < EI_NIDENT || std::memcmp(elfImage.data(), ELFMAG, SELFMAG) != 0 ||
        elfImage[EI_DATA] != ELFDATA2LSB)
        return false;
    TFixedFileInfo found;
    bool ok = false;
    if (elfImage[EI_CLASS] == ELFCLASS64)
        ok = ReadNotes<Elf64_Ehdr, Elf64_Shdr, Elf64_Phdr>(image, found);
    else if (elfImage[EI_CLASS] == ELFCLASS32)
        ok = ReadNotes<Elf32_Ehdr, Elf32_Shdr, Elf32_Phdr>(image, found);
    if (ok)
        info = found;
    return ok;
}

void GetFixedVersion(const std::string &fileName, TFixedFileInfo &info) {
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const auto size = static_cast<std::size_t>(st.st_size);
        void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map != MAP_FAILED) {
            ReadVersionNote(std::string_view(static_cast<const char *>(map), size), info);
            munmap(map, size);
        }
    }
    close(fd);
}

} // namespace lirvo::update
