#pragma once
// SDL2, loaded on first use rather than with the audio library: its output serves only where
// no PulseAudio server answers (or SDL_AUDIODRIVER names another output), and it brings some
// twenty libraries (X11 extensions, Wayland, libdecor, ALSA), about 1.5 MB resident. The types
// and constants come from SDL's header; the calls go through this table.

#include <SDL.h>

namespace lirvo::audio {

struct SdlApi {
    SDL_bool (*setHint)(const char *, const char *);
    int (*initSubSystem)(Uint32);
    void (*quitSubSystem)(Uint32);
    Uint8 (*eventState)(Uint32, int);
    void (*addEventWatch)(SDL_EventFilter, void *);
    void (*delEventWatch)(SDL_EventFilter, void *);
    void (*flushEvents)(Uint32, Uint32);
    SDL_AudioDeviceID (*openAudioDevice)(const char *, int, const SDL_AudioSpec *, SDL_AudioSpec *, int);
    void (*closeAudioDevice)(SDL_AudioDeviceID);
    void (*pauseAudioDevice)(SDL_AudioDeviceID, int);
    SDL_AudioStatus (*getAudioDeviceStatus)(SDL_AudioDeviceID);
};

// Loads SDL2 once for the whole process (thread-safe); nullptr when it cannot be loaded, in
// which case SDL's outputs count as missing devices.
const SdlApi *Sdl();

} // namespace lirvo::audio
