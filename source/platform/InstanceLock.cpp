#include "platform/InstanceLock.h"

#include "platform/RuntimeDir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace lirvo::platform {

InstanceLock::~InstanceLock() {
    Release();
}

bool InstanceLock::TryAcquire(const std::string &name) {
    const auto dir = ProgramRuntimeDir();
    if (!dir) {
        Release();
        return false;
    }
    return TryAcquireFile(*dir + "/" + name + ".lock");
}

bool InstanceLock::TryAcquireFile(const std::string &path) {
    Release();
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return false;
    held_ = flock(fd_, LOCK_EX | LOCK_NB) == 0;
    return held_;
}

void InstanceLock::Release() {
    if (fd_ >= 0)
        close(fd_); // closing the last descriptor drops the lock
    fd_ = -1;
    held_ = false;
}

} // namespace lirvo::platform
