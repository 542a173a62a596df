// lirvo-ffmpeg.so: the FFmpeg decoder as a module, loaded by FfmpegLoader.cpp.
#include "audio/lib/FfmpegApi.h"

extern "C" __attribute__((visibility("default"))) const lirvo::audio::FfmpegApi *
LirvoFfmpegModule_v1(unsigned version) {
    return version == lirvo::audio::kFfmpegModuleVersion ? &lirvo::audio::LinkedFfmpegFunctions() : nullptr;
}
