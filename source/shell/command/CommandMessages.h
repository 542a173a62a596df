#pragma once
// The main window's two command messages. The controller's WMSHARECMD and WMCMDPLAY handlers
// call these with itself as the target.

#include "shell/command/CommandBlock.h"
#include "shell/command/ICommandTarget.h"

#include <cstdint>
#include <string>

namespace lirvo::command {

// Engine state while a network address is being opened.
inline constexpr int EngineStateConnecting = 1005;

// Carries out the command waiting in `block` (WM_SHARECMD): codes 1 and 11 append a path, or
// the entries of a local playlist file (1 also plays the path or the playlist's first entry
// unless a network address is being opened), 2 and 22 append the rows of a
// song list (2 plays the first new row). `musicPathPrefix` goes in front of every song-list
// location. The playlist is saved after every command. The block is zeroed at the end; when
// carrying out the command throws, the playlist is still saved, the block is left as it is
// and the exception is swallowed (returns false).
bool WMSHARECMD(CommandBlock &block, std::int64_t lParam, ICommandTarget &target,
                const std::string &musicPathPrefix);

// Remote control (WM_CMDPLAY): 15 -> 1; 16 play/pause, 19 previous, 20 next -> 1; 50 the row
// count; 51 the current index; any other request, or an lParam other than 0 -> -1.
std::int32_t WMCMDPLAY(ICommandTarget &target, std::int64_t wParam, std::int64_t lParam);

} // namespace lirvo::command
