#include "audio/lib/PlaybackChannel.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

namespace lirvo::audio {

namespace {

// The ring holds up to about 370 ms decoded ahead, four device blocks (OutputMixer), so a feeder
// that is late now and then never lets the device run dry; behind that it keeps as much again of
// what was already mixed, so a pause can take back what the device held but nobody heard yet.
constexpr size_t kFillFrames = 16384;
constexpr size_t kKeptFrames = 16384;
constexpr size_t kRingFrames = kFillFrames + kKeptFrames; // a power of two
static_assert((kRingFrames & (kRingFrames - 1)) == 0);
constexpr size_t kRingMask = kRingFrames - 1;
// The feeder sleeps until this much of the ring is free and then fills it up in one go, so it
// wakes a few times a second rather than after every device block.
constexpr size_t kRefillFrames = kFillFrames / 2;
constexpr size_t kHistoryFloats = PlaybackChannel::kHistoryBytes / sizeof(float);
constexpr int64_t kChunkFrames = 2048;
// A network stream decodes only while about half a second of undecoded data is waiting (within
// these bounds), so the feeder rarely blocks inside the decoder, where a seek would wait for it.
constexpr int64_t kMinDownloadMargin = 8 * 1024;
constexpr int64_t kMaxDownloadMargin = 64 * 1024;
constexpr int64_t kUnknownRateMargin = 16 * 1024;
// The network buffer that the pre-buffer percentage refers to, in seconds of the stream.
constexpr double kNetBufferSeconds = 5.0;

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

PlaybackChannel::PlaybackChannel(Handle handle, std::unique_ptr<DecodedSource> source, ChannelOrigin origin)
    : handle_(handle), source_(std::move(source)), origin_(std::move(origin)),
      ring_(kRingFrames * kOutputChannels), history_(new std::atomic<float>[kHistoryFloats]) {
    for (size_t i = 0; i < kHistoryFloats; ++i) {
        history_[i].store(0.0f, std::memory_order_relaxed);
    }
    SetPlayed(source_->Position(), 0);
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
    std::lock_guard lock(feedMutex_);
    if (!feederStarted_ && !quit_) {
        feederStarted_ = true;
        feeder_ = std::thread([this] { FeedLoop(); });
    }
}

bool PlaybackChannel::PrefillAndWait(std::chrono::milliseconds limit) {
    StartFeeder();
    std::unique_lock lock(feedMutex_);
    return filled_.wait_for(lock, limit, [&] {
        return quit_ || sourceEnded_.load() || RingFree() < static_cast<size_t>(kChunkFrames);
    });
}

bool PlaybackChannel::Play(bool restart) {
    // An ended channel starts over; if its start can no longer be reached (a live stream
    // whose first bytes were let go), it stays ended rather than "playing" silence.
    if ((restart || endReported_.load()) && !Seek(0)) {
        return false;
    }
    {
        std::lock_guard lock(feedMutex_);
        if (mode_.load() != Mode::Playing && pendingSeek_ < 0) {
            // Resumed: the position stands where it was until the new sound is heard, rather
            // than going back by what the device still held at the pause.
            SetPlayed(played_.load(std::memory_order_relaxed), 0);
        }
    }
    StartFeeder();
    mode_ = Mode::Playing;
    WakeFeeder();
    return true;
}

void PlaybackChannel::WakeFeeder() {
    wake_.fetch_add(1, std::memory_order_release);
    wake_.notify_one();
    feedWanted_.notify_all();
}

size_t PlaybackChannel::RingFree() const {
    const uint64_t used = ringWritten_.load(std::memory_order_relaxed) - ringRead_.load(std::memory_order_acquire);
    // The slots of the kept frames behind the reader are not free: a pause may read them again.
    // (After a pause took frames back, more than kFillFrames may wait.)
    return used >= kFillFrames ? 0 : kFillFrames - static_cast<size_t>(used);
}

void PlaybackChannel::DiscardBuffered(int64_t newPosition) {
    // Dekker-style hand-shake with MixInto: either the callback sees `discarding_` and adds
    // nothing, or this side sees it inside and waits for it to leave (one block at most).
    discarding_.store(true);
    WaitOutMix();
    ringRead_.store(ringWritten_.load());
    sourceEnded_.store(false);
    endReported_.store(false);
    SetPlayed(newPosition, 0);
    discarding_.store(false);
}

void PlaybackChannel::WaitOutMix() const {
    while (inMix_.load()) {
        std::this_thread::yield();
    }
}

void PlaybackChannel::SetPlayed(int64_t played, int64_t block, int64_t latency) {
    // A seqlock: odd while writing. Writers do not overlap: the callback writes only while it
    // takes from the ring, a seek only while the ring is empty and the callback kept out, and a
    // pause or a resume only while the channel is not playing (so not mixed) and no seek is
    // pending.
    playedSeq_.fetch_add(1, std::memory_order_acq_rel);
    played_.store(played, std::memory_order_relaxed);
    blockFrames_.store(block, std::memory_order_relaxed);
    blockMixedNs_.store(block > 0 ? SteadyNanoseconds() : 0, std::memory_order_relaxed);
    latencyFrames_.store(std::max(latency, block), std::memory_order_relaxed);
    if (block == 0) {
        startFrames_.store(played, std::memory_order_relaxed);
    }
    playedSeq_.fetch_add(1, std::memory_order_release);
}

int64_t PlaybackChannel::Reckon(bool asHeard) const {
    int64_t played = 0, block = 0, mixedNs = 0, latency = 0, start = 0;
    for (;;) {
        // Acquire loads keep the second look at the counter after the values it guards (a
        // fence would do the same, but ThreadSanitizer does not support fences).
        const uint32_t before = playedSeq_.load(std::memory_order_acquire);
        played = played_.load(std::memory_order_acquire);
        block = blockFrames_.load(std::memory_order_acquire);
        mixedNs = blockMixedNs_.load(std::memory_order_acquire);
        latency = latencyFrames_.load(std::memory_order_acquire);
        start = startFrames_.load(std::memory_order_acquire);
        if ((before & 1u) == 0 && playedSeq_.load(std::memory_order_relaxed) == before) {
            break;
        }
        std::this_thread::yield();
    }
    // Paused or stopped, the position stands where the audio sent to the device ends.
    if (block <= 0 || (!asHeard && mode_.load() != Mode::Playing)) {
        return played;
    }
    // Playing, it is what is heard now: `latency` frames behind the end of the last block at
    // the moment it was mixed, moving on with the clock until the next block.
    const int64_t since = std::max<int64_t>(SteadyNanoseconds() - mixedNs, 0);
    const int64_t moved = since / 1000 * kOutputRate / 1000000;
    return std::max(start, played - latency + std::min(moved, block));
}

int64_t PlaybackChannel::PositionFrames() const {
    return Reckon(false);
}

bool PlaybackChannel::Pause(bool takeBackUnheard) {
    std::lock_guard lock(feedMutex_); // no seek moves the ring meanwhile
    Mode expected = Mode::Playing;
    if (!mode_.compare_exchange_strong(expected, Mode::Paused)) {
        return false;
    }
    WaitOutMix(); // a callback already inside MixInto finishes its block; later ones see the pause
    if (!takeBackUnheard || pendingSeek_ >= 0) {
        return true;
    }
    // The device drops what it holds: the reader goes back to what was heard, and the resume
    // plays on from there. Never further back than where this stretch began (a seek's target:
    // the frames before it in the ring belong to the old place).
    const int64_t played = played_.load(std::memory_order_relaxed);
    const int64_t heard = Reckon(true);
    const int64_t back = std::clamp<int64_t>(played - heard, 0, static_cast<int64_t>(kKeptFrames));
    ringRead_.store(ringRead_.load(std::memory_order_relaxed) - static_cast<uint64_t>(back),
                    std::memory_order_release);
    SetPlayed(played - back, 0);
    return true;
}

void PlaybackChannel::Stop() {
    mode_ = Mode::Stopped;
}

bool PlaybackChannel::Reachable(int64_t frame) const {
    NetworkDownload *download = origin_.download.get();
    if (download == nullptr || download->Finished()) {
        return true;
    }
    // The target's place in the file, by the file's seek table where it has one, else taking
    // the bytes to spread evenly over the length: a target whose place has not arrived (with
    // some room to decode from) is refused rather than waited for.
    const int64_t total = download->TotalSize();
    const int64_t length = source_->LengthFrames();
    const int64_t offset = source_->InputOffsetOf(frame);
    if (offset < 0 && (total <= 0 || length <= 0)) {
        // Only where it is now: anywhere in the block being heard.
        return std::llabs(frame - PositionFrames()) <= std::max<int64_t>(blockFrames_.load(), 0);
    }
    const double estimate =
        offset >= 0 ? static_cast<double>(offset)
                    : static_cast<double>(frame) / static_cast<double>(length) * static_cast<double>(total);
    return estimate + static_cast<double>(downloadMargin_) <= static_cast<double>(download->Received());
}

bool PlaybackChannel::Seek(int64_t frame) {
    const int64_t length = source_->LengthFrames();
    if (frame < 0 || (length >= 0 && frame > length) || !Reachable(frame)) {
        return false;
    }
    {
        std::lock_guard lock(feedMutex_);
        if (quit_) {
            return false;
        }
        pendingSeek_ = frame;
        ++generation_;
        DiscardBuffered(frame);
        // Playing, what the device still holds of the old place is dropped when the new one
        // is first mixed (a paused channel's was dropped at the pause).
        jumped_.store(mode_.load() == Mode::Playing);
        jumpAnnounced_ = !jumped_.load();
        // A decoder waiting for bytes that have not come lets go, so the seek runs next.
        if (origin_.downloadReader != nullptr) {
            origin_.downloadReader->Interrupt();
        }
    }
    WakeFeeder();
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
        effects_.Reset(); // before the first frame mixed from the new place
    }
    lock.lock();
    // Nothing was written to the ring since the discard, so the callback has added nothing.
    if (generation == generation_) {
        SetPlayed(position, 0);
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
    std::unique_lock lock(feedMutex_);
    bool filling = true; // a fresh channel fills its ring at once
    while (true) {
        // Sleeps until the callback made room, a seek or Play happened, or the channel quits.
        // No timer: an idle channel costs nothing. Once the ring is full it waits for half of
        // it to be free again before decoding more.
        auto roomToFill = [&] {
            const size_t free = RingFree();
            if (free < static_cast<size_t>(kChunkFrames)) {
                filling = false;
            } else if (free >= kRefillFrames || ringWritten_.load(std::memory_order_relaxed) ==
                                                    ringRead_.load(std::memory_order_acquire)) {
                filling = true;
            }
            return filling;
        };
        while (!quit_ && pendingSeek_ < 0 && (sourceEnded_.load() || !roomToFill())) {
            const uint32_t seen = wake_.load(std::memory_order_acquire);
            if (quit_ || pendingSeek_ >= 0 || (!sourceEnded_.load() && roomToFill())) {
                break;
            }
            lock.unlock();
            wake_.wait(seen, std::memory_order_acquire);
            lock.lock();
        }
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
        }
        lock.lock();
        if (generation != generation_) {
            continue; // a seek happened meanwhile; this block belongs to the old position
        }
        if (got <= 0) {
            sourceEnded_.store(true, std::memory_order_release);
            RingFilled(lock);
            continue;
        }
        // Only this thread writes, and a seek (which moves the reader) holds feedMutex_, so the
        // room checked above is still there.
        const uint64_t written = ringWritten_.load(std::memory_order_relaxed);
        for (int64_t i = 0; i < got; ++i) {
            const size_t at = static_cast<size_t>(written + static_cast<uint64_t>(i)) & kRingMask;
            ring_[2 * at] = block[2 * i];
            ring_[2 * at + 1] = block[2 * i + 1];
        }
        ringWritten_.store(written + static_cast<uint64_t>(got), std::memory_order_release);
        if (RingFree() < static_cast<size_t>(kChunkFrames)) {
            RingFilled(lock);
        }
    }
}

void PlaybackChannel::RingFilled(std::unique_lock<std::mutex> &lock) {
    filled_.notify_all();
    // Only now, so the output's first blocks at the new place are whole. (A stream that cannot
    // fill the ring yet is heard at the output's next refill instead.)
    if (jumpAnnounced_ || !jumped_.load() || !jumpReady_) {
        return;
    }
    jumpAnnounced_ = true;
    lock.unlock(); // the output takes its own locks and mixes this channel
    jumpReady_();
    lock.lock();
}

int64_t PlaybackChannel::MixInto(float *out, int64_t frames, MixReport &report, int64_t latencyFrames) {
    report = MixReport{};
    inMix_.store(true);
    if (discarding_.load()) {
        inMix_.store(false);
        return 0; // a seek is emptying the ring: silence for this block rather than a wait
    }
    if (mode_.load() != Mode::Playing) {
        inMix_.store(false);
        return 0; // paused or stopped since the mixer looked
    }
    const float volume = volume_.load();
    // Read the end flag before the writer's count: once it is set, every frame is visible.
    const bool sourceEnded = sourceEnded_.load(std::memory_order_acquire);
    const uint64_t read = ringRead_.load(std::memory_order_relaxed);
    const uint64_t available = ringWritten_.load(std::memory_order_acquire) - read;
    if (jumped_.load() && available < static_cast<uint64_t>(frames) && !sourceEnded) {
        // The new place replaces what the device holds with a whole block, not a few frames
        // padded with silence; until the feeder has one, the old place goes on playing.
        inMix_.store(false);
        return 0;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(available, static_cast<uint64_t>(frames)));
    // The effects run here, in place, on frames mixed for the first time, so that a change is
    // heard after the device's buffer rather than after the ring as well. Frames a pause took
    // back were equalized when first mixed and are mixed again as they are.
    const uint64_t end = read + take;
    for (uint64_t from = std::max(equalizedUpTo_, read); from < end;) {
        const size_t at = static_cast<size_t>(from) & kRingMask;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(end - from, kRingFrames - at));
        effects_.Process(ring_.data() + kOutputChannels * at, static_cast<int64_t>(n));
        from += n;
    }
    equalizedUpTo_ = std::max(equalizedUpTo_, end);
    // Only the newest samples of this block go to the history.
    const size_t firstToHistory = take * kOutputChannels > kHistoryFloats ? take - kHistoryFloats / 2 : 0;
    uint64_t historyAt = historyWritten_.load(std::memory_order_relaxed);
    for (size_t i = 0; i < take; ++i) {
        const size_t at = static_cast<size_t>(read + i) & kRingMask;
        const float left = ring_[2 * at] * volume;
        const float right = ring_[2 * at + 1] * volume;
        out[2 * i] += left;
        out[2 * i + 1] += right;
        if (i >= firstToHistory) {
            history_[historyAt % kHistoryFloats].store(left, std::memory_order_relaxed);
            history_[(historyAt + 1) % kHistoryFloats].store(right, std::memory_order_relaxed);
            historyAt += 2;
        }
    }
    historyWritten_.store(historyAt, std::memory_order_release);
    ringRead_.store(read + take, std::memory_order_release);
    if (take > 0) {
        // The first block after a seek replaces what the device held, so it is heard next.
        report.jumped = jumped_.exchange(false);
        // A seek writes the position only while the ring is empty, when nothing is taken here.
        SetPlayed(played_.load(std::memory_order_relaxed) + static_cast<int64_t>(take), static_cast<int64_t>(take),
                  report.jumped ? static_cast<int64_t>(take) : latencyFrames);
    }
    if (sourceEnded && take == available && !endReported_.exchange(true)) {
        mode_ = Mode::Stopped;
        report.ended = true;
    }
    inMix_.store(false);
    const size_t freeBefore = available >= kFillFrames ? 0 : kFillFrames - static_cast<size_t>(available);
    if (take > 0 && freeBefore < kRefillFrames && freeBefore + take >= kRefillFrames) {
        // Half the ring is free: a lock-free wake of the feeder (a futex wake, never a wait).
        wake_.fetch_add(1, std::memory_order_release);
        wake_.notify_one();
    }
    return static_cast<int64_t>(take);
}

