#include "FakeAudioLibrary.h"

#include <cstring>
#include <filesystem>
#include <sstream>
#include <utility>

namespace lirvo::audio::testing {

namespace {
thread_local int tLastError = kErrorOk;

int Fail(int code) {
    tLastError = code;
    return 0;
}

std::string Fmt(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}
} // namespace

FakeAudioLibrary::~FakeAudioLibrary() {
    std::unique_lock lock(mutex_);
    gateHeld_ = false;
    gateChanged_.notify_all();
    while (!downloads_.empty()) {
        StopDownload(downloads_.begin()->first, lock);
    }
}

// ---------------------------------------------------------------- script and records

void FakeAudioLibrary::HoldUrlOpens() {
    std::lock_guard lock(mutex_);
    gateHeld_ = true;
}

void FakeAudioLibrary::ReleaseUrlOpens() {
    std::lock_guard lock(mutex_);
    gateHeld_ = false;
    gateChanged_.notify_all();
}

int FakeAudioLibrary::WaitingUrlOpens() {
    std::lock_guard lock(mutex_);
    return waitingAtGate_;
}

void FakeAudioLibrary::EndChannel(Handle stream) {
    SyncProc proc = nullptr;
    void *user = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = streams_.find(stream);
        if (it == streams_.end() || it->second.freed || it->second.endSync == nullptr) {
            return;
        }
        it->second.playing = false;
        it->second.positionBytes = it->second.lengthBytes;
        if (FakeStream *next = Live(std::exchange(it->second.next, 0))) {
            next->playing = true;
        }
        proc = it->second.endSync;
        user = it->second.endSyncUser;
    }
    std::thread notifier([=] { proc(1, stream, 0, user); });
    notifier.join();
}

void FakeAudioLibrary::SetPositionBytes(Handle stream, std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    streams_.at(stream).positionBytes = bytes;
}

std::vector<std::string> FakeAudioLibrary::Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool FakeAudioLibrary::Called(const std::string &call) {
    std::lock_guard lock(mutex_);
    for (const auto &entry : calls_) {
        if (entry == call) {
            return true;
        }
    }
    return false;
}

FakeStream FakeAudioLibrary::StreamRecord(Handle stream) {
    std::lock_guard lock(mutex_);
    return streams_.at(stream);
}

Handle FakeAudioLibrary::LastStream() {
    std::lock_guard lock(mutex_);
    return lastStream_;
}

std::vector<Handle> FakeAudioLibrary::StreamsOf(const std::string &source) {
    std::lock_guard lock(mutex_);
    std::vector<Handle> found;
    for (const auto &[handle, record] : streams_) {
        if (record.source == source) {
            found.push_back(handle);
        }
    }
    return found;
}

ParamEqParameters FakeAudioLibrary::Effect(Handle fx) {
    std::lock_guard lock(mutex_);
    return effects_.at(fx);
}

std::vector<std::thread::id> FakeAudioLibrary::FileOpenThreads(const std::string &path) {
    std::lock_guard lock(mutex_);
    return fileOpenThreads_[path];
}

std::vector<std::thread::id> FakeAudioLibrary::DownloadThreads() {
    std::lock_guard lock(mutex_);
    return downloadThreads_;
}

void FakeAudioLibrary::Log(std::string call) {
    calls_.push_back(std::move(call));
}

FakeStream *FakeAudioLibrary::Live(Handle stream) {
    auto it = streams_.find(stream);
    if (it == streams_.end() || it->second.freed) {
        Fail(kErrorHandle);
        return nullptr;
    }
    tLastError = kErrorOk;
    return &it->second;
}

Handle FakeAudioLibrary::NewStream(FakeStream record) {
    const Handle handle = nextHandle_++;
    streams_.emplace(handle, std::move(record));
    lastStream_ = handle;
    tLastError = kErrorOk;
    return handle;
}

void FakeAudioLibrary::StopDownload(Handle stream, std::unique_lock<std::mutex> &lock) {
    auto it = downloads_.find(stream);
    if (it == downloads_.end()) {
        return;
    }
    std::unique_ptr<Download> download = std::move(it->second);
    downloads_.erase(it);
    download->cancelled = true;
    gateChanged_.notify_all();
    lock.unlock();
    if (download->thread.joinable() && download->thread.get_id() != std::this_thread::get_id()) {
        download->thread.join();
    } else if (download->thread.joinable()) {
        download->thread.detach();
    }
    lock.lock();
}

// ---------------------------------------------------------------- library life and add-ons

std::uint32_t FakeAudioLibrary::GetVersion() {
    std::lock_guard lock(mutex_);
    Log("GetVersion");
    return version;
}

