#pragma once
// FFmpeg's decoding, reached through one table of functions. In the player the table comes from
// a module of its own (lirvo-ffmpeg.so beside the audio module), loaded when the first source
// needs FFmpeg: FFmpeg brings about 120 further libraries and 25 MB of resident memory, none of
// which a player that only plays what LightDecoder reads ever needs. Programs that link
// FFmpeg directly (the tests, the tools) get the same table from the library lirvo_ffmpeg_linked.

#include "audio/lib/ByteReader.h"
#include "audio/lib/DecodedSource.h"
#include "audio/lib/InputInterrupt.h"

#include <memory>
#include <set>
#include <string>

namespace lirvo::audio {

struct FormatSet {
    std::string demuxers;   // comma-separated libavformat demuxer names
    std::set<int> codecIds; // accepted AVCodecID values
    bool anyPcm = false;    // also accept every PCM codec
};

struct FfmpegApi {
    // See FfmpegDecoder::Open and FfmpegDecoder::OpenLocation.
    std::unique_ptr<DecodedSource> (*open)(std::unique_ptr<ByteReader> reader, const FormatSet &formats,
                                           bool progressive);
    std::unique_ptr<DecodedSource> (*openLocation)(const std::string &url, const FormatSet &formats,
                                                   std::shared_ptr<InputInterrupt> interrupt,
                                                   int openTimeoutMs, int readTimeoutMs);
    const FormatSet &(*builtInFormats)();
    const FormatSet &(*hlsFormats)();
};

// The table, or nullptr when FFmpeg cannot be loaded (the reason is written to stderr once).
// Loading the module may take a tenth of a second: never call this on the GUI thread.
const FfmpegApi *Ffmpeg();

// The table of the FFmpeg decoder linked into this binary (FfmpegDecoder.cpp).
const FfmpegApi &LinkedFfmpegFunctions();

inline constexpr const char *kFfmpegModuleFile = "lirvo-ffmpeg.so";
inline constexpr const char *kFfmpegModuleEntry = "LirvoFfmpegModule_v1";
// The module's entry: returns the table when `version` is the one the caller was built with.
inline constexpr unsigned kFfmpegModuleVersion = 1;
using FfmpegModuleEntry = const FfmpegApi *(*)(unsigned version);

} // namespace lirvo::audio
