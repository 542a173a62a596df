#include "audio/lib/LightDecoder.h"

#include <mpg123.h>
#include <sndfile.h>
#include <soxr.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lirvo::audio {

namespace {

constexpr int64_t kBlockFrames = 4096;
constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 384000;
// Calls of the converter that neither take input nor give output before it counts as ended.
constexpr int kMaxIdleConversions = 4;

enum class Container { Other, WavOrAiff, Ogg, Mp3 };

// The first bytes of the containers taken here. Nothing else reaches libsndfile, libvorbisfile
// or libmpg123, so that a FLAC or an AAC file is not scanned by them before FFmpeg or an add-on
// opens it. An MP3 file starts with its ID3v2 tag or with the sync word of a Layer III frame.
Container ContainerOf(ByteReader &reader) {
    uint8_t head[12] = {};
    if (!reader.Seek(0) || reader.Read(head, sizeof head) != static_cast<int64_t>(sizeof head) ||
        !reader.Seek(0)) {
        return Container::Other;
    }
    const auto is = [&](size_t at, const char *text) { return std::memcmp(head + at, text, 4) == 0; };
    if (((is(0, "RIFF") || is(0, "RF64")) && is(8, "WAVE")) ||
        (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC")))) {
        return Container::WavOrAiff;
    }
    if (is(0, "OggS")) {
        return Container::Ogg;
    }
    const bool id3 = std::memcmp(head, "ID3", 3) == 0;
    const bool layer3 = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && ((head[1] >> 1) & 3) == 1;
    return id3 || layer3 ? Container::Mp3 : Container::Other;
}

// The offset a stdio-style seek asks for, moved to; -1 when it cannot be reached.
int64_t SeekReader(ByteReader &reader, int64_t offset, int whence) {
    int64_t target = offset;
    if (whence == SEEK_CUR) {
        target = reader.Tell() + offset;
    } else if (whence == SEEK_END) {
        target = reader.Size() + offset;
    } else if (whence != SEEK_SET) {
        return -1;
    }
    return target >= 0 && reader.Seek(target) ? target : -1;
}

bool IsTakenLayout(int rate, int channels) {
    return (channels == 1 || channels == 2) && rate >= kLowestRate && rate <= kHighestRate;
}

// ---- WAV and AIFF through libsndfile

bool IsPcmSubtype(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
        return true;
    default:
        return false;
    }
}

class SndfileBlocks final : public BlockSource {
public:
    static std::unique_ptr<SndfileBlocks> Open(ByteReader &reader) {
        std::unique_ptr<SndfileBlocks> blocks(new SndfileBlocks());
        blocks->file_ = sf_open_virtual(&blocks->io_, SFM_READ, &blocks->info_, &reader);
        const SF_INFO &info = blocks->info_;
        const int container = info.format & SF_FORMAT_TYPEMASK;
        const bool taken = blocks->file_ != nullptr &&
                           (container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX ||
                            container == SF_FORMAT_RF64 || container == SF_FORMAT_AIFF) &&
                           IsPcmSubtype(info.format & SF_FORMAT_SUBMASK) &&
                           IsTakenLayout(info.samplerate, info.channels) && info.frames >= 0;
        return taken ? std::move(blocks) : nullptr;
    }
    ~SndfileBlocks() override {
        if (file_ != nullptr) {
            sf_close(file_);
        }
    }
    int64_t ReadBlock(float *interleaved, int64_t frames) override {
        const sf_count_t got = sf_readf_float(file_, interleaved, frames);
        return got > 0 ? got : 0;
    }
    bool SeekTo(int64_t frame) override { return sf_seek(file_, frame, SEEK_SET) >= 0; }
    int Rate() const override { return info_.samplerate; }
    int Channels() const override { return info_.channels; }
    int64_t Frames() const override { return info_.frames; }

private:
    SndfileBlocks() = default;

