#pragma once
// A named block of POSIX shared memory (shm_open, mode 0600), mapped read/write.

#include <cstddef>
#include <string>

namespace lirvo::platform {

class SharedBlock {
public:
    enum class Mode { OpenOrCreate, OpenExisting };

    SharedBlock() = default;
    ~SharedBlock();
    SharedBlock(SharedBlock &&other) noexcept;
    SharedBlock &operator=(SharedBlock &&other) noexcept;
    SharedBlock(const SharedBlock &) = delete;
    SharedBlock &operator=(const SharedBlock &) = delete;

    // Opens (or creates) the object `name` (starting with "/") and maps `size` bytes. An object
    // that is smaller is grown to `size`. False, with the system's reason in Error(), on failure.
    bool Open(const std::string &name, std::size_t size, Mode mode = Mode::OpenOrCreate);
    void Close();

    // Removes the name; processes that have it mapped keep their mapping.
    static bool Unlink(const std::string &name);

    bool IsOpen() const { return data_ != nullptr; }
    void *Data() const { return data_; }
    std::size_t Size() const { return size_; }
    const std::string &Error() const { return error_; }

private:
    void *data_ = nullptr;
    std::size_t size_ = 0;
    std::string error_;
};

} // namespace lirvo::platform
