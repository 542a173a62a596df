#pragma once
// Last words of a crashing process. The main thread keeps ready-made copies of the files that
// must survive a processor fault (the playlist and the settings) and the command line of the
// crash reporter; when SIGSEGV, SIGBUS, SIGILL or SIGFPE strikes on any thread, the handler
// (on an alternate stack) writes those copies with async-signal-safe calls only (open, write,
// fsync, rename), starts the reporter, writes one line to standard error (the signal, and
// whether the files were saved) and ends the process by the signal's default action.
//
// Publishing a snapshot is cheap and lock-free for the handler: the new copy is swapped in
// atomically and older copies stay alive for a while, so a handler that is just reading one
// never sees it freed.

#include <string>
#include <vector>

namespace lirvo::shell {

// Called from the handler with the fault's signal information, the faulting address and true.
using FaultNotifier = void (*)(const void *signalInfo, const void *address, bool osException);

// Installs the handler for the four fault signals (once per process; later calls only replace
// the notifier) and gives the calling thread an alternate signal stack.
void InstallCrashGuard(FaultNotifier notifier);
// Restores the previous handlers. Snapshots and the reporter are kept.
void RemoveCrashGuard();
bool CrashGuardInstalled();

// The two files the handler writes. `path` is the destination; the data is written to
// path + ".crash" first and renamed over it. An empty `path` withdraws the copy.
void PublishPlaylistSnapshot(const std::string &path, std::string bytes);
void PublishSettingsSnapshot(const std::string &path, std::string bytes);
// The program started after the files are written (no shell; argv[0] is the program path).
void SetCrashReporter(const std::string &program, const std::string &argument);

// A private folder whose listed files the handler removes (with the folder) after writing, so a
// crash leaves no scratch files behind.
void SetCrashScratch(const std::string &folder, const std::vector<std::string> &fileNames);

// What the notifier does: writes both snapshots, starts the reporter. Async-signal-safe.
// Returns normally; the handler then reports and ends the process.
void WriteCrashSnapshotsAndReport();

// Latest published data (for tests of the controller; not signal-safe).
std::string PublishedPlaylistSnapshot();
std::string PublishedSettingsSnapshot();

} // namespace lirvo::shell
