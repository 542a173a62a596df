#pragma once
// One stream of the library: its decoder, effects, volume and transport state. A feeder thread
// decodes ahead into a short single-producer/single-consumer ring; the output device's callback
// takes from that ring without any lock, so neither decoding, a slow download nor a seek can make
// the callback wait. The equalizer runs as the callback mixes, so its changes are not held back
// behind what the ring has decoded ahead.

#include "audio/lib/AudioLibrary.h"
#include "audio/lib/ByteReader.h"
#include "audio/lib/DecodedSource.h"
#include "audio/lib/InputInterrupt.h"
#include "audio/lib/NetworkDownload.h"
#include "audio/lib/PeakingEqualizer.h"
#include "audio/lib/TagReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::audio {

struct ChannelOrigin {
    std::string path;                          // local file, empty for memory and network
    std::shared_ptr<FileCounters> counters;    // decoder's place in the file
    int64_t fileSize = -1;                     // -1 when unknown
    std::shared_ptr<NetworkDownload> download; // network streams only
    DownloadReader *downloadReader = nullptr;  // owned by the decoder
    std::shared_ptr<InputInterrupt> inputInterrupt; // streams FFmpeg fetches itself (HLS)
    int netTimeoutMs = 2000;
    int prebufferPercent = 0; // of a 5-second buffer, before playback starts
};

struct SyncEntry {
    Handle handle;
    uint32_t type;
    SyncProc proc;
    void *user;
};

class PlaybackChannel {
public:
    enum class Mode { Stopped, Playing, Paused };

    PlaybackChannel(Handle handle, std::unique_ptr<DecodedSource> source, ChannelOrigin origin);
    ~PlaybackChannel();
    PlaybackChannel(const PlaybackChannel &) = delete;
    PlaybackChannel &operator=(const PlaybackChannel &) = delete;

    Handle GetHandle() const { return handle_; }

    // Transport (any thread).
    // False when playing from the start was needed but the start cannot be reached.
    bool Play(bool restart);
    // False when the channel was not playing. With `takeBackUnheard` (an output that drops what
    // it holds once told, see OutputMixer::DropQueued), the position and the ring's reader go
    // back to what has been heard, so the resume plays on from there.
    bool Pause(bool takeBackUnheard = false);
    void Stop();
    Mode GetMode() const { return mode_.load(); }
    void SetVolume(float volume) { volume_ = volume; }
    float Volume() const { return volume_.load(); }

    // Time, in output frames.
    int64_t LengthFrames() const { return source_->LengthFrames(); }
    // The position as heard: the device plays the block the last callback mixed over that
    // block's own length, so between two callbacks the position moves on with the clock from
    // the block's first frame to its end (rather than standing at its end for a whole block).
    // Not playing, it stands at the end of what was sent.
    int64_t PositionFrames() const;
    // Asks the feeder thread to move the source to `frame` and returns at once, without waiting
    // for the decoder or the network; the position reads `frame` from now on. False when the
    // target cannot be reached: beyond the end, or for a network stream a part that has not
    // been downloaded yet (refused without reading).
    bool Seek(int64_t frame);

    EffectChain &Effects() { return effects_; }

    // Called on the feeder thread, once per seek made while playing, when the ring is full at
    // the new place or the source has ended there (the output then writes the new place at once;
    // see OutputMixer::WriteNow). Set before the channel plays.
    void SetJumpReady(std::function<void()> jumpReady) { jumpReady_ = std::move(jumpReady); }

    void AddSync(const SyncEntry &sync);
    std::vector<SyncEntry> Syncs() const;

    // Copies the most recent `bytes` bytes sent to the device, volume applied (whole floats);
    // returns the count.
    uint32_t RecentSamples(void *buffer, uint32_t bytes) const;

    // File positions (kFilePos* of the interface); -1 when unknown.
    int64_t FilePosition(uint32_t mode) const;

    // Tags of the local file, read once on first use.
    const TrackTags &Tags();
    // Name for the sound server's stream: "artist - title", the title, or the file's name.
    std::string StreamName();

    // Starts decoding ahead without playing, so a channel queued to follow another has its
    // first block ready when the output switches to it.
    void Prefill() { StartFeeder(); }
    // Prefill, then waits at most `limit` until the ring is full or the source has ended (true),
    // so the first block the device asks for is whole rather than padded with silence.
    bool PrefillAndWait(std::chrono::milliseconds limit);
    // Frames decoded and waiting for the device (more than the feeder fills up to right after
    // a pause took frames back).
    int64_t BufferedFrames() const {
        return static_cast<int64_t>(ringWritten_.load(std::memory_order_acquire) -
                                    ringRead_.load(std::memory_order_acquire));
    }
    // Called by the mixer inside the device callback when this channel takes over from one
    // that just ended.
    void StartFollowing() { mode_ = Mode::Playing; }

