#include "audio/lib/MediaAudioLibrary.h"

#include "audio/lib/AudioLibraryFactory.h"
#include "audio/lib/FfmpegApi.h"
#include "audio/lib/LightDecoder.h"
#include "audio/lib/PlaylistLocation.h"
#include "function/text/FastStrings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string_view>

namespace lirvo::audio {

namespace {

thread_local int tLastError = kErrorOk;

// How long OutputPrepare waits for a channel's first blocks (a network stream may take longer;
// it then starts with what it has).
constexpr std::chrono::milliseconds kPrefillWait{100};

bool Fail(int code) {
    tLastError = code;
    return false;
}

template <typename T> T FailWith(int code, T value) {
    tLastError = code;
    return value;
}

bool Succeed() {
    tLastError = kErrorOk;
    return true;
}

// Replaces the tag placeholders of a format text ("%TITL - %ARTI"); "%%" is a percent sign.
std::string FormatTags(std::string_view format, const TrackTags &tags) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
        } else if (format.substr(i, 2) == "%%") {
            out += '%';
            ++i;
        } else if (format.substr(i, 5) == "%TITL") {
            out += tags.title;
            i += 4;
        } else if (format.substr(i, 5) == "%ARTI") {
            out += tags.artist;
            i += 4;
        } else if (format.substr(i, 5) == "%ALBM") {
            out += tags.album;
            i += 4;
        } else {
            out += '%';
        }
    }
    return out;
}

// The text of a playlist answer (at most 64 KB), read within `timeoutMs`.
std::string ReadPlaylistText(NetworkDownload &download, int timeoutMs) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buffer[4096];
    while (text.size() < 64 * 1024) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        const int64_t got = download.ReadAt(static_cast<int64_t>(text.size()), buffer, sizeof buffer, left);
        if (got <= 0) {
            break;
        }
        text.append(reinterpret_cast<const char *>(buffer), static_cast<size_t>(got));
    }
    return text;
}

} // namespace

std::unique_ptr<IAudioLibrary> CreateAudioLibrary() {
    return std::make_unique<MediaAudioLibrary>();
}

MediaAudioLibrary::MediaAudioLibrary()
    : notifier_(std::make_unique<SyncNotifier>()),
      mixer_(std::make_unique<OutputMixer>(
          [notifier = notifier_.get()](const std::shared_ptr<PlaybackChannel> &channel) {
              notifier->PostEnd(channel);
          })) {}

MediaAudioLibrary::~MediaAudioLibrary() {
    Free();
    mixer_.reset();
    notifier_.reset();
}

Handle MediaAudioLibrary::NextHandle() {
    Handle handle = ++nextHandle_;
    while (handle == 0) {
        handle = ++nextHandle_;
    }
    return handle;
}

std::uint32_t MediaAudioLibrary::GetVersion() {
    Succeed();
    return kInterfaceVersion | static_cast<std::uint32_t>(LIRVO_VERSION_MINOR << 8 | LIRVO_VERSION_PATCH);
}

bool MediaAudioLibrary::Init(int device, std::uint32_t frequency, std::uint32_t, std::uintptr_t,
                             const void *) {
    std::lock_guard life(lifeMutex_);
    if (initialised_) {
        return Fail(kErrorAlready);
    }
    if (frequency == 0) {
        return Fail(kErrorIllegalParam);
    }
    if (device != kDefaultDevice && device < 1) {
        return Fail(kErrorIllegalParam);
    }
    // The output always runs at 44100 Hz; SDL converts when the device wants another rate.
    // The device is opened when something plays, not here.
    mixer_->SetRunning(true);
    initialised_ = true;
    return Succeed();
}

bool MediaAudioLibrary::SetConfig(std::uint32_t option, std::uint32_t value) {
    switch (option) {
    case kConfigNetTimeout:
        netTimeoutMs_ = value;
        return Succeed();
    case kConfigNetPrebuf:
        if (value > 100) {
            return Fail(kErrorIllegalParam);
        }
        netPrebuf_ = value;
        return Succeed();
    case kConfigNetPlaylist:
        if (value > 1) {
            return Fail(kErrorIllegalParam);
        }
        netPlaylist_ = value;
        return Succeed();
    case kConfigNetReadTimeout:
        netReadTimeoutMs_ = value;
        return Succeed();
    default:
        return Fail(kErrorIllegalType);
    }
}

