#include "update/UpdateState.h"

#include <atomic>
#include <mutex>

namespace lirvo::update {

namespace {

struct State {
    std::atomic<bool> onlineAllowed{false};
    std::mutex mutex;
    std::string musicPathPrefix;
};

// Never destroyed: the update worker may still be running while the process exits.
State &Shared() {
    static State *state = new State;
    return *state;
}

} // namespace

bool OnlineAllowed() {
    return Shared().onlineAllowed.load();
}

void SetOnlineAllowed(bool allowed) {
    Shared().onlineAllowed.store(allowed);
}

std::string MusicPathPrefix() {
    std::lock_guard lock(Shared().mutex);
    return Shared().musicPathPrefix;
}

void SetMusicPathPrefix(const std::string &prefix) {
    std::lock_guard lock(Shared().mutex);
    Shared().musicPathPrefix = prefix;
}

} // namespace lirvo::update
