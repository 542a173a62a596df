#pragma once
// The output device (PulseAudio directly, else SDL2) and the mixer that feeds it from the
// playing channels.
//
// The device is held only while something plays: Acquire opens it (on the default device, the
// sound server's stream named after the track), and a keeper thread pauses it as soon as no
// channel plays, lets it go 0.5 s after everything stopped or 10 s after a pause, and reopens it
// on the new default device when the one in use disappears. An idle player holds no stream and
// runs no timer: the keeper sleeps without a time-out once the device is closed.

#include "audio/lib/PlaybackChannel.h"
#include "audio/lib/PulseOutput.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

union SDL_Event;

namespace lirvo::audio {

// How long the device is kept after playback stopped or paused, before it is let go.
inline constexpr std::chrono::milliseconds kDeviceKeepAfterStop{500};
inline constexpr std::chrono::milliseconds kDeviceKeepAfterPause{10000};
// While a channel plays, how often the keeper asks SDL whether the device is still there, and
// how often it retries a device that could not be reopened.
inline constexpr std::chrono::milliseconds kDeviceCheckInterval{1000};

class OutputMixer {
public:
    // Called inside the device callback for a channel that just ended; must only hand the
    // event on (the notification thread makes the user's calls).
    using EndHandler = std::function<void(const std::shared_ptr<PlaybackChannel> &)>;

    explicit OutputMixer(EndHandler onEnd);
    ~OutputMixer();
    OutputMixer(const OutputMixer &) = delete;
    OutputMixer &operator=(const OutputMixer &) = delete;

    // Makes sure the device is open and running, opening it on the default device when it was
    // let go; `streamName` names the sound server's stream (a device open under another name
    // while nothing plays is reopened under the new one). Blocks while SDL opens the device.
    // Returns 0 or an interface error code (kErrorDriver: no device could be opened).
    int Acquire(const std::string &streamName);
    // A channel started, paused, stopped or ended: the keeper looks again at what plays.
    void Changed();
    bool IsOpen() const; // never blocks
    // Whether the device in use drops what it holds when told (DropQueued): a PulseAudio
    // stream, whose buffer holds 200 ms; SDL's holds about one block and is left to play out.
    bool DropsQueued() const; // never blocks
    // A channel was paused or stopped by the user, so what the device holds but has not played
    // is not to be heard: with nothing else playing the stream is corked and emptied at once,
    // else the next block mixed replaces it.
    void DropQueued();
    // A channel sought while playing has its first blocks at the new place ready: they are
    // written now, over what the device holds, rather than at the device's next refill.
    void WriteNow();
    // Output allowed (Start) or held (Stop); held output pauses the device.
    void SetRunning(bool running);

    void Add(const std::shared_ptr<PlaybackChannel> &channel);
    // After this returns the device callback no longer touches the channel.
    void Remove(const PlaybackChannel *channel);
    // When `current` ends, `next` starts in the same device block (gapless); nullptr clears.
    // `next` must have been added and be stopped.
    void SetFollower(const PlaybackChannel *current, const std::shared_ptr<PlaybackChannel> &next);

    // Lets the device go now.
    void ReleaseDevice();
    // Closes the device and ends the keeper (also done by the destructor).
    void Shutdown();

private:
    struct Entry {
        std::shared_ptr<PlaybackChannel> channel;
        std::shared_ptr<PlaybackChannel> follower;
    };

    static void Callback(void *self, uint8_t *stream, int length);
    static int DeviceEventWatch(void *self, ::SDL_Event *event);
    // True when what the device holds but has not played should be replaced by this block.
    bool Mix(float *out, int64_t frames);
    int OpenDevice(const std::string &streamName); // deviceMutex_ held
    PulseOutput::OpenResult OpenPulseDevice(const std::string &streamName); // deviceMutex_ held
    void CloseDevice();                            // deviceMutex_ held
    // The device in use from now (0: none), paused until something plays; deviceMutex_ held.
    void UseDevice(uint32_t device, const std::string &streamName);
    void PauseDevice(bool pause);                  // deviceMutex_ held; device open
    bool DeviceStopped();                          // deviceMutex_ held; device open
    void KeepDevice();                             // the keeper thread
    bool AnyChannelIn(PlaybackChannel::Mode mode);

    EndHandler onEnd_;

    // Device state, guarded by deviceMutex_ (never taken by the callback).
    mutable std::mutex deviceMutex_;
    std::condition_variable keeperWake_;
    uint32_t device_ = 0;
    std::string streamName_;
    bool devicePaused_ = true;
    bool running_ = true;
    bool reopenWanted_ = false; // the device was lost while something played
    std::chrono::steady_clock::time_point idleSince_{};
    bool quit_ = false;
    // Set by SDL's device-removed event or a failed PulseAudio stream.
    std::atomic<bool> lost_{false};
    std::atomic<uint32_t> openDevice_{0}; // device_, for the event watch
    std::atomic<uint32_t> changes_{0};
    std::atomic<int64_t> latencyFrames_{0}; // for the open device, read by the callback
    std::atomic<bool> dropQueued_{false};   // taken by the next block the callback mixes
    // The PulseAudio output in use instead of SDL's (device_ is then kPulseDevice).
    std::unique_ptr<PulseOutput> pulse_;
    bool pulseCorked_ = true;
    std::thread keeper_;

    // Channels, guarded by mutex_ (held by the callback only for the list walk).
    std::mutex mutex_;
    std::vector<Entry> channels_;
    std::vector<std::shared_ptr<PlaybackChannel>> playing_; // used inside the callback only
    std::vector<std::shared_ptr<PlaybackChannel>> ended_;   // used inside the callback only
};

} // namespace lirvo::audio
