// The entry of lirvo-audio.so: the real audio library (FFmpeg, SDL2, libcurl, TagLib).

#include "audio/lib/AudioLibraryFactory.h"
#include "audio/module/AudioModule.h"

extern "C" __attribute__((visibility("default"))) lirvo::audio::IAudioLibrary *
LirvoAudioLibrary_v1(std::uint32_t interfaceVersion) {
    if ((interfaceVersion >> 16) != lirvo::audio::kInterfaceVersionHigh) {
        return nullptr;
    }
    return lirvo::audio::CreateAudioLibrary().release();
}
