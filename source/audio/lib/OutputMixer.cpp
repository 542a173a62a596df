#include "audio/lib/OutputMixer.h"

#include "audio/lib/SdlLibrary.h"
#include "audio/lib/SoundServerEnvironment.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace lirvo::audio {

namespace {

constexpr Uint32 kSdlParts = SDL_INIT_AUDIO | SDL_INIT_EVENTS;

// What the desktop's sound settings show for our stream.
void PrepareStreamNames() {
    // SDL's PulseAudio output does not pass the role hint on; the client's own properties
    // reach every stream it makes.
    static std::once_flag environmentOnce;
    std::call_once(environmentOnce, [] { PrepareSoundServerEnvironment(); });
}
void NameTheSdlStream(const SdlApi &sdl, const std::string &streamName) {
    sdl.setHint(SDL_HINT_APP_NAME, "Lirvo");
    sdl.setHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, streamName.empty() ? "Lirvo" : streamName.c_str());
    sdl.setHint(SDL_HINT_AUDIO_DEVICE_STREAM_ROLE, "Music");
}

// device_ while the PulseAudio output is in use (SDL's device numbers are small).
constexpr uint32_t kPulseDevice = 0xFFFFFFFFu;

// Straight to PulseAudio unless SDL is told to use another output (tests choose SDL's dummy
// output this way, and a user may choose ALSA).
bool PulseWanted() {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver == nullptr || *driver == '\0' || std::strcmp(driver, "pulseaudio") == 0 ||
           std::strcmp(driver, "pulse") == 0;
}

// Once the tail of what was sent has been heard, an idle PulseAudio stream is corked.
constexpr std::chrono::milliseconds kPulseTailTime{300};
static_assert(kPulseTailTime < kDeviceKeepAfterStop && kPulseTailTime < kDeviceKeepAfterPause);

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

PulseOutput::OpenResult OutputMixer::OpenPulseDevice(const std::string &streamName) {
    pulse_ = std::make_unique<PulseOutput>(
        [this](float *out, int64_t frames, int64_t latency) {
            latencyFrames_.store(latency, std::memory_order_relaxed);
            return Mix(out, frames);
        },
        [this] {
            lost_ = true;
            changes_.fetch_add(1);
            keeperWake_.notify_all();
        });
    const PulseOutput::OpenResult result = pulse_->Open(streamName);
    if (result != PulseOutput::OpenResult::Open) {
        pulse_.reset();
        lost_ = false; // a failure while opening is no loss of an open device
        return result;
    }
    pulseCorked_ = true;
    UseDevice(kPulseDevice, streamName);
    return result;
}

void OutputMixer::UseDevice(uint32_t device, const std::string &streamName) {
    device_ = device;
    openDevice_ = device;
    streamName_ = streamName;
    devicePaused_ = true;
    lost_ = false;
}

int OutputMixer::OpenDevice(const std::string &streamName) {
    PrepareStreamNames();
    if (PulseWanted()) {
        switch (OpenPulseDevice(streamName)) {
        case PulseOutput::OpenResult::Open:
            return kErrorOk;
        case PulseOutput::OpenResult::NoStream:
            // A server is there but takes no stream now: SDL's output would fare no better
            // (and its device list crashes on a server without sinks).
            return kErrorDriver;
        case PulseOutput::OpenResult::NoServer:
            break; // SDL's outputs, ALSA among them
        }
    }
    // SDL is loaded with its first use. Its audio part starts afresh for every open, so a sound
    // server that came up after the player did is found.
    const SdlApi *sdl = Sdl();
    if (sdl == nullptr) {
        return kErrorDriver;
    }
    NameTheSdlStream(*sdl, streamName);
    if (sdl->initSubSystem(kSdlParts) != 0) {
        return kErrorDriver;
    }
    sdl->eventState(SDL_AUDIODEVICEADDED, SDL_IGNORE); // nobody drains SDL's queue
    sdl->addEventWatch(&OutputMixer::DeviceEventWatch, this);
    SDL_AudioSpec want{};
    want.freq = kOutputRate;
    want.format = AUDIO_F32SYS;
    want.channels = kOutputChannels;
    // About 23 ms a block, heard about a block later. (Through PulseAudio, SDL asks for a buffer
    // of a single block, which is why PulseOutput is used there instead.) The position a channel
    // reports moves on with the clock within a block (PlaybackChannel::PositionFrames).
    want.samples = 1024;
    want.callback = &OutputMixer::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the device really takes.
    const SDL_AudioDeviceID id = sdl->openAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) {
        sdl->delEventWatch(&OutputMixer::DeviceEventWatch, this);
        sdl->quitSubSystem(kSdlParts);
        return kErrorDriver;
    }
    latencyFrames_ = have.samples;
    UseDevice(id, streamName);
    return kErrorOk;
}

void OutputMixer::PauseDevice(bool pause) {
    if (pulse_ != nullptr) {
        if (pulseCorked_ != pause) {
            pulse_->SetCorked(pause);
            pulseCorked_ = pause;
        }
        return;
    }
    Sdl()->pauseAudioDevice(device_, pause ? 1 : 0); // an SDL device is open: SDL is loaded
}

bool OutputMixer::DeviceStopped() {
    return pulse_ != nullptr ? pulse_->Failed() : Sdl()->getAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED;
}

