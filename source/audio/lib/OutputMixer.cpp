#include "audio/lib/OutputMixer.h"

#include "audio/lib/SoundServerEnvironment.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace lirvo::audio {

namespace {

constexpr Uint32 kSdlParts = SDL_INIT_AUDIO | SDL_INIT_EVENTS;

// What the desktop's sound settings show for our stream.
void NameTheStream(const std::string &streamName) {
    // SDL's PulseAudio output does not pass the role hint on; the client's own properties
    // reach every stream it makes. The buffer asked for there is reckoned back from the
    // position (LatencyFrames).
    static std::once_flag environmentOnce;
    std::call_once(environmentOnce, [] { PrepareSoundServerEnvironment(); });
    SDL_SetHint(SDL_HINT_APP_NAME, "Lirvo");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, streamName.empty() ? "Lirvo" : streamName.c_str());
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "Music");
}

// How far behind the end of a block just mixed the listener is. Through PulseAudio it is about
// three quarters of the buffer asked for (measured: 95 ms in the buffer and 15 ms in the sink
// for 150 ms); elsewhere about one block.
int64_t LatencyFrames(int64_t blockFrames) {
    const char *driver = SDL_GetCurrentAudioDriver();
    const char *asked = std::getenv("PULSE_LATENCY_MSEC");
    if (driver == nullptr || std::strcmp(driver, "pulseaudio") != 0 || asked == nullptr) {
        return blockFrames;
    }
    const long ms = std::strtol(asked, nullptr, 10);
    if (ms <= 0 || ms > 10000) {
        return blockFrames;
    }
    return std::max<int64_t>(blockFrames, ms * 3 / 4 * kOutputRate / 1000);
}

} // namespace

OutputMixer::OutputMixer(EndHandler onEnd) : onEnd_(std::move(onEnd)) {
    keeper_ = std::thread([this] { KeepDevice(); });
}

OutputMixer::~OutputMixer() {
    Shutdown();
}

void OutputMixer::ReleaseDevice() {
    std::lock_guard lock(deviceMutex_);
    CloseDevice();
}

void OutputMixer::Shutdown() {
    {
        std::lock_guard lock(deviceMutex_);
        quit_ = true;
        CloseDevice();
    }
    keeperWake_.notify_all();
    if (keeper_.joinable()) {
        keeper_.join();
    }
}

int OutputMixer::OpenDevice(const std::string &streamName) {
    NameTheStream(streamName);
    // The audio part of SDL starts afresh for every open, so a sound server that came up after
    // the player did is found.
    if (SDL_InitSubSystem(kSdlParts) != 0) {
        return kErrorDriver;
    }
    SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE); // nobody drains SDL's queue
    SDL_AddEventWatch(&OutputMixer::DeviceEventWatch, this);
    SDL_AudioSpec want{};
    want.freq = kOutputRate;
    want.format = AUDIO_F32SYS;
    want.channels = kOutputChannels;
    // About 23 ms a block. Through PulseAudio the blocks go into the deeper buffer asked for in
    // NameTheStream (blocks of 4096 frames in a buffer of one block lost sound). The position a
    // channel reports moves on with the clock within a block (PlaybackChannel::PositionFrames).
    want.samples = 1024;
    want.callback = &OutputMixer::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the device really takes.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        SDL_DelEventWatch(&OutputMixer::DeviceEventWatch, this);
        SDL_QuitSubSystem(kSdlParts);
        return kErrorDriver;
    }
    device_ = id;
    openDevice_ = id;
    latencyFrames_ = LatencyFrames(have.samples);
    streamName_ = streamName;
    devicePaused_ = true;
    lost_ = false;
    return kErrorOk;
}

void OutputMixer::CloseDevice() {
    if (device_ == 0) {
        return;
    }
    SDL_CloseAudioDevice(device_); // waits for a running callback
    device_ = 0;
    openDevice_ = 0;
    devicePaused_ = true;
    SDL_DelEventWatch(&OutputMixer::DeviceEventWatch, this);
    SDL_FlushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
    SDL_QuitSubSystem(kSdlParts);
    lost_ = false;
}

