#pragma once
// One HTTP download on a thread of its own (libcurl). Every block is kept for the decoder and
// handed to a block procedure as it arrives; a final call with no data marks the end.
// Cancel() ends the transfer at once; no block procedure call follows its return.

#include "audio/lib/ByteReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::audio {

class NetworkDownload : public std::enable_shared_from_this<NetworkDownload> {
public:
    // Called on the download thread: (data, size) per block, (nullptr, 0) once at the end.
    using BlockProc = std::function<void(const uint8_t *data, size_t size)>;

    struct Options {
        int connectTimeoutMs = 2000;
        int64_t offset = 0;
    };

    enum class Answer { Ok, TimedOut, Failed, Cancelled };

    static std::shared_ptr<NetworkDownload> Start(const std::string &url, const Options &options,
                                                  BlockProc onBlock);
    ~NetworkDownload();
    NetworkDownload(const NetworkDownload &) = delete;
    NetworkDownload &operator=(const NetworkDownload &) = delete;

    // Waits until the server has sent its response headers, the transfer failed, or the time
    // limit passed.
    Answer WaitForAnswer(std::chrono::milliseconds limit);

    // Lets the final call (no data) go out once the transfer ends. Until then the end of the
    // transfer is held back, so an open that fails on a short answer never reports a
    // finished download for a stream that does not exist.
    void Release();

    // Size of the answer's body (Content-Length), -1 when unknown.
    int64_t TotalSize() const { return totalSize_.load(); }
    std::string ContentType() const;
    int64_t Received() const;
    bool Finished() const;
    // True when the server answered with an error status (4xx/5xx).
    bool HttpError() const;
    bool Cancelled() const { return cancelled_.load(); }

    // Copies bytes at an absolute offset, waiting up to `limit` (negative: without limit) for
    // them to arrive. Returns the count, 0 when the download ended before `offset`, -1 when
    // the wait was cut short (cancelled, time limit, or bytes no longer kept).
    int64_t ReadAt(int64_t offset, uint8_t *buffer, int64_t size, std::chrono::milliseconds limit);

    // Frees memory of bytes below `offset` once a lot has piled up (live streams never end).
    void ReleaseBefore(int64_t offset);

    // Ends the transfer now. No block procedure call is made after this returns (when called
    // from inside the block procedure itself, none after that call).
    void Cancel();

private:
    NetworkDownload(std::string url, const Options &options, BlockProc onBlock);
    void Run();
    static size_t OnData(char *data, size_t size, size_t count, void *self);
    static size_t OnHeader(char *data, size_t size, size_t count, void *self);

    const std::string url_;
    const Options options_;
    BlockProc onBlock_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> data_; // bytes from keptFrom_ on
    int64_t keptFrom_ = 0;
    bool answered_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool httpError_ = false;
    std::string contentType_;
    std::atomic<int64_t> totalSize_{-1};

    std::atomic<bool> cancelled_{false};
    void *multi_ = nullptr; // CURLM*, woken by Cancel()
    void *easy_ = nullptr;  // CURL*, used only on the download thread
    bool released_ = false;
    std::thread thread_;
};

// The decoder's view of a download: bytes are read as they arrive.
class DownloadReader final : public ByteReader {
public:
    explicit DownloadReader(std::shared_ptr<NetworkDownload> download) : download_(std::move(download)) {}
    // How long one read may wait for data (negative: no limit).
    void SetWaitLimit(std::chrono::milliseconds limit) { waitLimitMs_ = limit.count(); }

    int64_t Read(uint8_t *buffer, int64_t size) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return position_; }
    int64_t Size() const override;

private:
    std::shared_ptr<NetworkDownload> download_;
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> waitLimitMs_{-1};
};

} // namespace lirvo::audio
