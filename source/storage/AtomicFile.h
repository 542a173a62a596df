#pragma once
// Replaces a file so that readers and crashes only ever see the old or the new content:
// the data goes to a temporary file in the same folder, is flushed to disk, then renamed
// over the target. The temporary file is removed on failure.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::storage {

// Writes `data` to `path` atomically. On failure returns false and, when `error` is given,
// stores a readable reason (with the system's error text). The target is untouched on failure.
bool WriteFileAtomically(const std::string &path, std::string_view data, std::string *error = nullptr);

// Moves a file that could not be parsed out of the way as `path` + ".bad", or ".bad.2",
// ".bad.3", ... when that name is taken: an earlier copy is never replaced. Returns the name of
// the copy, or nullopt when nothing could be moved.
std::optional<std::string> SetAsideBadFile(const std::string &path);

} // namespace lirvo::storage