    static sf_count_t Length(void *context) { return static_cast<ByteReader *>(context)->Size(); }
    static sf_count_t SeekIn(sf_count_t offset, int whence, void *context) {
        return SeekReader(*static_cast<ByteReader *>(context), offset, whence);
    }
    static sf_count_t ReadIn(void *buffer, sf_count_t count, void *context) {
        const int64_t got = static_cast<ByteReader *>(context)->Read(static_cast<uint8_t *>(buffer), count);
        return got > 0 ? got : 0;
    }
    static sf_count_t NoWrite(const void *, sf_count_t, void *) { return 0; }
    static sf_count_t Tell(void *context) { return static_cast<ByteReader *>(context)->Tell(); }

    SF_VIRTUAL_IO io_{&Length, &SeekIn, &ReadIn, &NoWrite, &Tell};
    SF_INFO info_{};
    SNDFILE *file_ = nullptr;
};

// ---- Ogg Vorbis through libvorbisfile (which, unlike libsndfile, frees all it took when a
// damaged file fails to open)

class VorbisBlocks final : public BlockSource {
public:
    static std::unique_ptr<VorbisBlocks> Open(ByteReader &reader) {
        std::unique_ptr<VorbisBlocks> blocks(new VorbisBlocks());
        const ov_callbacks callbacks{&ReadIn, &SeekIn, nullptr, &Tell};
        if (ov_open_callbacks(&reader, &blocks->file_, nullptr, 0, callbacks) != 0) {
            return nullptr; // it has cleared what it made
        }
        blocks->open_ = true;
        const vorbis_info *info = ov_info(&blocks->file_, -1);
        // A chain of streams may change its rate or layout midway: FFmpeg's path takes those.
        if (info == nullptr || ov_streams(&blocks->file_) != 1 || !ov_seekable(&blocks->file_) ||
            !IsTakenLayout(static_cast<int>(info->rate), info->channels)) {
            return nullptr;
        }
        blocks->rate_ = static_cast<int>(info->rate);
        blocks->channels_ = info->channels;
        blocks->frames_ = ov_pcm_total(&blocks->file_, -1);
        return blocks->frames_ >= 0 ? std::move(blocks) : nullptr;
    }
    ~VorbisBlocks() override {
        if (open_) {
            ov_clear(&file_);
        }
    }
    int64_t ReadBlock(float *interleaved, int64_t frames) override {
        for (int holes = 0; holes < 64; ++holes) {
            float **planes = nullptr;
            int stream = 0;
            const long got =
                ov_read_float(&file_, &planes, static_cast<int>(std::min<int64_t>(frames, 1 << 16)), &stream);
            if (got == OV_HOLE) {
                continue; // a gap in the data: decoding goes on after it
            }
            if (got <= 0) {
                return 0;
            }
            for (long i = 0; i < got; ++i) {
                for (int c = 0; c < channels_; ++c) {
                    interleaved[i * channels_ + c] = planes[c][i];
                }
            }
            return got;
        }
        return 0;
    }
    bool SeekTo(int64_t frame) override { return ov_pcm_seek(&file_, frame) == 0; }
    int Rate() const override { return rate_; }
    int Channels() const override { return channels_; }
    int64_t Frames() const override { return frames_; }

private:
    VorbisBlocks() = default;

    static size_t ReadIn(void *buffer, size_t size, size_t count, void *context) {
        if (size == 0) {
            return 0;
        }
        const int64_t got = static_cast<ByteReader *>(context)->Read(static_cast<uint8_t *>(buffer),
                                                                     static_cast<int64_t>(size * count));
        return got > 0 ? static_cast<size_t>(got) / size : 0;
    }
    static int SeekIn(void *context, ogg_int64_t offset, int whence) {
        return SeekReader(*static_cast<ByteReader *>(context), offset, whence) >= 0 ? 0 : -1;
    }
    static long Tell(void *context) { return static_cast<long>(static_cast<ByteReader *>(context)->Tell()); }