bool FakeAudioLibrary::Init(int device, std::uint32_t frequency, std::uint32_t flags, std::uintptr_t window,
                            const void *) {
    std::lock_guard lock(mutex_);
    Log("Init " + std::to_string(device) + " " + std::to_string(frequency) + " " + std::to_string(flags) +
        " " + std::to_string(window));
    if (!initSucceeds) {
        return Fail(kErrorDriver);
    }
    tLastError = kErrorOk;
    return true;
}

bool FakeAudioLibrary::SetConfig(std::uint32_t option, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    Log("SetConfig " + std::to_string(option) + " " + std::to_string(value));
    return true;
}

bool FakeAudioLibrary::Start() {
    std::lock_guard lock(mutex_);
    Log("Start");
    return true;
}

bool FakeAudioLibrary::Stop() {
    std::lock_guard lock(mutex_);
    Log("Stop");
    return true;
}

bool FakeAudioLibrary::Free() {
    std::unique_lock lock(mutex_);
    Log("Free");
    while (!downloads_.empty()) {
        StopDownload(downloads_.begin()->first, lock);
    }
    return true;
}

Handle FakeAudioLibrary::PluginLoad(const char *file, std::uint32_t) {
    std::lock_guard lock(mutex_);
    Log(std::string("PluginLoad ") + file);
    const std::string name = std::filesystem::path(file).filename().string();
    auto it = addons.find(name);
    if (it == addons.end() || !std::filesystem::exists(file)) {
        return Fail(kErrorFileOpen);
    }
    auto loaded = std::make_unique<LoadedAddon>();
    loaded->extensions = it->second.extensions;
    for (const auto &extensions : loaded->extensions) {
        loaded->formats.push_back({1, "format", extensions.c_str()});
    }
    loaded->info = {0x01000000, static_cast<std::uint32_t>(loaded->formats.size()), loaded->formats.data()};
    const Handle handle = nextHandle_++;
    loadedAddons_.emplace(handle, std::move(loaded));
    tLastError = kErrorOk;
    return handle;
}

const PluginInfo *FakeAudioLibrary::PluginGetInfo(Handle plugin) {
    std::lock_guard lock(mutex_);
    Log("PluginGetInfo " + std::to_string(plugin));
    auto it = loadedAddons_.find(plugin);
    if (it == loadedAddons_.end()) {
        Fail(kErrorHandle);
        return nullptr;
    }
    return &it->second->info;
}

bool FakeAudioLibrary::PluginFree(Handle plugin) {
    std::lock_guard lock(mutex_);
    Log("PluginFree " + std::to_string(plugin));
    return loadedAddons_.erase(plugin) > 0 ? true : Fail(kErrorHandle);
}

// ---------------------------------------------------------------- opening

Handle FakeAudioLibrary::StreamCreateFile(bool memory, const void *file, std::uint64_t offset,
                                          std::uint64_t length, std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    const std::string path = memory ? std::string("<memory>") : static_cast<const char *>(file);
    Log("StreamCreateFile " + std::to_string(memory) + " " + path + " " + std::to_string(offset) + " " +
        std::to_string(length) + " " + std::to_string(flags));
    fileOpenThreads_[path].push_back(std::this_thread::get_id());
    auto it = files.find(path);
    if (it == files.end()) {
        return Fail(kErrorFileOpen);
    }
    FakeStream record;
    record.source = path;
    record.lengthBytes = it->second.lengthBytes;
    record.tags = it->second;
    return NewStream(std::move(record));
}

Handle FakeAudioLibrary::StreamCreateURL(const char *url, std::uint32_t offset, std::uint32_t flags,
                                         DownloadProc proc, void *user) {
    std::unique_lock lock(mutex_);
    Log(std::string("StreamCreateURL ") + url + " " + std::to_string(offset) + " " + std::to_string(flags));
    ++waitingAtGate_;
    gateChanged_.wait(lock, [this] { return !gateHeld_; });
    --waitingAtGate_;
    auto it = urls.find(url);
    if (it == urls.end()) {
        return Fail(kErrorNoNetwork);
    }
    if (!it->second.succeeds) {
        return Fail(it->second.failCode);
    }
    FakeStream record;
    record.source = url;
    record.network = true;
    record.lengthBytes = it->second.lengthBytes;
    const Handle handle = NewStream(std::move(record));
    if (proc != nullptr) {
        auto download = std::make_unique<Download>();
        Download *raw = download.get();
        const std::vector<std::string> blocks = it->second.blocks;
        const int delayMs = it->second.firstBlockDelayMs;
        download->thread = std::thread([this, raw, blocks, delayMs, proc, user] {
            {
                std::unique_lock inner(mutex_);
                downloadThreads_.push_back(std::this_thread::get_id());
                gateChanged_.wait_for(inner, std::chrono::milliseconds(delayMs),
                                      [raw] { return raw->cancelled; });
                if (raw->cancelled) {
                    return;
                }
            }
            for (const auto &block : blocks) {
                {
                    std::lock_guard inner(mutex_);
                    if (raw->cancelled) {
                        return;
                    }
                }
                proc(block.data(), static_cast<std::uint32_t>(block.size()), user);
            }
            {
                std::lock_guard inner(mutex_);
                if (raw->cancelled) {
                    return;
                }
            }
            proc(nullptr, 0, user);
        });
        const bool finishFirst = it->second.finishesBeforeOpenReturns;
        downloads_.emplace(handle, std::move(download));
        if (finishFirst) {
            lock.unlock();
            raw->thread.join();
            lock.lock();
        }
    }
    tLastError = kErrorOk;
    return handle;
}

