#include "audio/lib/PlaybackChannel.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace lirvo::audio {

namespace {

constexpr size_t kRingFrames = 8192; // about 190 ms decoded ahead
constexpr int64_t kChunkFrames = 2048;
// A network stream decodes only while about half a second of undecoded data is waiting (within
// these bounds), so the feeder rarely blocks inside the decoder, where a seek would wait for it.
constexpr int64_t kMinDownloadMargin = 8 * 1024;
constexpr int64_t kMaxDownloadMargin = 64 * 1024;
constexpr int64_t kUnknownRateMargin = 16 * 1024;
// The network buffer that the pre-buffer percentage refers to, in seconds of the stream.
constexpr double kNetBufferSeconds = 5.0;

} // namespace

PlaybackChannel::PlaybackChannel(Handle handle, std::unique_ptr<DecodedSource> source, ChannelOrigin origin)
    : handle_(handle), source_(std::move(source)), origin_(std::move(origin)),
      ring_(kRingFrames * kOutputChannels), history_(kHistoryBytes / sizeof(float), 0.0f) {
    played_ = source_->Position();
    inputPosition_ = source_->InputPosition();
    if (origin_.download != nullptr) {
        const int64_t total = origin_.download->TotalSize();
        const int64_t length = source_->LengthFrames();
        // A whole file's size over its length; for a live stream the codec's nominal rate.
        double bytesPerSecond = total > 0 && length > 0
                                    ? static_cast<double>(total) / (static_cast<double>(length) / kOutputRate)
                                    : 0.0;
        if (bytesPerSecond <= 0) {
            bytesPerSecond = static_cast<double>(source_->InputByteRate());
        }
        downloadMargin_ = bytesPerSecond > 0 ? std::clamp(static_cast<int64_t>(bytesPerSecond / 2),
                                                          kMinDownloadMargin, kMaxDownloadMargin)
                                             : kUnknownRateMargin;
        const double buffer = bytesPerSecond > 0 ? bytesPerSecond * kNetBufferSeconds : kMaxDownloadMargin;
        prebufferBytes_ = static_cast<int64_t>(buffer * std::clamp(origin_.prebufferPercent, 0, 100) / 100.0);
    }
}

PlaybackChannel::~PlaybackChannel() {
    Shutdown();
}

void PlaybackChannel::StartFeeder() {
    std::lock_guard lock(ringMutex_);
    if (!feederStarted_ && !quit_) {
        feederStarted_ = true;
        feeder_ = std::thread([this] { FeedLoop(); });
    }
}

bool PlaybackChannel::Play(bool restart) {
    bool ended = false;
    {
        std::lock_guard lock(ringMutex_);
        ended = endReported_;
    }
    // An ended channel starts over; if its start can no longer be reached (a live stream
    // whose first bytes were let go), it stays ended rather than "playing" silence.
    if ((restart || ended) && !Seek(0)) {
        return false;
    }
    StartFeeder();
    mode_ = Mode::Playing;
    feedWanted_.notify_all();
    return true;
}

void PlaybackChannel::Pause() {
    Mode expected = Mode::Playing;
    mode_.compare_exchange_strong(expected, Mode::Paused);
}

void PlaybackChannel::Stop() {
    mode_ = Mode::Stopped;
}

bool PlaybackChannel::Reachable(int64_t frame) const {
    NetworkDownload *download = origin_.download.get();
    if (download == nullptr || download->Finished()) {
        return true;
    }
    // Bytes are taken to spread evenly over the length: a target whose estimated place has
    // not arrived (with some room to decode from) is refused rather than waited for.
    const int64_t total = download->TotalSize();
    const int64_t length = source_->LengthFrames();
    if (total <= 0 || length <= 0) {
        return frame == PositionFrames();
    }
    const double estimate =
        static_cast<double>(frame) / static_cast<double>(length) * static_cast<double>(total);
    return estimate + static_cast<double>(downloadMargin_) <= static_cast<double>(download->Received());
}

