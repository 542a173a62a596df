#pragma once
// Files chosen in the open dialog, where a local playlist (.m3u, .m3u8, .pls) stands for its
// entries: the tag-reading workers read a playlist with the tags of its entries (a title the
// playlist gives wins over the tags), and the main thread then puts the entries in the
// playlist's place. The playlist file itself never becomes a row.

#include "shell/controller/TagReadingPool.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace lirvo::shell {

class DialogFileReader {
public:
    explicit DialogFileReader(TagReadingPool::ReadTags readTags) : readTags_(std::move(readTags)) {}

    // For the workers: the tags of a file, or, for a playlist, the entries with their tags.
    void Read(const std::string &path, audio::TTags &tags);
    // On the main thread, with what the workers read: every playlist replaced by its entries
    // (none for a playlist not read yet).
    void Expand(std::vector<std::string> &files, std::vector<audio::TTags> &tags) const;

private:
    using Entries = std::vector<std::pair<std::string, audio::TTags>>;
    TagReadingPool::ReadTags readTags_;
    mutable std::mutex mutex_;
    std::map<std::string, Entries> playlists_;
};

} // namespace lirvo::shell
