#pragma once
// Single instance and command hand-off. Every process maps the command block first thing (it
// never zeroes it: a command there has not been taken yet); IsFirstInstance then tests the
// instance lock and, in a later process, hands its command line to the running instance
// through the block (CommandHandOff.h), one command per path.
//
//     int main(int argc, char **argv) {
//         if (!lirvo::command::OpenCommandBlock()) return 0;
//         QApplication app(argc, argv);
//         if (!lirvo::command::IsFirstInstance(lirvo::command::ArgumentsOf(argc, argv))) return 0;
//         ... create the main window, which opens the message port (MainWindowPortName()) and
//             calls PostOwnArguments(...) right after it; its WM_SHARECMD handler calls
//             TakeCommands(...) ...
//         int rc = app.exec();
//         lirvo::command::ReleaseInstanceMutex();
//         lirvo::command::CloseCommandBlock();
//         return rc;
//     }

#include "shell/command/CommandBlock.h"
#include "shell/command/CommandHandOff.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::command {

inline constexpr const char *MainWindowClass = "lirvo";
inline constexpr const char *MainWindowCaption = "Lirvo4";

// Maps the block (creating it when needed; a new block is all zero). False when it cannot be
// mapped; the program then ends at once with exit code 0.
bool OpenCommandBlock();
// The mapped block of this process, or nullptr before OpenCommandBlock / after CloseCommandBlock.
CommandBlock *SharedCommandBlock();
void CloseCommandBlock();

// argv[1..argc-1] as strings.
std::vector<std::string> ArgumentsOf(int argc, char **argv);

// True for the first instance (it now holds the instance lock until ReleaseInstanceMutex or
// its end). A later process hands the commands for `arguments` (CommandsForArguments) to the
// running instance, waiting while earlier commands are taken, then returns false; `handOff`
// gets the outcome (Done also when there was nothing to hand over).
bool IsFirstInstance(const std::vector<std::string> &arguments, HandOffResult *handOff = nullptr,
                     const HandOffOptions &options = {});
void ReleaseInstanceMutex();

// The first instance hands its own arguments to its own window: queues their commands in this
// process and posts WM_SHARECMD to its own message port, to be handled once the event loop
// runs. The post is made also without arguments, so that the instance takes a command another
// start wrote into the block while it was starting. Call after the port server listens.
bool PostOwnArguments(const std::vector<std::string> &arguments);

// What the WM_SHARECMD handler of the running instance calls: hands `handle` every command
// waiting for this instance, in order: first the queued own arguments, then the command in the
// shared block (which is free again before `handle` runs). Main thread only.
void TakeCommands(const std::function<void(CommandBlock &)> &handle);

// Name of the main window's message port (class and caption).
std::string MainWindowPortName();

// Name of the shared memory object: "/lirvo-" + 16 hex digits of the 64-bit FNV-1a hash of
// the program's runtime folder path + "-58B49464-B170-4583-BE6C-77A579B2CAD8". Scoping it by
// the runtime folder keeps sessions (and tests) with separate folders apart.
std::string CommandBlockName();
// Name of the instance lock in the runtime folder.
inline constexpr const char *InstanceLockName = "lirvo-8AEEC543-1CDC-42BB-95E0-3D5F3A22043C";

} // namespace lirvo::command