bool PlaybackChannel::Seek(int64_t frame) {
    const int64_t length = source_->LengthFrames();
    if (frame < 0 || (length >= 0 && frame > length) || !Reachable(frame)) {
        return false;
    }
    {
        std::lock_guard lock(ringMutex_);
        if (quit_) {
            return false;
        }
        pendingSeek_ = frame;
        ++generation_;
        ringRead_ = ringCount_ = 0;
        sourceEnded_ = endReported_ = false;
        played_ = frame;
        // A decoder waiting for bytes that have not come lets go, so the seek runs next.
        if (origin_.downloadReader != nullptr) {
            origin_.downloadReader->Interrupt();
        }
    }
    feedWanted_.notify_all();
    return true;
}

void PlaybackChannel::RunPendingSeek(std::unique_lock<std::mutex> &lock) {
    const int64_t target = std::exchange(pendingSeek_, -1);
    const uint64_t generation = generation_;
    if (origin_.downloadReader != nullptr) {
        origin_.downloadReader->ClearInterrupt();
    }
    lock.unlock();
    int64_t position = 0;
    {
        std::lock_guard decoding(decoderMutex_);
        // A source that cannot go there after all plays on from where its decoder is.
        source_->Seek(target);
        position = source_->Position();
        inputPosition_ = source_->InputPosition();
        effects_.Reset();
    }
    lock.lock();
    if (generation == generation_) {
        played_ = position;
    }
}

bool PlaybackChannel::WaitForDownloadMargin(std::unique_lock<std::mutex> &lock) {
    NetworkDownload *download = origin_.download.get();
    if (download == nullptr) {
        return true;
    }
    while (!quit_ && pendingSeek_ < 0) {
        // Measured from where the decoder really is: its reader runs ahead by a whole I/O
        // buffer and by what probing queued, and counting from there would hold back bytes
        // that arrived long ago (for a stalled download, forever).
        int64_t read = inputPosition_.load();
        if (read < 0) {
            read = origin_.downloadReader != nullptr ? origin_.downloadReader->Tell() : 0;
        }
        const int64_t received = download->Received();
        const int64_t waiting = received - read;
        // Never ask for more than the rest of the file: near its end there is no more to come.
        const int64_t total = download->TotalSize();
        const int64_t rest =
            total > 0 ? std::max<int64_t>(total - read, 0) : std::numeric_limits<int64_t>::max();
        const bool prefilled = prebuffered_ || waiting >= std::min(prebufferBytes_, rest);
        if (download->Finished() || (prefilled && waiting >= std::min(downloadMargin_, rest))) {
            prebuffered_ = true;
            return true;
        }
        feedWanted_.wait_for(lock, std::chrono::milliseconds(20));
    }
    return false;
}

void PlaybackChannel::FeedLoop() {
    std::vector<float> block(static_cast<size_t>(kChunkFrames) * kOutputChannels);
    std::unique_lock lock(ringMutex_);
    while (true) {
        feedWanted_.wait(lock, [this] {
            return quit_ || pendingSeek_ >= 0 ||
                   (!sourceEnded_ && kRingFrames - ringCount_ >= static_cast<size_t>(kChunkFrames));
        });
        if (quit_) {
            return;
        }
        if (pendingSeek_ >= 0) {
            RunPendingSeek(lock);
            continue;
        }
        if (!WaitForDownloadMargin(lock)) {
            if (quit_) {
                return;
            }
            continue; // a seek came in meanwhile
        }
        const uint64_t generation = generation_;
        lock.unlock();
        int64_t got = 0;
        {
            std::lock_guard decoding(decoderMutex_);
            got = source_->Read(block.data(), kChunkFrames);
            inputPosition_ = source_->InputPosition();
            if (got > 0) {
                effects_.Process(block.data(), got);
            }
        }
        lock.lock();
        if (generation != generation_) {
            continue; // a seek happened meanwhile; this block belongs to the old position
        }
        if (got <= 0) {
            sourceEnded_ = true;
            continue;
        }
        size_t write = (ringRead_ + ringCount_) % kRingFrames;
        for (int64_t i = 0; i < got; ++i) {
            ring_[2 * write] = block[2 * i];
            ring_[2 * write + 1] = block[2 * i + 1];
            write = (write + 1) % kRingFrames;
        }
        ringCount_ += static_cast<size_t>(got);
    }
}

