#include "audio/lib/OutputMixer.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace lirvo::audio {

int OutputMixer::Open(int device) {
    if (device_ != 0) {
        return kErrorAlready;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return kErrorDriver;
    }
    const char *name = nullptr;
    if (device >= 1) {
        name = SDL_GetAudioDeviceName(device - 1, 0);
        if (name == nullptr) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return kErrorIllegalParam;
        }
    } else if (device != kDefaultDevice) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return kErrorIllegalParam;
    }
    SDL_AudioSpec want{};
    want.freq = kOutputRate;
    want.format = AUDIO_F32SYS;
    want.channels = kOutputChannels;
    want.samples = 1024;
    want.callback = &OutputMixer::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the device really takes.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return kErrorDriver;
    }
    device_ = id;
    return kErrorOk;
}

void OutputMixer::Close() {
    if (device_ == 0) {
        return;
    }
    SDL_CloseAudioDevice(device_); // waits for a running callback
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    std::lock_guard lock(mutex_);
    channels_.clear();
}

bool OutputMixer::Start() {
    if (device_ == 0) {
        return false;
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool OutputMixer::Stop() {
    if (device_ == 0) {
        return false;
    }
    SDL_PauseAudioDevice(device_, 1);
    return true;
}

void OutputMixer::Add(const std::shared_ptr<PlaybackChannel> &channel) {
    std::lock_guard lock(mutex_);
    if (std::find(channels_.begin(), channels_.end(), channel) == channels_.end()) {
        channels_.push_back(channel);
    }
}

void OutputMixer::Remove(const PlaybackChannel *channel) {
    std::shared_ptr<PlaybackChannel> released;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(channels_.begin(), channels_.end(),
                           [&](const auto &entry) { return entry.get() == channel; });
    if (it != channels_.end()) {
        released = std::move(*it);
        channels_.erase(it);
    }
}

void OutputMixer::Callback(void *self, uint8_t *stream, int length) {
    std::memset(stream, 0, static_cast<size_t>(length));
    static_cast<OutputMixer *>(self)->Mix(reinterpret_cast<float *>(stream),
                                          length / static_cast<int>(kBytesPerFrame));
}

void OutputMixer::Mix(float *out, int64_t frames) {
    {
        std::lock_guard lock(mutex_);
        for (const auto &channel : channels_) {
            if (channel->GetMode() != PlaybackChannel::Mode::Playing) {
                continue;
            }
            bool ended = false;
            (void)channel->MixInto(out, frames, ended);
            if (ended) {
                ended_.push_back(channel);
            }
        }
    }
    for (const auto &channel : ended_) {
        onEnd_(channel);
    }
    ended_.clear();
}

} // namespace lirvo::audio
