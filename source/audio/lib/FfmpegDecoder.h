#pragma once
// Decoding with libavformat/libavcodec, converted by libswresample to the output format.
// Each decoder accepts only the containers and codecs it is configured for, so the built-in
// formats and those of an add-on stay apart.

#include "audio/lib/FfmpegApi.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lirvo::audio {

// mp1/mp2/mp3, wav, ogg (Vorbis), aiff and the tracker formats of the libopenmpt demuxer.
const FormatSet &BuiltInFormats();
// HLS streams: the HLS demuxer with its segment containers (MPEG-TS, ADTS, MP3, MP4) and the
// audio codecs they carry.
const FormatSet &HlsFormats();

class FfmpegDecoder final : public DecodedSource {
public:
    // `progressive` marks a source whose bytes are still arriving: opening then avoids reads
    // near the end of the file (tag probing) that would wait for the whole download.
    static std::unique_ptr<FfmpegDecoder> Open(std::unique_ptr<ByteReader> reader, const FormatSet &formats,
                                               bool progressive);
    // Opens a network location through FFmpeg's own input, with the first demuxer of
    // `formats` (HLS, whose segments FFmpeg fetches itself). The open gives up after
    // `openTimeoutMs`; later reads after `readTimeoutMs` without data, or when `interrupt`
    // is aborted. Only http(s) is reached, never a local file.
    static std::unique_ptr<FfmpegDecoder> OpenLocation(const std::string &url, const FormatSet &formats,
                                                       std::shared_ptr<InputInterrupt> interrupt,
                                                       int openTimeoutMs, int readTimeoutMs);
    ~FfmpegDecoder() override;

    int64_t Read(float *interleaved, int64_t frames) override;
    bool Seek(int64_t frame) override;
    int64_t Position() const override { return position_; }
    int64_t LengthFrames() const override { return length_; }
    int64_t InputPosition() const override;
    int64_t InputByteRate() const override;
    int64_t InputOffsetOf(int64_t frame) const override;

    // Name of the container format that opened the data (for diagnostics and tests).
    std::string FormatName() const;

    struct State;

private:
    explicit FfmpegDecoder(std::unique_ptr<State> state);
    static std::unique_ptr<FfmpegDecoder> SetUpStreams(std::unique_ptr<State> state, const FormatSet &formats,
                                                       bool progressive);
    bool DecodeMore();

    std::unique_ptr<State> state_;
    int64_t position_ = 0;
    std::atomic<int64_t> length_{-1}; // read by other threads while this one decodes
    // (output frame, input offset) pairs of the input's seek table, taken at open and never
    // changed after, so other threads may read them.
    std::vector<std::pair<int64_t, int64_t>> seekTable_;
};

} // namespace lirvo::audio