void PlaybackChannel::MixInto(float *out, int64_t frames, bool &ended) {
    ended = false;
    const float volume = volume_.load();
    std::unique_lock lock(ringMutex_);
    const size_t take = std::min(ringCount_, static_cast<size_t>(frames));
    const size_t historyFrames = history_.size() / kOutputChannels;
    // Keep the newest frames of history: shift out what this block replaces.
    const size_t keep = historyFrames > take ? historyFrames - take : 0;
    if (take > 0) {
        std::memmove(history_.data(), history_.data() + (historyFrames - keep) * kOutputChannels,
                     keep * kOutputChannels * sizeof(float));
    }
    size_t historyAt = keep;
    const size_t firstToHistory = take > historyFrames ? take - historyFrames : 0;
    for (size_t i = 0; i < take; ++i) {
        const size_t at = (ringRead_ + i) % kRingFrames;
        const float left = ring_[2 * at] * volume;
        const float right = ring_[2 * at + 1] * volume;
        out[2 * i] += left;
        out[2 * i + 1] += right;
        if (i >= firstToHistory) {
            history_[2 * historyAt] = left;
            history_[2 * historyAt + 1] = right;
            ++historyAt;
        }
    }
    ringRead_ = (ringRead_ + take) % kRingFrames;
    ringCount_ -= take;
    played_ += static_cast<int64_t>(take);
    if (ringCount_ == 0 && sourceEnded_ && !endReported_) {
        endReported_ = true;
        mode_ = Mode::Stopped;
        ended = true;
    }
    lock.unlock();
    if (take > 0) {
        feedWanted_.notify_one();
    }
}

uint32_t PlaybackChannel::RecentSamples(void *buffer, uint32_t bytes) const {
    std::lock_guard lock(ringMutex_);
    const size_t count = std::min<size_t>(bytes / sizeof(float), history_.size());
    std::memcpy(buffer, history_.data() + (history_.size() - count), count * sizeof(float));
    return static_cast<uint32_t>(count * sizeof(float));
}

void PlaybackChannel::AddSync(const SyncEntry &sync) {
    std::lock_guard lock(syncMutex_);
    syncs_.push_back(sync);
}

bool PlaybackChannel::RemoveSync(Handle sync) {
    std::lock_guard lock(syncMutex_);
    const auto before = syncs_.size();
    std::erase_if(syncs_, [&](const SyncEntry &entry) { return entry.handle == sync; });
    return syncs_.size() != before;
}

std::vector<SyncEntry> PlaybackChannel::Syncs() const {
    std::lock_guard lock(syncMutex_);
    return syncs_;
}

int64_t PlaybackChannel::FilePosition(uint32_t mode) const {
    if (origin_.download != nullptr) {
        switch (mode) {
        case kFilePosCurrent:
            return origin_.counters != nullptr ? origin_.counters->position.load() : -1;
        case kFilePosDownload:
            return origin_.download->Received();
        case kFilePosEnd:
            return origin_.download->TotalSize();
        default:
            return -1;
        }
    }
    switch (mode) {
    case kFilePosCurrent:
        return origin_.counters != nullptr ? origin_.counters->position.load() : -1;
    case kFilePosDownload:
    case kFilePosEnd:
        return origin_.fileSize;
    default:
        return -1;
    }
}

const TrackTags &PlaybackChannel::Tags() {
    std::call_once(tagsOnce_, [this] {
        if (!origin_.path.empty()) {
            tags_ = ReadTrackTags(origin_.path);
        }
    });
    return tags_;
}

void PlaybackChannel::Shutdown() {
    {
        std::lock_guard lock(ringMutex_);
        quit_ = true;
        mode_ = Mode::Stopped;
    }
    feedWanted_.notify_all();
    if (origin_.download != nullptr) {
        origin_.download->Cancel(); // also wakes a decoder waiting for bytes
    }
    if (feeder_.joinable()) {
        if (feeder_.get_id() == std::this_thread::get_id()) {
            feeder_.detach();
        } else {
            feeder_.join();
        }
    }
}

} // namespace lirvo::audio
