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

TStreamCreateURLThread::TStreamCreateURLThread(TAudioEngine &engine, std::string localFile)
    : Source(nullptr), Engine(engine), Ahead(true), OwnSource(std::move(localFile)) {
    Source = OwnSource.c_str();
}

void TStreamCreateURLThread::OpenAhead() {
    if (IsStopRequested()) {
        return;
    }
    Handle stream = Engine.Library.StreamCreateFile(false, Source, 0, 0, 0);
    if (stream != 0 && IsStopRequested()) {
        Engine.Library.StreamFree(stream);
        stream = 0;
    }
    Stream = stream;
}

void TStreamCreateURLThread::run() {
    if (Ahead) {
        try {
            OpenAhead();
        } catch (...) {
            Stream = 0; // the track then opens the usual way when its turn comes
        }
        Ended.store(true, std::memory_order_release);
        return;
    }
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
        Engine.UpdateTimerLater();
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
    // The output device is opened here rather than on the main thread, where the track starts:
    // opening it can take a while (a sound server's answer).
    if (stream != 0 && !library.OutputPrepare(stream)) {
        NoDevice = true;
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
    // Ticks keep an even beat: the band's sweep frames fall between them and share no wake-up.
    Timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(Timer.get(), &QTimer::timeout, this, [this] { TimerTick(); });
    UpdateTimer(); // stopped: an idle engine runs no timer
}

void TAudioEngine::UpdateTimer() {
    if (Timer == nullptr) {
        return;
    }
    const std::int32_t state = State.load();
    if (state == kStateStopped) {
        QuietSince.reset();
        Timer->stop();
        return;
    }
    if (state == kStatePlaying || state == kStateConnecting) {
        QuietSince.reset();
    } else if (!QuietSince) {
        QuietSince = std::chrono::steady_clock::now(); // paused, ended or failed
    }
    if (!Timer->isActive()) {
        Timer->start();
    }
}

void TAudioEngine::UpdateTimerLater() {
    QMetaObject::invokeMethod(this, [this] { UpdateTimer(); }, Qt::QueuedConnection);
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
    if (DeviceWorker != nullptr) {
        DeviceWorker->wait(); // bounded by the device's open
        delete std::exchange(DeviceWorker, nullptr);
    }
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
    CancelNext();
    // Workers that open ahead may still run; what they obtained is not wanted any more.
    for (TStreamCreateURLThread *worker : findChildren<TStreamCreateURLThread *>()) {
        worker->RequestStop();
        worker->WaitEnded();
        if (worker->Stream != 0) {
            Library.StreamFree(std::exchange(worker->Stream, 0));
        }
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
    const bool openWanted = PendingSource || (OpenWorker != nullptr && !OpenWorker->IsStopRequested());
    if (openWanted || TakeOverPending) {
        ReportError(kStateEnded, kEngineErrorOpenBusy);
        return;
    }
    if (OpenWorker != nullptr) {
        // Stop abandoned the open under way, and this source takes its place. It opens once
        // that worker has ended (StreamOpened), so that only one open runs at a time: the
        // download counters and the 1005 report belong to a single worker.
        PendingSource = source;
        return;
    }
    StartPlaying(source);
}

void TAudioEngine::StartPlaying(const std::string &source) {
    if (NextChannel != 0 && source == NextSource) {
        Source = source;
        TakeOverNext();
        return;
    }
    CancelNext();
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
    if (abandoned && (PendingSource || DroppedOpens > 0)) {
        ReplaceAbandonedOpen(worker);
        return;
    }
    Handle stream = worker->Stream;
    if (stream != 0 && abandoned) {
        // Stopped after the worker's own check: the stream is not wanted either.
        Library.StreamFree(stream);
        stream = 0;
    }
    Channel = stream;
    std::int32_t errorCode = 0;
    bool started = false;
    bool noDevice = false;
    try {
        if (Channel != 0 && worker->NoDevice) {
            noDevice = true;
        } else if (Channel == 0) {
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
            if (!Library.ChannelPlay(Channel, false) && Library.ErrorGetCode() == kErrorDriver) {
                noDevice = true; // the device went away between the worker's open and now
            } else {
                Library.ChannelSetSync(Channel, kSyncEnd, 0, &TAudioEngine::EndSync, this);
                SetState(kStatePlaying);
                started = true;
            }
        }
    } catch (...) {
        // An implementation of the library that throws leaves the track as it is; the worker is
        // released below all the same.
    }
    // Released before the report, so that a handler may start the next track at once.
    OpenWorker = nullptr;
    worker->deleteLater();
    if (noDevice) {
        DeviceMissing();
        return;
    }
    UpdateTimer();
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

void TAudioEngine::ReplaceAbandonedOpen(TStreamCreateURLThread *worker) {
    if (worker->Stream != 0) {
        Library.StreamFree(std::exchange(worker->Stream, 0));
    }
    Channel = 0; // the track before was freed when this open began
    SetState(kStateOpenFailed);
    OpenWorker = nullptr;
    worker->deleteLater();
    UpdateTimer();
    // The abandoned open, and every PlayFile that Stop dropped before its open began, end as
    // stopped opens (code 0), so each accepted PlayFile still ends once. Meanwhile the waiting
    // PlayFile counts as an open under way: a handler's PlayFile is refused, its Stop drops it.
    int stoppedOpens = 1;
    do {
        stoppedOpens += std::exchange(DroppedOpens, 0);
        for (; stoppedOpens > 0; --stoppedOpens) {
            try {
                ReportError(kStateOpenFailed, kErrorOk);
            } catch (...) {
                // Reached from the event loop, where an exception has nowhere to go.
            }
        }
    } while (DroppedOpens > 0);
    // (A handler that stopped and played on its own has an open under way again.)
    if (PendingSource && OpenWorker == nullptr) {
        const std::string source = *std::exchange(PendingSource, std::nullopt);
        try {
            StartPlaying(source);
        } catch (...) {
            // The track does not start; the next play tries again.
        }
    }
}

void TAudioEngine::ResumeOnceDeviceOpens() {
    // After a long pause the device was let go. Opening it waits on the sound server, which is
    // not done on this thread: the track stays paused until the device is there.
    const Handle channel = Channel;
    auto opened = std::make_shared<std::atomic<bool>>(false);
    DeviceWorker = QThread::create([this, channel, opened] { opened->store(Library.OutputPrepare(channel)); });
    QObject::connect(DeviceWorker, &QThread::finished, this,
                     [this, channel, opened] { DeviceOpenedForResume(channel, opened->load()); });
    DeviceWorker->start();
}

void TAudioEngine::DeviceOpenedForResume(Handle channel, bool opened) {
    DeviceWorker->wait();
    delete std::exchange(DeviceWorker, nullptr);
    // Stopped, another track, or a play that went ahead meanwhile: nothing is left to resume.
    if (channel != Channel || State.load() != kStatePaused) {
        return;
    }
    try {
        if (!opened || (!Library.ChannelPlay(Channel, false) && Library.ErrorGetCode() == kErrorDriver)) {
            ReportError(kStatePaused, kEngineErrorDevice); // stays paused; the next play tries again
            return;
        }
        SetState(kStatePlaying);
        UpdateTimer();
        ReportStatus(kStatePlaying);
    } catch (...) {
        // Reached from the event loop, where an exception has nowhere to go.
    }
}

void TAudioEngine::DeviceMissing() {
    // The row stays where it is and nothing moves on: the owner says why, and the next play
    // opens the track, and with it the device, again.
    Library.StreamFree(Channel);
    Channel = 0;
    LengthBytes = 0;
    SetState(kStateStopped);
    UpdateTimer();
    try {
        ReportStatus(kStateStopped);
        ReportError(kStateStopped, kEngineErrorDevice);
    } catch (...) {
        // Reached from the event loop, where an exception has nowhere to go.
    }
}

void TAudioEngine::Pause() {
    Library.ChannelPause(Channel);
    SetState(kStatePaused);
    UpdateTimer();
    ReportStatus(kStatePaused);
}

void TAudioEngine::Resume() {
    if (DeviceWorker != nullptr) {
        return; // already resuming
    }
    if (Channel != 0 && !Library.OutputIsOpen()) {
        ResumeOnceDeviceOpens();
        return;
    }
    if (!Library.ChannelPlay(Channel, false) && Library.ErrorGetCode() == kErrorDriver) {
        // The device was let go during a long pause and cannot be opened now: stay paused,
        // so the next play tries again.
        ReportError(State.load(), kEngineErrorDevice);
        return;
    }
    SetState(kStatePlaying);
    UpdateTimer();
    ReportStatus(kStatePlaying);
}

void TAudioEngine::Stop() {
    if (OpenWorker != nullptr) {
        OpenWorker->RequestStop();
    }
    TakeOverPending = false; // a taken-over track that was stopped at once does not start
    if (PendingSource) {
        // Nor does a track waiting for an abandoned open to end; it ends with that open.
        PendingSource.reset();
        ++DroppedOpens;
    }
    Library.ChannelStop(Channel);
    if (NextChannel != 0 || NextWorker != nullptr) {
        // Moving to the next row stops, then plays it: the queued track is kept for that
        // PlayFile on this same turn, and let go otherwise.
        const std::uint64_t generation = NextGeneration;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == NextGeneration) {
                    CancelNext();
                }
            },
            Qt::QueuedConnection);
    }
    SetState(kStateStopped);
    UpdateTimer();
    ReportStatus(kStateStopped);
}