    struct MixReport {
        bool ended = false;  // the one time the channel ran out of data for good
        bool jumped = false; // the first sound after a seek made while playing: what the
                             // device still holds of the old place should be dropped
    };
    // Called by the output callback: adds up to `frames` frames into `out`, scaled by the
    // volume, and returns how many it added. Never blocks: while a seek resets the ring, once
    // the channel no longer plays, and after a seek while playing until a whole block is
    // decoded at the new place, it adds nothing.
    // `latencyFrames` is how far behind the end of this block the listener is (at least the
    // block itself); the position reported while playing is that far back.
    int64_t MixInto(float *out, int64_t frames, MixReport &report, int64_t latencyFrames = 0);

    // Ends the feeder thread and the download; afterwards the channel makes no more calls.
    void Shutdown();

    std::atomic<bool> freed{false};

    static constexpr uint32_t kHistoryBytes = 8192;

private:
    void FeedLoop();
    // Runs a seek that Seek() handed over, on the feeder thread.
    void RunPendingSeek(std::unique_lock<std::mutex> &lock);
    bool WaitForDownloadMargin(std::unique_lock<std::mutex> &lock);
    void StartFeeder();
    bool Reachable(int64_t frame) const;
    void WakeFeeder();
    size_t RingFree() const;
    // Empties the ring, waiting at most for one running callback to leave it.
    void DiscardBuffered(int64_t newPosition);
    // Waits for a callback inside MixInto to leave it (one block at most).
    void WaitOutMix() const;
    // The ring is full or the source has ended (feedMutex_ held): wakes PrefillAndWait, and
    // hands the first blocks of a seek made while playing to the output (jumpReady_).
    void RingFilled(std::unique_lock<std::mutex> &lock);
    // Sets the frames sent to the device and the block that ended there (mixed now, `block`
    // frames long, heard `latency` frames later; 0 when the position stands at `played`, which
    // also marks where this stretch of playing began), as one change PositionFrames reads whole.
    void SetPlayed(int64_t played, int64_t block, int64_t latency = 0);
    // The position; `asHeard` reckons what is heard even when the channel no longer plays.
    int64_t Reckon(bool asHeard) const;

    const Handle handle_;
    std::unique_ptr<DecodedSource> source_;
    ChannelOrigin origin_;
    EffectChain effects_;

    int64_t downloadMargin_ = 0; // network streams: bytes kept ahead of the decoder
    int64_t prebufferBytes_ = 0; // network streams: bytes to have before the first decode
    bool prebuffered_ = false;
    // Decoder's place in its input (DecodedSource::InputPosition), kept for the feeder's
    // checks, which must not wait on the decoder lock.
    std::atomic<int64_t> inputPosition_{-1};

    std::atomic<Mode> mode_{Mode::Stopped};
    std::atomic<float> volume_{1.0f};
    // Frames sent to the device so far, the last block's length and when it was mixed
    // (steady clock, ns); written as one under playedSeq_ (odd while a write is under way).
    std::atomic<uint32_t> playedSeq_{0};
    std::atomic<int64_t> played_{0};
    std::atomic<int64_t> blockFrames_{0};
    std::atomic<int64_t> blockMixedNs_{0};
    std::atomic<int64_t> latencyFrames_{0};
    std::atomic<int64_t> startFrames_{0}; // where the position was last set (open, seek)

    std::mutex decoderMutex_; // held while the source decodes or seeks

    // The ring: the feeder is its only writer, the device callback its only reader. Both
    // counters count frames; a seek discards what is buffered by moving the reader up to the
    // writer while the callback is kept out (see DiscardBuffered), and a pause may move the
    // reader back over frames already mixed, which the writer never overwrites (see RingFree).
    std::vector<float> ring_;
    std::atomic<uint64_t> ringWritten_{0};
    std::atomic<uint64_t> ringRead_{0};
    std::atomic<bool> sourceEnded_{false}; // set after the last frame was written
    std::atomic<bool> endReported_{false};
    std::atomic<bool> discarding_{false}; // a seek is resetting the ring
    std::atomic<bool> inMix_{false};      // the callback is reading the ring
    std::atomic<bool> jumped_{false};     // sought while playing; cleared by the next sound mixed
    uint64_t equalizedUpTo_ = 0;          // ring frames the effects have run on (mixing side)
    bool jumpAnnounced_ = true;           // jumpReady_ was called for the last seek (feedMutex_)
    std::function<void()> jumpReady_;

    // Feeder side: guards the generation, the quit flag and the feeder's start.
    mutable std::mutex feedMutex_;
    std::condition_variable feedWanted_; // timed waits of the network margin
    std::condition_variable filled_;     // the ring became full or the source ended
    // Bumped and notified whenever the feeder may have work; the callback notifies it without
    // taking any lock (a futex wake).
    std::atomic<uint32_t> wake_{0};
    uint64_t generation_ = 0; // bumped by every seek; stale decoded blocks are dropped
    int64_t pendingSeek_ = -1; // target frame of a seek the feeder has not run yet
    bool quit_ = false;
    std::thread feeder_;
    bool feederStarted_ = false;

    // The newest samples sent to the device, for RecentSamples; written by the callback only.
    std::unique_ptr<std::atomic<float>[]> history_;
    std::atomic<uint64_t> historyWritten_{0}; // floats written so far

    mutable std::mutex syncMutex_;
    std::vector<SyncEntry> syncs_;

    std::once_flag tagsOnce_;
    TrackTags tags_;
};

} // namespace lirvo::audio
