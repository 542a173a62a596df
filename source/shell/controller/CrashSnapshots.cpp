#include "shell/controller/CrashSnapshots.h"

#include "shell/controller/CrashGuard.h"

#include <QDir>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace lirvo::shell {

namespace {

constexpr const char *kPlaylistWork = "playlist.pls";
constexpr const char *kSettingsWork = "settings.xml";

std::optional<std::string> ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

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

bool CrashSnapshots::Produce(const std::string &path, const std::string &workName, const Writer &write,
                             std::string &bytes) const {
    if (!enabled_ || closed_ || folder_.empty() || path.empty())
        return false;
    const std::string work = folder_ + workName;
    if (auto base = ReadFileBytes(path))
        WriteFileBytes(work, *base);
    else
        unlink(work.c_str());
    write(work);
    unlink((work + ".bad").c_str());
    auto made = ReadFileBytes(work);
    if (!made)
        return false;
    bytes = std::move(*made);
    return true;
}

void CrashSnapshots::RefreshPlaylist(const std::string &path, const Writer &write) {
    std::string bytes;
    if (Produce(path, kPlaylistWork, write, bytes))
        PublishPlaylistSnapshot(path, std::move(bytes));
}

void CrashSnapshots::RefreshSettings(const std::string &path, const Writer &write) {
    std::string bytes;
    if (Produce(path, kSettingsWork, write, bytes))
        PublishSettingsSnapshot(path, std::move(bytes));
}

} // namespace lirvo::shell
