#pragma once
// The per-user folder that holds the program's lock file and message port sockets:
// $XDG_RUNTIME_DIR/lirvo (or /tmp/lirvo-runtime-<uid>/lirvo when the variable is unset or not
// absolute), created with mode 0700. A folder that exists but belongs to another user is not
// used. Tests point XDG_RUNTIME_DIR at a private folder.

#include <optional>
#include <string>

namespace lirvo::platform {

// The base runtime folder ($XDG_RUNTIME_DIR or the fallback), without creating anything.
std::string BaseRuntimeDir();

// BaseRuntimeDir() + "/lirvo", created (mode 0700) when missing; nullopt when it cannot be
// created or is not a folder owned by this user. Its mode is tightened to 0700 if looser.
std::optional<std::string> ProgramRuntimeDir();

} // namespace lirvo::platform
