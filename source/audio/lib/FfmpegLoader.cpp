// FFmpeg from lirvo-ffmpeg.so, which lies beside the binary this code is part of (the audio
// module or an add-on), loaded once on first use and kept for the life of the process.
#include "audio/lib/FfmpegApi.h"

#include "function/system/DynamicSymbols.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace lirvo::audio {

namespace {

const FfmpegApi *LoadModule() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<void *>(&LoadModule), &self) == 0 || self.dli_fname == nullptr) {
        std::fprintf(stderr, "lirvo: FFmpeg's formats cannot be played: the program folder is unknown\n");
        return nullptr;
    }
    std::string path = self.dli_fname;
    const auto slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kFfmpegModuleFile;
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char *why = dlerror();
        std::fprintf(stderr, "lirvo: FFmpeg's formats cannot be played: %s\n",
                     why != nullptr ? why : path.c_str());
        return nullptr;
    }
    FfmpegModuleEntry entry = nullptr;
    const FfmpegApi *api =
        system::FindSymbol(module, kFfmpegModuleEntry, entry) ? entry(kFfmpegModuleVersion) : nullptr;
    if (api == nullptr) {
        std::fprintf(stderr, "lirvo: FFmpeg's formats cannot be played: %s does not fit this program\n",
                     path.c_str());
        // Left loaded: unloading a library that may have started threads is not safe.
    }
    return api;
}

} // namespace

const FfmpegApi *Ffmpeg() {
    static const FfmpegApi *const api = LoadModule();
    return api;
}

} // namespace lirvo::audio
