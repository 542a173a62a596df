#pragma once
// The copy kept of a network song: while it downloads, every block goes to the temporary file
// MusicDir + "/_temp._mp"; when the download ends complete (as many bytes as the server
// announced), the file gets a name made from the row's caption, MusicDir + "/" + name + ".mp3"
// (or "name(n).mp3" when taken), and the caller points the row at it.
//
// Threads: Choose runs on the open worker's thread (status "connecting"), Block on the audio
// library's download thread, Close on the main thread; the state is guarded by one mutex.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace lirvo::shell {

// The name under which a finished download of `caption` is kept in `musicDir` (used as
// stored: a "/" is always inserted): the caption cleaned of characters file names may not
// hold, cut to 100 bytes at a whole character, ".mp3"; numbered (1) ... (10000) when taken.
std::string ChooseCacheTarget(const std::string &musicDir, const std::string &caption);

class DownloadCache {
public:
    // What a complete download asks the main thread to do.
    struct Kept {
        std::string Source; // the network location that was downloaded
        std::string Target; // the kept copy
    };

    ~DownloadCache();

    // Remembers which song the next network open belongs to (main thread, before PlayFile).
    void SetPending(const std::string &musicDir, const std::string &caption, const std::string &source);
    // Chooses the temporary and target names for the pending song and discards any cache file
    // left open by an abandoned download, so the next download starts from an empty file.
    void Choose();
    // One downloaded block (buffer != nullptr) or the end of the download (buffer == nullptr).
    // `downloaded` and `announced` are the engine's counters. Returns what to repoint when the
    // download ended complete; never throws.
    std::optional<Kept> Block(const void *buffer, std::uint32_t length,
                              std::atomic<std::uint64_t> &downloaded, std::uint64_t announced);
    // Closes an open cache file (the temporary file stays on disk).
    void Close();

    std::string TempPath() const;
    std::string TargetPath() const;
    bool FileOpen() const;

private:
    mutable std::mutex mutex_;
    std::string pendingDir_, pendingCaption_, pendingSource_;
    std::string source_, tempPath_, targetPath_;
    int fd_ = -1;
};

} // namespace lirvo::shell
