#include "audio/lib/SpoolFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace lirvo::audio {

namespace {

int OpenUnnamed(const std::string &folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    // File systems without O_TMPFILE: a named file that loses its name at once.
    std::string pattern = folder + "/lirvo-stream-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(pattern.c_str());
    }
    return fd;
}

} // namespace

std::vector<std::string> SpoolFile::DefaultFolders() {
    std::vector<std::string> folders;
    if (const char *tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') {
        folders.emplace_back(tmp);
    }
    folders.emplace_back("/var/tmp");
    folders.emplace_back("/tmp");
    return folders;
}

std::unique_ptr<SpoolFile> SpoolFile::Create(const std::vector<std::string> &folders) {
    for (const std::string &folder : folders) {
        const int fd = OpenUnnamed(folder);
        if (fd >= 0) {
            return std::unique_ptr<SpoolFile>(new SpoolFile(fd));
        }
    }
    return nullptr;
}

SpoolFile::~SpoolFile() {
    ::close(fd_);
}

bool SpoolFile::WriteAt(int64_t offset, const uint8_t *data, int64_t size) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd_, data, static_cast<size_t>(size), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        offset += written;
        size -= written;
    }
    return true;
}

int64_t SpoolFile::ReadAt(int64_t offset, uint8_t *buffer, int64_t size) const {
    int64_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd_, buffer + done, static_cast<size_t>(size - done),
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void SpoolFile::Discard(int64_t offset) {
    if (offset <= discarded_) {
        return;
    }
    // Where holes cannot be punched the bytes simply stay; only disk space is at stake.
    ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(discarded_),
                static_cast<off_t>(offset - discarded_));
    discarded_ = offset;
}

} // namespace lirvo::audio
