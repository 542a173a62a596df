#include "shell/controller/DialogFileReader.h"

#include "shell/command/LocalPlaylist.h"

namespace lirvo::shell {

void DialogFileReader::Read(const std::string &path, audio::TTags &tags) {
    if (!command::IsLocalPlaylistPath(path)) {
        readTags_(path, tags);
        return;
    }
    Entries entries;
    for (const command::LocalPlaylistEntry &entry : command::ReadLocalPlaylist(path)) {
        audio::TTags entryTags;
        if (entry.Title.empty()) {
            try {
                readTags_(entry.Path, entryTags);
            } catch (...) {
                entryTags = {};
            }
        } else {
            entryTags.Title = entry.Title;
            entryTags.Artist = entry.Artist;
        }
        entries.emplace_back(entry.Path, std::move(entryTags));
    }
    std::lock_guard lock(mutex_);
    playlists_[path] = std::move(entries);
}

void DialogFileReader::Expand(std::vector<std::string> &files, std::vector<audio::TTags> &tags) const {
    std::vector<std::string> outFiles;
    std::vector<audio::TTags> outTags;
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < files.size() && i < tags.size(); ++i) {
        if (!command::IsLocalPlaylistPath(files[i])) {
            outFiles.push_back(std::move(files[i]));
            outTags.push_back(std::move(tags[i]));
            continue;
        }
        if (auto playlist = playlists_.find(files[i]); playlist != playlists_.end()) {
            for (const auto &[path, entryTags] : playlist->second) {
                outFiles.push_back(path);
                outTags.push_back(entryTags);
            }
        }
    }
    files = std::move(outFiles);
    tags = std::move(outTags);
}

} // namespace lirvo::shell
