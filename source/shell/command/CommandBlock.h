#pragma once
// The command block: the 65544-byte shared memory area through which a later start of the
// program, lirvo-send or any other local program hands a command to the running instance.
// The layout is fixed (little-endian) because other programs write it; see docs/ipc.md.

#include <cstddef>
#include <cstdint>

namespace lirvo::command {

// Command codes a sender may place in `Command`.
enum CommandCode : std::uint8_t {
    CmdNone = 0,
    CmdPlayFile = 1, // Text: a path; append one row and play it
    CmdPlayList = 2, // Text: a song list; append its rows and play the first of them
    CmdAddFile = 11, // Text: a path; append one row
    CmdAddList = 22, // Text: a song list; append its rows
};

// Messages of the main window's message port.
inline constexpr std::uint32_t WM_SHARECMD = 2734; // a command waits in the block; wParam 1, lParam 1
inline constexpr std::uint32_t WM_CMDPLAY = 1807;  // remote transport control; wParam request, lParam 0
// The WM_CMDPLAY request that brings the main window back (shown, raised, de-iconified); a
// later start without files sends it.
inline constexpr std::int64_t CmdPlayShowWindow = 52;

inline constexpr std::size_t CommandBlockSize = 65544;
inline constexpr std::size_t CommandTextSize = 65536;
// Longest text a sender stores, so that the block always keeps a terminating zero byte.
inline constexpr std::size_t CommandTextMaxBytes = CommandTextSize - 1;

struct CommandBlock {
    std::uint8_t Command;
    std::uint8_t Padding[3];
    std::uint32_t Reserved;     // written as 0, never read
    char Text[CommandTextSize]; // zero-terminated
};

static_assert(sizeof(CommandBlock) == CommandBlockSize);
static_assert(offsetof(CommandBlock, Command) == 0);
static_assert(offsetof(CommandBlock, Reserved) == 4);
static_assert(offsetof(CommandBlock, Text) == 8);

} // namespace lirvo::command
