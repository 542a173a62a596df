#pragma once
// An exclusive advisory lock (flock) on a file in the program's runtime folder. The system
// frees it when the holder closes it or dies, so a crashed instance never blocks the next one.

#include <string>

namespace lirvo::platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Opens (creating, mode 0600) ProgramRuntimeDir() + "/" + name + ".lock" and tries to lock
    // it without waiting. True when this object now holds the lock. The file stays open either
    // way until Release().
    bool TryAcquire(const std::string &name);
    // The same with a full path.
    bool TryAcquireFile(const std::string &path);
    void Release();

    bool Held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

} // namespace lirvo::platform
