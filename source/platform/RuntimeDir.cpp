#include "platform/RuntimeDir.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::platform {

namespace {

// A folder we may keep sockets and locks in: ours, a real folder, mode 0700.
bool EnsurePrivateFolder(const std::string &path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    if ((st.st_mode & 0777) != 0700 && chmod(path.c_str(), 0700) != 0)
        return false;
    return true;
}

} // namespace

std::string BaseRuntimeDir() {
    const char *env = std::getenv("XDG_RUNTIME_DIR");
    if (env != nullptr && env[0] == '/')
        return env;
    return "/tmp/lirvo-runtime-" + std::to_string(geteuid());
}

std::optional<std::string> ProgramRuntimeDir() {
    std::string base = BaseRuntimeDir();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    // The fallback base under /tmp is ours to create and must be private as well; an
    // $XDG_RUNTIME_DIR is the session's and only has to exist.
    const char *env = std::getenv("XDG_RUNTIME_DIR");
    if (env == nullptr || env[0] != '/') {
        if (!EnsurePrivateFolder(base))
            return std::nullopt;
    }
    std::string dir = base + "/lirvo";
    if (!EnsurePrivateFolder(dir))
        return std::nullopt;
    return dir;
}

} // namespace lirvo::platform
