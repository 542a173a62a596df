#pragma once
// Reliable use of the one shared command block by many writers and one reader.
//
// Writers (a later start of lirvo, lirvo-send) take the writer lock, wait until the block is
// free (`Command` 0: the previous command was taken), write the text and then the command
// byte, and post WM_SHARECMD when the running instance's port exists. The running instance
// takes a command by copying the block and freeing it before it carries the copy out, so the
// next writer can go on at once. Nobody zeroes a command that has not been taken; a command
// written while the first instance was still starting is taken by that instance's first look
// at the block. The rule is written down for other programs in docs/ipc.md.

#include "shell/command/CommandBlock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lirvo::command {

struct PendingCommand {
    std::uint8_t Code = CmdNone;
    std::string Text;
    bool operator==(const PendingCommand &) const = default;
};

// The commands a start of the program hands over for its arguments: after "/l" every path is
// only added (code 11); otherwise the first path plays (code 1) and every further path is
// added (code 11). "/l" is compared exactly. Relative local paths are made absolute against
// the current folder (the receiving process has its own).
std::vector<PendingCommand> CommandsForArguments(const std::vector<std::string> &arguments);

// Writes one command into a free block: text first (cut to 65535 bytes at a whole UTF-8
// character), the command byte last, so a reader that sees the byte sees the whole text.
void WriteCommand(CommandBlock &block, const PendingCommand &command);

// The command byte as another process may be changing it.
std::uint8_t LoadCommandByte(const CommandBlock &block);

enum class HandOffResult {
    Done,     // every command was written (and posted where a port exists)
    NotTaken, // the block stayed occupied for the whole time limit; the rest was not written
    Busy,     // another writer held the writer lock for the whole time limit
};

struct HandOffOptions {
    // How long a writer waits for the writer lock and, before each command, for the block.
    std::chrono::milliseconds Limit = std::chrono::seconds(60);
    // Posts WM_SHARECMD to the running instance; false when no instance listens (yet).
    std::function<bool()> Post;
};

// Writes `commands` one after another, each after the previous one was taken, holding the
// writer lock (a file lock in the runtime folder) for the whole list so that the commands of
// one start stay together.
HandOffResult HandOver(CommandBlock &block, const std::vector<PendingCommand> &commands,
                       const HandOffOptions &options);

// Takes the command waiting in `block`, if there is one: returns a private copy and frees the
// block. nullptr when the block is free.
std::unique_ptr<CommandBlock> TakeCommand(CommandBlock &block);

// A block holding `command`, for commands that never pass through shared memory (the first
// instance's own arguments, commands from the desktop's media-player interface).
std::unique_ptr<CommandBlock> MakeCommandBlock(const PendingCommand &command);

// Name of the writer lock in the runtime folder.
inline constexpr const char *CommandWriterLockName = "lirvo-58B49464-B170-4583-BE6C-77A579B2CAD8-writer";

} // namespace lirvo::command
