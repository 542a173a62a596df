#pragma once
// Replaces a file so that readers and crashes only ever see the old or the new content:
// the data goes to a temporary file in the same folder, is flushed to disk, then renamed
// over the target. The temporary file is removed on failure.

#include <string>
#include <string_view>

namespace lirvo::storage {

// Writes `data` to `path` atomically. On failure returns false and, when `error` is given,
// stores a readable reason (with the system's error text). The target is untouched on failure.
bool WriteFileAtomically(const std::string &path, std::string_view data, std::string *error = nullptr);

// Moves a file that could not be parsed out of the way as `path` + ".bad" (replacing an older
// .bad file), so that the next save never destroys the user's data silently. False on failure.
bool SetAsideBadFile(const std::string &path);

} // namespace lirvo::storage
