#include "audio/engine/AudioEngine.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <utility>
#include <vector>

namespace lirvo::audio {

namespace {

constexpr std::array<std::int32_t, kEqBandCount> kEqCenters{80,   170,  310,   600,   1000,
                                                            3000, 6000, 10000, 12000, 14000};
constexpr float kEqBandwidth = 5.0f; // semitones
constexpr std::uint32_t kSampleDataBytes = 2048;
constexpr std::uint32_t kNetStallLimitMs = 15000;

const char *const kBuiltInFilter =
    "所有音乐|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm;*.aif";

const char *const kDefaultFilter =
    "mp1/mp2/mp3/wav/ogg/mod/s3m/it/umx/mo3/mtm/"
    "xm|*.mp1;*.mp2;*.mp3;*.wav;*.ogg;*.mod;*.s3m;*.it;*.umx;*.mo3;"
    "*.mtm;*.xm|Streams (mp1/mp2/mp3/wav/ogg)|*.mp1;*.mp2;*.mp3;*.wav;*.ogg|Trackers "
    "(mod/s3m/it/umx/mo3/mtm/xm)|*.mod;*.s3m;*.it;*.umx;*.mo3;*.mtm;*.xm";

// Whole milliseconds of `seconds`, truncated; 0 for negative or invalid values.
std::int32_t SecondsToMilliseconds(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms > 0.0)) {
        return 0;
    }
    if (ms >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(ms);
}

// Add-on files in `folder`, sorted by name so the filter text does not depend on directory order.
std::vector<std::filesystem::path> FindAddons(const std::string &folder) {
    namespace fs = std::filesystem;
    std::vector<fs::path> found;
    std::error_code error;
    const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
    fs::directory_iterator it(dir, error);
    if (error) {
        return found;
    }
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (name.size() > 5 && name.starts_with("b_") && name.ends_with(".so")) {
            found.push_back(it->path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

// ---------------------------------------------------------------- open worker

TStreamCreateURLThread::TStreamCreateURLThread(TAudioEngine &engine, const char *source)
    : Source(source), Engine(engine) {}

void TStreamCreateURLThread::run() {
    try {
        Open();
    } catch (...) {
        // A worker ends with an empty result rather than taking the process down.
        Stream = 0;
        ErrorCode = kErrorUnknown;
        Engine.SettleDownloadSize(false);
    }
    Ended.store(true, std::memory_order_release);
}

void TStreamCreateURLThread::Open() {
    // A worker stopped before it began does nothing.
    if (IsStopRequested()) {
        return;
    }
    IAudioLibrary &library = Engine.Library;
    Engine.DownloadSize.store(0);
    Engine.DownloadedBytes.store(0);
    {
        std::lock_guard lock(Engine.DownloadMutex);
        Engine.DownloadSizeSettled = false;
        Engine.DownloadFinalPending = false;
    }

    Handle stream = library.StreamCreateFile(false, Source, 0, 0, 0);
    if (stream == 0 && !IsStopRequested()) {
        Engine.SetState(kStateConnecting);
        try {
            Engine.ReportStatus(kStateConnecting);
        } catch (...) {
            // The owner's reaction to "connecting" must not keep the network open from happening.
        }
        stream = library.StreamCreateURL(Source, 0, 0, &TAudioEngine::DownloadProc, &Engine);
        if (stream != 0) {
            Engine.DownloadSize.store(library.StreamGetFilePosition(stream, kFilePosEnd));
        } else {
            // Read here: error codes belong to the thread that made the failing call.
            ErrorCode = library.ErrorGetCode();
        }
    } else if (stream == 0) {
        ErrorCode = library.ErrorGetCode();
    }
    if (stream == 0 && ErrorCode == kErrorOk) {
        ErrorCode = kErrorUnknown;
    }
    // Before a possible StreamFree below: the library waits there for its download thread.
    Engine.SettleDownloadSize(stream != 0);
    // A stream that arrives after a stop request is not wanted: free it now so it stops
    // downloading and feeding OnDownload.
    if (stream != 0 && IsStopRequested()) {
        library.StreamFree(stream);
        stream = 0;
    }
    Stream = stream;
}

// ---------------------------------------------------------------- construction

TAudioEngine::TAudioEngine(IAudioLibrary &library, std::uintptr_t windowHandle,
                           const std::string &addonFolder, QObject *parent)
    : QObject(parent), Library(library) {
    WindowHandle = windowHandle;
    EqCenters = kEqCenters;
    FxHandles.fill(0);
    SampleBlock.fill(0.0f);
    LevelBlock.fill(0);
    State.store(kStateStopped);
    InitAudio(addonFolder);
    Timer = std::make_unique<QTimer>();
    Timer->setInterval(kTickIntervalMs);
    QObject::connect(Timer.get(), &QTimer::timeout, this, [this] { TimerTick(); });
    Timer->start();
}

void TAudioEngine::InitAudio(const std::string &addonFolder) {
    if ((Library.GetVersion() >> 16) != kInterfaceVersionHigh) {
        ReportError(kStateEnded, kEngineErrorVersion);
        return;
    }
    if (!Library.Init(kDefaultDevice, 44100, 0, WindowHandle, nullptr)) {
        ReportError(State.load(), kEngineErrorDevice);
        return;
    }
    Filter = kBuiltInFilter;
    for (const auto &file : FindAddons(addonFolder)) {
        PluginHandle = Library.PluginLoad(file.c_str(), 0);
        if (PluginHandle == 0) {
            continue;
        }
        const PluginInfo *info = Library.PluginGetInfo(PluginHandle);
        if (info == nullptr || info->formats == nullptr) {
            continue;
        }
        for (std::uint32_t i = 0; i < info->formatCount; ++i) {
            if (info->formats[i].extensions != nullptr) {
                Filter += ';';
                Filter += info->formats[i].extensions;
            }
        }
    }
    Library.SetConfig(kConfigNetPlaylist, 1);
    Library.SetConfig(kConfigNetPrebuf, 0);
    Library.SetConfig(kConfigNetTimeout, 2000);
    // A network stream whose server sends nothing for this long ends as a failed read instead
    // of playing silence for ever.
    Library.SetConfig(kConfigNetReadTimeout, kNetStallLimitMs);
    Library.Start();
}

TAudioEngine::~TAudioEngine() {
    Timer.reset();
    try {
        Stop();
    } catch (...) {
        // A destructor cannot pass the owner's exception on.
    }
    if (OpenWorker != nullptr) {
        // The completion can no longer run: wait for the worker (bounded by the network time-out)
        // and release what it obtained.
        OpenWorker->WaitEnded();
        if (OpenWorker->Stream != 0) {
            Library.StreamFree(OpenWorker->Stream);
        }
        delete OpenWorker;
        OpenWorker = nullptr;
    }
    Library.PluginFree(PluginHandle);
    Library.Stop();
    Library.Free();
}

void TAudioEngine::GetDefaultFilter(std::string &text) {
    text = kDefaultFilter;
}

// ---------------------------------------------------------------- reports

void TAudioEngine::ReportStatus(std::int32_t status) {
    if (!OnStatus.IsEmpty()) {
        OnStatus(status);
    }
}

void TAudioEngine::ReportError(std::int32_t status, std::int32_t code) {
    if (!OnError.IsEmpty()) {
        OnError(status, code);
    }
}

// ---------------------------------------------------------------- transport

void TAudioEngine::PlayFile(const std::string &source) {
    if (OpenWorker != nullptr) {
        ReportError(kStateEnded, kEngineErrorOpenBusy);
        return;
    }
    Source = source;
    Library.StreamFree(Channel);
    auto *worker = new TStreamCreateURLThread(*this, Source.c_str());
    worker->setParent(this); // finished workers still waiting for deleteLater go with the engine
    OpenWorker = worker;
    QObject::connect(
        worker, &QThread::finished, this, [this] { StreamOpened(); }, Qt::QueuedConnection);
    worker->start();
}

void TAudioEngine::StreamOpened() {
    TStreamCreateURLThread *worker = OpenWorker;
    if (worker == nullptr) {
        return;
    }
    worker->WaitEnded(); // "finished" is emitted just before the thread really ends
    const bool abandoned = worker->IsStopRequested();
    Handle stream = worker->Stream;
    if (stream != 0 && abandoned) {
        // Stopped after the worker's own check: the stream is not wanted either.
        Library.StreamFree(stream);
        stream = 0;
    }
    Channel = stream;
    std::int32_t errorCode = 0;
    bool started = false;
    try {
        if (Channel == 0) {
            SetState(kStateOpenFailed);
            // An open the owner stopped is no failure: it carries 0, so the owner does not move on
            // to another track. Otherwise the worker's own failure code (the main thread's latest
            // code would describe some unrelated call, possibly a success).
            errorCode = abandoned ? kErrorOk : worker->ErrorCode;
        } else {
            const std::uint64_t length = Library.ChannelGetLength(Channel, kPosByte);
            LengthBytes = length == kErrorValue ? -1 : static_cast<std::int64_t>(length);
            SetupFX();
            ApplyEQ();
            Library.ChannelSetAttribute(Channel, kAttribVolume, Volume / 100.0f);
            Library.ChannelPlay(Channel, false);
            Library.ChannelSetSync(Channel, kSyncEnd, 0, &TAudioEngine::EndSync, this);
            SetState(kStatePlaying);
            started = true;
        }
    } catch (...) {
        // An implementation of the library that throws leaves the track as it is; the worker is
        // released below all the same.
    }
    // Released before the report, so that a handler may start the next track at once.
    OpenWorker = nullptr;
    worker->deleteLater();
    try {
        if (started) {
            ReportStatus(kStatePlaying);
        } else if (Channel == 0) {
            ReportError(kStateOpenFailed, errorCode);
        }
    } catch (...) {
        // The completion runs from the event loop, where an exception has nowhere to go.
    }
}

void TAudioEngine::Pause() {
    Library.ChannelPause(Channel);
    SetState(kStatePaused);
    ReportStatus(kStatePaused);
}

void TAudioEngine::Resume() {
    Library.ChannelPlay(Channel, false);
    SetState(kStatePlaying);
    ReportStatus(kStatePlaying);
}

void TAudioEngine::Stop() {
    if (OpenWorker != nullptr) {
        OpenWorker->RequestStop();
    }
    Library.ChannelStop(Channel);
    SetState(kStateStopped);
    ReportStatus(kStateStopped);
}

std::int32_t TAudioEngine::BytesToMilliseconds(std::uint64_t bytes) {
    if (bytes == kErrorValue) {
        return 0;
    }
    return SecondsToMilliseconds(Library.ChannelBytes2Seconds(Channel, bytes));
}

std::int32_t TAudioEngine::GetPosition() {
    return BytesToMilliseconds(Library.ChannelGetPosition(Channel, kPosByte));
}

void TAudioEngine::SetPosition(std::int32_t position) {
    const double seconds = std::max<std::int32_t>(position, 0) / 1000.0;
    const std::uint64_t bytes = Library.ChannelSeconds2Bytes(Channel, seconds);
    if (bytes == kErrorValue) {
        return;
    }
    Library.ChannelSetPosition(Channel, bytes, kPosByte);
}

std::int32_t TAudioEngine::GetLength() {
    if (LengthBytes < 0) {
        return 0;
    }
    return BytesToMilliseconds(static_cast<std::uint64_t>(LengthBytes));
}

void TAudioEngine::SetVolume(float volume) {
    Volume = volume;
    Library.ChannelSetAttribute(Channel, kAttribVolume, volume / 100.0f);
}

void TAudioEngine::TimerTick() {
    if (OnTick.IsEmpty() || State.load() == kStateStopped) {
        return;
    }
    const std::int32_t position = GetPosition();
    GetLevelData(TickLevels);
    GetSampleData(TickSamples);
    const std::int32_t length = GetLength();
    try {
        OnTick(State.load(), length, position, TickLevels, TickSamples);
    } catch (...) {
        // Delivered from the event loop, where an exception has nowhere to go.
    }
}

// ---------------------------------------------------------------- library procedures

void TAudioEngine::EndSync(Handle, Handle, std::uint32_t, void *user) {
    auto *engine = static_cast<TAudioEngine *>(user);
    engine->SetState(kStateEnded);
    try {
        if (!engine->OnEnd.IsEmpty()) {
            engine->OnEnd(kStateEnded);
        }
    } catch (...) {
        // Never let an exception unwind into the library's notification thread.
    }
}

void TAudioEngine::DownloadProc(const void *buffer, std::uint32_t length, void *user) {
    auto *engine = static_cast<TAudioEngine *>(user);
    if (buffer == nullptr) {
        std::lock_guard lock(engine->DownloadMutex);
        if (!engine->DownloadSizeSettled) {
            // The owner compares the cached bytes with DownloadSize at this call: hold it back
            // until the worker knows the size.
            engine->DownloadFinalPending = true;
            return;
        }
    }
    engine->ForwardDownload(buffer, length);
}

void TAudioEngine::ForwardDownload(const void *buffer, std::uint32_t length) {
    try {
        if (!OnDownload.IsEmpty()) {
            OnDownload(buffer, length, nullptr);
        }
    } catch (...) {
        // A failing cache write must not disturb the download or playback.
    }
}

void TAudioEngine::SettleDownloadSize(bool opened) {
    bool pending = false;
    {
        std::lock_guard lock(DownloadMutex);
        DownloadSizeSettled = true;
        pending = std::exchange(DownloadFinalPending, false);
    }
    if (pending && opened) {
        ForwardDownload(nullptr, 0);
    }
}

// ---------------------------------------------------------------- equalizer

void TAudioEngine::SetupFX() {
    for (std::size_t band = 0; band < kEqBandCount; ++band) {
        const Handle fx = Library.ChannelSetFX(Channel, kFxParamEq, 1);
        FxHandles[band] = fx;
        const ParamEqParameters parameters{static_cast<float>(EqCenters[band]), kEqBandwidth, 0.0f};
        Library.FXSetParameters(fx, &parameters);
    }
}

void TAudioEngine::SetEQ(const TEqGains &gains) {
    EqGains = gains;
    for (std::size_t band = 0; band < kEqBandCount; ++band) {
        ParamEqParameters parameters{static_cast<float>(EqCenters[band]), kEqBandwidth, 0.0f};
        Library.FXGetParameters(FxHandles[band], &parameters);
        parameters.gain = static_cast<float>(gains[band]);
        Library.FXSetParameters(FxHandles[band], &parameters);
    }
}

void TAudioEngine::ApplyEQ() {
    SetEQ(EqGains);
}

// ---------------------------------------------------------------- track information and data

void TAudioEngine::GetTags(const std::string &path, TTags &tags) {
    const Handle stream = Library.StreamCreateFile(false, path.c_str(), 0, 0, 0);
    if (stream != 0) {
        const std::uint64_t length = Library.ChannelGetLength(stream, kPosByte);
        const double seconds = length == kErrorValue ? -1.0 : Library.ChannelBytes2Seconds(stream, length);
        const double days = seconds / 86400.0;
        tags.Duration = days >= 0.0 ? days : 0.0;
        auto read = [&](const char *format) {
            const char *text = Library.TagsRead(stream, format);
            return std::string(text != nullptr ? text : "");
        };
        tags.Title = read("%TITL");
        tags.Artist = read("%ARTI");
        tags.Album = read("%ALBM");
    } else {
        tags.Title.clear();
        tags.Artist.clear();
        tags.Album.clear();
        tags.Duration = 0.0;
    }
    Library.StreamFree(stream);
}

void TAudioEngine::GetSampleData(TSampleBlock &block) {
    block = SampleBlock;
    if (State.load() == kStatePlaying) {
        const std::uint32_t written = Library.ChannelGetData(Channel, block.data(), kSampleDataBytes);
        if (written == 0xFFFFFFFFu) {
            block = SampleBlock;
        }
    }
}

void TAudioEngine::GetLevelData(TLevelBlock &block) {
    block = LevelBlock;
}

} // namespace lirvo::audio