    OggVorbis_File file_{};
    bool open_ = false;
    int rate_ = 0;
    int channels_ = 0;
    int64_t frames_ = -1;
};

// ---- MP3 through libmpg123: gapless (the encoder's delay and padding cut off), and seeks
// through the file's table of contents (Xing/Info) where it has one instead of reading every
// frame up to the target

class Mpg123Blocks final : public BlockSource {
public:
    static std::unique_ptr<Mpg123Blocks> Open(ByteReader &reader) {
        std::unique_ptr<Mpg123Blocks> blocks(new Mpg123Blocks());
        int error = MPG123_OK;
        blocks->handle_ = mpg123_new(nullptr, &error);
        mpg123_handle *handle = blocks->handle_;
        if (handle == nullptr) {
            return nullptr;
        }
        const long *rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        mpg123_format_none(handle);
        for (size_t i = 0; i < rateCount; ++i) {
            mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
        }
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_FUZZY, 0.0);
        if (mpg123_replace_reader_handle(handle, &ReadIn, &SeekIn, nullptr) != MPG123_OK ||
            mpg123_open_handle(handle, &reader) != MPG123_OK) {
            return nullptr;
        }
        blocks->open_ = true;
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || encoding != MPG123_ENC_FLOAT_32 ||
            !IsTakenLayout(static_cast<int>(rate), channels)) {
            return nullptr;
        }
        blocks->rate_ = static_cast<int>(rate);
        blocks->channels_ = channels;
        // From the Xing/Info frame count where there is one, else reckoned from the file's size.
        blocks->frames_ = mpg123_length(handle);
        return blocks->frames_ >= 0 ? std::move(blocks) : nullptr;
    }
    ~Mpg123Blocks() override {
        if (open_) {
            mpg123_close(handle_);
        }
        mpg123_delete(handle_);
    }
    int64_t ReadBlock(float *interleaved, int64_t frames) override {
        const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
        for (;;) {
            size_t done = 0;
            const int result =
                mpg123_read(handle_, reinterpret_cast<unsigned char *>(interleaved),
                            static_cast<size_t>(frames) * frameBytes, &done);
            if (done > 0) {
                return static_cast<int64_t>(done / frameBytes);
            }
            if (result != MPG123_NEW_FORMAT) {
                return 0; // the end, or damage that ends the file
            }
            // A stream whose rate or layout changes midway ends at the change.
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate != rate_ ||
                channels != channels_ || encoding != MPG123_ENC_FLOAT_32) {
                return 0;
            }
        }
    }
    bool SeekTo(int64_t frame) override { return mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) >= 0; }
    int Rate() const override { return rate_; }
    int Channels() const override { return channels_; }
    int64_t Frames() const override { return frames_; }

private:
    Mpg123Blocks() = default;

    static mpg123_ssize_t ReadIn(void *context, void *buffer, size_t size) {
        const int64_t got =
            static_cast<ByteReader *>(context)->Read(static_cast<uint8_t *>(buffer), static_cast<int64_t>(size));
        return got >= 0 ? static_cast<mpg123_ssize_t>(got) : -1;
    }
    static off_t SeekIn(void *context, off_t offset, int whence) {
        return static_cast<off_t>(SeekReader(*static_cast<ByteReader *>(context), offset, whence));
    }

    mpg123_handle *handle_ = nullptr;
    bool open_ = false;
    int rate_ = 0;
    int channels_ = 0;
    int64_t frames_ = -1;
};

} // namespace

std::unique_ptr<LightDecoder> LightDecoder::Open(std::unique_ptr<ByteReader> reader) {
    if (reader == nullptr || reader->Size() <= 0) {
        return nullptr;
    }
    std::unique_ptr<BlockSource> source;
    switch (ContainerOf(*reader)) {
    case Container::WavOrAiff:
        source = SndfileBlocks::Open(*reader);
        break;
    case Container::Ogg:
        source = VorbisBlocks::Open(*reader);
        break;
    case Container::Mp3:
        source = Mpg123Blocks::Open(*reader);
        break;
    case Container::Other:
        break;
    }
    if (source == nullptr) {
        return nullptr;
    }
    soxr *converter = nullptr;
    if (source->Rate() != kOutputRate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1); // on the decoding thread alone
        soxr_error_t error = nullptr;
        converter = soxr_create(source->Rate(), kOutputRate, static_cast<unsigned>(source->Channels()),
                                &error, &io, &quality, &runtime);
        if (converter == nullptr || error != nullptr) {
            soxr_delete(converter);
            return nullptr;
        }
    }
    return std::unique_ptr<LightDecoder>(new LightDecoder(std::move(reader), std::move(source), converter));
}

