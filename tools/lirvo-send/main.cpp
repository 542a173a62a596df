// lirvo-send: hands files and song lists to the running player and presses its buttons.
//
//   lirvo-send play PATH        add PATH to the playlist and play it      (command 1)
//   lirvo-send add PATH         add PATH to the playlist                  (command 11)
//   lirvo-send list-play TEXT   add the rows of a song list, play the first (command 2)
//   lirvo-send list-add TEXT    add the rows of a song list               (command 22)
//   lirvo-send cmd N            send request N (15, 16, 19, 20, 50, 51, 52) and print the answer
//
// Exit codes: 0 done, 1 no running player (or it did not answer), 2 wrong usage.
// The protocol is described in docs/ipc.md.

#include "platform/MessagePort.h"
#include "platform/SharedBlock.h"
#include "shell/command/CommandBlock.h"
#include "shell/command/CommandHandOff.h"
#include "shell/command/mapshare.h"

#include <cerrno>
#include <string_view>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using namespace lirvo;

constexpr const char *kUsage = "usage: lirvo-send play PATH | add PATH | list-play TEXT | list-add TEXT | cmd N\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int NotRunning() {
    std::fprintf(stderr, "lirvo-send: Lirvo is not running (no main window to send to)\n");
    return 1;
}

std::string Absolute(const std::string &path) {
    if (path.empty() || path.front() == '/' || path.find("://") != std::string::npos)
        return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

int SendBlockCommand(std::uint8_t code, const std::string &text) {
    auto window = platform::MessagePortClient::Find(command::MainWindowClass, command::MainWindowCaption);
    if (!window)
        return NotRunning();
    platform::SharedBlock block;
    if (!block.Open(command::CommandBlockName(), command::CommandBlockSize,
                    platform::SharedBlock::Mode::OpenExisting))
        return NotRunning();
    auto &cb = *static_cast<command::CommandBlock *>(block.Data());
    // Waits while an earlier command is still in the block; never overwrites it.
    command::HandOffOptions options;
    options.Post = [] {
        auto port = platform::MessagePortClient::Find(command::MainWindowClass, command::MainWindowCaption);
        return port && port->Post({command::WM_SHARECMD, 1, 1});
    };
    if (command::HandOver(cb, {{code, text}}, options) != command::HandOffResult::Done) {
        std::fprintf(stderr, "lirvo-send: Lirvo did not take the previous command in time\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3)
        return Usage();
    const std::string verb = argv[1];
    const std::string value = argv[2];
    if (verb == "play")
        return SendBlockCommand(command::CmdPlayFile, Absolute(value));
    if (verb == "add")
        return SendBlockCommand(command::CmdAddFile, Absolute(value));
    if (verb == "list-play")
        return SendBlockCommand(command::CmdPlayList, value);
    if (verb == "list-add")
        return SendBlockCommand(command::CmdAddList, value);
    if (verb == "cmd") {
        char *end = nullptr;
        errno = 0;
        const long long request = std::strtoll(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0)
            return Usage();
        auto window = platform::MessagePortClient::Find(command::MainWindowClass, command::MainWindowCaption);
        if (!window)
            return NotRunning();
        const auto result = window->Send({command::WM_CMDPLAY, request, 0});
        if (!result) {
            std::fprintf(stderr, "lirvo-send: Lirvo did not answer\n");
            return 1;
        }
        std::printf("%d\n", *result);
        return 0;
    }
    return Usage();
}
