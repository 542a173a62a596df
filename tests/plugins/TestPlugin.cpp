// One source, many test plug-ins: the behaviour is chosen when each library is compiled.
// Every message received is appended to $LIRVO_PLUGIN_LOG as "<library file name> <code>".

#include "plugins/lirvo_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <stdexcept>

#ifndef PLUGIN_TYPE
#define PLUGIN_TYPE 1
#endif
#ifndef PLUGIN_VERSION
#define PLUGIN_VERSION 256
#endif
#ifndef PLUGIN_ANSWER
#define PLUGIN_ANSWER 1
#endif

namespace {

void Log(const char *what) {
    const char *path = std::getenv("LIRVO_PLUGIN_LOG");
    Dl_info info{};
    if (path == nullptr || dladdr(reinterpret_cast<void *>(&Log), &info) == 0 || info.dli_fname == nullptr)
        return;
    const char *slash = std::strrchr(info.dli_fname, '/');
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "%s %s\n", slash != nullptr ? slash + 1 : info.dli_fname, what);
        std::fclose(f);
    }
}

[[maybe_unused]] int32_t MessageProc(int32_t code, void *data, int32_t extra) {
    char line[256];
    if ((code == 108 || code == 109) && data != nullptr) {
        const auto *song = static_cast<const TSongInfo *>(data);
        std::snprintf(line, sizeof line, "%d %s %s/%d %s/%d %.3f", code, song->PathText, song->TitleText,
                      song->TitleLength, song->ArtistText, song->ArtistLength, song->Duration * 86400.0);
    } else {
        std::snprintf(line, sizeof line, "%d %d", code, extra);
    }
    Log(line);
#ifdef PLUGIN_THROW_ON
    if (code == PLUGIN_THROW_ON)
        throw std::runtime_error("plug-in failure");
#endif
    return PLUGIN_ANSWER;
}

USPluginInfoRecord g_info = [] {
    USPluginInfoRecord r{};
    r.PluginType = PLUGIN_TYPE;
    r.ApiVersion = PLUGIN_VERSION;
#ifdef PLUGIN_NULL_PROC
    r.MessageProc = nullptr;
#else
    r.MessageProc = &MessageProc;
#endif
    return r;
}();

} // namespace

#ifndef PLUGIN_NO_EXPORT
extern "C" __attribute__((visibility("default"))) const USPluginInfoRecord *
USPluginInfo(uint32_t apiVersion) {
    char line[64];
    std::snprintf(line, sizeof line, "info %u", apiVersion);
    Log(line);
#ifdef PLUGIN_THROW_IN_INFO
    throw std::runtime_error("no record");
#endif
    return &g_info;
}
#endif