LightDecoder::LightDecoder(std::unique_ptr<ByteReader> reader, std::unique_ptr<BlockSource> source,
                           soxr *converter)
    : reader_(std::move(reader)), source_(std::move(source)), converter_(converter) {
    length_ = static_cast<int64_t>(std::llround(static_cast<double>(source_->Frames()) * kOutputRate /
                                                static_cast<double>(source_->Rate())));
}

LightDecoder::~LightDecoder() {
    soxr_delete(converter_);
}

bool LightDecoder::DecodeBlock() {
    inputFrames_ = 0;
    inputUsed_ = 0;
    if (sourceEnded_) {
        return false;
    }
    const size_t channels = static_cast<size_t>(source_->Channels());
    block_.resize(static_cast<size_t>(kBlockFrames) * channels);
    const int64_t got = source_->ReadBlock(block_.data(), kBlockFrames);
    if (got <= 0) {
        sourceEnded_ = true;
        return false;
    }
    // A float file may hold anything; what is not a number would poison the filters after.
    for (size_t i = 0; i < static_cast<size_t>(got) * channels; ++i) {
        if (!std::isfinite(block_[i])) {
            block_[i] = 0.0f;
        }
    }
    inputFrames_ = static_cast<size_t>(got);
    return true;
}

namespace {

// Frames of the source's layout as output frames: mono goes to both sides.
void ToStereo(const float *from, int channels, size_t frames, float *to) {
    if (channels == kOutputChannels) {
        std::memcpy(to, from, frames * kOutputChannels * sizeof(float));
        return;
    }
    for (size_t i = 0; i < frames; ++i) {
        to[2 * i] = from[i];
        to[2 * i + 1] = from[i];
    }
}

} // namespace

int64_t LightDecoder::Read(float *interleaved, int64_t frames) {
    if (interleaved == nullptr || frames <= 0) {
        return 0;
    }
    frames = std::min(frames, std::max<int64_t>(length_ - position_, 0));
    const int channels = source_->Channels();
    int64_t done = 0;
    int idle = 0;
    while (done < frames && !drained_) {
        if (inputUsed_ == inputFrames_ && !sourceEnded_) {
            DecodeBlock();
        }
        const size_t waiting = inputFrames_ - inputUsed_;
        const float *in = block_.data() + inputUsed_ * static_cast<size_t>(channels);
        float *out = interleaved + done * kOutputChannels;
        const size_t room = static_cast<size_t>(frames - done);
        if (converter_ == nullptr) {
            if (waiting == 0) {
                drained_ = true;
                break;
            }
            const size_t take = std::min(waiting, room);
            ToStereo(in, channels, take, out);
            inputUsed_ += take;
            done += static_cast<int64_t>(take);
            continue;
        }
        // The converter works in the source's layout (half the work for mono). At the source's
        // end it is flushed (no input) until it gives nothing more.
        const bool flushing = waiting == 0;
        converted_.resize(room * static_cast<size_t>(channels));
        size_t taken = 0;
        size_t given = 0;
        const soxr_error_t error = soxr_process(converter_, flushing ? nullptr : in, waiting, &taken,
                                                converted_.data(), room, &given);
        ToStereo(converted_.data(), channels, given, out);
        inputUsed_ += taken;
        done += static_cast<int64_t>(given);
        if (error != nullptr || (flushing && given == 0)) {
            drained_ = true;
        } else if (taken == 0 && given == 0 && ++idle >= kMaxIdleConversions) {
            drained_ = true;
        }
    }
    position_ += done;
    return done;
}

bool LightDecoder::Seek(int64_t frame) {
    if (frame < 0 || frame > length_) {
        return false;
    }
    const auto sourceFrame = static_cast<int64_t>(
        std::llround(static_cast<double>(frame) * source_->Rate() / static_cast<double>(kOutputRate)));
    if (!source_->SeekTo(std::min(sourceFrame, source_->Frames()))) {
        return false;
    }
    if (converter_ != nullptr) {
        soxr_clear(converter_);
    }
    inputFrames_ = 0;
    inputUsed_ = 0;
    sourceEnded_ = false;
    drained_ = false;
    position_ = frame;
    return true;
}

} // namespace lirvo::audio
