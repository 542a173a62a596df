#include "shell/controller/CrashSnapshots.h"

#include "shell/controller/CrashGuard.h"
#include "storage/XmlDocument.h"

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lirvo::shell {

namespace {

constexpr const char *kPlaylistWork = "playlist.pls";
constexpr const char *kSettingsWork = "settings.xml";

bool WriteFileBytes(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

// A private folder, preferably on a memory file system (the per-user runtime folder or
// /dev/shm), where the flushes of each rebuild cost nothing.
std::string MakeScratchFolder() {
    std::vector<std::string> bases;
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        bases.emplace_back(runtime);
    bases.emplace_back("/dev/shm");
    bases.push_back(QDir::tempPath().toStdString());
    for (const auto &base : bases) {
        std::string pattern = base + "/lirvo-snapshot-XXXXXX";
        if (char *made = mkdtemp(pattern.data()))
            return std::string(made) + "/";
    }
    return {};
}

} // namespace

CrashSnapshots::CrashSnapshots(bool enabled) : enabled_(enabled) {}

CrashSnapshots::~CrashSnapshots() {
    Close();
}

void CrashSnapshots::Open() {
    if (!enabled_ || closed_ || !folder_.empty())
        return;
    folder_ = MakeScratchFolder();
    if (!folder_.empty()) {
        const std::string playlist = kPlaylistWork, settings = kSettingsWork;
        SetCrashScratch(folder_, {playlist, settings, settings + ".bad", playlist + ".bad"});
    }
}

void CrashSnapshots::Close() {
    closed_ = true;
    if (!folder_.empty())
        QDir(QString::fromStdString(folder_)).removeRecursively();
    folder_.clear();
}

void CrashSnapshots::PlaylistSaved(const std::string &path, std::string bytes) {
    if (enabled_ && !closed_)
        PublishPlaylistSnapshot(path, std::move(bytes));
}

CrashSnapshots::Outcome CrashSnapshots::Produce(const std::string &path, const std::string &workName,
                                                const Writer &write, std::string &bytes) const {
    if (!enabled_ || closed_ || folder_.empty() || path.empty())
        return Outcome::Skipped;
    const std::string work = folder_ + workName;
    std::string base;
    struct stat st {};
    if (storage::ReadWholeFile(path, base)) {
        WriteFileBytes(work, base);
    } else if (::stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
        // A file that exists but cannot be read is not ours to replace, not even in a crash.
        return Outcome::Unreadable;
    } else {
        unlink(work.c_str());
    }
    write(work);
    for (const char *suffix : {".bad", ".bad.2"})
        unlink((work + suffix).c_str());
    if (!storage::ReadWholeFile(work, bytes))
        return Outcome::Skipped;
    return Outcome::Made;
}

void CrashSnapshots::RefreshPlaylist(const std::string &path, const Writer &write) {
    std::string bytes;
    switch (Produce(path, kPlaylistWork, write, bytes)) {
    case Outcome::Made:
        PublishPlaylistSnapshot(path, std::move(bytes));
        break;
    case Outcome::Unreadable:
        PublishPlaylistSnapshot({}, {}); // withdraws the copy: nothing is written
        break;
    case Outcome::Skipped:
        break;
    }
}

void CrashSnapshots::RefreshSettings(const std::string &path, const Writer &write) {
    std::string bytes;
    switch (Produce(path, kSettingsWork, write, bytes)) {
    case Outcome::Made:
        PublishSettingsSnapshot(path, std::move(bytes));
        break;
    case Outcome::Unreadable:
        PublishSettingsSnapshot({}, {});
        break;
    case Outcome::Skipped:
        break;
    }
}

} // namespace lirvo::shell
