#pragma once
// One HTTP download on a thread of its own (libcurl). Every block goes to a spool file on disk,
// from which the decoder reads it back, and to a block procedure as it arrives; a final call
// with no data marks the end. A transfer that receives nothing for the stall limit ends as
// failed. Cancel() ends the transfer at once; no block procedure call follows its return.

#include "audio/lib/ByteReader.h"
#include "audio/lib/SpoolFile.h"

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
        // Once the server has answered: how long the transfer may receive nothing before it
        // ends as failed (0 = no limit).
        int stallLimitMs = 15000;
        // Where the spool file may go, in order of preference.
        std::vector<std::string> spoolFolders = SpoolFile::DefaultFolders();
        // Blocks wait in the spool file until HandOnBlocks(), for an answer that may turn out
        // to be a playlist rather than the song.
        bool holdBlocks = false;
    };

    enum class Answer { Ok, TimedOut, Failed, Cancelled };

    // nullptr when the transfer or its spool file could not be set up.
    static std::shared_ptr<NetworkDownload> Start(const std::string &url, const Options &options,
                                                  BlockProc onBlock);
    ~NetworkDownload();
    NetworkDownload(const NetworkDownload &) = delete;
    NetworkDownload &operator=(const NetworkDownload &) = delete;

    // Waits until the server has sent its response headers, the transfer failed, or the time
    // limit passed.
    Answer WaitForAnswer(std::chrono::milliseconds limit);

    // Ends the hold of Options::holdBlocks: the download thread hands the blocks held so far to
    // the block procedure, in order, then every later one as it comes.
    void HandOnBlocks();

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
    // them to arrive. Returns the count, 0 when the download ended complete before `offset`,
    // -1 when the download failed before `offset` or the wait was cut short (cancelled, time
    // limit, `interrupt` set, or bytes no longer kept).
    int64_t ReadAt(int64_t offset, uint8_t *buffer, int64_t size, std::chrono::milliseconds limit,
                   const std::atomic<bool> *interrupt = nullptr);
    // Wakes every ReadAt that waits, so it can look at its interrupt flag.
    void WakeReaders();

    // Gives back the disk space of bytes below `offset` once a lot has piled up (live streams
    // never end).
    void ReleaseBefore(int64_t offset);

    // Ends the transfer now. No block procedure call is made after this returns (when called
    // from inside the block procedure itself, none after that call).
    void Cancel();

private:
    NetworkDownload(std::string url, const Options &options, BlockProc onBlock);
    void Run();
    static size_t OnData(char *data, size_t size, size_t count, void *self);
    static size_t OnHeader(char *data, size_t size, size_t count, void *self);
    // Download thread: hands on what the block procedure has not had yet; `newest` is the block
    // just written (its bytes are the last `size` of the spool file), or null.
    void HandOn(const uint8_t *newest, size_t size);

    const std::string url_;
    const Options options_;
    BlockProc onBlock_;

    std::unique_ptr<SpoolFile> spool_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int64_t received_ = 0; // bytes in the spool file, written by the download thread
    int64_t keptFrom_ = 0; // bytes below this were given back
    bool answered_ = false;
    bool finished_ = false;
    bool failed_ = false;
    bool httpError_ = false;
    bool stalled_ = false;
    // Download thread only: when the transfer last showed signs of life.
    std::chrono::steady_clock::time_point lastActivity_{};
    std::atomic<bool> handingOn_{true};
    int64_t handedOn_ = 0; // download thread only: bytes given to the block procedure
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
    // Makes a read that waits for data (now or later) give up with -1 until ClearInterrupt:
    // a seek wants the decoder back without waiting on the network.
    void Interrupt();
    void ClearInterrupt() { interrupted_ = false; }

    int64_t Read(uint8_t *buffer, int64_t size) override;
    bool Seek(int64_t offset) override;
    int64_t Tell() const override { return position_; }
    int64_t Size() const override;

private:
    std::shared_ptr<NetworkDownload> download_;
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> waitLimitMs_{-1};
    std::atomic<bool> interrupted_{false};
};

} // namespace lirvo::audio