uint32_t PlaybackChannel::RecentSamples(void *buffer, uint32_t bytes) const {
    const uint64_t written = historyWritten_.load(std::memory_order_acquire);
    const size_t count = std::min<size_t>(bytes / sizeof(float), kHistoryFloats) & ~size_t{1};
    auto *out = static_cast<float *>(buffer);
    // Oldest first; places never written yet read as silence.
    for (size_t i = 0; i < count; ++i) {
        const uint64_t index = written + i;
        out[i] = index < count ? 0.0f : history_[(index - count) % kHistoryFloats].load(std::memory_order_relaxed);
    }
    return static_cast<uint32_t>(count * sizeof(float));
}

void PlaybackChannel::AddSync(const SyncEntry &sync) {
    std::lock_guard lock(syncMutex_);
    syncs_.push_back(sync);
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

std::string PlaybackChannel::StreamName() {
    const TrackTags &tags = Tags();
    if (!tags.title.empty()) {
        return tags.artist.empty() ? tags.title : tags.artist + " - " + tags.title;
    }
    if (!origin_.path.empty()) {
        return std::filesystem::path(origin_.path).stem().string();
    }
    return "Lirvo";
}

void PlaybackChannel::Shutdown() {
    {
        std::lock_guard lock(feedMutex_);
        quit_ = true;
        mode_ = Mode::Stopped;
    }
    WakeFeeder();
    if (origin_.download != nullptr) {
        origin_.download->Cancel(); // also wakes a decoder waiting for bytes
    }
    if (origin_.inputInterrupt != nullptr) {
        origin_.inputInterrupt->abort = true; // FFmpeg's own reads give up at once
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
