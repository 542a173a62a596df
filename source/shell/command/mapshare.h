#pragma once
// Single instance and command hand-off. Every process maps the command block and zeroes it
// first thing; IsFirstInstance then looks for the running instance's message port, tests the
// instance lock and, in a later process, writes its command line into the block and posts
// WM_SHARECMD to the running instance.
//
//     int main(int argc, char **argv) {
//         if (!lirvo::command::OpenCommandBlock()) return 0;
//         QApplication app(argc, argv);
//         if (!lirvo::command::IsFirstInstance(lirvo::command::ArgumentsOf(argc, argv))) return 0;
//         ... create the main window, which opens the message port (MainWindowPortName()) and
//             calls PostOwnArguments(...) right after it ...
//         int rc = app.exec();
//         lirvo::command::ReleaseInstanceMutex();
//         lirvo::command::CloseCommandBlock();
//         return rc;
//     }

#include "shell/command/CommandBlock.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::command {

inline constexpr const char *MainWindowClass = "lirvo";
inline constexpr const char *MainWindowCaption = "Lirvo4";

// Maps the block (creating it when needed) and zeroes it. False when it cannot be mapped; the
// program then ends at once with exit code 0.
bool OpenCommandBlock();
// The mapped block of this process, or nullptr before OpenCommandBlock / after CloseCommandBlock.
CommandBlock *SharedCommandBlock();
void CloseCommandBlock();

// argv[1..argc-1] as strings.
std::vector<std::string> ArgumentsOf(int argc, char **argv);

// True for the first instance (it now holds the instance lock until ReleaseInstanceMutex or
// its end). A later process hands `arguments` to the running instance when it has a message
// port and there is at least one argument, then returns false.
bool IsFirstInstance(const std::vector<std::string> &arguments);
void ReleaseInstanceMutex();

// Writes the command for `arguments` into the block: "/l" PATH gives code 11, anything else
// code 1 with the first argument. A relative local path is made absolute against the current
// folder (the receiving process has its own). The text is cut to 65535 bytes at a whole UTF-8
// character. False (and the block untouched) when there is no argument or no block.
bool WriteArgumentsCommand(CommandBlock &block, const std::vector<std::string> &arguments);

// The first instance hands its own arguments to its own window: writes the command and posts
// WM_SHARECMD to this process's message port, to be handled once the event loop runs.
// Call after the message port server is listening. Nothing happens without arguments.
bool PostOwnArguments(const std::vector<std::string> &arguments);

// Name of the main window's message port (class and caption).
std::string MainWindowPortName();

// Name of the shared memory object: "/lirvo-" + 16 hex digits of the 64-bit FNV-1a hash of
// the program's runtime folder path + "-58B49464-B170-4583-BE6C-77A579B2CAD8". Scoping it by
// the runtime folder keeps sessions (and tests) with separate folders apart.
std::string CommandBlockName();
// Name of the instance lock in the runtime folder.
inline constexpr const char *InstanceLockName = "lirvo-8AEEC543-1CDC-42BB-95E0-3D5F3A22043C";

// `text` cut to at most `maxBytes` without splitting a UTF-8 sequence.
std::size_t WholeCharacterPrefix(std::string_view text, std::size_t maxBytes);

} // namespace lirvo::command