bool MediaAudioLibrary::Start() {
    if (!initialised_) {
        return Fail(kErrorInit);
    }
    mixer_->SetRunning(true);
    return Succeed();
}

bool MediaAudioLibrary::Stop() {
    if (!initialised_) {
        return Fail(kErrorInit);
    }
    mixer_->SetRunning(false);
    return Succeed();
}

bool MediaAudioLibrary::Free() {
    std::lock_guard life(lifeMutex_);
    if (!initialised_) {
        return Fail(kErrorInit);
    }
    initialised_ = false;
    std::map<Handle, std::shared_ptr<PlaybackChannel>> channels;
    {
        std::lock_guard lock(objectsMutex_);
        channels.swap(channels_);
    }
    for (const auto &[handle, channel] : channels) {
        FreeChannel(channel);
    }
    channels.clear();
    mixer_->ReleaseDevice();
    addons_.UnloadAll();
    return Succeed();
}

Handle MediaAudioLibrary::PluginLoad(const char *file, std::uint32_t) {
    if (file == nullptr || *file == '\0') {
        return FailWith<Handle>(kErrorIllegalParam, 0);
    }
    int error = kErrorOk;
    const Handle handle = addons_.Load(file, NextHandle(), error);
    if (handle == 0) {
        return FailWith<Handle>(error, 0);
    }
    Succeed();
    return handle;
}

const PluginInfo *MediaAudioLibrary::PluginGetInfo(Handle plugin) {
    const PluginInfo *info = addons_.Info(plugin);
    if (info == nullptr) {
        return FailWith<const PluginInfo *>(kErrorHandle, nullptr);
    }
    Succeed();
    return info;
}

bool MediaAudioLibrary::PluginFree(Handle plugin) {
    return addons_.Unload(plugin) ? Succeed() : Fail(kErrorHandle);
}

std::unique_ptr<DecodedSource>
MediaAudioLibrary::OpenSource(const std::function<std::unique_ptr<ByteReader>()> &makeReader,
                              bool progressive) {
    // A whole local file in one of the light formats is decoded without FFmpeg, which is then
    // not loaded at all; a download still arriving always goes to FFmpeg, which reads it in order.
    if (!progressive) {
        if (auto light = LightDecoder::Open(makeReader())) {
            return light;
        }
    }
    if (const FfmpegApi *ffmpeg = Ffmpeg()) {
        if (auto builtIn = ffmpeg->open(makeReader(), ffmpeg->builtInFormats(), progressive)) {
            return builtIn;
        }
    }
    return addons_.Open(makeReader, progressive);
}

Handle MediaAudioLibrary::AddChannel(std::unique_ptr<DecodedSource> source, ChannelOrigin origin) {
    const Handle handle = NextHandle();
    auto channel = std::make_shared<PlaybackChannel>(handle, std::move(source), std::move(origin));
    // The mixer outlives every channel: Free() ends them all first.
    channel->SetJumpReady([mixer = mixer_.get()] { mixer->WriteNow(); });
    {
        std::lock_guard life(lifeMutex_);
        if (!initialised_) {
            channel->Shutdown();
            return FailWith<Handle>(kErrorInit, 0);
        }
        std::lock_guard lock(objectsMutex_);
        channels_[handle] = channel;
        mixer_->Add(channel);
    }
    Succeed();
    return handle;
}

