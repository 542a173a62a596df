#pragma once
// TAudioEngine: the player's one way to sound. It owns one current track (a channel of the audio
// library), opens new tracks on a worker thread so the caller never blocks, drives a 50 ms tick,
// keeps a ten-band equalizer and reports to its owner through five callback slots.
//
// Threads: every operation is called on the thread that created the engine (the main thread),
// which must run a Qt event loop (the open completion and the tick are delivered through it).
// Reports arrive on these threads:
//   OnStatus   main thread, except status 1005 (connecting): the open worker's thread
//   OnEnd      a notification thread of the audio library
//   OnTick     main thread
//   OnDownload the audio library's download thread; the final call (no buffer) comes from the
//              open worker instead when the download ended before the network open returned,
//              so that DownloadSize is always known when the final call arrives
//   OnError    main thread
// Handlers called on the main thread from the open completion or the tick, and every handler
// called on another thread, may throw: the engine discards such exceptions. Exceptions thrown by
// handlers during an operation the owner called (Pause, Resume, Stop, SetVolume, ...) reach the
// owner as the operation's exception.

#include "audio/lib/AudioLibrary.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace lirvo::audio {

// Playback state codes held in TAudioEngine::State and passed to OnStatus / OnEnd / OnError.
inline constexpr std::int32_t kStateStopped = 1001;
inline constexpr std::int32_t kStatePlaying = 1002;
inline constexpr std::int32_t kStatePaused = 1003;
inline constexpr std::int32_t kStateEnded = 1004; // also the status of the -1 and -3 error reports
inline constexpr std::int32_t kStateConnecting = 1005;
inline constexpr std::int32_t kStateOpenFailed = 1006;

// Engine-level codes of OnError (other codes passed with status 1006 come from the library).
inline constexpr std::int32_t kEngineErrorVersion = -1;  // library of another interface version
inline constexpr std::int32_t kEngineErrorDevice = -2;   // no output device could be opened: at
                                                         // start-up, or for a track (the row stays,
                                                         // the next play tries the device again)
inline constexpr std::int32_t kEngineErrorOpenBusy = -3; // PlayFile while an open is under way

inline constexpr std::size_t kEqBandCount = 10;
inline constexpr std::size_t kLevelBlockSize = 1025;
inline constexpr std::size_t kSampleBlockSize = 2049;
inline constexpr int kTickIntervalMs = 50;
// The tick stops this long after playback stopped moving (paused, ended, failed), once the owner
// has been shown where it stands; a seek while quiet runs it this long again. While stopped it
// does not run at all.
inline constexpr int kQuietTickLimitMs = 1000;

using TLevelBlock = std::array<std::uint32_t, kLevelBlockSize>;
using TSampleBlock = std::array<float, kSampleBlockSize>;
using TEqGains = std::array<std::int32_t, kEqBandCount>; // dB per band

// A callback slot: a procedure and a context value. The context is passed first in every call.
// An empty slot (no procedure) means the event is not reported.
template <typename... Args> struct TCallbackSlot {
    using TProcedure = void (*)(void *context, Args...);
    TProcedure Procedure = nullptr;
    void *Context = nullptr;

    bool IsEmpty() const { return Procedure == nullptr; }
    void operator()(Args... args) const { Procedure(Context, args...); }

    // Slot calling owner->*Method(args...), e.g. TStatusSlot::Bind<&TZylMain::OnStatus>(this).
    template <auto Method, typename Owner> static TCallbackSlot Bind(Owner *owner) {
        return {[](void *context, Args... args) { (static_cast<Owner *>(context)->*Method)(args...); },
                owner};
    }
};

using TStatusSlot = TCallbackSlot<std::int32_t>; // status
using TEndSlot = TCallbackSlot<std::int32_t>;    // status, always 1004
using TTickSlot = TCallbackSlot<std::int32_t, std::int32_t, std::int32_t, const TLevelBlock &,
                                const TSampleBlock &>; // state, length ms, position ms, blocks
using TDownloadSlot = TCallbackSlot<const void *, std::uint32_t, void *>; // buffer (nullptr at the end),
                                                                          // length, user value (nullptr)
using TErrorSlot = TCallbackSlot<std::int32_t, std::int32_t>;             // status, code

// Title, artist, album (UTF-8, empty when absent) and duration in days (seconds / 86400, 0 when
// the length cannot be read).
struct TTags {
    std::string Title;
    std::string Artist;
    std::string Album;
    double Duration = 0.0;
};

class TAudioEngine;

// Opens the engine's source text on its own thread: first as a local file, then as a network
// location. Its completion (TAudioEngine::StreamOpened) runs on the engine's thread; the engine
// deletes the worker afterwards.
class TStreamCreateURLThread : public QThread {
public:
    TStreamCreateURLThread(TAudioEngine &engine, const char *source);
    // A worker that opens the next track ahead for a gapless hand-over: a local file only, on
    // its own copy of the text, touching no engine state.
    TStreamCreateURLThread(TAudioEngine &engine, std::string localFile);

