#include "shell/controller/CrashGuard.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

extern char **environ;

namespace lirvo::shell {

namespace {

struct FileSnapshot {
    std::string path;
    std::string tempPath;
    std::string bytes;
};

struct Reporter {
    std::string program;
    std::string argument;
    std::array<char *, 3> argv{};
};

struct Scratch {
    std::string folder;
    std::vector<std::string> files; // full paths
};

// Each published object stays alive for kKeep further publications, long after any handler
// that loaded the pointer has finished with it.
constexpr std::size_t kKeep = 16;

template <typename T> class Published {
public:
    void Set(T *value) {
        std::lock_guard lock(mutex_);
        current_.store(value, std::memory_order_release);
        delete retired_[next_];
        retired_[next_] = value;
        next_ = (next_ + 1) % kKeep;
    }
    const T *Get() const { return current_.load(std::memory_order_acquire); }

private:
    std::mutex mutex_;
    std::atomic<T *> current_{nullptr};
    std::array<T *, kKeep> retired_{};
    std::size_t next_ = 0;
};

Published<FileSnapshot> &PlaylistSlot() {
    static auto *slot = new Published<FileSnapshot>; // never destroyed: a fault may come at exit
    return *slot;
}
Published<FileSnapshot> &SettingsSlot() {
    static auto *slot = new Published<FileSnapshot>;
    return *slot;
}
Published<Reporter> &ReporterSlot() {
    static auto *slot = new Published<Reporter>;
    return *slot;
}

Published<Scratch> &ScratchSlot() {
    static auto *slot = new Published<Scratch>;
    return *slot;
}

constexpr std::array<int, 4> kFaultSignals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
std::array<struct sigaction, 4> gPrevious{};
std::atomic<bool> gInstalled{false};
std::atomic<FaultNotifier> gNotifier{nullptr};
std::atomic<int> gEntered{0};
std::atomic<bool> gSnapshotsWritten{false};

// True when the copy was written, or there was none to write.
bool WriteSnapshot(const FileSnapshot *snapshot) {
    if (!snapshot || snapshot->path.empty())
        return true;
    int fd = open(snapshot->tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char *data = snapshot->bytes.data();
    std::size_t left = snapshot->bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    ok = fsync(fd) == 0 && ok;
    close(fd);
    ok = ok && rename(snapshot->tempPath.c_str(), snapshot->path.c_str()) == 0;
    if (!ok)
        unlink(snapshot->tempPath.c_str());
    return ok;
}

const char *SignalName(int sig) {
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    default:
        return "signal";
    }
}

// One line on standard error, made without allocating (async-signal-safe).
void ReportToTerminal(int sig, bool saved) {
    char line[160];
    std::size_t n = 0;
    auto put = [&](const char *text) {
        while (*text && n < sizeof line - 1)
            line[n++] = *text++;
    };
    char digits[12];
    int d = 0;
    for (unsigned v = static_cast<unsigned>(sig); d == 0 || v > 0; v /= 10)
        digits[d++] = static_cast<char>('0' + v % 10);
    put("lirvo: crashed on ");
    put(SignalName(sig));
    put(" (signal ");
    while (d > 0 && n < sizeof line - 1)
        line[n++] = digits[--d];
    put(saved ? "); playlist and settings saved\n" : "); playlist and settings could not be saved\n");
    ssize_t ignored = write(STDERR_FILENO, line, n);
    (void)ignored;
}

// Ends the process by the signal's default action (a core dump where the system keeps them),
// so that the desktop's crash tools learn of the crash.
[[noreturn]] void DieBySignal(int sig) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, sig);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(sig);
    _exit(128 + sig); // not reached
}

void FaultHandler(int sig, siginfo_t *info, void *) {
    // A second fault (another thread, or inside this handler) waits for the first to finish.
    if (gEntered.exchange(1) != 0) {
        for (;;)
            pause();
    }
    FaultNotifier notifier = gNotifier.load();
    if (notifier)
        notifier(info, info ? info->si_addr : nullptr, true);
    ReportToTerminal(sig, gSnapshotsWritten.load());
    DieBySignal(sig);
}

void GiveThreadAlternateStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_sp)
        return; // someone (a sanitizer, for example) already gave this thread one
    const std::size_t size = 256 * 1024;
    void *memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = size;
    if (sigaltstack(&stack, nullptr) != 0)
        munmap(memory, size);
    // On success the stack stays for the life of the thread.
}

FileSnapshot *MakeSnapshot(const std::string &path, std::string bytes) {
    return new FileSnapshot{path, path + ".crash", std::move(bytes)};
}

} // namespace

void InstallCrashGuard(FaultNotifier notifier) {
    gNotifier.store(notifier);
    GiveThreadAlternateStack();
    if (gInstalled.exchange(true))
        return;
    struct sigaction action {};
    action.sa_sigaction = FaultHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kFaultSignals)
        sigaddset(&action.sa_mask, sig);
    for (std::size_t i = 0; i < kFaultSignals.size(); ++i)
        sigaction(kFaultSignals[i], &action, &gPrevious[i]);
}

void RemoveCrashGuard() {
    if (!gInstalled.exchange(false))
        return;
    for (std::size_t i = 0; i < kFaultSignals.size(); ++i)
        sigaction(kFaultSignals[i], &gPrevious[i], nullptr);
    gNotifier.store(nullptr);
}

bool CrashGuardInstalled() {
    return gInstalled.load();
}

void PublishPlaylistSnapshot(const std::string &path, std::string bytes) {
    PlaylistSlot().Set(MakeSnapshot(path, std::move(bytes)));
}

void PublishSettingsSnapshot(const std::string &path, std::string bytes) {
    SettingsSlot().Set(MakeSnapshot(path, std::move(bytes)));
}

void SetCrashReporter(const std::string &program, const std::string &argument) {
    auto *reporter = new Reporter{program, argument, {}};
    reporter->argv = {reporter->program.data(), reporter->argument.data(), nullptr};
    ReporterSlot().Set(reporter);
}

void SetCrashScratch(const std::string &folder, const std::vector<std::string> &fileNames) {
    auto *scratch = new Scratch{folder, {}};
    for (const auto &name : fileNames)
        scratch->files.push_back(folder + name);
    ScratchSlot().Set(scratch);
}

void WriteCrashSnapshotsAndReport() {
    const bool playlist = WriteSnapshot(PlaylistSlot().Get());
    const bool settings = WriteSnapshot(SettingsSlot().Get());
    gSnapshotsWritten.store(playlist && settings);
    if (const Scratch *scratch = ScratchSlot().Get(); scratch && !scratch->folder.empty()) {
        for (const auto &file : scratch->files)
            unlink(file.c_str());
        rmdir(scratch->folder.c_str());
    }
    const Reporter *reporter = ReporterSlot().Get();
    if (reporter && !reporter->program.empty() && access(reporter->program.c_str(), X_OK) == 0) {
        pid_t pid = 0;
        posix_spawn(&pid, reporter->program.c_str(), nullptr, nullptr, reporter->argv.data(), environ);
    }
}

std::string PublishedPlaylistSnapshot() {
    const FileSnapshot *s = PlaylistSlot().Get();
    return s ? s->bytes : std::string();
}

std::string PublishedSettingsSnapshot() {
    const FileSnapshot *s = SettingsSlot().Get();
    return s ? s->bytes : std::string();
}

} // namespace lirvo::shell
