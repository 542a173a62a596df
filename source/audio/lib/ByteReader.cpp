#include "audio/lib/ByteReader.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace lirvo::audio {

std::unique_ptr<FileReader> FileReader::Open(const std::string &path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return nullptr;
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<FileReader>(new FileReader(file, static_cast<int64_t>(info.st_size)));
}

FileReader::~FileReader() {
    std::fclose(file_);
}

int64_t FileReader::Read(uint8_t *buffer, int64_t size) {
    if (size <= 0) {
        return 0;
    }
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), file_);
    if (got == 0 && std::ferror(file_)) {
        return -1;
    }
    position_ += static_cast<int64_t>(got);
    return static_cast<int64_t>(got);
}

bool FileReader::Seek(int64_t offset) {
    if (offset < 0 || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
    std::clearerr(file_);
    position_ = offset;
    return true;
}

int64_t MemoryReader::Read(uint8_t *buffer, int64_t size) {
    const int64_t count = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(size, 0));
    if (count > 0) {
        std::memcpy(buffer, data_ + position_, static_cast<size_t>(count));
        position_ += count;
    }
    return count;
}

bool MemoryReader::Seek(int64_t offset) {
    if (offset < 0 || offset > size_) {
        return false;
    }
    position_ = offset;
    return true;
}

SliceReader::SliceReader(std::unique_ptr<ByteReader> inner, int64_t offset, int64_t length)
    : inner_(std::move(inner)), offset_(offset) {
    const int64_t total = inner_->Size();
    const int64_t available = total >= 0 ? std::max<int64_t>(0, total - offset) : -1;
    size_ = length >= 0 && (available < 0 || length < available) ? length : available;
    inner_->Seek(offset_);
}

int64_t SliceReader::Read(uint8_t *buffer, int64_t size) {
    if (size_ >= 0) {
        size = std::min(size, size_ - position_);
    }
    if (size <= 0) {
        return 0;
    }
    const int64_t got = inner_->Read(buffer, size);
    if (got > 0) {
        position_ += got;
    }
    return got;
}

bool SliceReader::Seek(int64_t offset) {
    if (offset < 0 || (size_ >= 0 && offset > size_) || !inner_->Seek(offset_ + offset)) {
        return false;
    }
    position_ = offset;
    return true;
}

} // namespace lirvo::audio
