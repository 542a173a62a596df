#pragma once
// The disk store of a network download: an unnamed temporary file that the download appends
// to and the decoder reads back from, so a track's bytes live on disk rather than in memory.
// The file has no name from the start (or loses it at once), so nothing is left behind, even
// when the process dies.
//
// One thread appends; any thread may read bytes that were appended before.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lirvo::audio {

class SpoolFile {
public:
    // Creates the file in the first of `folders` that takes it; nullptr when none does.
    static std::unique_ptr<SpoolFile> Create(const std::vector<std::string> &folders);
    // $TMPDIR when set, then /var/tmp (kept on disk on every common system), then /tmp.
    static std::vector<std::string> DefaultFolders();

    ~SpoolFile();
    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;

    // Writes `size` bytes at `offset`; false when the disk refused them.
    bool WriteAt(int64_t offset, const uint8_t *data, int64_t size);
    // Copies up to `size` bytes at `offset`; returns the count, -1 on a read error.
    int64_t ReadAt(int64_t offset, uint8_t *buffer, int64_t size) const;
    // Gives the disk space of the bytes below `offset` back; later reads there are not wanted.
    void Discard(int64_t offset);

private:
    explicit SpoolFile(int fd) : fd_(fd) {}
    int fd_;
    int64_t discarded_ = 0;
};

} // namespace lirvo::audio
