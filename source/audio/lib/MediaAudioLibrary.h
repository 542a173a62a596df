#pragma once
// IAudioLibrary over FFmpeg, SDL2, libcurl and TagLib. See AudioLibrary.h for the contract.

#include "audio/lib/AddonRegistry.h"
#include "audio/lib/AudioLibrary.h"
#include "audio/lib/OutputMixer.h"
#include "audio/lib/PlaybackChannel.h"
#include "audio/lib/SyncNotifier.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace lirvo::audio {

class MediaAudioLibrary final : public IAudioLibrary {
public:
    MediaAudioLibrary();
    ~MediaAudioLibrary() override;

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
    bool OutputIsOpen() override;
    bool ChannelSetNext(Handle channel, Handle next) override;

private:
    Handle NextHandle();
    std::shared_ptr<PlaybackChannel> FindChannel(Handle handle);
    std::shared_ptr<PlaybackChannel> ChannelOfEffect(Handle fx); // the channel an effect belongs to
    Handle AddChannel(std::unique_ptr<DecodedSource> source, ChannelOrigin origin);
    std::unique_ptr<DecodedSource> OpenSource(const std::function<std::unique_ptr<ByteReader>()> &makeReader,
                                              bool progressive);
    Handle OpenUrl(std::string url, std::uint32_t offset, DownloadProc proc, void *user, int depth);
    Handle OpenHls(const std::string &url, int timeoutMs);
    void FreeChannel(const std::shared_ptr<PlaybackChannel> &channel);

    std::atomic<Handle> nextHandle_{0};
    std::atomic<bool> initialised_{false};
    std::atomic<std::uint32_t> netTimeoutMs_{5000};
    std::atomic<std::uint32_t> netPrebuf_{75};
    std::atomic<std::uint32_t> netPlaylist_{0};
    std::atomic<std::uint32_t> netReadTimeoutMs_{15000};

    std::mutex lifeMutex_; // Init/Free against each other
    std::unique_ptr<SyncNotifier> notifier_;
    std::unique_ptr<OutputMixer> mixer_;
    AddonRegistry addons_;

    std::mutex objectsMutex_;
    std::map<Handle, std::shared_ptr<PlaybackChannel>> channels_;
    std::map<Handle, Handle> effectOwners_; // effect -> channel
};

} // namespace lirvo::audio
