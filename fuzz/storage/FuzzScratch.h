#pragma once
// A private scratch folder for one fuzzing process, on tmpfs when there is one so that the
// stores' flushed, atomic saves stay cheap. Removed at exit.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace lirvo::fuzzing {

inline const std::string &ScratchFolder() {
    static const std::string folder = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/lirvo-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern + "/";
    }();
    return folder;
}

inline void WriteBytes(const std::string &path, const uint8_t *data, size_t size) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace lirvo::fuzzing
