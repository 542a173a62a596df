#include "audio/module/ModuleAudioLibrary.h"

#include "audio/module/AudioModule.h"

#include <dlfcn.h>

#include <utility>

namespace lirvo::audio {

namespace {

// Whether the calling thread's last call found no library to go to (its error is then kErrorInit).
thread_local bool tNoLibrary = false;

template <typename T> T Unavailable(T value) {
    tNoLibrary = true;
    return value;
}

} // namespace

ModuleAudioLibrary::ModuleAudioLibrary(std::string modulePath) : modulePath_(std::move(modulePath)) {}

ModuleAudioLibrary::~ModuleAudioLibrary() {
    if (loader_.joinable()) {
        loader_.join();
    }
    // The library goes; the module itself stays mapped until the process ends, since the
    // libraries it brought may still have exit handlers of their own to run.
    real_.reset();
}

void ModuleAudioLibrary::LoadInBackground(std::function<void()> done) {
    std::unique_lock lock(mutex_);
    if (loadEnded_.load()) {
        lock.unlock();
        if (done) {
            done();
        }
        return;
    }
    if (done) {
        whenLoaded_.push_back(std::move(done));
    }
    if (!loadStarted_) {
        loadStarted_ = true;
        loader_ = std::thread([this] { Load(); });
    }
}

std::string ModuleAudioLibrary::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void ModuleAudioLibrary::Load() {
    std::unique_ptr<IAudioLibrary> library;
    std::string error;
    // RTLD_LOCAL: the module's libraries answer only its own symbol look-ups.
    if (void *module = dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        auto entry = reinterpret_cast<AudioModuleEntry>(dlsym(module, kAudioModuleEntry));
        if (entry == nullptr) {
            error = modulePath_ + " has no entry " + kAudioModuleEntry;
        } else {
            library.reset(entry(kInterfaceVersion));
            if (!library) {
                error = modulePath_ + " was built for another interface version";
            }
        }
    } else {
        const char *why = dlerror();
        error = why != nullptr ? why : modulePath_ + " could not be loaded";
    }
    std::vector<std::function<void()>> callbacks;
    {
        std::lock_guard lock(mutex_);
        real_ = std::move(library);
        error_ = std::move(error);
        callbacks.swap(whenLoaded_);
        loadEnded_.store(true, std::memory_order_release);
    }
    loaded_.notify_all();
    for (auto &callback : callbacks) {
        callback();
    }
}

IAudioLibrary *ModuleAudioLibrary::Real() {
    if (!loadEnded_.load(std::memory_order_acquire)) {
        std::unique_lock lock(mutex_);
        if (!loadStarted_) {
            // Nobody started the load yet: this caller does it.
            loadStarted_ = true;
            lock.unlock();
            Load();
        } else {
            loaded_.wait(lock, [this] { return loadEnded_.load(); });
        }
    }
    // After the load ended real_ never changes.
    IAudioLibrary *library = real_.get();
    tNoLibrary = library == nullptr;
    return library;
}

std::uint32_t ModuleAudioLibrary::GetVersion() {
    IAudioLibrary *real = Real();
    // Without the module, the interface version this program was built for: the engine then
    // reports the library's failures (a missing device) rather than a version mismatch.
    return real != nullptr ? real->GetVersion() : Unavailable(kInterfaceVersion);
}

bool ModuleAudioLibrary::Init(int device, std::uint32_t frequency, std::uint32_t flags, std::uintptr_t window,
                              const void *clsid) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->Init(device, frequency, flags, window, clsid) : Unavailable(false);
}

bool ModuleAudioLibrary::SetConfig(std::uint32_t option, std::uint32_t value) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->SetConfig(option, value) : Unavailable(false);
}

bool ModuleAudioLibrary::Start() {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->Start() : Unavailable(false);
}

bool ModuleAudioLibrary::Stop() {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->Stop() : Unavailable(false);
}

bool ModuleAudioLibrary::Free() {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->Free() : Unavailable(false);
}

Handle ModuleAudioLibrary::PluginLoad(const char *file, std::uint32_t flags) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->PluginLoad(file, flags) : Unavailable<Handle>(0);
}

const PluginInfo *ModuleAudioLibrary::PluginGetInfo(Handle plugin) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->PluginGetInfo(plugin) : Unavailable<const PluginInfo *>(nullptr);
}

bool ModuleAudioLibrary::PluginFree(Handle plugin) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->PluginFree(plugin) : Unavailable(false);
}

