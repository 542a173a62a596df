#include "audio/lib/NetworkDownload.h"

#include "function/system/CurlLibrary.h"

#include <algorithm>
#include <cstring>

namespace lirvo::audio {

namespace {

// Disk space of a live stream is given back once this much has piled up behind the decoder.
constexpr int64_t kTrimThreshold = 32 << 20;
constexpr int64_t kKeepBehindReader = 4 << 20;
// Longest sleep of the transfer loop; shorter for short stall limits, so they are kept.
constexpr int kMaxPollMs = 1000;

using system::LoadedCurl;

} // namespace

NetworkDownload::NetworkDownload(std::string url, const Options &options, BlockProc onBlock)
    : url_(std::move(url)), options_(options), onBlock_(std::move(onBlock)), handingOn_(!options.holdBlocks) {}

std::shared_ptr<NetworkDownload> NetworkDownload::Start(const std::string &url, const Options &options,
                                                        BlockProc onBlock) {
    // libcurl is loaded with the first download, not with the library.
    if (system::Curl() == nullptr) {
        return nullptr;
    }
    std::shared_ptr<NetworkDownload> download(new NetworkDownload(url, options, std::move(onBlock)));
    download->spool_ = SpoolFile::Create(options.spoolFolders);
    if (download->spool_ == nullptr) {
        return nullptr;
    }
    download->multi_ = LoadedCurl().multiInit();
    if (download->multi_ == nullptr) {
        return nullptr;
    }
    // The thread keeps the object alive until it ends, even when the owner lets go first.
    download->thread_ = std::thread([self = download] { self->Run(); });
    return download;
}

NetworkDownload::~NetworkDownload() {
    cancelled_ = true;
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach(); // the last reference went away on the thread itself
        } else {
            LoadedCurl().multiWakeup(multi_);
            thread_.join();
        }
    }
    if (multi_ != nullptr) {
        LoadedCurl().multiCleanup(static_cast<CURLM *>(multi_));
    }
}

void NetworkDownload::Run() {
    const system::CurlApi &curl = LoadedCurl();
    CURLM *multi = static_cast<CURLM *>(multi_);
    CURL *easy = curl.easyInit();
    bool ok = false;
    if (easy != nullptr) {
        easy_ = easy;
        curl.easySetopt(easy, CURLOPT_URL, url_.c_str());
        curl.easySetopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl.easySetopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl.easySetopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl.easySetopt(easy, CURLOPT_MAXREDIRS, 5L);
        curl.easySetopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl.easySetopt(easy, CURLOPT_FAILONERROR, 1L);
        curl.easySetopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(1, options_.connectTimeoutMs)));
        curl.easySetopt(easy, CURLOPT_USERAGENT, "Lirvo/" LIRVO_VERSION_TEXT);
        curl.easySetopt(easy, CURLOPT_ACCEPT_ENCODING, "identity");
        if (options_.offset > 0) {
            curl.easySetopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(options_.offset));
        }
        curl.easySetopt(easy, CURLOPT_WRITEFUNCTION, &NetworkDownload::OnData);
        curl.easySetopt(easy, CURLOPT_WRITEDATA, this);
        curl.easySetopt(easy, CURLOPT_HEADERFUNCTION, &NetworkDownload::OnHeader);
        curl.easySetopt(easy, CURLOPT_HEADERDATA, this);
        curl.multiAddHandle(multi, easy);
        const int stallLimitMs = std::max(0, options_.stallLimitMs);
        const int pollMs = stallLimitMs > 0 ? std::clamp(stallLimitMs / 4, 1, kMaxPollMs) : kMaxPollMs;
        int running = 1;
        while (running > 0 && !cancelled_) {
            if (curl.multiPerform(multi, &running) != CURLM_OK || running == 0 || cancelled_) {
                break;
            }
            // The answer's own wait is bounded by whoever waits for it; the stall clock runs
            // from the answer on.
            if (stallLimitMs > 0 && lastActivity_ != std::chrono::steady_clock::time_point{} &&
                std::chrono::steady_clock::now() - lastActivity_ >= std::chrono::milliseconds(stallLimitMs)) {
                std::lock_guard lock(mutex_);
                stalled_ = true;
                break;
            }
            curl.multiPoll(multi, nullptr, 0, pollMs, nullptr);
            HandOn(nullptr, 0);
        }
        int left = 0;
        while (CURLMsg *message = curl.multiInfoRead(multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                ok = message->data.result == CURLE_OK;
            }
        }
        curl.multiRemoveHandle(multi, easy);
        curl.easyCleanup(easy);
    }
    std::unique_lock lock(mutex_);
    finished_ = true;
    failed_ = failed_ || !ok;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_ || cancelled_; });
    if (!cancelled_) {
        lock.unlock();
        HandOn(nullptr, 0);
        if (onBlock_ && handingOn_) {
            onBlock_(nullptr, 0);
        }
    }
}

size_t NetworkDownload::OnHeader(char *data, size_t size, size_t count, void *opaque) {
    auto *self = static_cast<NetworkDownload *>(opaque);
    const size_t length = size * count;
    if (self->cancelled_) {
        return 0;
    }
    const std::string_view line(data, length);
    if (line != "\r\n" && line != "\n") {
        return length;
    }
    // End of one header block: redirects and 1xx answers come before the final one.
    CURL *easy = static_cast<CURL *>(self->easy_);
    long code = 0;
    LoadedCurl().easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    if (code < 200 || (code >= 300 && code < 400)) {
        return length;
    }
    {
        std::lock_guard lock(self->mutex_);
        if (code >= 400) {
            self->failed_ = true;
            self->httpError_ = true;
        } else {
            self->answered_ = true;
            self->lastActivity_ = std::chrono::steady_clock::now();
            curl_off_t contentLength = -1;
            if (LoadedCurl().easyGetinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength) == CURLE_OK &&
                contentLength >= 0) {
                self->totalSize_ = static_cast<int64_t>(contentLength);
            }
            const char *type = nullptr;
            if (LoadedCurl().easyGetinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
                self->contentType_ = type;
            }
        }
    }
    self->changed_.notify_all();
    return length;
}

