#pragma once
// The update check: once per run a worker thread fetches the update description, tests it for
// its root word and reads it; the completion runs on the receiver's (main) thread.
//
//     // in the controller's start-up, with url = settings ("Network/UPDATE", "URL"):
//     checker_ = lirvo::update::TCheckUPDate::Start(exePath, url, this,
//         [this](const lirvo::update::TCheckUPDate &done) {
//             lirvo::update::UpdateCheckDone(done, appDir_);
//             checker_ = nullptr;
//         });
//
// The checker frees itself after its completion. When the receiver is destroyed first, the
// completion is dropped and never touches it.

#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace lirvo::update {

struct HttpOptions {
    std::chrono::milliseconds connectTimeout{2000};
    std::chrono::milliseconds totalTimeout{15000};
};

// Fetches the text at `url` (trimmed) with a fresh request: no cache, no cookies, redirects
// followed. The body is read in blocks of 1025 bytes and each block is cut at its first zero
// byte. Empty on any failure, an HTTP error status, or when `cancel` becomes true.
std::string HttpGetText(const std::string &url, const HttpOptions &options = {},
                        const std::atomic<bool> *cancel = nullptr);

class TCheckUPDate : public QThread {
public:
    using Completion = std::function<void(const TCheckUPDate &)>;

    // Starts a check of the description at `url` for the program file `exeName`. `done` runs
    // on `receiver`'s thread after the worker ended, unless `receiver` is gone by then. An
    // empty `url` means no check: OnlineAllowed becomes true at once, MusicPathPrefix stays
    // empty, nothing runs and nullptr is returned.
    static TCheckUPDate *Start(const std::string &exeName, const std::string &url, QObject *receiver,
                               Completion done, const HttpOptions &options = {});

    // Results; read them in the completion (they are written by the worker before it ends).
    bool Reachable() const { return reachable_; }
    bool UpdateAvailable() const { return updateAvailable_; }
    const std::string &ExeName() const { return exeName_; }
    const std::string &UpdateFile() const { return updateFile_; }
    const std::string &Response() const { return response_; }

    // Makes a running fetch give up and waits (at most about a second) for the worker to end,
    // so that no check is left running while the program shuts down. Main thread only.
    void Cancel();

    // The two steps of the worker's body.
    void Fetch();
    void Evaluate();

protected:
    void run() override;

private:
    TCheckUPDate(std::string exeName, std::string url, const HttpOptions &options);

    bool reachable_ = false;
    bool updateAvailable_ = false;
    std::string exeName_;
    std::string updateFile_;
    std::string response_;
    std::string url_;
    HttpOptions options_;
    std::atomic<bool> cancel_{false};
};

// The completion's consequences, on the main thread: OnlineAllowed := Reachable; when an update
// is available, starts appDir + "update" with the Base64 of "<windowHandle>|<UpdateFile>" and
// does not wait for it. The window handle the updater gets is the player's process id.
void UpdateCheckDone(const TCheckUPDate &checker, const std::string &appDir);
void UpdateCheckDone(const TCheckUPDate &checker, const std::string &appDir, std::int64_t windowHandle);

// "<windowHandle>|<updateFile>" in Base64, the updater's one argument.
std::string UpdaterArgument(std::int64_t windowHandle, const std::string &updateFile);

} // namespace lirvo::update
