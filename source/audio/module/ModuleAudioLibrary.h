#pragma once
// The program's audio library: it stands in for the library of lirvo-audio.so and loads that
// module on first need, or earlier on a thread of its own (LoadInBackground), so that the
// module's loading (FFmpeg, SDL2 and their own libraries, about a hundred) does not delay the
// main window. Every call waits until the module is loaded, then goes to the module's library.
// When the module cannot be loaded, every call fails with kErrorInit and Error() says why.
// The module stays loaded until the process ends. Calls may come from any thread.

#include "audio/lib/AudioLibrary.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::audio {

class ModuleAudioLibrary final : public IAudioLibrary {
public:
    // `modulePath`: the module's file (the program's folder + kAudioModuleFile).
    explicit ModuleAudioLibrary(std::string modulePath);
    // Waits for a load in progress, then frees the module's library.
    ~ModuleAudioLibrary() override;
    ModuleAudioLibrary(const ModuleAudioLibrary &) = delete;
    ModuleAudioLibrary &operator=(const ModuleAudioLibrary &) = delete;

    // Starts loading the module on a thread of its own; `done` runs on that thread when the
    // module is loaded (or failed to load). When the load already happened, `done` runs at once
    // on the calling thread; when it is under way elsewhere, it runs once that load ends.
    void LoadInBackground(std::function<void()> done);
    // True once the load ended, whether it succeeded or not: calls no longer wait.
    bool LoadEnded() const { return loadEnded_.load(std::memory_order_acquire); }
    // Why the module could not be loaded ("" while loading or after success).
    std::string Error() const;

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
    bool OutputPrepare(Handle channel) override;
    bool OutputIsOpen() override;
    bool ChannelSetNext(Handle channel, Handle next) override;
    const char *TagsRead(Handle stream, const char *format) override;

private:
    // The module's library, loading it first when no load has started; nullptr when it could
    // not be loaded (the calling thread's error is then kErrorInit).
    IAudioLibrary *Real();
    // Runs the load (on whichever thread started it) and wakes everyone waiting for it.
    void Load();

    const std::string modulePath_;
    mutable std::mutex mutex_;
    std::condition_variable loaded_;
    bool loadStarted_ = false;
    std::atomic<bool> loadEnded_{false};
    std::vector<std::function<void()>> whenLoaded_;
    std::unique_ptr<IAudioLibrary> real_;
    std::string error_;
    std::thread loader_;
};

} // namespace lirvo::audio
