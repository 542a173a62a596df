#include "shell/command/CommandMessages.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "shell/command/LocalPlaylist.h"
#include "shell/command/SongList.h"

#include <cstring>
#include <string>

namespace lirvo::command {

namespace {

std::string ReadText(const CommandBlock &block) {
    return std::string(block.Text, strnlen(block.Text, CommandTextMaxBytes));
}

void PlayCurrentRecord(ICommandTarget &target) {
    if (const auto path = target.RecordPath(target.CurrentIndex()))
        target.PlayFile(*path);
}

} // namespace

std::vector<PathRow> ReadPathRows(const std::string &path, const TagReader &readTags) {
    const auto tagged = [&](const std::string &file) {
        const SongTags tags = readTags(file);
        return PathRow{tags.Title, tags.Artist, file};
    };
    if (!IsLocalPlaylistPath(path))
        return {tagged(path)};
    // A title the playlist gives wins over the tags.
    std::vector<PathRow> rows;
    for (const LocalPlaylistEntry &entry : ReadLocalPlaylist(path))
        rows.push_back(text::IsBlank(entry.Title) ? tagged(entry.Path) : PathRow{entry.Title, entry.Artist, entry.Path});
    return rows;
}

void AddPathRows(ICommandTarget &target, const std::string &path, const std::vector<PathRow> &rows, bool play) {
    const int firstNew = target.RowCount();
    int refused = 0;
    for (const PathRow &row : rows) {
        // Such a name would come back changed after a restart and no longer play.
        if (!text::IsValidUtf8(row.Path)) {
            ++refused;
            continue;
        }
        const std::string title = text::IsBlank(row.Title) ? target.TitleFromFileName(row.Path) : row.Title;
        target.AppendRow(target.RowCount() + 1, title, row.Artist, row.Path);
    }
    if (refused > 0)
        target.SayNamesRefused(refused);
    // While a network address is being opened, starting another file would race with it.
    if (play && target.RowCount() > firstNew && target.EngineState() != EngineStateConnecting) {
        target.Stop();
        // A single path plays its row; a playlist plays its first entry.
        target.SetCurrentIndex(IsLocalPlaylistPath(path) ? firstNew : target.RowCount() - 1);
        PlayCurrentRecord(target);
    }
}

namespace {

void AddSongList(ICommandTarget &target, const std::string &text, const std::string &prefix, bool play) {
    if (play)
        target.SetCurrentIndex(target.RowCount()); // the index the first new row gets
    for (const SongListEntry &entry : DecodeSongList(text, prefix))
        target.AppendRow(target.RowCount() + 1, entry.Title, entry.Singer, entry.Location);
    if (play) {
        target.Stop();
        PlayCurrentRecord(target);
    }
}

} // namespace

bool WMSHARECMD(CommandBlock &block, std::int64_t lParam, ICommandTarget &target,
                const std::string &musicPathPrefix) {
    if (lParam == 1) {
        const std::uint8_t code = block.Command;
        const bool known =
            code == CmdPlayFile || code == CmdAddFile || code == CmdPlayList || code == CmdAddList;
        if (known) {
            bool failed = false;
            try {
                const std::string text = ReadText(block);
                if (code == CmdPlayFile || code == CmdAddFile)
                    AddPathRows(target, text, ReadPathRows(text, [&](const std::string &file) { return target.GetTags(file); }),
                                code == CmdPlayFile);
                else
                    AddSongList(target, text, musicPathPrefix, code == CmdPlayList);
            } catch (...) {
                failed = true;
            }
            // Rows that did arrive are never lost, whatever went wrong.
            try {
                target.SavePlayList();
            } catch (...) {
                failed = true;
            }
            if (failed)
                return false;
        }
    }
    std::memset(&block, 0, sizeof block);
    return true;
}

std::int32_t WMCMDPLAY(ICommandTarget &target, std::int64_t wParam, std::int64_t lParam) {
    if (lParam != 0)
        return -1;
    switch (wParam) {
    case 15:
        return 1;
    case 16:
        target.PlayPause();
        return 1;
    case 19:
        target.Previous();
        return 1;
    case 20:
        target.Next();
        return 1;
    case 50:
        return target.RowCount();
    case 51:
        return target.CurrentIndex();
    default:
        return -1;
    }
}

} // namespace lirvo::command