    const char *Source; // points into the engine's Source, unchanged while the worker exists
    Handle Stream = 0;  // the stream obtained, 0 = none; read after the thread ended
    int ErrorCode = 0;  // the library's code for the failed open (never 0 when Stream is 0 and
                        // the open was not stopped)
    bool NoDevice = false; // the stream opened but no output device could be opened for it

    // Asks the worker to abandon its open; also valid before it started and after it ended
    // (QThread's own interruption request is ignored outside the thread's run time).
    void RequestStop() { StopRequested.store(true); }
    bool IsStopRequested() const { return StopRequested.load(); }

    // Waits until run() has returned. The results are also published through Ended, so their
    // hand-over does not rest on QThread's internal futex lock alone, which ThreadSanitizer
    // cannot see (`make tsan`).
    void WaitEnded() {
        wait();
        (void)Ended.load(std::memory_order_acquire);
    }

protected:
    void run() override;

private:
    void Open();
    void OpenAhead();

    TAudioEngine &Engine;
    std::atomic<bool> StopRequested{false};
    const bool Ahead = false;
    const std::string OwnSource;
    std::atomic<bool> Ended{false};
};

class TAudioEngine : public QObject {
public:
    // Starts the library on `windowHandle`'s behalf and loads the add-ons "b_*.so" found in
    // `addonFolder`. Never throws for library failures: they leave Filter empty.
    TAudioEngine(IAudioLibrary &library, std::uintptr_t windowHandle, const std::string &addonFolder,
                 QObject *parent = nullptr);
    ~TAudioEngine() override;
    TAudioEngine(const TAudioEngine &) = delete;
    TAudioEngine &operator=(const TAudioEngine &) = delete;

    // The fixed three-entry filter text (not used by the program; Filter is).
    virtual void GetDefaultFilter(std::string &text);

    // ---- transport (main thread) ----
    // Frees the current stream and opens `source` (path or URL) on the open worker; plays it once
    // opened (status 1002) or ends in state 1006 with OnError(1006, code), where code is the
    // library's error code of the failed network open. While an open is under way the call is
    // refused with OnError(1004, -3), unless Stop abandoned that open: then `source` waits
    // until the abandoned worker has ended (one open at a time) and opens right after the
    // abandoned open's OnError(1006, 0). So Stop followed by PlayFile always plays the new
    // source, however soon after an earlier PlayFile it comes. A waiting source counts as an
    // open under way (a further PlayFile is refused). Every accepted PlayFile ends in exactly
    // one report: 1002, or OnError with state 1006 (or OnError(1001, -2), see below).
    void PlayFile(const std::string &source);
    void Pause();
    void Resume();
    // Stops the channel (status 1001 at once). An open under way is abandoned: its stream, if it
    // still arrives, is freed and the open completes with state 1006 and OnError(1006, 0). A
    // source still waiting for an abandoned open is dropped and ends with it, also with
    // OnError(1006, 0).
    void Stop();
    // A track whose output device cannot be opened is not played: its stream is freed, the state
    // becomes 1001 (OnStatus(1001)) and OnError(1001, kEngineErrorDevice) follows, so the owner
    // can say so and stay on the row; the next PlayFile tries the device again. A Resume that
    // finds no device stays paused and reports OnError(1003, kEngineErrorDevice).

    // ---- gapless ----
    // Opens `localFile` ahead on a worker of its own and has the library start it the moment
    // the current track ends, with no gap. A later PlayFile of the same text takes that stream
    // over instead of opening it again (status 1002 follows as a queued report, after whatever
    // the caller does next on this turn). Another text replaces the queued one, "" cancels it;
    // Stop cancels it unless a PlayFile of it follows on the same turn. Network locations and
    // texts that do not open as local files are not queued.
    void QueueNext(const std::string &localFile);
    const std::string &QueuedNext() const { return NextSource; }
    std::int32_t GetPosition();              // milliseconds, never negative
    void SetPosition(std::int32_t position); // milliseconds
    std::int32_t GetLength();                // milliseconds of the current track, never negative
    void SetVolume(float volume);            // 0..100; kept for tracks opened later

    // ---- equalizer ----
    void SetupFX();                    // ten flat bands on the current channel
    void SetEQ(const TEqGains &gains); // stores and applies the gains (dB)
    void ApplyEQ();                    // SetEQ(EqGains)

    // ---- track information and data ----
    // Reads tags and length of `path` through a separate stream; the current track is untouched.
    // Touches no engine state, so it may also run on a worker thread (many files at a time).
    void GetTags(const std::string &path, TTags &tags);
    void GetSampleData(TSampleBlock &block);
    void GetLevelData(TLevelBlock &block);

    // Bound to the 50 ms timer; reports OnTick unless stopped or the slot is empty.
    void TimerTick();

