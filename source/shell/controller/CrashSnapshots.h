#pragma once
// Keeps the crash guard's copies of the playlist and settings files current. The controller
// hands over the bytes it has just saved, or a writer that produces what a save would write
// now; the writer runs on a copy in a private scratch folder (preferably on a memory file
// system), and the result is published to the crash guard (CrashGuard.h).

#include <functional>
#include <string>

namespace lirvo::shell {

class CrashSnapshots {
public:
    // Writes the file at `workPath` as the real save would (it holds a copy of the current file,
    // or nothing when there is none).
    using Writer = std::function<void(const std::string &workPath)>;

    // With `enabled` false (tests that run several controllers) nothing is ever published.
    explicit CrashSnapshots(bool enabled);
    // Removes the scratch folder.
    ~CrashSnapshots();
    CrashSnapshots(const CrashSnapshots &) = delete;
    CrashSnapshots &operator=(const CrashSnapshots &) = delete;

    // Makes the scratch folder and tells the crash guard to remove it after a crash.
    void Open();
    // Removes the scratch folder; later refreshes do nothing.
    void Close();

    // The playlist file was just written with `bytes`.
    void PlaylistSaved(const std::string &path, std::string bytes);
    // Publishes what writing the playlist at `path` would produce now.
    void RefreshPlaylist(const std::string &path, const Writer &write);
    // Publishes what writing the settings at `path` would produce now.
    void RefreshSettings(const std::string &path, const Writer &write);

private:
    enum class Outcome { Made, Unreadable, Skipped };
    // Runs `write` on a copy of `path` in the scratch folder and returns the result in `bytes`.
    // Unreadable: `path` exists but cannot be read, so no copy may be written over it.
    Outcome Produce(const std::string &path, const std::string &workName, const Writer &write,
                    std::string &bytes) const;

    bool enabled_;
    bool closed_ = false;
    std::string folder_; // ends in "/"; empty when none could be made
};

} // namespace lirvo::shell
