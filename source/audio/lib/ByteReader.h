#pragma once
// Random-access byte sources the decoders read from: a local file, or the bytes of a network
// download that arrive while the decoder runs.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace lirvo::audio {

class ByteReader {
public:
    virtual ~ByteReader() = default;
    // Copies up to `size` bytes at the current position; returns the count, 0 at the end,
    // or -1 on failure (including a wait that was abandoned).
    virtual int64_t Read(uint8_t *buffer, int64_t size) = 0;
    // Moves to an absolute offset; false when the offset cannot be reached.
    virtual bool Seek(int64_t offset) = 0;
    virtual int64_t Tell() const = 0;
    // Total size in bytes, or -1 when not known (yet).
    virtual int64_t Size() const = 0;
};

// A local file read through stdio. Opening fails for anything that is not a regular file.
class FileReader final : public ByteReader {
public:
    static std::unique_ptr<FileReader> Open(const std::string &path);
    ~FileReader() override;
    int64_t Read(uint8_t *buffer, int64_t size) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return position_; }
    int64_t Size() const override { return size_; }

private:
    FileReader(std::FILE *file, int64_t size) : file_(file), size_(size) {}
    std::FILE *file_;
    int64_t size_;
    int64_t position_ = 0;
};

// A fixed block of memory (used for in-memory parsing and by the fuzz targets).
class MemoryReader final : public ByteReader {
public:
    MemoryReader(const uint8_t *data, int64_t size) : data_(data), size_(size) {}
    int64_t Read(uint8_t *buffer, int64_t size) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return position_; }
    int64_t Size() const override { return size_; }

private:
    const uint8_t *data_;
    int64_t size_;
    int64_t position_ = 0;
};

// Part of another reader: `length` bytes from `offset` (length < 0: to the end).
class SliceReader final : public ByteReader {
public:
    SliceReader(std::unique_ptr<ByteReader> inner, int64_t offset, int64_t length);
    int64_t Read(uint8_t *buffer, int64_t size) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return position_; }
    int64_t Size() const override { return size_; }

private:
    std::unique_ptr<ByteReader> inner_;
    int64_t offset_;
    int64_t size_;
    int64_t position_ = 0;
};

// Where the decoder is in the file, readable from any thread.
struct FileCounters {
    std::atomic<int64_t> position{0};
};

// Forwards to another reader and publishes its position.
class CountingReader final : public ByteReader {
public:
    CountingReader(std::unique_ptr<ByteReader> inner, std::shared_ptr<FileCounters> counters)
        : inner_(std::move(inner)), counters_(std::move(counters)) {}
    int64_t Read(uint8_t *buffer, int64_t size) override {
        const int64_t got = inner_->Read(buffer, size);
        counters_->position = inner_->Tell();
        return got;
    }
    bool Seek(int64_t offset) override {
        const bool moved = inner_->Seek(offset);
        counters_->position = inner_->Tell();
        return moved;
    }
    int64_t Tell() const override { return inner_->Tell(); }
    int64_t Size() const override { return inner_->Size(); }

private:
    std::unique_ptr<ByteReader> inner_;
    std::shared_ptr<FileCounters> counters_;
};

} // namespace lirvo::audio
