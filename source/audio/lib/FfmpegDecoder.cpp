#include "audio/lib/FfmpegDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace lirvo::audio {

namespace {

constexpr int kIoBufferSize = 32 * 1024;
// A file whose packets keep failing to decode is treated as ended rather than looping forever.
constexpr int kMaxConsecutiveErrors = 500;

void QuietFfmpegOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

int ReadPacket(void *opaque, uint8_t *buffer, int size) {
    auto *reader = static_cast<ByteReader *>(opaque);
    const int64_t got = reader->Read(buffer, size);
    if (got < 0) {
        return AVERROR(EIO);
    }
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

int64_t SeekReader(void *opaque, int64_t offset, int whence) {
    auto *reader = static_cast<ByteReader *>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) {
        return reader->Size() >= 0 ? reader->Size() : AVERROR(ENOSYS);
    }
    int64_t target = offset;
    if (whence == SEEK_CUR) {
        target = reader->Tell() + offset;
    } else if (whence == SEEK_END) {
        if (reader->Size() < 0) {
            return AVERROR(ENOSYS);
        }
        target = reader->Size() + offset;
    } else if (whence != SEEK_SET) {
        return AVERROR(EINVAL);
    }
    return reader->Seek(target) ? target : AVERROR(EIO);
}

constexpr const char *kNetworkProtocols = "http,https,tcp,tls,crypto";

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int InterruptRequested(void *opaque) {
    const auto *interrupt = static_cast<const InputInterrupt *>(opaque);
    const int64_t deadline = interrupt->deadlineMs.load();
    return interrupt->abort.load() || (deadline > 0 && NowMs() > deadline) ? 1 : 0;
}

bool IsPcm(AVCodecID id) {
    return id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

} // namespace

const FormatSet &HlsFormats() {
    static const FormatSet formats{"hls,mpegts,aac,mp3,mov",
                                   {AV_CODEC_ID_AAC, AV_CODEC_ID_MP1, AV_CODEC_ID_MP2, AV_CODEC_ID_MP3,
                                    AV_CODEC_ID_AC3, AV_CODEC_ID_EAC3},
                                   false};
    return formats;
}

const FormatSet &BuiltInFormats() {
    static const FormatSet formats{"mp3,wav,ogg,aiff,libopenmpt",
                                   {AV_CODEC_ID_MP1, AV_CODEC_ID_MP2, AV_CODEC_ID_MP3, AV_CODEC_ID_VORBIS},
                                   true};
    return formats;
}

struct FfmpegDecoder::State {
    std::shared_ptr<InputInterrupt> interrupt; // FFmpeg's own network input only
    std::unique_ptr<ByteReader> reader;
    AVIOContext *io = nullptr;
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    SwrContext *resampler = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    int64_t startTime = 0;
    // Layout of the frames the resampler was set up for.
    AVChannelLayout resamplerLayout{};
    int resamplerRate = 0;
    int resamplerFormat = -1;
    bool readEnded = false;
    bool readFailed = false; // the input failed (or was interrupted) rather than ended
    bool decoderEnded = false;
    bool flushed = false;
    // Output frames still to drop after a seek, counted from the first frame decoded.
    int64_t seekTarget = -1;
    std::vector<float> pending;
    size_t pendingOffset = 0; // in floats
    // End of the last packet taken from the container. The I/O buffer and the packets queued
    // while probing run ahead of it, so the reader's own position says little about what is
    // still to decode.
    int64_t inputPosition = 0;