void OutputMixer::CloseDevice() {
    if (device_ == 0) {
        return;
    }
    if (pulse_ != nullptr) {
        pulse_->Close(); // waits for a running fill
        pulse_.reset();
    } else {
        const SdlApi &sdl = *Sdl(); // an SDL device is open: SDL is loaded
        sdl.closeAudioDevice(device_); // waits for a running callback
        sdl.delEventWatch(&OutputMixer::DeviceEventWatch, this);
        sdl.flushEvents(SDL_AUDIODEVICEADDED, SDL_AUDIODEVICEREMOVED);
        sdl.quitSubSystem(kSdlParts);
    }
    UseDevice(0, streamName_);
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
    // A device lost is opened afresh. One open under another track's name while nothing plays
    // on it is renamed: a PulseAudio stream is kept, because a new stream is heard only after
    // what the sink had already mixed without it (up to two seconds on a sink that mixes ahead
    // while idle); SDL names its stream only when it opens.
    const bool renamed = streamName != streamName_ && !AnyChannelIn(PlaybackChannel::Mode::Playing);
    if (device_ != 0 && !lost_ && renamed && pulse_ != nullptr) {
        pulse_->Rename(streamName);
        streamName_ = streamName;
    } else if (device_ != 0 && (lost_ || renamed)) {
        CloseDevice();
    }
    if (device_ == 0) {
        const int error = OpenDevice(streamName);
        if (error != kErrorOk) {
            return error;
        }
    }
    reopenWanted_ = false;
    // Opened ahead of a play (OutputPrepare), the device stays paused until something plays:
    // a running PulseAudio stream would queue silence that the first sound then waits behind.
    if (running_ && devicePaused_ && AnyChannelIn(PlaybackChannel::Mode::Playing)) {
        PauseDevice(false);
        devicePaused_ = false;
    } else if (devicePaused_) {
        idleSince_ = std::chrono::steady_clock::now(); // kept as after a stop, for the play to come
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

bool OutputMixer::DropsQueued() const {
    return openDevice_.load() == kPulseDevice;
}

void OutputMixer::DropQueued() {
    std::lock_guard lock(deviceMutex_);
    if (pulse_ != nullptr) {
        if (AnyChannelIn(PlaybackChannel::Mode::Playing)) {
            dropQueued_.store(true, std::memory_order_relaxed); // the next block replaces it
        } else {
            // Silent at once, and nothing left to be heard before the next sound.
            pulse_->SetCorked(true, true);
            pulseCorked_ = true;
            if (!devicePaused_) {
                devicePaused_ = true;
                idleSince_ = std::chrono::steady_clock::now();
            }
        }
    }
    changes_.fetch_add(1);
    keeperWake_.notify_all();
}

bool OutputMixer::IsOpen() const {
    // Without deviceMutex_, which the keeper holds while it opens a device.
    return openDevice_.load() != 0;
}

void OutputMixer::WriteNow() {
    std::lock_guard lock(deviceMutex_);
    if (pulse_ != nullptr && !pulseCorked_ && !devicePaused_) {
        pulse_->WriteNow();
    }
}

void OutputMixer::SetRunning(bool running) {
    std::lock_guard lock(deviceMutex_);
    running_ = running;
    if (device_ != 0 && !running && !devicePaused_) {
        PauseDevice(true);
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
        // Only the output tells a lost device: a failed PulseAudio stream or connection, SDL's
        // removal event, or a device SDL has stopped. A device that takes no data for a while
        // is not lost: a sound server under heavy load, or a sink
        // that takes a second of sound at once and then waits, is waited for; replacing its
        // stream would only add a gap (and a frozen server would freeze the reopen too).
        if (device_ != 0 && (lost_ || DeviceStopped())) {
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
                    PauseDevice(false);
                    devicePaused_ = false;
                }
                // SDL's status is looked at again in a while, in case no removal event came.
                timed = true;
                wakeAt = now + kDeviceCheckInterval;
            } else {
                // Nothing to play: the callback stops at once, the device goes a little later.
                // A PulseAudio stream first plays out the tail still in its buffer (corked at
                // once, the tail would come before the next sound), then is corked.
                if (!devicePaused_) {
                    if (pulse_ == nullptr) {
                        PauseDevice(true);
                    }
                    devicePaused_ = true;
                    idleSince_ = now;
                }
                const auto keep = AnyChannelIn(PlaybackChannel::Mode::Paused) ? kDeviceKeepAfterPause
                                                                              : kDeviceKeepAfterStop;
                if (now - idleSince_ >= keep) {
                    CloseDevice();
                } else {
                    if (pulse_ != nullptr && !pulseCorked_ && now - idleSince_ >= kPulseTailTime) {
                        PauseDevice(true);
                    }
                    timed = true;
                    wakeAt = idleSince_ + (pulse_ != nullptr && !pulseCorked_ ? kPulseTailTime : keep);
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
    // SDL's device holds about one block: nothing queued worth dropping.
    static_cast<OutputMixer *>(self)->Mix(reinterpret_cast<float *>(stream),
                                          length / static_cast<int>(kBytesPerFrame));
}

bool OutputMixer::Mix(float *out, int64_t frames) {
    bool replaceQueued = dropQueued_.exchange(false, std::memory_order_relaxed);
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
            PlaybackChannel::MixReport report;
            const int64_t latency = latencyFrames_.load(std::memory_order_relaxed);
            const int64_t taken = channel->MixInto(out, frames, report, latency);
            replaceQueued = replaceQueued || report.jumped;
            if (!report.ended) {
                continue;
            }
            ended_.push_back(channel);
            // Gapless hand-over: the follower fills the rest of this very block.
            for (Entry &entry : channels_) {
                if (entry.channel == channel && entry.follower != nullptr) {
                    const std::shared_ptr<PlaybackChannel> next = std::move(entry.follower);
                    entry.follower.reset();
                    next->StartFollowing();
                    PlaybackChannel::MixReport nextReport;
                    next->MixInto(out + taken * kOutputChannels, frames - taken, nextReport, latency);
                    if (nextReport.ended) {
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
    return replaceQueued;
}

} // namespace lirvo::audio
