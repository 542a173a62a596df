#include "update/UntCkUpThread.h"

#include "function/system/CurlLibrary.h"
#include "function/system/SystemHelpers.h"
#include "function/text/FastStrings.h"
#include "update/UDDGetFileInfo.h"
#include "update/UpdateDescription.h"
#include "update/UpdateState.h"

#include <QDeadlineTimer>

#include <unistd.h>

namespace lirvo::update {

namespace {

// Bytes of one read; each read's piece ends at its first zero byte.
constexpr std::size_t ReadBlockSize = 1025;
// An update description is a few hundred bytes; nothing sensible is larger than this.
constexpr std::size_t MaxResponseBytes = 1 << 20;

struct Transfer {
    std::string result;
    std::string block;
    const std::atomic<bool> *cancel = nullptr;
    bool tooLarge = false;

    void Flush() {
        const std::size_t zero = block.find('\0');
        result.append(block, 0, zero == std::string::npos ? block.size() : zero);
        block.clear();
    }
};

std::size_t OnBody(char *data, std::size_t size, std::size_t count, void *context) {
    auto &t = *static_cast<Transfer *>(context);
    const std::size_t n = size * count;
    for (std::size_t i = 0; i < n;) {
        const std::size_t take = std::min(n - i, ReadBlockSize - t.block.size());
        t.block.append(data + i, take);
        i += take;
        if (t.block.size() == ReadBlockSize)
            t.Flush();
    }
    if (t.result.size() > MaxResponseBytes) {
        t.tooLarge = true;
        return 0; // ends the transfer
    }
    return n;
}

int OnProgress(void *context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto &t = *static_cast<Transfer *>(context);
    return t.cancel != nullptr && t.cancel->load() ? 1 : 0;
}

} // namespace

std::string HttpGetText(const std::string &url, const HttpOptions &options, const std::atomic<bool> *cancel) {
    const system::CurlApi *api = system::Curl();
    CURL *curl = api != nullptr ? api->easyInit() : nullptr;
    if (curl == nullptr)
        return {};
    const std::string address(text::TrimBlank(url));
    Transfer transfer;
    transfer.cancel = cancel;
    curl_slist *headers = nullptr;
    // Always from the server: no cached copy may answer for it.
    headers = api->slistAppend(headers, "Cache-Control: no-cache");
    headers = api->slistAppend(headers, "Pragma: no-cache");
    api->easySetopt(curl, CURLOPT_URL, address.c_str());
    api->easySetopt(curl, CURLOPT_HTTPHEADER, headers);
    api->easySetopt(curl, CURLOPT_USERAGENT, "Lirvo/" LIRVO_VERSION_TEXT);
    api->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    api->easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    api->easySetopt(curl, CURLOPT_MAXREDIRS, 5L);
    api->easySetopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    api->easySetopt(curl, CURLOPT_FORBID_REUSE, 1L);
    api->easySetopt(curl, CURLOPT_FAILONERROR, 1L);
    api->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
    api->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    api->easySetopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
    api->easySetopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
    api->easySetopt(curl, CURLOPT_WRITEDATA, &transfer);
    api->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    api->easySetopt(curl, CURLOPT_XFERINFODATA, &transfer);
    api->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
    const CURLcode rc = api->easyPerform(curl);
    long status = 0;
    api->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    api->easyCleanup(curl);
    api->slistFreeAll(headers);

    if (rc == CURLE_ABORTED_BY_CALLBACK || status >= 400)
        return {};
    // A transfer that broke off keeps what had arrived, like a read that fails midway.
    transfer.Flush();
    return transfer.result;
}

TCheckUPDate::TCheckUPDate(std::string exeName, std::string url, const HttpOptions &options)
    : exeName_(std::move(exeName)), url_(std::move(url)), options_(options) {}

TCheckUPDate *TCheckUPDate::Start(const std::string &exeName, const std::string &url, QObject *receiver,
                                  Completion done, const HttpOptions &options) {
    if (text::TrimBlank(url).empty()) {
        // No update address configured: nothing to ask, so the online services stay usable.
        SetOnlineAllowed(true);
        return nullptr;
    }
    auto *checker = new TCheckUPDate(exeName, url, options);
    // The completion is bound to the receiver: when the receiver is destroyed first, Qt drops
    // the connection and any queued call, so nothing touches it afterwards.
    if (receiver != nullptr && done) {
        QObject::connect(
            checker, &QThread::finished, receiver, [checker, done = std::move(done)] { done(*checker); },
            Qt::QueuedConnection);
    }
    // Queued after the completion, so the checker outlives it.
    QObject::connect(checker, &QThread::finished, checker, &QObject::deleteLater, Qt::QueuedConnection);
    checker->start();
    return checker;
}

void TCheckUPDate::Cancel() {
    cancel_ = true;
    // libcurl asks the progress callback at least about once a second, even while waiting.
    wait(QDeadlineTimer(3000));
}

void TCheckUPDate::run() {
    try {
        Fetch();
        if (reachable_)
            Evaluate();
    } catch (...) {
        // A failed check leaves the results as they were; nothing is reported.
    }
}

void TCheckUPDate::Fetch() {
    response_ = HttpGetText(url_, options_, &cancel_);
    reachable_ = HasRootWord(response_);
}

void TCheckUPDate::Evaluate() {
    const UpdateDescription description = ParseUpdateDescription(response_);
    if (description.File)
        updateFile_ = *description.File;
    if (description.MusicPath)
        SetMusicPathPrefix(*description.MusicPath);
    if (!description.Complete)
        return; // a broken description announces nothing
    TFixedFileInfo info{};
    GetFixedVersion(exeName_, info);
    updateAvailable_ = IsNewerVersion(LocalVersionDigits(info), description.Ver.value_or("")).value_or(false);
}

std::string UpdaterArgument(std::int64_t windowHandle, const std::string &updateFile) {
    return text::EncodeBase64Text(std::to_string(windowHandle) + "|" + updateFile);
}

void UpdateCheckDone(const TCheckUPDate &checker, const std::string &appDir) {
    UpdateCheckDone(checker, appDir, static_cast<std::int64_t>(getpid()));
}

void UpdateCheckDone(const TCheckUPDate &checker, const std::string &appDir, std::int64_t windowHandle) {
    SetOnlineAllowed(checker.Reachable());
    if (checker.UpdateAvailable()) {
        std::string dir = appDir;
        if (!dir.empty() && dir.back() != '/')
            dir += '/';
        // Started and left alone; a failure to start it is not reported.
        system::RunProgram(dir + "update", {UpdaterArgument(windowHandle, checker.UpdateFile())});
    }
}

} // namespace lirvo::update