int OutputMixer::DeviceEventWatch(void *self, SDL_Event *event) {
    auto *mixer = static_cast<OutputMixer *>(self);
    if (event->type == SDL_AUDIODEVICEREMOVED && event->adevice.iscapture == 0 &&
        event->adevice.which == mixer->openDevice_.load()) {
        // Called on SDL's device thread: only flag it; the keeper reopens.
        mixer->lost_ = true;
        mixer->changes_.fetch_add(1);
        mixer->keeperWake_.notify_all();
    }
    return 1;
}

int OutputMixer::Acquire(const std::string &streamName) {
    std::lock_guard lock(deviceMutex_);
    if (quit_) {
        return kErrorDriver;
    }
    // A device lost, or one open under another track's name while nothing plays on it, is
    // opened afresh.
    if (device_ != 0 && (lost_ || (streamName != streamName_ && !AnyChannelIn(PlaybackChannel::Mode::Playing)))) {
        CloseDevice();
    }
    if (device_ == 0) {
        const int error = OpenDevice(streamName);
        if (error != kErrorOk) {
            return error;
        }
    }
    reopenWanted_ = false;
    if (running_ && devicePaused_) {
        SDL_PauseAudioDevice(device_, 0);
        devicePaused_ = false;
    }
    changes_.fetch_add(1);
    keeperWake_.notify_all();
    return kErrorOk;
}

void OutputMixer::Changed() {
    std::lock_guard lock(deviceMutex_);
    changes_.fetch_add(1);
    keeperWake_.notify_all();
}

bool OutputMixer::IsOpen() const {
    // Without deviceMutex_, which the keeper holds while it opens a device.
    return openDevice_.load() != 0;
}

void OutputMixer::SetRunning(bool running) {
    std::lock_guard lock(deviceMutex_);
    running_ = running;
    if (device_ != 0 && !running && !devicePaused_) {
        SDL_PauseAudioDevice(device_, 1);
        devicePaused_ = true;
        idleSince_ = std::chrono::steady_clock::now();
    }
    changes_.fetch_add(1);
    keeperWake_.notify_all();
}

bool OutputMixer::AnyChannelIn(PlaybackChannel::Mode mode) {
    std::lock_guard lock(mutex_);
    return std::any_of(channels_.begin(), channels_.end(),
                       [&](const Entry &entry) { return entry.channel->GetMode() == mode; });
}

void OutputMixer::KeepDevice() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(deviceMutex_);
    while (!quit_) {
        const uint32_t seen = changes_.load();
        const bool playing = running_ && AnyChannelIn(PlaybackChannel::Mode::Playing);
        const Clock::time_point now = Clock::now();
        bool timed = false;
        Clock::time_point wakeAt{};
        // Only SDL tells a lost device: its removal event, or a device it has stopped. A device
        // that takes no data for a while is not lost: a sound server under heavy load, or a sink
        // that takes a second of sound at once and then waits, is waited for; replacing its
        // stream would only add a gap (and a frozen server would freeze the reopen too).
        if (device_ != 0 && (lost_ || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED)) {
            // The device went away (unplugged, or the sound server ended): playback goes on
            // from where it was on whatever is the default device now.
            CloseDevice();
            reopenWanted_ = true;
        }
        if (device_ == 0 && reopenWanted_) {
            if (!playing) {
                reopenWanted_ = false;
            } else if (OpenDevice(streamName_) == kErrorOk) {
                reopenWanted_ = false;
            } else {
                timed = true;
                wakeAt = now + kDeviceCheckInterval;
            }
        }
        if (device_ != 0) {
            if (playing) {
                if (devicePaused_) {
                    SDL_PauseAudioDevice(device_, 0);
                    devicePaused_ = false;
                }
                // SDL's status is looked at again in a while, in case no removal event came.
                timed = true;
                wakeAt = now + kDeviceCheckInterval;
            } else {
                // Nothing to play: the callback stops at once, the device goes a little later.
                if (!devicePaused_) {
                    SDL_PauseAudioDevice(device_, 1);
                    devicePaused_ = true;
                    idleSince_ = now;
                }
                const auto keep =
                    AnyChannelIn(PlaybackChannel::Mode::Paused) ? kDeviceKeepAfterPause : kDeviceKeepAfterStop;
                if (now - idleSince_ >= keep) {
                    CloseDevice();
                } else {
                    timed = true;
                    wakeAt = idleSince_ + keep;
                }
            }
        }
        auto changed = [&] { return quit_ || lost_ || changes_.load() != seen; };
        if (timed) {
            keeperWake_.wait_until(lock, wakeAt, changed);
        } else {
            keeperWake_.wait(lock, changed); // idle: no time-out, no wake-ups
        }
    }
}