Handle ModuleAudioLibrary::StreamCreateFile(bool memory, const void *file, std::uint64_t offset,
                                            std::uint64_t length, std::uint32_t flags) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->StreamCreateFile(memory, file, offset, length, flags) : Unavailable<Handle>(0);
}

Handle ModuleAudioLibrary::StreamCreateURL(const char *url, std::uint32_t offset, std::uint32_t flags,
                                           DownloadProc proc, void *user) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->StreamCreateURL(url, offset, flags, proc, user) : Unavailable<Handle>(0);
}

bool ModuleAudioLibrary::StreamFree(Handle stream) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->StreamFree(stream) : Unavailable(false);
}

std::uint64_t ModuleAudioLibrary::StreamGetFilePosition(Handle stream, std::uint32_t mode) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->StreamGetFilePosition(stream, mode) : Unavailable(kErrorValue);
}

bool ModuleAudioLibrary::ChannelPlay(Handle channel, bool restart) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelPlay(channel, restart) : Unavailable(false);
}

bool ModuleAudioLibrary::ChannelPause(Handle channel) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelPause(channel) : Unavailable(false);
}

bool ModuleAudioLibrary::ChannelStop(Handle channel) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelStop(channel) : Unavailable(false);
}

bool ModuleAudioLibrary::ChannelSetAttribute(Handle channel, std::uint32_t attribute, float value) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSetAttribute(channel, attribute, value) : Unavailable(false);
}

std::uint64_t ModuleAudioLibrary::ChannelGetLength(Handle channel, std::uint32_t mode) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelGetLength(channel, mode) : Unavailable(kErrorValue);
}

std::uint64_t ModuleAudioLibrary::ChannelGetPosition(Handle channel, std::uint32_t mode) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelGetPosition(channel, mode) : Unavailable(kErrorValue);
}

bool ModuleAudioLibrary::ChannelSetPosition(Handle channel, std::uint64_t position, std::uint32_t mode) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSetPosition(channel, position, mode) : Unavailable(false);
}

double ModuleAudioLibrary::ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelBytes2Seconds(channel, bytes) : Unavailable(-1.0);
}

std::uint64_t ModuleAudioLibrary::ChannelSeconds2Bytes(Handle channel, double seconds) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSeconds2Bytes(channel, seconds) : Unavailable(kErrorValue);
}

Handle ModuleAudioLibrary::ChannelSetSync(Handle channel, std::uint32_t type, std::uint64_t param, SyncProc proc,
                                          void *user) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSetSync(channel, type, param, proc, user) : Unavailable<Handle>(0);
}

int ModuleAudioLibrary::ErrorGetCode() {
    if (tNoLibrary) {
        return kErrorInit;
    }
    // Asking never starts the load: before it ended, no call of this thread failed.
    IAudioLibrary *real = loadEnded_.load(std::memory_order_acquire) ? real_.get() : nullptr;
    return real != nullptr ? real->ErrorGetCode() : kErrorOk;
}

Handle ModuleAudioLibrary::ChannelSetFX(Handle channel, std::uint32_t type, int priority) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSetFX(channel, type, priority) : Unavailable<Handle>(0);
}

bool ModuleAudioLibrary::FXSetParameters(Handle fx, const ParamEqParameters *parameters) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->FXSetParameters(fx, parameters) : Unavailable(false);
}

bool ModuleAudioLibrary::FXGetParameters(Handle fx, ParamEqParameters *parameters) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->FXGetParameters(fx, parameters) : Unavailable(false);
}

std::uint32_t ModuleAudioLibrary::ChannelGetData(Handle channel, void *buffer, std::uint32_t length) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelGetData(channel, buffer, length) : Unavailable(0xFFFFFFFFu);
}

bool ModuleAudioLibrary::OutputPrepare(Handle channel) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->OutputPrepare(channel) : Unavailable(false);
}

bool ModuleAudioLibrary::OutputIsOpen() {
    IAudioLibrary *real = Real();
    return real == nullptr || real->OutputIsOpen();
}

bool ModuleAudioLibrary::ChannelSetNext(Handle channel, Handle next) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->ChannelSetNext(channel, next) : Unavailable(false);
}

const char *ModuleAudioLibrary::TagsRead(Handle stream, const char *format) {
    IAudioLibrary *real = Real();
    return real != nullptr ? real->TagsRead(stream, format) : Unavailable("");
}

} // namespace lirvo::audio