size_t NetworkDownload::OnData(char *data, size_t size, size_t count, void *opaque) {
    auto *self = static_cast<NetworkDownload *>(opaque);
    const size_t length = size * count;
    if (self->cancelled_) {
        return CURL_WRITEFUNC_ERROR;
    }
    // Only this thread writes, so the end of the file can be read without the lock; readers
    // see the new bytes once `received_` says so.
    int64_t end = 0;
    {
        std::lock_guard lock(self->mutex_);
        end = self->received_;
    }
    if (!self->spool_->WriteAt(end, reinterpret_cast<const uint8_t *>(data), static_cast<int64_t>(length))) {
        return CURL_WRITEFUNC_ERROR; // a full disk ends the download as failed
    }
    self->lastActivity_ = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(self->mutex_);
        self->answered_ = true;
        self->received_ += static_cast<int64_t>(length);
    }
    self->changed_.notify_all();
    self->HandOn(reinterpret_cast<const uint8_t *>(data), length);
    return self->cancelled_ ? CURL_WRITEFUNC_ERROR : length;
}

void NetworkDownload::HandOn(const uint8_t *newest, size_t size) {
    if (!onBlock_ || !handingOn_) {
        return;
    }
    int64_t end = 0;
    {
        std::lock_guard lock(mutex_);
        end = received_;
    }
    // Blocks held back earlier come from the spool file first, so the order stays.
    const int64_t newestFrom = end - static_cast<int64_t>(size);
    std::vector<uint8_t> chunk;
    while (handedOn_ < newestFrom && !cancelled_) {
        chunk.resize(static_cast<size_t>(std::min<int64_t>(64 * 1024, newestFrom - handedOn_)));
        const int64_t got = spool_->ReadAt(handedOn_, chunk.data(), static_cast<int64_t>(chunk.size()));
        if (got <= 0) {
            break;
        }
        onBlock_(chunk.data(), static_cast<size_t>(got));
        handedOn_ += got;
    }
    if (newest != nullptr && size > 0 && handedOn_ == newestFrom && !cancelled_) {
        onBlock_(newest, size);
        handedOn_ = end;
    }
}

void NetworkDownload::HandOnBlocks() {
    handingOn_ = true;
    LoadedCurl().multiWakeup(static_cast<CURLM *>(multi_));
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all(); // a finished transfer waiting for Release() hands on then
}

NetworkDownload::Answer NetworkDownload::WaitForAnswer(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const bool done =
        changed_.wait_for(lock, limit, [this] { return answered_ || finished_ || failed_ || cancelled_; });
    if (cancelled_) {
        return Answer::Cancelled;
    }
    if (!done) {
        return Answer::TimedOut;
    }
    return answered_ && !failed_ ? Answer::Ok : Answer::Failed;
}

void NetworkDownload::Release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::string NetworkDownload::ContentType() const {
    std::lock_guard lock(mutex_);
    return contentType_;
}

int64_t NetworkDownload::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}


bool NetworkDownload::HttpError() const {
    std::lock_guard lock(mutex_);
    return httpError_;
}

bool NetworkDownload::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

int64_t NetworkDownload::ReadAt(int64_t offset, uint8_t *buffer, int64_t size, std::chrono::milliseconds limit,
                                const std::atomic<bool> *interrupt) {
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        if (cancelled_ || offset < keptFrom_ || (interrupt != nullptr && interrupt->load())) {
            return -1;
        }
        if (offset < received_) {
            break;
        }
        if (finished_) {
            return failed_ || stalled_ ? -1 : 0;
        }
        if (limit.count() < 0) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return -1;
        }
    }
    const int64_t count = std::min(size, received_ - offset);
    lock.unlock();
    // Bytes below `received_` are never written again, and only this reader gives space back.
    return spool_->ReadAt(offset, buffer, count);
}

void NetworkDownload::WakeReaders() {
    {
        std::lock_guard lock(mutex_);
    }
    changed_.notify_all();
}

void NetworkDownload::ReleaseBefore(int64_t offset) {
    // A file of known size is kept whole, so seeks back stay possible.
    if (totalSize_.load() >= 0) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (offset - keptFrom_ < kTrimThreshold) {
        return;
    }
    keptFrom_ = std::min(offset - kKeepBehindReader, received_);
    spool_->Discard(keptFrom_);
}

void NetworkDownload::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    LoadedCurl().multiWakeup(static_cast<CURLM *>(multi_));
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void DownloadReader::Interrupt() {
    interrupted_ = true;
    download_->WakeReaders();
}

int64_t DownloadReader::Read(uint8_t *buffer, int64_t size) {
    const int64_t got = download_->ReadAt(position_, buffer, size,
                                          std::chrono::milliseconds(waitLimitMs_.load()), &interrupted_);
    if (got > 0) {
        position_ += got;
        download_->ReleaseBefore(position_);
    }
    return got;
}

bool DownloadReader::Seek(int64_t offset) {
    const int64_t total = download_->TotalSize();
    if (offset < 0 || (total >= 0 && offset > total)) {
        return false;
    }
    position_ = offset;
    return true;
}

int64_t DownloadReader::Size() const {
    return download_->TotalSize();
}

} // namespace lirvo::audio