bool FakeAudioLibrary::StreamFree(Handle stream) {
    std::unique_lock lock(mutex_);
    Log("StreamFree " + std::to_string(stream));
    FakeStream *record = Live(stream);
    if (record == nullptr) {
        return false;
    }
    record->freed = true;
    record->playing = false;
    for (Handle fx : record->effects) {
        effects_.erase(fx);
    }
    StopDownload(stream, lock);
    tLastError = kErrorOk;
    return true;
}

std::uint64_t FakeAudioLibrary::StreamGetFilePosition(Handle stream, std::uint32_t mode) {
    std::lock_guard lock(mutex_);
    Log("StreamGetFilePosition " + std::to_string(stream) + " " + std::to_string(mode));
    FakeStream *record = Live(stream);
    if (record == nullptr) {
        return kErrorValue;
    }
    if (mode != kFilePosEnd || !record->network) {
        return record->lengthBytes;
    }
    return urls.at(record->source).totalSize;
}

// ---------------------------------------------------------------- transport and time

bool FakeAudioLibrary::ChannelPlay(Handle channel, bool restart) {
    std::lock_guard lock(mutex_);
    Log("ChannelPlay " + std::to_string(channel) + " " + std::to_string(restart));
    FakeStream *record = Live(channel);
    if (record != nullptr && !deviceAvailable) {
        tLastError = kErrorDriver;
        return false;
    }
    return record != nullptr && (record->playing = true);
}

bool FakeAudioLibrary::OutputPrepare(Handle channel) {
    std::lock_guard lock(mutex_);
    Log("OutputPrepare " + std::to_string(channel));
    prepareThread = std::this_thread::get_id();
    if (Live(channel) == nullptr) {
        return false;
    }
    tLastError = deviceAvailable ? kErrorOk : kErrorDriver;
    outputOpen = outputOpen || deviceAvailable;
    return deviceAvailable;
}

bool FakeAudioLibrary::ChannelSetNext(Handle channel, Handle next) {
    std::lock_guard lock(mutex_);
    Log("ChannelSetNext " + std::to_string(channel) + " " + std::to_string(next));
    FakeStream *record = Live(channel);
    if (record == nullptr || (next != 0 && Live(next) == nullptr)) {
        return false;
    }
    record->next = next;
    tLastError = kErrorOk;
    return true;
}

bool FakeAudioLibrary::ChannelPause(Handle channel) {
    std::lock_guard lock(mutex_);
    Log("ChannelPause " + std::to_string(channel));
    FakeStream *record = Live(channel);
    return record != nullptr && !(record->playing = false);
}

bool FakeAudioLibrary::ChannelStop(Handle channel) {
    std::lock_guard lock(mutex_);
    Log("ChannelStop " + std::to_string(channel));
    FakeStream *record = Live(channel);
    return record != nullptr && !(record->playing = false);
}

bool FakeAudioLibrary::ChannelSetAttribute(Handle channel, std::uint32_t attribute, float value) {
    std::lock_guard lock(mutex_);
    Log("ChannelSetAttribute " + std::to_string(channel) + " " + std::to_string(attribute) + " " +
        Fmt(value));
    FakeStream *record = Live(channel);
    if (record == nullptr) {
        return false;
    }
    if (attribute != kAttribVolume) {
        return Fail(kErrorIllegalType);
    }
    record->volumes.push_back(value);
    return true;
}

std::uint64_t FakeAudioLibrary::ChannelGetLength(Handle channel, std::uint32_t mode) {
    std::lock_guard lock(mutex_);
    Log("ChannelGetLength " + std::to_string(channel) + " " + std::to_string(mode));
    FakeStream *record = Live(channel);
    return record == nullptr ? kErrorValue : record->lengthBytes;
}

std::uint64_t FakeAudioLibrary::ChannelGetPosition(Handle channel, std::uint32_t mode) {
    std::lock_guard lock(mutex_);
    Log("ChannelGetPosition " + std::to_string(channel) + " " + std::to_string(mode));
    FakeStream *record = Live(channel);
    return record == nullptr ? kErrorValue : record->positionBytes;
}

