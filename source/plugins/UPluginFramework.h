#pragma once
// The plug-in host: loads every plug-in library (*.so exporting "USPluginInfo") of a folder,
// keeps up to 64 of them in load order, passes them messages and unloads them. Used on the
// main thread only. Loading failures are silent; exceptions thrown by plug-ins never leave
// the host.

#include "plugins/lirvo_plugin.h"

#include <array>
#include <cstdint>
#include <string>

namespace lirvo::plugins {

inline constexpr std::uint8_t MaxPlugins = 64;

class TUSGeneralPurpose {
public:
    struct Slot {
        void *Module = nullptr;              // dlopen handle
        const unsigned char *Info = nullptr; // the plug-in's information record
    };

    // `ownerWindow` is kept for the caller's bookkeeping only and never handed to plug-ins.
    // The folder is normally AppDir + "plugins"; an empty folder loads nothing.
    TUSGeneralPurpose(std::int64_t ownerWindow, const std::string &folder);
    ~TUSGeneralPurpose();
    TUSGeneralPurpose(const TUSGeneralPurpose &) = delete;
    TUSGeneralPurpose &operator=(const TUSGeneralPurpose &) = delete;

    // Loads the "*.so" files of the folder in name order.
    void LoadFromFolder(const std::string &folder);
    // True when the library was accepted (and sent message 100).
    bool LoadPlugin(const std::string &fileName);
    // Sends 101 and unloads the plug-in in slot `index`; the count stays.
    void UnloadPlugin(std::uint8_t index);
    void UnloadAll();
    // Calls every plug-in in load order; the answer of the last plug-in that answered, or 1.
    std::int32_t SendToPlugins(std::int32_t code, void *data, std::int32_t extra);

    std::uint8_t PluginCount() const { return pluginCount_; }
    std::int64_t OwnerWindow() const { return ownerWindow_; }
    const Slot &SlotAt(std::uint8_t index) const { return slots_.at(index); }

private:
    std::int64_t ownerWindow_ = 0;
    std::uint8_t pluginCount_ = 0;
    std::array<Slot, MaxPlugins> slots_{};
};

// The message procedure stored at offset 524 of an information record, read byte-wise.
USMessageProc MessageProcOf(const unsigned char *info);

} // namespace lirvo::plugins
