#include "platform/SharedBlock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace lirvo::platform {

SharedBlock::~SharedBlock() {
    Close();
}

SharedBlock::SharedBlock(SharedBlock &&other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      error_(std::move(other.error_)) {}

SharedBlock &SharedBlock::operator=(SharedBlock &&other) noexcept {
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool SharedBlock::Open(const std::string &name, std::size_t size, Mode mode) {
    Close();
    error_.clear();
    const int flags = O_RDWR | O_CLOEXEC | (mode == Mode::OpenOrCreate ? O_CREAT : 0);
    const int fd = shm_open(name.c_str(), flags, 0600);
    if (fd < 0) {
        error_ = "shm_open " + name + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error_ = std::string("fstat: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    // Only the owner may write commands: an object someone else created is not trusted.
    if (st.st_uid != geteuid()) {
        error_ = name + " belongs to another user";
        close(fd);
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) < size && ftruncate(fd, static_cast<off_t>(size)) != 0) {
        error_ = std::string("ftruncate: ") + std::strerror(errno);
        close(fd);
        return false;
    }
    void *data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int mapError = errno;
    close(fd);
    if (data == MAP_FAILED) {
        error_ = std::string("mmap: ") + std::strerror(mapError);
        return false;
    }
    data_ = data;
    size_ = size;
    return true;
}

void SharedBlock::Close() {
    if (data_ != nullptr)
        munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

bool SharedBlock::Unlink(const std::string &name) {
    return shm_unlink(name.c_str()) == 0;
}

} // namespace lirvo::platform