bool FakeAudioLibrary::ChannelSetPosition(Handle channel, std::uint64_t position, std::uint32_t mode) {
    std::lock_guard lock(mutex_);
    Log("ChannelSetPosition " + std::to_string(channel) + " " + std::to_string(position) + " " +
        std::to_string(mode));
    FakeStream *record = Live(channel);
    if (record == nullptr) {
        return false;
    }
    if (position > record->lengthBytes) {
        return Fail(kErrorPosition);
    }
    record->positionBytes = position;
    return true;
}

double FakeAudioLibrary::ChannelBytes2Seconds(Handle channel, std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    if (Live(channel) == nullptr || bytesToSecondsFails) {
        return -1.0;
    }
    return static_cast<double>(bytes) / static_cast<double>(kBytesPerSecond);
}

std::uint64_t FakeAudioLibrary::ChannelSeconds2Bytes(Handle channel, double seconds) {
    std::lock_guard lock(mutex_);
    if (Live(channel) == nullptr || seconds < 0) {
        return kErrorValue;
    }
    return static_cast<std::uint64_t>(seconds * 44100.0) * 8;
}

Handle FakeAudioLibrary::ChannelSetSync(Handle channel, std::uint32_t type, std::uint64_t param,
                                        SyncProc proc, void *user) {
    std::lock_guard lock(mutex_);
    Log("ChannelSetSync " + std::to_string(channel) + " " + std::to_string(type) + " " +
        std::to_string(param));
    FakeStream *record = Live(channel);
    if (record == nullptr) {
        return 0;
    }
    if (type != kSyncEnd) {
        return Fail(kErrorIllegalType);
    }
    record->endSync = proc;
    record->endSyncUser = user;
    return nextHandle_++;
}

int FakeAudioLibrary::ErrorGetCode() {
    return tLastError;
}

// ---------------------------------------------------------------- effects, data, tags

Handle FakeAudioLibrary::ChannelSetFX(Handle channel, std::uint32_t type, int priority) {
    std::lock_guard lock(mutex_);
    Log("ChannelSetFX " + std::to_string(channel) + " " + std::to_string(type) + " " +
        std::to_string(priority));
    FakeStream *record = Live(channel);
    if (record == nullptr) {
        return 0;
    }
    if (type != kFxParamEq) {
        return Fail(kErrorIllegalType);
    }
    const Handle fx = nextHandle_++;
    record->effects.push_back(fx);
    effects_[fx] = {0.0f, 12.0f, 0.0f}; // a fresh band the engine must configure itself
    return fx;
}

bool FakeAudioLibrary::FXSetParameters(Handle fx, const ParamEqParameters *parameters) {
    std::lock_guard lock(mutex_);
    auto it = effects_.find(fx);
    if (it == effects_.end() || parameters == nullptr) {
        return Fail(kErrorHandle);
    }
    Log("FXSetParameters " + std::to_string(fx) + " " + Fmt(parameters->center) + " " +
        Fmt(parameters->bandwidth) + " " + Fmt(parameters->gain));
    it->second = *parameters;
    tLastError = kErrorOk;
    return true;
}

bool FakeAudioLibrary::FXGetParameters(Handle fx, ParamEqParameters *parameters) {
    std::lock_guard lock(mutex_);
    auto it = effects_.find(fx);
    if (it == effects_.end() || parameters == nullptr) {
        return Fail(kErrorHandle);
    }
    *parameters = it->second;
    tLastError = kErrorOk;
    return true;
}

std::uint32_t FakeAudioLibrary::ChannelGetData(Handle channel, void *buffer, std::uint32_t length) {
    std::lock_guard lock(mutex_);
    if (Live(channel) == nullptr) {
        return 0xFFFFFFFFu;
    }
    auto *samples = static_cast<float *>(buffer);
    for (std::uint32_t i = 0; i < length / sizeof(float); ++i) {
        samples[i] = 0.5f;
    }
    return length;
}

const char *FakeAudioLibrary::TagsRead(Handle stream, const char *format) {
    std::lock_guard lock(mutex_);
    Log(std::string("TagsRead ") + std::to_string(stream) + " " + format);
    FakeStream *record = Live(stream);
    if (record == nullptr) {
        return "";
    }
    if (std::strcmp(format, "%TITL") == 0) {
        return record->tags.title.c_str();
    }
    if (std::strcmp(format, "%ARTI") == 0) {
        return record->tags.artist.c_str();
    }
    if (std::strcmp(format, "%ALBM") == 0) {
        return record->tags.album.c_str();
    }
    return "";
}

} // namespace lirvo::audio::testing
