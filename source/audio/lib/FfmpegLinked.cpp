// FFmpeg linked into the program itself: the table is the decoder's own.
#include "audio/lib/FfmpegApi.h"

namespace lirvo::audio {

const FfmpegApi *Ffmpeg() {
    return &LinkedFfmpegFunctions();
}

} // namespace lirvo::audio
