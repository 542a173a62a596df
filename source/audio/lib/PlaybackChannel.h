#pragma once
// One stream of the library: its decoder, effects, volume and transport state. A feeder thread
// decodes ahead into a short buffer; the output device's callback takes from that buffer, so
// neither decoding nor a slow download ever runs inside the device callback.

#include "audio/lib/AudioLibrary.h"
#include "audio/lib/ByteReader.h"
#include "audio/lib/DecodedSource.h"
#include "audio/lib/NetworkDownload.h"
#include "audio/lib/PeakingEqualizer.h"
#include "audio/lib/TagReader.h"

#include <atomic>
#include <condition_variable>
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
    void Pause();
    void Stop();
    Mode GetMode() const { return mode_.load(); }
    void SetVolume(float volume) { volume_ = volume; }
    float Volume() const { return volume_.load(); }

    // Time, in output frames.
    int64_t LengthFrames() const { return source_->LengthFrames(); }
    int64_t PositionFrames() const { return played_.load(); }
    // Asks the feeder thread to move the source to `frame` and returns at once, without waiting
    // for the decoder or the network; the position reads `frame` from now on. False when the
    // target cannot be reached: beyond the end, or for a network stream a part that has not
    // been downloaded yet (refused without reading).
    bool Seek(int64_t frame);

    EffectChain &Effects() { return effects_; }

    void AddSync(const SyncEntry &sync);
    bool RemoveSync(Handle sync);
    std::vector<SyncEntry> Syncs() const;

    // Copies the most recent `bytes` bytes sent to the device, volume applied (whole floats);
    // returns the count.
    uint32_t RecentSamples(void *buffer, uint32_t bytes) const;

    // File positions (kFilePos* of the interface); -1 when unknown.
    int64_t FilePosition(uint32_t mode) const;

    // Tags of the local file, read once on first use.
    const TrackTags &Tags();

    // Called by the output callback: adds up to `frames` frames into `out`, scaled by the
    // volume. Sets `ended` the one time the channel runs out of data for good.
    void MixInto(float *out, int64_t frames, bool &ended);

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
    std::atomic<int64_t> played_{0};

    std::mutex decoderMutex_; // held while the source decodes or seeks

    mutable std::mutex ringMutex_; // guards the buffer and the end flags
    std::condition_variable feedWanted_;
    std::vector<float> ring_;
    size_t ringRead_ = 0; // in frames
    size_t ringCount_ = 0;
    uint64_t generation_ = 0; // bumped by every seek; stale decoded blocks are dropped
    int64_t pendingSeek_ = -1; // target frame of a seek the feeder has not run yet
    bool sourceEnded_ = false;
    bool endReported_ = false;
    bool quit_ = false;
    std::vector<float> history_; // last frames sent to the device, oldest first
    std::thread feeder_;
    bool feederStarted_ = false;

    mutable std::mutex syncMutex_;
    std::vector<SyncEntry> syncs_;

    std::once_flag tagsOnce_;
    TrackTags tags_;
};

} // namespace lirvo::audio
