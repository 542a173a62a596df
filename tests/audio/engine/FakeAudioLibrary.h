#pragma once
// A scripted audio library for engine tests: files and network locations with scripted results,
// an optional gate that holds network opens until released, downloads and end syncs delivered
// on threads of its own, and a record of every call.

#include "audio/lib/AudioLibrary.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::audio::testing {

// 44100 Hz stereo 32-bit float, like the real library's output.
inline constexpr std::uint64_t kBytesPerSecond = 44100ull * 2 * 4;

struct FakeFile {
    std::uint64_t lengthBytes = 180 * kBytesPerSecond;
    std::string title, artist, album;
};

struct FakeUrl {
    bool succeeds = true;
    int failCode = kErrorNoNetwork;
    std::uint64_t lengthBytes = 60 * kBytesPerSecond;
    std::uint64_t totalSize = kErrorValue;  // kFilePosEnd answer
    std::vector<std::string> blocks;        // delivered in order, then the final call
    int firstBlockDelayMs = 0;              // the download starts this long after the open
    bool finishesBeforeOpenReturns = false; // every block and the final call precede the return
};

struct FakeAddon {
    std::vector<std::string> extensions; // one format record per entry
};

struct FakeStream {
    std::string source;
    bool network = false;
    bool freed = false;
    bool playing = false;
    std::uint64_t lengthBytes = 0;
    std::uint64_t positionBytes = 0;
    std::vector<float> volumes;
    std::vector<Handle> effects;
    SyncProc endSync = nullptr;
    void *endSyncUser = nullptr;
    Handle next = 0; // ChannelSetNext: starts when this one ends
    FakeFile tags;
};

class FakeAudioLibrary : public IAudioLibrary {
public:
    ~FakeAudioLibrary() override;

    // ---- script (set before the engine uses them) ----
    std::uint32_t version = kInterfaceVersion;
    bool initSucceeds = true;
    std::map<std::string, FakeFile> files;   // by path
    std::map<std::string, FakeUrl> urls;     // by location
    std::map<std::string, FakeAddon> addons; // by file name without folder
    bool bytesToSecondsFails = false;        // ChannelBytes2Seconds answers -1 for every channel
    bool deviceAvailable = true;             // else OutputPrepare and ChannelPlay fail (kErrorDriver)
    bool outputOpen = true;                  // OutputIsOpen's answer; a successful OutputPrepare opens it
    std::thread::id prepareThread;           // where OutputPrepare last ran

    // Network opens wait until ReleaseUrlOpens while held.
    void HoldUrlOpens();
    void ReleaseUrlOpens();
    // Number of network opens currently waiting at the gate.
    int WaitingUrlOpens();

    // Fires the end sync of `stream` on a thread of its own; returns after the procedure ran.
    // A stream set to follow it starts playing first, as the real library's hand-over does.
    void EndChannel(Handle stream);
    void SetPositionBytes(Handle stream, std::uint64_t bytes);

    // ---- records ----
    std::vector<std::string> Calls();       // "Name arg arg ..." in call order
    bool Called(const std::string &call);   // an exact entry of Calls()
    FakeStream StreamRecord(Handle stream); // copy of the stream's record
    Handle LastStream();                    // the latest stream handed out, 0 if none
    std::vector<Handle> StreamsOf(const std::string &source);
    ParamEqParameters Effect(Handle fx);
    std::vector<std::thread::id> DownloadThreads();
    // The threads StreamCreateFile was called on for `path`, in call order.
    std::vector<std::thread::id> FileOpenThreads(const std::string &path);

    // ---- IAudioLibrary ----
    std::uint32_t GetVersion() override;
    bool Init(int device, std::uint32_t frequency, std::uint32_t flags, std::uintptr_t window,
              const void *clsid) override;
    bool SetConfig(std::uint32_t option, std::uint32_t value) override;
    bool Start() override;
    bool Stop() override;
    bool Free() override;
    Handle PluginLoad(const char *file, std::uint32_t flags) override;
    const PluginInfo *PluginGetInfo(Handle plugin) override;
    bool PluginFree(Handle plugin) override;
    Handle StreamCreateFile(bool memory, const void *file, std::uint64_t offset, std::uint64_t length,
                            std::uint32_t flags) override;
    Handle StreamCreateURL(const char *url, std::uint32_t offset, std::uint32_t flags, DownloadProc proc,
                           void *user) override;
    bool StreamFree(Handle stream) override;
    std::uint64_t StreamGetFilePosition(Handle stream, std::uint32_t mode) override;
    bool ChannelPlay(Handle channel, bool restart) override;
    bool ChannelPause(Handle channel) override;
    bool ChannelStop(Handle channel) override;
    bool ChannelSetAttribute(Handle channel, std::uint32_t attribute, float value) override;
    std::uint64_t ChannelGetLength(Handle channel, std::uint32_t mode) override;
    std::uint64_t ChannelGetPosition(Handle channel, std::uint32_t mode) override;
    bool ChannelSetPosition(Handle channel, std::uint64_t position, std::uint32_t mode) override;
    double ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) override;
    std::uint64_t ChannelSeconds2Bytes(Handle channel, double seconds) override;
    Handle ChannelSetSync(Handle channel, std::uint32_t type, std::uint64_t param, SyncProc proc,
                          void *user) override;
    int ErrorGetCode() override;
    Handle ChannelSetFX(Handle channel, std::uint32_t type, int priority) override;
    bool FXSetParameters(Handle fx, const ParamEqParameters *parameters) override;
    bool FXGetParameters(Handle fx, ParamEqParameters *parameters) override;
    std::uint32_t ChannelGetData(Handle channel, void *buffer, std::uint32_t length) override;
    const char *TagsRead(Handle stream, const char *format) override;
    bool OutputPrepare(Handle channel) override;
    bool OutputIsOpen() override { return outputOpen; }
    bool ChannelSetNext(Handle channel, Handle next) override;

private:
    struct Download {
        std::thread thread;
        bool cancelled = false;
    };
    struct LoadedAddon {
        std::vector<std::string> extensions;
        std::vector<PluginFormat> formats;
        PluginInfo info{};
    };

    void Log(std::string call);
    FakeStream *Live(Handle stream); // nullptr (and error kErrorHandle) for unknown or freed
    void StopDownload(Handle stream, std::unique_lock<std::mutex> &lock);
    Handle NewStream(FakeStream record);

    std::mutex mutex_;
    std::condition_variable gateChanged_;
    bool gateHeld_ = false;
    int waitingAtGate_ = 0;
    std::vector<std::string> calls_;
    Handle nextHandle_ = 100;
    Handle lastStream_ = 0;
    std::map<Handle, FakeStream> streams_;
    std::map<Handle, std::unique_ptr<Download>> downloads_;
    std::map<Handle, ParamEqParameters> effects_;
    std::map<Handle, std::unique_ptr<LoadedAddon>> loadedAddons_;
    std::vector<std::thread::id> downloadThreads_;
    std::map<std::string, std::vector<std::thread::id>> fileOpenThreads_;
};

} // namespace lirvo::audio::testing
