// b_more.so: FLAC, AAC/M4A, Opus, WMA and APE through FFmpeg, which is loaded (from
// lirvo-ffmpeg.so beside this add-on) when the first file is opened, not with the add-on.

#include "audio/lib/AddonAbi.h"
#include "audio/lib/AddonReaderBridge.h"
#include "audio/lib/FfmpegApi.h"

extern "C" {
#include <libavcodec/codec_id.h>
}

#include <new>

namespace {

using lirvo::audio::AddonReaderAdapter;
using lirvo::audio::DecodedSource;
using lirvo::audio::FormatSet;

const LirvoAddonFormat kFormats[] = {
    {0x10900, "FLAC", "*.flac;*.fla"},
    {0x10b00, "AAC/M4A", "*.aac;*.m4a;*.m4b;*.mp4"},
    {0x11200, "Opus", "*.opus"},
    {0x10300, "WMA", "*.wma"},
    {0x10700, "Monkey's Audio", "*.ape;*.mac"},
};

const LirvoAddonInfo kInfo{0x01000000u, sizeof(kFormats) / sizeof(kFormats[0]), kFormats};

const FormatSet &Formats() {
    static const FormatSet formats{"flac,aac,mov,ogg,asf,ape",
                                   {AV_CODEC_ID_FLAC, AV_CODEC_ID_AAC, AV_CODEC_ID_AAC_LATM, AV_CODEC_ID_ALAC,
                                    AV_CODEC_ID_OPUS, AV_CODEC_ID_WMAV1, AV_CODEC_ID_WMAV2,
                                    AV_CODEC_ID_WMAPRO, AV_CODEC_ID_WMALOSSLESS, AV_CODEC_ID_APE},
                                   false};
    return formats;
}

DecodedSource *Cast(LirvoAddonDecoder *decoder) {
    return reinterpret_cast<DecodedSource *>(decoder);
}

LirvoAddonDecoder *Open(const LirvoAddonReader *reader) {
    if (reader == nullptr || reader->read == nullptr || reader->seek == nullptr || reader->tell == nullptr ||
        reader->size == nullptr) {
        return nullptr;
    }
    try {
        const lirvo::audio::FfmpegApi *ffmpeg = lirvo::audio::Ffmpeg();
        if (ffmpeg == nullptr) {
            return nullptr;
        }
        auto decoder = ffmpeg->open(std::make_unique<AddonReaderAdapter>(*reader), Formats(), reader->progressive != 0);
        return reinterpret_cast<LirvoAddonDecoder *>(decoder.release());
    } catch (...) {
        return nullptr;
    }
}

const LirvoAddonApi kApi{
    LIRVO_ADDON_ABI,
    &kInfo,
    &Open,
    [](LirvoAddonDecoder *d, float *out, int64_t frames) -> int64_t { return Cast(d)->Read(out, frames); },
    [](LirvoAddonDecoder *d, int64_t frame) -> int { return Cast(d)->Seek(frame) ? 1 : 0; },
    [](LirvoAddonDecoder *d) -> int64_t { return Cast(d)->Position(); },
    [](LirvoAddonDecoder *d) -> int64_t { return Cast(d)->LengthFrames(); },
    [](LirvoAddonDecoder *d) { delete Cast(d); },
};

} // namespace

extern "C" __attribute__((visibility("default"))) const LirvoAddonApi *LirvoAddonEntry_v1(uint32_t hostAbi) {
    return hostAbi == LIRVO_ADDON_ABI ? &kApi : nullptr;
}
