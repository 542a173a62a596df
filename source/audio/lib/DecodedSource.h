#pragma once
// The one sample format every decoder delivers: 44100 Hz, two interleaved channels, 32-bit
// float. Byte counts of the library are counted in this format (8 bytes per frame).

#include <cstdint>

namespace lirvo::audio {

inline constexpr int kOutputRate = 44100;
inline constexpr int kOutputChannels = 2;
inline constexpr int64_t kBytesPerFrame = kOutputChannels * static_cast<int64_t>(sizeof(float));

class DecodedSource {
public:
    virtual ~DecodedSource() = default;
    // Fills up to `frames` frames; returns the count, 0 once the source has ended.
    virtual int64_t Read(float *interleaved, int64_t frames) = 0;
    // Moves to an output frame; false when the source cannot seek there.
    virtual bool Seek(int64_t frame) = 0;
    // Output frame the next Read starts at.
    virtual int64_t Position() const = 0;
    // Total output frames, -1 when unknown.
    virtual int64_t LengthFrames() const = 0;
    // Offset in the input up to which data has gone into decoding, leaving out what was read
    // ahead into buffers or queues of the decoder's own; -1 when it cannot tell.
    virtual int64_t InputPosition() const { return -1; }
    // Nominal input bytes per second of audio (from the stream's bit rate), 0 when unknown.
    virtual int64_t InputByteRate() const { return 0; }
    // Where in the input the data of output frame `frame` lies, by a seek table the input
    // carries (an MP3's table of contents); -1 when there is none. Safe on any thread.
    virtual int64_t InputOffsetOf(int64_t frame) const {
        (void)frame;
        return -1;
    }
};

} // namespace lirvo::audio
