#pragma once
// Loaded add-on decoders. Streams decoded by an add-on keep it loaded until they are freed,
// so unloading never pulls code from under a playing stream.

#include "audio/lib/AddonAbi.h"
#include "audio/lib/AudioLibrary.h"
#include "audio/lib/ByteReader.h"
#include "audio/lib/DecodedSource.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lirvo::audio {

class LoadedAddon;

class AddonRegistry {
public:
    ~AddonRegistry();

    // Loads `file`; returns the handle or 0 with `error` set (kErrorFileOpen, kErrorFormat,
    // kErrorVersion, kErrorAlready).
    Handle Load(const std::string &file, Handle handle, int &error);
    const PluginInfo *Info(Handle handle) const;
    bool Unload(Handle handle);
    void UnloadAll();

    // Tries the add-ons in load order. `makeReader` gives a fresh reader for every attempt.
    std::unique_ptr<DecodedSource> Open(const std::function<std::unique_ptr<ByteReader>()> &makeReader,
                                        bool progressive) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<Handle, std::shared_ptr<LoadedAddon>>> addons_;
};

} // namespace lirvo::audio
