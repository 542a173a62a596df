#include "plugins/UPluginFramework.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <vector>

namespace lirvo::plugins {

namespace {

bool IsExistingFile(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool EndsWith(const std::string &s, const char *suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

void SendGuarded(USMessageProc proc, std::int32_t code) {
    try {
        proc(code, nullptr, 0);
    } catch (...) {
        // A plug-in's failure is its own business; the host carries on.
    }
}

} // namespace

USMessageProc MessageProcOf(const unsigned char *info) {
    USMessageProc proc = nullptr;
    // The member sits at offset 524, which is not pointer-aligned on 64-bit machines.
    std::memcpy(&proc, info + LIRVO_PLUGIN_MESSAGE_PROC_OFFSET, sizeof proc);
    return proc;
}

TUSGeneralPurpose::TUSGeneralPurpose(std::int64_t ownerWindow, const std::string &folder)
    : ownerWindow_(ownerWindow) {
    LoadFromFolder(folder);
}

TUSGeneralPurpose::~TUSGeneralPurpose() {
    UnloadAll();
}

void TUSGeneralPurpose::LoadFromFolder(const std::string &folder) {
    if (folder.empty())
        return;
    const std::string dir = folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *entry = readdir(d)) {
            const std::string name = entry->d_name;
            if (EndsWith(name, ".so"))
                names.push_back(name);
        }
        closedir(d);
    }
    // Name order, so that the load order (and the message order) is the same on every run.
    std::sort(names.begin(), names.end());
    for (const std::string &name : names)
        LoadPlugin(dir + name);
}

bool TUSGeneralPurpose::LoadPlugin(const std::string &fileName) {
    if (pluginCount_ >= MaxPlugins || fileName.empty() || !IsExistingFile(fileName))
        return false;
    // dlopen searches the library path for a name without a slash; a plug-in is always a file.
    const std::string path = fileName.find('/') == std::string::npos ? "./" + fileName : fileName;
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        return false;
    for (std::uint8_t i = 0; i < pluginCount_; ++i) {
        if (slots_[i].Module == module) {
            dlclose(module); // the same library under another name: drop the extra reference
            return false;
        }
    }
    const unsigned char *info = nullptr;
    try {
        auto entry = reinterpret_cast<USPluginInfoProc>(dlsym(module, LIRVO_PLUGIN_INFO_EXPORT));
        if (entry != nullptr)
            info = reinterpret_cast<const unsigned char *>(entry(LIRVO_PLUGIN_API_VERSION));
    } catch (...) {
        info = nullptr;
    }
    std::uint16_t type = 0, version = 0;
    if (info != nullptr) {
        std::memcpy(&type, info, 2);
        std::memcpy(&version, info + 2, 2);
    }
    if (info == nullptr || type != LIRVO_PLUGIN_TYPE_GENERAL || version != LIRVO_PLUGIN_API_VERSION) {
        dlclose(module);
        return false;
    }
    if (USMessageProc proc = MessageProcOf(info))
        SendGuarded(proc, LIRVO_PLUGIN_MSG_LOADED);
    ++pluginCount_;
    slots_[pluginCount_ - 1] = Slot{module, info};
    return true;
}

void TUSGeneralPurpose::UnloadPlugin(std::uint8_t index) {
    if (index >= pluginCount_)
        return;
    Slot &slot = slots_[index];
    if (slot.Info != nullptr) {
        if (USMessageProc proc = MessageProcOf(slot.Info))
            SendGuarded(proc, LIRVO_PLUGIN_MSG_UNLOADING);
    }
    slot.Info = nullptr;
    if (slot.Module != nullptr)
        dlclose(slot.Module);
    slot.Module = nullptr;
}

void TUSGeneralPurpose::UnloadAll() {
    for (std::uint8_t i = 0; i < pluginCount_; ++i)
        UnloadPlugin(i);
    pluginCount_ = 0;
}

std::int32_t TUSGeneralPurpose::SendToPlugins(std::int32_t code, void *data, std::int32_t extra) {
    std::int32_t result = 1;
    for (std::uint8_t i = 0; i < pluginCount_; ++i) {
        const Slot &slot = slots_[i];
        if (slot.Info == nullptr)
            continue;
        USMessageProc proc = MessageProcOf(slot.Info);
        if (proc == nullptr)
            continue;
        try {
            result = proc(code, data, extra);
        } catch (...) {
            // keeps the answer of the plug-in before
        }
    }
    return result;
}

} // namespace lirvo::plugins
