// Opening and decoding audio data from memory with the built-in formats, through FFmpeg and
// through the light decoder (libsndfile, libvorbisfile and libsoxr): broken files must fail or
// decode, never crash, leak or hang.

#include "audio/lib/ByteReader.h"
#include "audio/lib/FfmpegDecoder.h"
#include "audio/lib/LightDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Exercise(lirvo::audio::DecodedSource *decoder) {
    if (decoder == nullptr) {
        return;
    }
    std::vector<float> block(4096 * 2);
    for (int i = 0; i < 16; ++i) {
        const int64_t got = decoder->Read(block.data(), 4096);
        if (got < 0 || got > 4096) {
            std::abort();
        }
        if (got == 0) {
            break;
        }
    }
    if (decoder->LengthFrames() > 0) {
        decoder->Seek(decoder->LengthFrames() / 2);
        decoder->Read(block.data(), 4096);
    }
    decoder->Seek(0);
    decoder->Read(block.data(), 1024);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::audio;
    const auto bytes = [&] { return std::make_unique<MemoryReader>(data, static_cast<int64_t>(size)); };
    Exercise(FfmpegDecoder::Open(bytes(), BuiltInFormats(), (size & 1) != 0).get());
    Exercise(LightDecoder::Open(bytes()).get());
    return 0;
}
