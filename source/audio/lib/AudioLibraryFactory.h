#pragma once
// The real audio library: FFmpeg decoding, SDL2 output, libcurl network streams, TagLib tags,
// peaking-filter equalizer and b_*.so add-on decoders.

#include "audio/lib/AudioLibrary.h"

#include <memory>

namespace lirvo::audio {

std::unique_ptr<IAudioLibrary> CreateAudioLibrary();

} // namespace lirvo::audio
