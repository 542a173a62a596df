// Opening and decoding audio data from memory with the built-in formats: broken files must
// fail or decode, never crash or hang.

#include "audio/lib/ByteReader.h"
#include "audio/lib/FfmpegDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::audio;
    auto decoder = FfmpegDecoder::Open(std::make_unique<MemoryReader>(data, static_cast<int64_t>(size)),
                                       BuiltInFormats(), (size & 1) != 0);
    if (decoder == nullptr) {
        return 0;
    }
    std::vector<float> block(4096 * 2);
    int64_t total = 0;
    for (int i = 0; i < 16; ++i) {
        const int64_t got = decoder->Read(block.data(), 4096);
        if (got < 0 || got > 4096) {
            std::abort();
        }
        total += got;
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
    return 0;
}