    ~State() {
        swr_free(&resampler);
        av_channel_layout_uninit(&resamplerLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    int64_t InputTell() const { return format->pb != nullptr ? avio_tell(format->pb) : -1; }

    int64_t PendingFrames() const {
        return static_cast<int64_t>((pending.size() - pendingOffset) / kOutputChannels);
    }

    bool SetUpResampler(const AVFrame &input) {
        AVChannelLayout inLayout{};
        if (input.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || input.ch_layout.nb_channels <= 0 ||
            av_channel_layout_check(&input.ch_layout) == 0) {
            av_channel_layout_default(&inLayout, std::max(1, input.ch_layout.nb_channels));
        } else if (av_channel_layout_copy(&inLayout, &input.ch_layout) < 0) {
            return false;
        }
        swr_free(&resampler);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        int result =
            swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_FLT, kOutputRate, &inLayout,
                                static_cast<AVSampleFormat>(input.format), input.sample_rate, 0, nullptr);
        if (result >= 0 && inLayout.nb_channels == 1) {
            // Mono plays at full level on both sides, not 3 dB down as a centre channel would.
            const double matrix[2] = {1.0, 1.0};
            result = swr_set_matrix(resampler, matrix, 1);
        } else if (result >= 0 && inLayout.nb_channels > 2) {
            // The default downmix adds centre and surround into each side at up to 2.4 times
            // full scale, and float output is not clipped by the resampler: the device would.
            // A matrix whose rows sum to at most 1 keeps every source at or below its own peak;
            // stereo sources are not rematrixed at all, so their level is unchanged.
            result = av_opt_set_double(resampler, "rematrix_maxval", 1.0, 0);
        }
        if (result >= 0) {
            result = swr_init(resampler);
        }
        av_channel_layout_uninit(&resamplerLayout);
        resamplerLayout = inLayout;
        resamplerRate = input.sample_rate;
        resamplerFormat = input.format;
        if (result < 0) {
            swr_free(&resampler);
            return false;
        }
        return true;
    }

    bool NeedsNewResampler(const AVFrame &input) const {
        return resampler == nullptr || input.sample_rate != resamplerRate ||
               input.format != resamplerFormat ||
               av_channel_layout_compare(&input.ch_layout, &resamplerLayout) != 0;
    }

    // Converts one decoded frame (or the resampler's remainder when `input` is null) and
    // appends the result to `pending`. Returns the output frames appended.
    int64_t Convert(const AVFrame *input) {
        const int inSamples = input != nullptr ? input->nb_samples : 0;
        const int capacity = swr_get_out_samples(resampler, inSamples);
        if (capacity <= 0) {
            return 0;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(pendingOffset));
        pendingOffset = 0;
        const size_t oldSize = pending.size();
        pending.resize(oldSize + static_cast<size_t>(capacity) * kOutputChannels);
        auto *out = reinterpret_cast<uint8_t *>(pending.data() + oldSize);
        const int converted = swr_convert(
            resampler, &out, capacity,
            input != nullptr ? const_cast<const uint8_t **>(input->extended_data) : nullptr, inSamples);
        pending.resize(oldSize + static_cast<size_t>(std::max(converted, 0)) * kOutputChannels);
        return std::max(converted, 0);
    }
};

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::Open(std::unique_ptr<ByteReader> reader,
                                                   const FormatSet &formats, bool progressive) {
    QuietFfmpegOnce();
    if (reader == nullptr) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->reader = std::move(reader);
    auto *ioBuffer = static_cast<unsigned char *>(av_malloc(kIoBufferSize));
    if (ioBuffer == nullptr) {
        return nullptr;
    }
    state->io =
        avio_alloc_context(ioBuffer, kIoBufferSize, 0, state->reader.get(), ReadPacket, nullptr, SeekReader);
    if (state->io == nullptr) {
        av_free(ioBuffer);
        return nullptr;
    }
    if (progressive) {
        state->io->seekable = 0;
    }
    state->format = avformat_alloc_context();
    if (state->format == nullptr) {
        return nullptr;
    }
    state->format->pb = state->io;
    state->format->flags |= AVFMT_FLAG_CUSTOM_IO;
    state->format->format_whitelist = av_strdup(formats.demuxers.c_str());
    AVFormatContext *format = state->format;
    // MP3: seek through the Xing table of contents where the file has one, instead of reading
    // every frame up to the target.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "usetoc", "1", 0);
    const int opened = avformat_open_input(&format, nullptr, nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        state->format = nullptr; // freed by the failed open
        return nullptr;
    }
    return SetUpStreams(std::move(state), formats, progressive);
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::OpenLocation(const std::string &url, const FormatSet &formats,
                                                           std::shared_ptr<InputInterrupt> interrupt,
                                                           int openTimeoutMs, int readTimeoutMs) {
    QuietFfmpegOnce();
    auto state = std::make_unique<State>();
    state->interrupt = std::move(interrupt);
    state->format = avformat_alloc_context();
    if (state->format == nullptr || state->interrupt == nullptr) {
        return nullptr;
    }
    state->format->interrupt_callback = AVIOInterruptCB{&InterruptRequested, state->interrupt.get()};
    state->format->format_whitelist = av_strdup(formats.demuxers.c_str());
    // Only the network: a list from a server never makes FFmpeg open a local file.
    state->format->protocol_whitelist = av_strdup(kNetworkProtocols);
    const std::string first = formats.demuxers.substr(0, formats.demuxers.find(','));
    const AVInputFormat *input = av_find_input_format(first.c_str());
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", kNetworkProtocols, 0);
    av_dict_set_int(&options, "rw_timeout", static_cast<int64_t>(std::max(readTimeoutMs, 0)) * 1000, 0);
    state->interrupt->deadlineMs = NowMs() + std::max(openTimeoutMs, 1);
    AVFormatContext *format = state->format;
    const int opened = avformat_open_input(&format, url.c_str(), input, &options);
    av_dict_free(&options);
    if (opened < 0) {
        state->format = nullptr; // freed by the failed open
        return nullptr;
    }
    std::shared_ptr<InputInterrupt> keep = state->interrupt;
    auto decoder = SetUpStreams(std::move(state), formats, false);
    keep->deadlineMs = 0; // opened: from now on only the read time-out and an abort apply
    return decoder;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::SetUpStreams(std::unique_ptr<State> state, const FormatSet &formats,
                                                           bool progressive) {
    AVFormatContext *format = state->format;
    state->streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (state->streamIndex < 0) {
        // Some containers only know their streams' parameters after reading packets.
        if (avformat_find_stream_info(format, nullptr) < 0) {
            return nullptr;
        }
        state->streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (state->streamIndex < 0) {
            return nullptr;
        }
    }
    AVStream *stream = format->streams[state->streamIndex];
    if (stream->codecpar->sample_rate <= 0 || stream->codecpar->ch_layout.nb_channels <= 0) {
        if (avformat_find_stream_info(format, nullptr) < 0 || stream->codecpar->sample_rate <= 0) {
            return nullptr;
        }
    }
    const AVCodecID codecId = stream->codecpar->codec_id;
    if (formats.codecIds.count(codecId) == 0 && !(formats.anyPcm && IsPcm(codecId))) {
        return nullptr;
    }
    const AVCodec *codec = avcodec_find_decoder(codecId);
    if (codec == nullptr) {
        return nullptr;
    }
    state->codec = avcodec_alloc_context3(codec);
    if (state->codec == nullptr || avcodec_parameters_to_context(state->codec, stream->codecpar) < 0 ||
        avcodec_open2(state->codec, codec, nullptr) < 0) {
        return nullptr;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard =
            static_cast<int>(i) == state->streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    state->packet = av_packet_alloc();
    state->frame = av_frame_alloc();
    if (state->packet == nullptr || state->frame == nullptr) {
        return nullptr;
    }
    state->timeBase = stream->time_base;
    state->startTime = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (progressive && state->io != nullptr) {
        // From here on seeks are allowed; a seek far ahead waits for the download.
        state->io->seekable = AVIO_SEEKABLE_NORMAL;
    }

    int64_t length = -1;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        length = av_rescale_q(stream->duration, stream->time_base, AVRational{1, kOutputRate});
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        length = av_rescale_q(format->duration, AV_TIME_BASE_Q, AVRational{1, kOutputRate});
    }
    // The MP3 demuxer counts every frame, including the encoder delay it skips at the start
    // (which it reports as the start time).
    if (length > 0 && std::strcmp(format->iformat->name, "mp3") == 0 && state->startTime > 0) {
        length -=
            std::min(length, av_rescale_q(state->startTime, stream->time_base, AVRational{1, kOutputRate}));
    }
    // The table of contents an MP3 carries (or whatever index the container gave at open).
    std::vector<std::pair<int64_t, int64_t>> seekTable;
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i) {
        const AVIndexEntry *entry = avformat_index_get_entry(stream, i);
        if (entry != nullptr && entry->pos >= 0 && entry->timestamp != AV_NOPTS_VALUE) {
            seekTable.emplace_back(
                av_rescale_q(entry->timestamp - state->startTime, stream->time_base, AVRational{1, kOutputRate}),
                entry->pos);
        }
    }
    auto decoder = std::unique_ptr<FfmpegDecoder>(new FfmpegDecoder(std::move(state)));
    decoder->length_ = length;
    if (seekTable.size() >= 2) {
        decoder->seekTable_ = std::move(seekTable);
    }
    // Only data that really decodes counts as opened; a header alone can be a lucky guess.
    if (!decoder->DecodeMore()) {
        return nullptr;
    }
    return decoder;
}

FfmpegDecoder::FfmpegDecoder(std::unique_ptr<State> state) : state_(std::move(state)) {}

FfmpegDecoder::~FfmpegDecoder() = default;

std::string FfmpegDecoder::FormatName() const {
    return state_->format->iformat != nullptr ? state_->format->iformat->name : "";
}

bool FfmpegDecoder::DecodeMore() {
    State &s = *state_;
    int errors = 0;
    while (!s.flushed) {
        const int received = s.decoderEnded ? AVERROR_EOF : avcodec_receive_frame(s.codec, s.frame);
        if (received == 0) {
            errors = 0;
            if (s.frame->nb_samples <= 0 || s.frame->sample_rate <= 0) {
                av_frame_unref(s.frame);
                continue;
            }
            if (s.NeedsNewResampler(*s.frame) && !s.SetUpResampler(*s.frame)) {
                av_frame_unref(s.frame);
                s.flushed = true;
                return false;
            }
            // Where this frame starts in output frames, used to land exactly after a seek.
            int64_t frameStart = -1;
            if (s.seekTarget >= 0 && s.frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                frameStart = av_rescale_q(s.frame->best_effort_timestamp - s.startTime, s.timeBase,
                                          AVRational{1, kOutputRate});
            }
            const size_t before = s.pending.size() - s.pendingOffset;
            const int64_t produced = s.Convert(s.frame);
            av_frame_unref(s.frame);
            if (s.seekTarget >= 0) {
                if (frameStart < 0) {
                    frameStart = s.seekTarget; // no timestamps: trust the demuxer's seek
                }
                const int64_t drop = std::clamp<int64_t>(s.seekTarget - frameStart, 0, produced);
                const size_t dropFloats = static_cast<size_t>(drop) * kOutputChannels;
                s.pending.erase(s.pending.begin() + static_cast<std::ptrdiff_t>(s.pendingOffset + before),
                                s.pending.begin() +
                                    static_cast<std::ptrdiff_t>(s.pendingOffset + before + dropFloats));
                if (frameStart + produced >= s.seekTarget) {
                    position_ = std::max(frameStart, s.seekTarget);
                    s.seekTarget = -1;
                }
            }
            if (s.PendingFrames() > 0 && s.seekTarget < 0) {
                return true;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            s.decoderEnded = true;
            if (s.resampler != nullptr && s.seekTarget < 0) {
                s.Convert(nullptr);
            }
            s.flushed = true;
            return s.PendingFrames() > 0;
        }
        if (received != AVERROR(EAGAIN)) {
            // A broken frame: skip it, but give up on a stream made of nothing else.
            if (++errors > kMaxConsecutiveErrors) {
                s.flushed = true;
                return false;
            }
        }
        if (s.readEnded) {
            if (avcodec_send_packet(s.codec, nullptr) < 0) {
                s.decoderEnded = true;
            }
            continue;
        }
        const int read = av_read_frame(s.format, s.packet);
        if (read < 0) {
            s.readEnded = true;
            s.readFailed = s.format->pb != nullptr && s.format->pb->error < 0;
            continue;
        }
        s.inputPosition = s.packet->pos >= 0 ? s.packet->pos + s.packet->size : s.InputTell();
        if (s.packet->stream_index == s.streamIndex) {
            const int sent = avcodec_send_packet(s.codec, s.packet);
            if (sent < 0 && sent != AVERROR(EAGAIN) && ++errors > kMaxConsecutiveErrors) {
                av_packet_unref(s.packet);
                s.flushed = true;
                return false;
            }
        }
        av_packet_unref(s.packet);
    }
    return false;
}

int64_t FfmpegDecoder::Read(float *interleaved, int64_t frames) {
    State &s = *state_;
    int64_t done = 0;
    while (done < frames) {
        if (s.PendingFrames() == 0) {
            s.pending.clear();
            s.pendingOffset = 0;
            if (!DecodeMore()) {
                // At the real end the exact length is known (container lengths are estimates,
                // MP3 ones include the encoder's padding); input that failed says nothing of it.
                if (s.decoderEnded && s.seekTarget < 0 && !s.readFailed) {
                    length_ = position_ + done;
                }
                break;
            }
        }
        const int64_t count = std::min(frames - done, s.PendingFrames());
        std::memcpy(interleaved + done * kOutputChannels, s.pending.data() + s.pendingOffset,
                    static_cast<size_t>(count) * kBytesPerFrame);
        s.pendingOffset += static_cast<size_t>(count) * kOutputChannels;
        done += count;
    }
    position_ += done;
    return done;
}

int64_t FfmpegDecoder::InputPosition() const {
    return state_->inputPosition;
}

int64_t FfmpegDecoder::InputByteRate() const {
    const State &s = *state_;
    int64_t bitRate = s.format->streams[s.streamIndex]->codecpar->bit_rate;
    if (bitRate <= 0) {
        bitRate = s.format->bit_rate;
    }
    return bitRate > 0 ? bitRate / 8 : 0;
}

int64_t FfmpegDecoder::InputOffsetOf(int64_t frame) const {
    // Between two entries the bytes are taken to spread evenly; past the last one the table
    // says nothing.
    const auto after = std::upper_bound(seekTable_.begin(), seekTable_.end(), frame,
                                        [](int64_t value, const auto &entry) { return value < entry.first; });
    if (after == seekTable_.begin() || after == seekTable_.end()) {
        return -1;
    }
    const auto &[fromFrame, fromOffset] = *(after - 1);
    const auto &[toFrame, toOffset] = *after;
    if (toFrame <= fromFrame) {
        return toOffset;
    }
    return fromOffset + (toOffset - fromOffset) * (frame - fromFrame) / (toFrame - fromFrame);
}

bool FfmpegDecoder::Seek(int64_t frame) {
    State &s = *state_;
    if (frame < 0 || (length_ >= 0 && frame > length_)) {
        return false;
    }
    const int64_t timestamp = av_rescale_q(frame, AVRational{1, kOutputRate}, s.timeBase) + s.startTime;
    // A read that failed or was cut short (to let this seek in) must not stick to the input.
    if (s.format->pb != nullptr) {
        s.format->pb->error = 0;
        s.format->pb->eof_reached = 0;
    }
    if (av_seek_frame(s.format, s.streamIndex, timestamp, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(s.format, s.streamIndex, timestamp, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
        return false;
    }
    avcodec_flush_buffers(s.codec);
    s.inputPosition = std::max<int64_t>(s.InputTell(), 0); // packets queued before were dropped
    swr_free(&s.resampler);                                  // drop what it still holds from before the seek
    s.pending.clear();
    s.pendingOffset = 0;
    s.readEnded = s.readFailed = s.decoderEnded = s.flushed = false;
    s.seekTarget = frame;
    position_ = frame;
    // Decode up to the target now, so Position() and the next Read agree with it.
    if (DecodeMore()) {
        if (s.seekTarget >= 0) {
            s.seekTarget = -1;
        }
    }
    s.seekTarget = -1;
    return true;
}

const FfmpegApi &LinkedFfmpegFunctions() {
    static const FfmpegApi api{
        [](std::unique_ptr<ByteReader> reader, const FormatSet &formats,
           bool progressive) -> std::unique_ptr<DecodedSource> {
            return FfmpegDecoder::Open(std::move(reader), formats, progressive);
        },
        [](const std::string &url, const FormatSet &formats, std::shared_ptr<InputInterrupt> interrupt,
           int openTimeoutMs, int readTimeoutMs) -> std::unique_ptr<DecodedSource> {
            return FfmpegDecoder::OpenLocation(url, formats, std::move(interrupt), openTimeoutMs, readTimeoutMs);
        },
        &BuiltInFormats,
        &HlsFormats,
    };
    return api;
}

} // namespace lirvo::audio
