#include "audio/lib/SdlLibrary.h"

#include "function/system/DynamicSymbols.h"

#include <dlfcn.h>

#include <cstdio>

namespace lirvo::audio {

namespace {

const SdlApi *LoadSdl() {
    void *library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "lirvo: SDL2 could not be loaded: %s\n", dlerror());
        return nullptr;
    }
    static SdlApi api{};
    const bool found = system::FindSymbol(library, "SDL_SetHint", api.setHint) &&
                       system::FindSymbol(library, "SDL_InitSubSystem", api.initSubSystem) &&
                       system::FindSymbol(library, "SDL_QuitSubSystem", api.quitSubSystem) &&
                       system::FindSymbol(library, "SDL_EventState", api.eventState) &&
                       system::FindSymbol(library, "SDL_AddEventWatch", api.addEventWatch) &&
                       system::FindSymbol(library, "SDL_DelEventWatch", api.delEventWatch) &&
                       system::FindSymbol(library, "SDL_FlushEvents", api.flushEvents) &&
                       system::FindSymbol(library, "SDL_OpenAudioDevice", api.openAudioDevice) &&
                       system::FindSymbol(library, "SDL_CloseAudioDevice", api.closeAudioDevice) &&
                       system::FindSymbol(library, "SDL_PauseAudioDevice", api.pauseAudioDevice) &&
                       system::FindSymbol(library, "SDL_GetAudioDeviceStatus", api.getAudioDeviceStatus);
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