// ---------------------------------------------------------------- gapless

void TAudioEngine::QueueNext(const std::string &localFile) {
    if (localFile == NextSource) {
        return;
    }
    CancelNext();
    if (localFile.empty() || Channel == 0 || OpenWorker != nullptr || TakeOverPending) {
        return;
    }
    NextSource = localFile;
    auto *worker = new TStreamCreateURLThread(*this, localFile);
    worker->setParent(this);
    NextWorker = worker;
    QObject::connect(
        worker, &QThread::finished, this, [this, worker] { AheadOpened(worker); }, Qt::QueuedConnection);
    worker->start();
}

void TAudioEngine::AheadOpened(TStreamCreateURLThread *worker) {
    worker->WaitEnded();
    const Handle stream = std::exchange(worker->Stream, 0);
    const bool wanted = worker == NextWorker && !worker->IsStopRequested();
    worker->deleteLater();
    if (!wanted) {
        if (stream != 0) {
            Library.StreamFree(stream);
        }
        return;
    }
    NextWorker = nullptr;
    if (stream == 0) {
        return; // not a local file: it opens the usual way when its turn comes
    }
    if (Channel == 0) {
        Library.StreamFree(stream);
        return;
    }
    NextChannel = stream;
    SetupFXOn(NextChannel, NextFxHandles);
    ApplyGainsTo(NextFxHandles);
    Library.ChannelSetAttribute(NextChannel, kAttribVolume, Volume / 100.0f);
    Library.ChannelSetSync(NextChannel, kSyncEnd, 0, &TAudioEngine::EndSync, this);
    Library.ChannelSetNext(Channel, NextChannel);
}