Handle MediaAudioLibrary::StreamCreateFile(bool memory, const void *file, std::uint64_t offset,
                                           std::uint64_t length, std::uint32_t) {
    if (!initialised_) {
        return FailWith<Handle>(kErrorInit, 0);
    }
    if (file == nullptr || (memory && length == 0) || offset > static_cast<std::uint64_t>(INT64_MAX) ||
        length > static_cast<std::uint64_t>(INT64_MAX)) {
        return FailWith<Handle>(kErrorIllegalParam, 0);
    }
    auto counters = std::make_shared<FileCounters>();
    const std::string path = memory ? std::string() : std::string(static_cast<const char *>(file));
    const auto *bytes = static_cast<const uint8_t *>(file);
    const auto start = static_cast<int64_t>(offset);
    const int64_t count = length == 0 ? -1 : static_cast<int64_t>(length);
    std::function<std::unique_ptr<ByteReader>()> makeReader = [&]() -> std::unique_ptr<ByteReader> {
        std::unique_ptr<ByteReader> reader;
        if (memory) {
            reader = std::make_unique<MemoryReader>(bytes + start, count);
        } else {
            reader = FileReader::Open(path);
            if (reader == nullptr) {
                return nullptr;
            }
            if (start != 0 || count >= 0) {
                reader = std::make_unique<SliceReader>(std::move(reader), start, count);
            }
        }
        return std::make_unique<CountingReader>(std::move(reader), counters);
    };
    const std::unique_ptr<ByteReader> probe = makeReader();
    if (probe == nullptr) {
        return FailWith<Handle>(kErrorFileOpen, 0);
    }
    ChannelOrigin origin;
    origin.path = path;
    origin.counters = counters;
    origin.fileSize = probe->Size();
    auto source = OpenSource(makeReader, false);
    if (source == nullptr) {
        return FailWith<Handle>(kErrorFormat, 0);
    }
    return AddChannel(std::move(source), std::move(origin));
}

Handle MediaAudioLibrary::StreamCreateURL(const char *url, std::uint32_t offset, std::uint32_t,
                                          DownloadProc proc, void *user) {
    if (!initialised_) {
        return FailWith<Handle>(kErrorInit, 0);
    }
    if (url == nullptr) {
        return FailWith<Handle>(kErrorIllegalParam, 0);
    }
    return OpenUrl(url, offset, proc, user, 0);
}

Handle MediaAudioLibrary::OpenUrl(std::string url, std::uint32_t offset, DownloadProc proc, void *user,
                                  int depth) {
    if (!text::HasWebScheme(url)) {
        return FailWith<Handle>(kErrorFileOpen, 0);
    }
    const int timeoutMs = static_cast<int>(std::min<std::uint32_t>(netTimeoutMs_, INT32_MAX));
    const bool followPlaylists = netPlaylist_ == 1 && depth < 2;
    NetworkDownload::Options options;
    options.connectTimeoutMs = timeoutMs;
    options.offset = followPlaylists && IsPlaylistLocation(url) ? 0 : offset;
    options.stallLimitMs = static_cast<int>(std::min<std::uint32_t>(netReadTimeoutMs_, INT32_MAX));
    // Until the answer is known to be the song and not a playlist, nothing goes to `proc`.
    options.holdBlocks = depth < 2;
    NetworkDownload::BlockProc onBlock;
    if (proc != nullptr) {
        onBlock = [proc, user](const uint8_t *data, size_t size) {
            proc(data, static_cast<std::uint32_t>(size), user);
        };
    }
    auto download = NetworkDownload::Start(url, options, std::move(onBlock));
    if (download == nullptr) {
        return FailWith<Handle>(kErrorMemory, 0);
    }
    switch (download->WaitForAnswer(std::chrono::milliseconds(timeoutMs))) {
    case NetworkDownload::Answer::Ok:
        break;
    case NetworkDownload::Answer::TimedOut:
        download->Cancel();
        return FailWith<Handle>(kErrorTimeout, 0);
    default:
        download->Cancel();
        return FailWith<Handle>(download->HttpError() ? kErrorHttp : kErrorNoNetwork, 0);
    }
    // A playlist is known by its name or by the type the server gives its answer. An HLS list
    // is one stream in segments, played through FFmpeg's HLS demuxer; any other list stands
    // for its first entry.
    if (depth < 2 && IsPlaylistLocation(url, download->ContentType())) {
        const std::string text = ReadPlaylistText(*download, timeoutMs);
        if (IsHlsPlaylist(text)) {
            download->Cancel();
            return OpenHls(url, timeoutMs);
        }
        if (followPlaylists) {
            download->Cancel();
            auto entry = FirstPlaylistEntry(text, url);
            if (!entry) {
                return FailWith<Handle>(kErrorFormat, 0);
            }
            return OpenUrl(*entry, offset, proc, user, depth + 1);
        }
    }
    download->HandOnBlocks();
    auto counters = std::make_shared<FileCounters>();
    DownloadReader *lastReader = nullptr;
    auto makeReader = [&]() -> std::unique_ptr<ByteReader> {
        auto reader = std::make_unique<DownloadReader>(download);
        reader->SetWaitLimit(std::chrono::milliseconds(timeoutMs));
        lastReader = reader.get();
        return std::make_unique<CountingReader>(std::move(reader), counters);
    };
    auto source = OpenSource(makeReader, true);
    if (source == nullptr) {
        const bool nothingArrived = download->Received() == 0 && !download->Finished();
        download->Cancel();
        return FailWith<Handle>(nothingArrived ? kErrorTimeout : kErrorFormat, 0);
    }
    lastReader->SetWaitLimit(std::chrono::milliseconds(-1));
    ChannelOrigin origin;
    origin.counters = counters;
    origin.download = download;
    origin.downloadReader = lastReader;
    origin.netTimeoutMs = timeoutMs;
    origin.prebufferPercent = static_cast<int>(netPrebuf_.load());
    const Handle handle = AddChannel(std::move(source), std::move(origin));
    if (handle != 0) {
        download->Release();
    }
    return handle;
}

