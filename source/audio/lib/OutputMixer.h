#pragma once
// The SDL2 output device and the mixer that feeds it from the playing channels.

#include "audio/lib/PlaybackChannel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace lirvo::audio {

class OutputMixer {
public:
    // Called inside the device callback for a channel that just ended; must only hand the
    // event on (the notification thread makes the user's calls).
    using EndHandler = std::function<void(const std::shared_ptr<PlaybackChannel> &)>;

    explicit OutputMixer(EndHandler onEnd) : onEnd_(std::move(onEnd)) {}
    ~OutputMixer() { Close(); }

    // Opens the default device (-1) or device n (1-based) for 44100 Hz float stereo.
    // Returns 0 on success or an interface error code.
    int Open(int device);
    void Close();
    bool IsOpen() const { return device_ != 0; }
    bool Start();
    bool Stop();

    void Add(const std::shared_ptr<PlaybackChannel> &channel);
    // After this returns the device callback no longer touches the channel.
    void Remove(const PlaybackChannel *channel);

private:
    static void Callback(void *self, uint8_t *stream, int length);
    void Mix(float *out, int64_t frames);

    EndHandler onEnd_;
    uint32_t device_ = 0;
    std::mutex mutex_;
    std::vector<std::shared_ptr<PlaybackChannel>> channels_;
    std::vector<std::shared_ptr<PlaybackChannel>> ended_; // used inside the callback only
};

} // namespace lirvo::audio
