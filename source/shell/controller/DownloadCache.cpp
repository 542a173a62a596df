#include "shell/controller/DownloadCache.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::shell {

namespace {

constexpr std::size_t kMaxCacheNameBytes = 100;
constexpr int kMaxCacheNumber = 10000;

bool Exists(const std::string &path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool WriteAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies `from` to `to` without ever replacing an existing `to`. A hard link gives the copy
// in one atomic step; where links are not possible the bytes are copied into a new file.
bool CopyNoOverwrite(const std::string &from, const std::string &to) {
    if (link(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    ok = fsync(out) == 0 && ok;
    close(out);
    close(in);
    if (!ok)
        unlink(to.c_str());
    return ok;
}

} // namespace

std::string ChooseCacheTarget(const std::string &musicDir, const std::string &caption) {
    std::string name = text::MakeValidFileName(caption);
    if (name.size() > kMaxCacheNameBytes)
        name = text::Utf8Truncate(name, kMaxCacheNameBytes);
    std::string target = musicDir + "/" + name + ".mp3";
    if (Exists(target)) {
        for (int n = 1; n <= kMaxCacheNumber; ++n) {
            target = musicDir + "/" + name + "(" + std::to_string(n) + ")" + ".mp3";
            if (!Exists(target))
                break;
        }
    }
    return target;
}

DownloadCache::~DownloadCache() {
    Close();
}

void DownloadCache::SetPending(const std::string &musicDir, const std::string &caption,
                               const std::string &source) {
    std::lock_guard lock(mutex_);
    pendingDir_ = musicDir;
    pendingCaption_ = caption;
    pendingSource_ = source;
}

void DownloadCache::Choose() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    source_ = pendingSource_;
    tempPath_ = pendingDir_ + "/_temp._mp";
    targetPath_ = ChooseCacheTarget(pendingDir_, pendingCaption_);
}

std::optional<DownloadCache::Kept> DownloadCache::Block(const void *buffer, std::uint32_t length,
                                                        std::atomic<std::uint64_t> &downloaded,
                                                        std::uint64_t announced) {
    try {
        std::lock_guard lock(mutex_);
        if (tempPath_.empty())
            return std::nullopt; // no network open named a cache file
        if (fd_ < 0) {
            fd_ = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            downloaded = 0;
            if (fd_ < 0)
                return std::nullopt;
        }
        if (buffer) {
            if (WriteAll(fd_, static_cast<const char *>(buffer), length))
                downloaded += length;
            return std::nullopt;
        }
        // On disk before anything points at it: a hard link shares these very blocks.
        const bool flushed = fsync(fd_) == 0;
        close(fd_);
        fd_ = -1;
        if (downloaded.load() < announced)
            return std::nullopt; // incomplete: the next download replaces the temporary file
        // No kept copy (disk full, no links and a failed copy, the name taken meanwhile): the row
        // keeps its network address and the temporary file stays.
        if (!flushed || !CopyNoOverwrite(tempPath_, targetPath_))
            return std::nullopt;
        unlink(tempPath_.c_str());
        return Kept{source_, targetPath_};
    } catch (...) {
        return std::nullopt;
    }
}

void DownloadCache::Close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

std::string DownloadCache::TempPath() const {
    std::lock_guard lock(mutex_);
    return tempPath_;
}

std::string DownloadCache::TargetPath() const {
    std::lock_guard lock(mutex_);
    return targetPath_;
}

bool DownloadCache::FileOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

} // namespace lirvo::shell