Handle MediaAudioLibrary::OpenHls(const std::string &url, int timeoutMs) {
    auto interrupt = std::make_shared<InputInterrupt>();
    const int readTimeoutMs = static_cast<int>(std::min<std::uint32_t>(netReadTimeoutMs_, INT32_MAX));
    const FfmpegApi *ffmpeg = Ffmpeg();
    auto source = ffmpeg != nullptr
                      ? ffmpeg->openLocation(url, ffmpeg->hlsFormats(), interrupt, timeoutMs, readTimeoutMs)
                      : nullptr;
    if (source == nullptr) {
        // Segments that cannot be fetched, or a codec we do not decode.
        return FailWith<Handle>(kErrorFormat, 0);
    }
    // No single file is downloaded: nothing goes to the download procedure, the size is unknown.
    ChannelOrigin origin;
    origin.inputInterrupt = std::move(interrupt);
    return AddChannel(std::move(source), std::move(origin));
}

std::shared_ptr<PlaybackChannel> MediaAudioLibrary::FindChannel(Handle handle) {
    std::lock_guard lock(objectsMutex_);
    auto it = channels_.find(handle);
    if (it == channels_.end()) {
        tLastError = kErrorHandle;
        return nullptr;
    }
    return it->second;
}

void MediaAudioLibrary::FreeChannel(const std::shared_ptr<PlaybackChannel> &channel) {
    const bool wasPlaying = channel->GetMode() == PlaybackChannel::Mode::Playing;
    mixer_->Remove(channel.get());
    if (wasPlaying) {
        mixer_->DropQueued();
    }
    notifier_->Retire(*channel);
    channel->Shutdown();
    std::lock_guard lock(objectsMutex_);
    std::erase_if(effectOwners_, [&](const auto &entry) { return entry.second == channel->GetHandle(); });
}

bool MediaAudioLibrary::StreamFree(Handle stream) {
    std::shared_ptr<PlaybackChannel> channel;
    {
        std::lock_guard lock(objectsMutex_);
        auto it = channels_.find(stream);
        if (it == channels_.end()) {
            return Fail(kErrorHandle);
        }
        channel = std::move(it->second);
        channels_.erase(it);
    }
    FreeChannel(channel);
    return Succeed();
}

std::uint64_t MediaAudioLibrary::StreamGetFilePosition(Handle stream, std::uint32_t mode) {
    auto channel = FindChannel(stream);
    if (channel == nullptr) {
        return kErrorValue;
    }
    if (mode != kFilePosCurrent && mode != kFilePosDownload && mode != kFilePosEnd) {
        return FailWith(kErrorIllegalType, kErrorValue);
    }
    const int64_t value = channel->FilePosition(mode);
    if (value < 0) {
        return FailWith(kErrorNotAvailable, kErrorValue);
    }
    Succeed();
    return static_cast<std::uint64_t>(value);
}

bool MediaAudioLibrary::ChannelPlay(Handle handle, bool restart) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    if (!channel->Play(restart)) {
        return Fail(kErrorPosition);
    }
    const int error = mixer_->Acquire(channel->StreamName());
    if (error != kErrorOk) {
        channel->Stop(); // no device: the channel stays where it was, not "playing" into nothing
        return Fail(error);
    }
    return Succeed();
}