void OutputMixer::Add(const std::shared_ptr<PlaybackChannel> &channel) {
    std::lock_guard lock(mutex_);
    const bool known = std::any_of(channels_.begin(), channels_.end(),
                                   [&](const Entry &entry) { return entry.channel == channel; });
    if (!known) {
        channels_.push_back(Entry{channel, nullptr});
    }
}

void OutputMixer::Remove(const PlaybackChannel *channel) {
    std::vector<std::shared_ptr<PlaybackChannel>> released; // dropped after the lock
    {
        std::lock_guard lock(mutex_);
        for (auto it = channels_.begin(); it != channels_.end();) {
            if (it->follower.get() == channel) {
                released.push_back(std::move(it->follower));
                it->follower.reset();
            }
            if (it->channel.get() == channel) {
                released.push_back(std::move(it->channel));
                released.push_back(std::move(it->follower));
                it = channels_.erase(it);
            } else {
                ++it;
            }
        }
    }
    Changed();
}

void OutputMixer::SetFollower(const PlaybackChannel *current, const std::shared_ptr<PlaybackChannel> &next) {
    std::shared_ptr<PlaybackChannel> released;
    if (next != nullptr) {
        next->Prefill(); // its first blocks are decoded before the switch
    }
    std::lock_guard lock(mutex_);
    for (Entry &entry : channels_) {
        if (entry.channel.get() == current) {
            released = std::exchange(entry.follower, next);
        }
    }
}

void OutputMixer::Callback(void *self, uint8_t *stream, int length) {
    std::memset(stream, 0, static_cast<size_t>(length));
    static_cast<OutputMixer *>(self)->Mix(reinterpret_cast<float *>(stream),
                                          length / static_cast<int>(kBytesPerFrame));
}

void OutputMixer::Mix(float *out, int64_t frames) {
    {
        // Held only by list edits elsewhere, never across I/O or decoding.
        std::lock_guard lock(mutex_);
        playing_.clear();
        for (const Entry &entry : channels_) {
            if (entry.channel->GetMode() == PlaybackChannel::Mode::Playing) {
                playing_.push_back(entry.channel);
            }
        }
        for (const auto &channel : playing_) {
            bool ended = false;
            const int64_t latency = latencyFrames_.load(std::memory_order_relaxed);
            const int64_t taken = channel->MixInto(out, frames, ended, latency);
            if (!ended) {
                continue;
            }
            ended_.push_back(channel);
            // Gapless hand-over: the follower fills the rest of this very block.
            for (Entry &entry : channels_) {
                if (entry.channel == channel && entry.follower != nullptr) {
                    const std::shared_ptr<PlaybackChannel> next = std::move(entry.follower);
                    entry.follower.reset();
                    next->StartFollowing();
                    bool nextEnded = false;
                    next->MixInto(out + taken * kOutputChannels, frames - taken, nextEnded, latency);
                    if (nextEnded) {
                        ended_.push_back(next);
                    }
                    break;
                }
            }
        }
    }
    for (const auto &channel : ended_) {
        onEnd_(channel);
    }
    if (!ended_.empty()) {
        changes_.fetch_add(1);
        keeperWake_.notify_all(); // the keeper pauses the device if nothing follows
    }
    ended_.clear();
}

} // namespace lirvo::audio
