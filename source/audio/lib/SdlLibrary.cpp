#include "audio/lib/SdlLibrary.h"

#include <dlfcn.h>

#include <cstdio>

namespace lirvo::audio {

namespace {

template <typename Function> bool Find(void *library, const char *name, Function &into) {
    into = reinterpret_cast<Function>(dlsym(library, name));
    return into != nullptr;
}

const SdlApi *LoadSdl() {
    void *library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "lirvo: SDL2 could not be loaded: %s\n", dlerror());
        return nullptr;
    }
    static SdlApi api{};
    const bool found = Find(library, "SDL_SetHint", api.setHint) &&
                       Find(library, "SDL_InitSubSystem", api.initSubSystem) &&
                       Find(library, "SDL_QuitSubSystem", api.quitSubSystem) &&
                       Find(library, "SDL_EventState", api.eventState) &&
                       Find(library, "SDL_AddEventWatch", api.addEventWatch) &&
                       Find(library, "SDL_DelEventWatch", api.delEventWatch) &&
                       Find(library, "SDL_FlushEvents", api.flushEvents) &&
                       Find(library, "SDL_OpenAudioDevice", api.openAudioDevice) &&
                       Find(library, "SDL_CloseAudioDevice", api.closeAudioDevice) &&
                       Find(library, "SDL_PauseAudioDevice", api.pauseAudioDevice) &&
                       Find(library, "SDL_GetAudioDeviceStatus", api.getAudioDeviceStatus);
    // The library stays loaded for the rest of the process: its threads may outlive any caller.
    if (!found) {
        std::fprintf(stderr, "lirvo: SDL2 is not usable\n");
        return nullptr;
    }
    return &api;
}

} // namespace

const SdlApi *Sdl() {
    static const SdlApi *const api = LoadSdl();
    return api;
}

} // namespace lirvo::audio