bool MediaAudioLibrary::ChannelPause(Handle handle) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    // Heard to stop at once: what the device held is dropped and played after the resume.
    const bool dropQueued = mixer_->DropsQueued();
    if (channel->Pause(dropQueued) && dropQueued) {
        mixer_->DropQueued();
    } else {
        mixer_->Changed();
    }
    return Succeed();
}

bool MediaAudioLibrary::ChannelStop(Handle handle) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    const bool wasPlaying = channel->GetMode() == PlaybackChannel::Mode::Playing;
    channel->Stop();
    if (wasPlaying) {
        mixer_->DropQueued(); // silent at once (a track that ended keeps its tail)
    } else {
        mixer_->Changed();
    }
    return Succeed();
}

bool MediaAudioLibrary::OutputPrepare(Handle handle) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    // Called off the main thread before the track starts: its first blocks are decoded by then
    // (a device that asks at once would otherwise get them padded with silence).
    channel->PrefillAndWait(kPrefillWait);
    const int error = mixer_->Acquire(channel->StreamName());
    return error == kErrorOk ? Succeed() : Fail(error);
}

bool MediaAudioLibrary::OutputIsOpen() {
    return mixer_->IsOpen();
}

bool MediaAudioLibrary::ChannelSetNext(Handle handle, Handle nextHandle) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    std::shared_ptr<PlaybackChannel> next;
    if (nextHandle != 0) {
        next = FindChannel(nextHandle);
        if (next == nullptr) {
            return false;
        }
        if (next == channel) {
            return Fail(kErrorIllegalParam);
        }
    }
    mixer_->SetFollower(channel.get(), next);
    return Succeed();
}

bool MediaAudioLibrary::ChannelSetAttribute(Handle handle, std::uint32_t attribute, float value) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    if (attribute != kAttribVolume) {
        return Fail(kErrorIllegalType);
    }
    if (!std::isfinite(value)) {
        return Fail(kErrorIllegalParam);
    }
    channel->SetVolume(std::clamp(value, 0.0f, 1.0f));
    return Succeed();
}

std::uint64_t MediaAudioLibrary::ChannelGetLength(Handle handle, std::uint32_t mode) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return kErrorValue;
    }
    if (mode != kPosByte) {
        return FailWith(kErrorIllegalType, kErrorValue);
    }
    const int64_t frames = channel->LengthFrames();
    if (frames < 0) {
        return FailWith(kErrorNotAvailable, kErrorValue);
    }
    Succeed();
    return static_cast<std::uint64_t>(frames) * kBytesPerFrame;
}

std::uint64_t MediaAudioLibrary::ChannelGetPosition(Handle handle, std::uint32_t mode) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return kErrorValue;
    }
    if (mode != kPosByte) {
        return FailWith(kErrorIllegalType, kErrorValue);
    }
    Succeed();
    return static_cast<std::uint64_t>(channel->PositionFrames()) * kBytesPerFrame;
}

bool MediaAudioLibrary::ChannelSetPosition(Handle handle, std::uint64_t position, std::uint32_t mode) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return false;
    }
    if (mode != kPosByte) {
        return Fail(kErrorIllegalType);
    }
    const std::uint64_t frame = position / kBytesPerFrame;
    const int64_t length = channel->LengthFrames();
    if (frame > static_cast<std::uint64_t>(INT64_MAX) ||
        (length >= 0 && frame > static_cast<std::uint64_t>(length))) {
        return Fail(kErrorPosition);
    }
    return channel->Seek(static_cast<int64_t>(frame)) ? Succeed() : Fail(kErrorPosition);
}

double MediaAudioLibrary::ChannelBytes2Seconds(Handle handle, std::uint64_t bytes) {
    if (FindChannel(handle) == nullptr) {
        return -1.0;
    }
    if (bytes == kErrorValue) {
        return FailWith(kErrorIllegalParam, -1.0);
    }
    Succeed();
    return static_cast<double>(bytes / kBytesPerFrame) / kOutputRate;
}

