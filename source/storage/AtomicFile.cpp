#include "storage/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <vector>

namespace lirvo::storage {
namespace {

bool Fail(std::string *error, const std::string &what, int err) {
    if (error)
        *error = what + ": " + std::strerror(err);
    return false;
}

// A symbolic link is followed, so that the file it points to is replaced, not the link.
std::string ResolveTarget(const std::string &path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char *real = realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

std::string FolderOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// ".<name>.tmp-XXXXXX" with random letters, the name cut so that the whole stays within the
// 255 bytes a file name may have: a target whose name is already 255 bytes long still saves.
std::string TempBaseName(const std::string &base) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937 random{std::random_device{}()};
    constexpr std::size_t kExtra = 1 + 5 + 6; // ".", ".tmp-", six letters
    // Built by appending: GCC 12 at -O3 warns falsely on "literal" + std::string&&.
    std::string name = ".";
    name.append(base, 0, NAME_MAX - kExtra);
    name += ".tmp-";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int i = 0; i < 6; ++i)
        name += kLetters[pick(random)];
    return name;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string &path, std::string_view data, std::string *error) {
    if (path.empty() || path.back() == '/')
        return Fail(error, "cannot write \"" + path + "\"", EISDIR);
    const std::string target = ResolveTarget(path);
    const std::string folder = FolderOf(target);
    const auto slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    // The temporary file gets its final mode at creation: the mode of the file it replaces, or
    // 0666 less the umask for a new one (the kernel applies the umask; the process-wide mask
    // is never changed, since another thread may be creating a file at the same moment).
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;
    std::string tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = (folder == "/" ? "" : folder) + "/" + TempBaseName(base);
        fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return Fail(error, "cannot create a temporary file in \"" + folder + "\"", errno);

    auto abandon = [&](const std::string &what) {
        const int err = errno;
        ::close(fd);
        ::unlink(tempName.c_str());
        return Fail(error, what, err);
    };

    // The umask may have cleared bits of the replaced file's mode; this changes only our file.
    if (replacing && ::fchmod(fd, mode) != 0)
        return abandon("cannot set the permissions of \"" + tempName + "\"");
    if (!WriteAll(fd, data))
        return abandon("cannot write \"" + tempName + "\"");
    if (::fsync(fd) != 0)
        return abandon("cannot flush \"" + tempName + "\"");
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempName.c_str());
        return Fail(error, "cannot close \"" + tempName + "\"", err);
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tempName.c_str());
        return Fail(error, "cannot replace \"" + target + "\"", err);
    }
    // Make the rename itself durable; a failure here no longer endangers either version.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::optional<std::string> SetAsideBadFile(const std::string &path) {
    if (path.empty())
        return std::nullopt;
    for (int number = 1; number < 10000; ++number) {
        std::string copy = path + ".bad";
        if (number > 1)
            copy.append(".").append(std::to_string(number));
        // Never replaces a name that exists, even one made a moment ago by someone else.
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, copy.c_str(), RENAME_NOREPLACE) == 0)
            return copy;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return std::nullopt;
        // A file system without RENAME_NOREPLACE: a hard link cannot replace either.
        if (::link(path.c_str(), copy.c_str()) == 0) {
            ::unlink(path.c_str());
            return copy;
        }
        if (errno != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace lirvo::storage
