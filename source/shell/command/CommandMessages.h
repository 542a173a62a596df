#pragma once
// The main window's two command messages. The controller's WMSHARECMD and WMCMDPLAY handlers
// call these with itself as the target.

#include "shell/command/CommandBlock.h"
#include "shell/command/ICommandTarget.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lirvo::command {

// Engine state while a network address is being opened.
inline constexpr int EngineStateConnecting = 1005;

// A row that code 1 or 11 adds: title and artist as read (empty when unknown) and its location.
struct PathRow {
    std::string Title;
    std::string Artist;
    std::string Path;
};
using TagReader = std::function<SongTags(const std::string &path)>;

// The rows codes 1 and 11 add for `path`: the path itself, or the entries of a local playlist
// (missing files skipped), titled by the playlist or else by the tags `readTags` gives. Reads
// files, so the controller calls it on a worker thread.
std::vector<PathRow> ReadPathRows(const std::string &path, const TagReader &readTags);

// Codes 1 and 11 once the rows of `path` are read: appends them (a row without a title takes
// its file name); with `play` the path's row, or a playlist's first entry, plays unless a
// network address is being opened. Does not save the playlist.
void AddPathRows(ICommandTarget &target, const std::string &path, const std::vector<PathRow> &rows, bool play);

// Carries out the command waiting in `block` (WM_SHARECMD): codes 1 and 11 append a path, or
// the entries of a local playlist file (1 also plays the path or the playlist's first entry
// unless a network address is being opened), 2 and 22 append the rows of a
// song list (2 plays the first new row). `musicPathPrefix` goes in front of every song-list
// location; paths are read on the calling thread (the controller reads them on a worker and
// calls ReadPathRows and AddPathRows itself). The playlist is saved after every command. The block is zeroed at the end; when
// carrying out the command throws, the playlist is still saved, the block is left as it is
// and the exception is swallowed (returns false).
bool WMSHARECMD(CommandBlock &block, std::int64_t lParam, ICommandTarget &target,
                const std::string &musicPathPrefix);

// Remote control (WM_CMDPLAY): 15 -> 1; 16 play/pause, 19 previous, 20 next -> 1; 50 the row
// count; 51 the current index; any other request, or an lParam other than 0 -> -1.
std::int32_t WMCMDPLAY(ICommandTarget &target, std::int64_t wParam, std::int64_t lParam);

} // namespace lirvo::command
