#include "audio/lib/AddonRegistry.h"

#include "audio/lib/AddonReaderBridge.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace lirvo::audio {

class LoadedAddon {
public:
    LoadedAddon(void *library, const LirvoAddonApi *api, std::string path)
        : library_(library), api_(api), path_(std::move(path)) {
        const LirvoAddonInfo &info = *api->info;
        formats_.reserve(info.formatCount);
        texts_.reserve(info.formatCount * 2);
        for (uint32_t i = 0; i < info.formatCount; ++i) {
            const LirvoAddonFormat &format = info.formats[i];
            texts_.emplace_back(format.name != nullptr ? format.name : "");
            texts_.emplace_back(format.extensions != nullptr ? format.extensions : "");
        }
        for (uint32_t i = 0; i < info.formatCount; ++i) {
            formats_.push_back(
                PluginFormat{info.formats[i].ctype, texts_[2 * i].c_str(), texts_[2 * i + 1].c_str()});
        }
        info_ = PluginInfo{info.version, info.formatCount, formats_.data()};
    }
    ~LoadedAddon() { dlclose(library_); }

    const LirvoAddonApi &Api() const { return *api_; }
    const PluginInfo &Info() const { return info_; }
    const std::string &Path() const { return path_; }

private:
    void *library_;
    const LirvoAddonApi *api_;
    std::string path_;
    std::vector<std::string> texts_;
    std::vector<PluginFormat> formats_;
    PluginInfo info_{};
};

namespace {

// A stream decoded by an add-on; holds the reader it decodes from and the add-on itself.
class AddonSource final : public DecodedSource {
public:
    AddonSource(std::shared_ptr<LoadedAddon> addon, std::unique_ptr<ByteReader> reader,
                std::unique_ptr<LirvoAddonReader> record, LirvoAddonDecoder *decoder)
        : addon_(std::move(addon)), reader_(std::move(reader)), record_(std::move(record)),
          decoder_(decoder) {}
    ~AddonSource() override { addon_->Api().close(decoder_); }

    int64_t Read(float *out, int64_t frames) override {
        return std::max<int64_t>(0, addon_->Api().read(decoder_, out, frames));
    }
    bool Seek(int64_t frame) override { return addon_->Api().seek(decoder_, frame) != 0; }
    int64_t Position() const override { return addon_->Api().position(decoder_); }
    int64_t LengthFrames() const override { return addon_->Api().length(decoder_); }

private:
    std::shared_ptr<LoadedAddon> addon_;
    std::unique_ptr<ByteReader> reader_;
    std::unique_ptr<LirvoAddonReader> record_;
    LirvoAddonDecoder *decoder_;
};

bool ApiComplete(const LirvoAddonApi *api) {
    return api != nullptr && api->abi == LIRVO_ADDON_ABI && api->info != nullptr && api->open != nullptr &&
           api->read != nullptr && api->seek != nullptr && api->position != nullptr &&
           api->length != nullptr && api->close != nullptr && api->info->formatCount <= 1024 &&
           (api->info->formatCount == 0 || api->info->formats != nullptr);
}

} // namespace

AddonRegistry::~AddonRegistry() {
    UnloadAll();
}

Handle AddonRegistry::Load(const std::string &file, Handle handle, int &error) {
    char resolved[PATH_MAX];
    const std::string key = realpath(file.c_str(), resolved) != nullptr ? std::string(resolved) : file;
    {
        std::lock_guard lock(mutex_);
        for (const auto &[existing, addon] : addons_) {
            if (addon->Path() == key) {
                error = kErrorAlready;
                return 0;
            }
        }
    }
    void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = kErrorFileOpen;
        return 0;
    }
    auto entry = reinterpret_cast<LirvoAddonEntryFunction>(dlsym(library, LIRVO_ADDON_ENTRY_NAME));
    if (entry == nullptr) {
        dlclose(library);
        error = kErrorFormat;
        return 0;
    }
    const LirvoAddonApi *api = entry(LIRVO_ADDON_ABI);
    if (!ApiComplete(api)) {
        dlclose(library);
        error = kErrorVersion;
        return 0;
    }
    auto addon = std::make_shared<LoadedAddon>(library, api, key);
    std::lock_guard lock(mutex_);
    addons_.emplace_back(handle, std::move(addon));
    return handle;
}

const PluginInfo *AddonRegistry::Info(Handle handle) const {
    std::lock_guard lock(mutex_);
    for (const auto &[existing, addon] : addons_) {
        if (existing == handle) {
            return &addon->Info();
        }
    }
    return nullptr;
}

bool AddonRegistry::Unload(Handle handle) {
    std::shared_ptr<LoadedAddon> released;
    std::lock_guard lock(mutex_);
    auto it = std::find_if(addons_.begin(), addons_.end(),
                           [&](const auto &entry) { return entry.first == handle; });
    if (it == addons_.end()) {
        return false;
    }
    released = std::move(it->second);
    addons_.erase(it);
    return true;
}

void AddonRegistry::UnloadAll() {
    std::lock_guard lock(mutex_);
    addons_.clear();
}

std::unique_ptr<DecodedSource>
AddonRegistry::Open(const std::function<std::unique_ptr<ByteReader>()> &makeReader, bool progressive) const {
    std::vector<std::shared_ptr<LoadedAddon>> candidates;
    {
        std::lock_guard lock(mutex_);
        for (const auto &entry : addons_) {
            candidates.push_back(entry.second);
        }
    }
    for (const auto &addon : candidates) {
        std::unique_ptr<ByteReader> reader = makeReader();
        if (reader == nullptr) {
            return nullptr;
        }
        auto record = std::make_unique<LirvoAddonReader>(MakeAddonReader(*reader, progressive));
        LirvoAddonDecoder *decoder = addon->Api().open(record.get());
        if (decoder != nullptr) {
            return std::make_unique<AddonSource>(addon, std::move(reader), std::move(record), decoder);
        }
    }
    return nullptr;
}

} // namespace lirvo::audio