std::uint64_t MediaAudioLibrary::ChannelSeconds2Bytes(Handle handle, double seconds) {
    if (FindChannel(handle) == nullptr) {
        return kErrorValue;
    }
    // Beyond about 3000 years of audio the frame count would not fit.
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds > 1e11) {
        return FailWith(kErrorIllegalParam, kErrorValue);
    }
    Succeed();
    return static_cast<std::uint64_t>(std::floor(seconds * kOutputRate)) * kBytesPerFrame;
}

Handle MediaAudioLibrary::ChannelSetSync(Handle handle, std::uint32_t type, std::uint64_t, SyncProc proc,
                                         void *user) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return 0;
    }
    if (type != kSyncEnd) {
        return FailWith<Handle>(kErrorIllegalType, 0);
    }
    if (proc == nullptr) {
        return FailWith<Handle>(kErrorIllegalParam, 0);
    }
    const Handle sync = NextHandle();
    channel->AddSync(SyncEntry{sync, type, proc, user});
    Succeed();
    return sync;
}

int MediaAudioLibrary::ErrorGetCode() {
    return tLastError;
}

Handle MediaAudioLibrary::ChannelSetFX(Handle handle, std::uint32_t type, int priority) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return 0;
    }
    if (type != kFxParamEq) {
        return FailWith<Handle>(kErrorIllegalType, 0);
    }
    const Handle fx = NextHandle();
    if (!channel->Effects().Add(fx, priority, PeakingParameters{1000.0f, 12.0f, 0.0f})) {
        return FailWith<Handle>(kErrorMemory, 0); // the channel holds as many effects as it can
    }
    {
        std::lock_guard lock(objectsMutex_);
        effectOwners_[fx] = handle;
    }
    Succeed();
    return fx;
}

std::shared_ptr<PlaybackChannel> MediaAudioLibrary::ChannelOfEffect(Handle fx) {
    std::lock_guard lock(objectsMutex_);
    auto owner = effectOwners_.find(fx);
    if (owner == effectOwners_.end()) {
        return nullptr;
    }
    auto it = channels_.find(owner->second);
    return it != channels_.end() ? it->second : nullptr;
}

bool MediaAudioLibrary::FXSetParameters(Handle fx, const ParamEqParameters *parameters) {
    const std::shared_ptr<PlaybackChannel> channel = ChannelOfEffect(fx);
    if (channel == nullptr) {
        return Fail(kErrorHandle);
    }
    if (parameters == nullptr) {
        return Fail(kErrorIllegalParam);
    }
    PeakingParameters values{parameters->center, parameters->bandwidth, parameters->gain};
    if (!NormaliseParameters(values)) {
        return Fail(kErrorIllegalParam);
    }
    return channel->Effects().Set(fx, values) ? Succeed() : Fail(kErrorHandle);
}

bool MediaAudioLibrary::FXGetParameters(Handle fx, ParamEqParameters *parameters) {
    const std::shared_ptr<PlaybackChannel> channel = ChannelOfEffect(fx);
    if (channel == nullptr) {
        return Fail(kErrorHandle);
    }
    if (parameters == nullptr) {
        return Fail(kErrorIllegalParam);
    }
    PeakingParameters values;
    if (!channel->Effects().Get(fx, values)) {
        return Fail(kErrorHandle);
    }
    *parameters = ParamEqParameters{values.centre, values.bandwidth, values.gain};
    return Succeed();
}

std::uint32_t MediaAudioLibrary::ChannelGetData(Handle handle, void *buffer, std::uint32_t length) {
    auto channel = FindChannel(handle);
    if (channel == nullptr) {
        return 0xFFFFFFFFu;
    }
    if (buffer == nullptr) {
        return FailWith(kErrorIllegalParam, 0xFFFFFFFFu);
    }
    Succeed();
    return channel->RecentSamples(buffer, length);
}

const char *MediaAudioLibrary::TagsRead(Handle stream, const char *format) {
    thread_local std::string text;
    text.clear();
    auto channel = FindChannel(stream);
    if (channel == nullptr) {
        return text.c_str();
    }
    if (format == nullptr) {
        tLastError = kErrorIllegalParam;
        return text.c_str();
    }
    text = FormatTags(format, channel->Tags());
    Succeed();
    return text.c_str();
}

} // namespace lirvo::audio
