#pragma once
// The audio library as a module of its own (lirvo-audio.so beside the program). FFmpeg, SDL2
// and everything they bring with them come into the process only when the module is loaded,
// so the player's window can show before that work is done.

#include "audio/lib/AudioLibrary.h"

#include <cstdint>

namespace lirvo::audio {

// File name of the module in the program's folder.
inline constexpr const char *kAudioModuleFile = "lirvo-audio.so";
// Name of its entry: `IAudioLibrary *LirvoAudioLibrary_v1(std::uint32_t interfaceVersion)`.
// It returns a new library (the caller deletes it), or nullptr when the module was built for
// another interface version.
inline constexpr const char *kAudioModuleEntry = "LirvoAudioLibrary_v1";
using AudioModuleEntry = IAudioLibrary *(*)(std::uint32_t interfaceVersion);

} // namespace lirvo::audio
