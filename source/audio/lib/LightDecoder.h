#pragma once
// Local WAV and AIFF files through libsndfile, Ogg Vorbis through libvorbisfile and MP3 through
// libmpg123, brought to the output rate by libsoxr: the formats most local music comes in,
// decoded without loading FFmpeg and the hundred libraries it brings. Only mono and stereo
// sources are taken (mono goes to both sides at its own level, as FFmpeg's path does); every
// other layout, codec and container is left to FFmpeg or an add-on.

#include "audio/lib/ByteReader.h"
#include "audio/lib/DecodedSource.h"

#include <memory>
#include <vector>

struct soxr; // libsoxr's converter

namespace lirvo::audio {

// The decoded blocks of one file, as the file holds them.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Up to `frames` frames, interleaved, at Rate() with Channels(); 0 at the end (or on an
    // error that ends the file).
    virtual int64_t ReadBlock(float *interleaved, int64_t frames) = 0;
    virtual bool SeekTo(int64_t frame) = 0;
    virtual int Rate() const = 0;
    virtual int Channels() const = 0;
    virtual int64_t Frames() const = 0;
};

class LightDecoder final : public DecodedSource {
public:
    // nullptr when the data is not one of the formats above. `reader` must be seekable and
    // hold the whole file (a local file or memory, never a download still arriving).
    static std::unique_ptr<LightDecoder> Open(std::unique_ptr<ByteReader> reader);
    ~LightDecoder() override;

    int64_t Read(float *interleaved, int64_t frames) override;
    bool Seek(int64_t frame) override;
    int64_t Position() const override { return position_; }
    int64_t LengthFrames() const override { return length_; }

    int SourceRate() const { return source_->Rate(); }
    int SourceChannels() const { return source_->Channels(); }

private:
    LightDecoder(std::unique_ptr<ByteReader> reader, std::unique_ptr<BlockSource> source, soxr *converter);
    // Decodes the next block of the source into `block_`; false at its end.
    bool DecodeBlock();

    std::unique_ptr<ByteReader> reader_; // what source_ reads from: outlives it
    std::unique_ptr<BlockSource> source_;
    soxr *converter_; // none when the source is at the output rate
    int64_t position_ = 0;
    int64_t length_ = -1;
    std::vector<float> block_;     // one block in the file's layout
    std::vector<float> converted_; // what the converter gave, in the file's layout
    size_t inputFrames_ = 0;       // frames in block_
    size_t inputUsed_ = 0;         // of those, already given out or converted
    bool sourceEnded_ = false;     // the file has nothing more
    bool drained_ = false;         // the converter has given out its last frames too
};

} // namespace lirvo::audio