void TAudioEngine::CancelNext() {
    ++NextGeneration;
    if (NextWorker != nullptr) {
        NextWorker->RequestStop(); // its completion frees what it obtained
        NextWorker = nullptr;
    }
    if (NextChannel != 0) {
        Library.ChannelSetNext(Channel, 0);
        Library.StreamFree(NextChannel);
        NextChannel = 0;
        NextFxHandles.fill(0);
    }
    NextSource.clear();
}

void TAudioEngine::TakeOverNext() {
    // The queued stream is already playing when the library handed over at the end of the
    // current track; otherwise (the track was left early) it starts here.
    Library.StreamFree(Channel);
    Channel = std::exchange(NextChannel, 0);
    FxHandles = NextFxHandles;
    NextFxHandles.fill(0);
    NextSource.clear();
    ++NextGeneration;
    const std::uint64_t length = Library.ChannelGetLength(Channel, kPosByte);
    LengthBytes = length == kErrorValue ? -1 : static_cast<std::int64_t>(length);
    const bool noDevice = !Library.ChannelPlay(Channel, false) && Library.ErrorGetCode() == kErrorDriver;
    // Reported on a later turn, like an open's completion: the caller first finishes what it
    // does after PlayFile (the end of the previous track, its plug-in message, its lyric).
    TakeOverPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, noDevice] {
            if (!TakeOverPending) {
                return; // stopped meanwhile
            }
            TakeOverPending = false;
            if (noDevice) {
                DeviceMissing();
                return;
            }
            SetState(kStatePlaying);
            UpdateTimer();
            try {
                ReportStatus(kStatePlaying);
            } catch (...) {
                // Delivered from the event loop, where an exception has nowhere to go.
            }
        },
        Qt::QueuedConnection);
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
    if (QuietSince) {
        // Paused or ended: the owner is told the new place by a few more ticks.
        QuietSince.reset();
        UpdateTimer();
    }
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
    if (NextChannel != 0) {
        Library.ChannelSetAttribute(NextChannel, kAttribVolume, volume / 100.0f);
    }
}

void TAudioEngine::TimerTick() {
    if (QuietSince && std::chrono::steady_clock::now() - *QuietSince >= std::chrono::milliseconds(QuietTickLimitMs)) {
        Timer->stop(); // nothing has moved for a while: an idle engine runs no timer
        return;
    }
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
    engine->UpdateTimerLater();
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
    SetupFXOn(Channel, FxHandles);
}

void TAudioEngine::SetupFXOn(Handle channel, std::array<Handle, kEqBandCount> &handles) {
    for (std::size_t band = 0; band < kEqBandCount; ++band) {
        const Handle fx = Library.ChannelSetFX(channel, kFxParamEq, 1);
        handles[band] = fx;
        const ParamEqParameters parameters{static_cast<float>(EqCenters[band]), kEqBandwidth, 0.0f};
        Library.FXSetParameters(fx, &parameters);
    }
}

void TAudioEngine::SetEQ(const TEqGains &gains) {
    EqGains = gains;
    ApplyGainsTo(FxHandles);
    if (NextChannel != 0) {
        ApplyGainsTo(NextFxHandles); // the queued track follows with the same sound
    }
}

void TAudioEngine::ApplyGainsTo(const std::array<Handle, kEqBandCount> &handles) {
    for (std::size_t band = 0; band < kEqBandCount; ++band) {
        ParamEqParameters parameters{static_cast<float>(EqCenters[band]), kEqBandwidth, 0.0f};
        Library.FXGetParameters(handles[band], &parameters);
        parameters.gain = static_cast<float>(EqGains[band]);
        Library.FXSetParameters(handles[band], &parameters);
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