    // ---- read by the owner ----
    std::atomic<std::int32_t> State{kStateStopped};
    std::string Filter; // "所有音乐|<patterns>" for the open dialog; empty when the library failed
    // Total size of the network file being opened (kErrorValue when the server did not tell) and the
    // bytes the owner has cached of it. Both are reset to 0 when an open starts; DownloadedBytes is
    // then maintained by the owner's OnDownload handler.
    std::atomic<std::uint64_t> DownloadSize{0};
    std::atomic<std::uint64_t> DownloadedBytes{0};

    // ---- assigned by the owner right after construction ----
    TTickSlot OnTick;
    TErrorSlot OnError;
    TStatusSlot OnStatus;
    TEndSlot OnEnd;
    TDownloadSlot OnDownload;

    // ---- inspection ----
    Handle CurrentChannel() const { return Channel; }
    float CurrentVolume() const { return Volume; }
    const TEqGains &CurrentEqGains() const { return EqGains; }
    bool IsOpening() const { return OpenWorker != nullptr; }
    bool IsResuming() const { return DeviceWorker != nullptr; }
    bool IsTicking() const { return Timer != nullptr && Timer->isActive(); }
    Handle QueuedChannel() const { return NextChannel; }
    int QuietTickLimitMs = kQuietTickLimitMs; // tests shorten it

private:
    friend class TStreamCreateURLThread;

    void InitAudio(const std::string &addonFolder);
    void StreamOpened();
    void StartPlaying(const std::string &source); // PlayFile with no open under way
    // Completion of an abandoned open that a later PlayFile waits for (or Stop dropped).
    void ReplaceAbandonedOpen(TStreamCreateURLThread *worker);
    void DeviceMissing(); // after an open whose output device could not be opened
    // Resume when the device was let go: it is opened on a worker, the track starts after.
    void ResumeOnceDeviceOpens();
    void DeviceOpenedForResume(Handle channel, bool opened);
    // Starts or stops the tick for the current state (main thread).
    void UpdateTimer();
    void UpdateTimerLater(); // from other threads
    void SetupFXOn(Handle channel, std::array<Handle, kEqBandCount> &handles);
    void ApplyGainsTo(const std::array<Handle, kEqBandCount> &handles);
    void AheadOpened(TStreamCreateURLThread *worker);
    void CancelNext();
    void TakeOverNext();
    void SetState(std::int32_t code) { State.store(code); }
    void ReportStatus(std::int32_t status);
    void ReportError(std::int32_t status, std::int32_t code);
    std::int32_t BytesToMilliseconds(std::uint64_t bytes);
    static void EndSync(Handle sync, Handle channel, std::uint32_t data, void *user);
    static void DownloadProc(const void *buffer, std::uint32_t length, void *user);
    void ForwardDownload(const void *buffer, std::uint32_t length);
    // Called by the worker once DownloadSize is settled; forwards a final call held back meanwhile
    // (when the open failed, a held-back final call is dropped: there is no download to keep).
    void SettleDownloadSize(bool opened);

    IAudioLibrary &Library;
    Handle Channel = 0;
    Handle PluginHandle = 0;
    std::int64_t LengthBytes = 0;
    std::unique_ptr<QTimer> Timer;
    std::uintptr_t WindowHandle = 0;
    std::array<Handle, kEqBandCount> FxHandles{};
    std::array<std::int32_t, kEqBandCount> EqCenters{};
    TSampleBlock SampleBlock{};
    TLevelBlock LevelBlock{};
    TEqGains EqGains{};
    std::string Source;
    float Volume = 0.0f;
    TStreamCreateURLThread *OpenWorker = nullptr;
    QThread *DeviceWorker = nullptr; // opens the device for a resume (ResumeOnceDeviceOpens)
    // What a PlayFile after Stop asked for while the abandoned open was still on its worker.
    std::optional<std::string> PendingSource;
    int DroppedOpens = 0; // waiting sources that Stop dropped; they end with the abandoned open
    // Ticks stop once playback has not moved for QuietTickLimitMs.
    std::optional<std::chrono::steady_clock::time_point> QuietSince;
    // The next track, opened ahead (gapless).
    std::string NextSource;
    TStreamCreateURLThread *NextWorker = nullptr;
    Handle NextChannel = 0;
    std::array<Handle, kEqBandCount> NextFxHandles{};
    std::uint64_t NextGeneration = 0; // bumped whenever the queued track changes
    bool TakeOverPending = false;     // a taken-over track's status 1002 is still to come
    TLevelBlock TickLevels{};
    TSampleBlock TickSamples{};
    // The end of a download may be reported before the open returned with the size; the final
    // call then waits here until the worker settled DownloadSize.
    std::mutex DownloadMutex;
    bool DownloadSizeSettled = true;
    bool DownloadFinalPending = false;
};

} // namespace lirvo::audio
