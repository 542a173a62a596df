#include "shell/command/mapshare.h"

#include "platform/InstanceLock.h"
#include "platform/MessagePort.h"
#include "platform/RuntimeDir.h"
#include "platform/SharedBlock.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace lirvo::command {

namespace {

platform::SharedBlock g_block;
std::unique_ptr<platform::InstanceLock> g_instanceMutex;

std::string RuntimeFolderPath() {
    if (const auto dir = platform::ProgramRuntimeDir())
        return *dir;
    return platform::BaseRuntimeDir() + "/lirvo";
}

// The receiving process has its own current folder, so a relative path is resolved here.
// Network addresses and empty texts stay as they are.
std::string AbsoluteLocalPath(const std::string &text) {
    if (text.empty() || text.front() == '/' || text.find("://") != std::string::npos)
        return text;
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr)
        return text;
    std::string cwd = buffer;
    if (cwd.empty() || cwd.back() != '/')
        cwd += '/';
    return cwd + text;
}

} // namespace

std::string CommandBlockName() {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : RuntimeFolderPath()) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("/lirvo-") + hex + "-58B49464-B170-4583-BE6C-77A579B2CAD8";
}

std::string MainWindowPortName() {
    return platform::MessagePortPath(MainWindowClass, MainWindowCaption).value_or(std::string());
}

bool OpenCommandBlock() {
    if (!g_block.Open(CommandBlockName(), CommandBlockSize))
        return false;
    // Every start wipes what the block held, so a stale command never runs twice.
    std::memset(g_block.Data(), 0, CommandBlockSize);
    return true;
}

CommandBlock *SharedCommandBlock() {
    return static_cast<CommandBlock *>(g_block.Data());
}

void CloseCommandBlock() {
    g_block.Close();
}

std::vector<std::string> ArgumentsOf(int argc, char **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i] != nullptr ? argv[i] : "");
    return args;
}

std::size_t WholeCharacterPrefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text.size();
    std::size_t n = maxBytes;
    // Step back over continuation bytes to the start of the character that would be split
    // (at most three: no well-formed character is longer than four bytes).
    for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++back)
        --n;
    if ((static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        n = maxBytes; // not UTF-8 at all: a byte cut is all we can do
    return n;
}

bool WriteArgumentsCommand(CommandBlock &block, const std::vector<std::string> &arguments) {
    if (arguments.empty())
        return false;
    std::uint8_t code;
    std::string text;
    if (arguments[0] == "/l") {
        code = CmdAddFile;
        text = arguments.size() > 1 ? arguments[1] : std::string();
    } else {
        code = CmdPlayFile;
        text = arguments[0];
    }
    text = AbsoluteLocalPath(text);
    const std::size_t length = WholeCharacterPrefix(text, CommandTextMaxBytes);
    std::memset(&block, 0, sizeof block);
    block.Command = code;
    block.Reserved = 0;
    std::memcpy(block.Text, text.data(), length);
    return true;
}

bool IsFirstInstance(const std::vector<std::string> &arguments) {
    // The window is looked up before the lock is tested: a start that comes while the first
    // instance is still creating its window finds none and hands nothing over.
    auto window = platform::MessagePortClient::Find(MainWindowClass, MainWindowCaption);
    g_instanceMutex = std::make_unique<platform::InstanceLock>();
    if (g_instanceMutex->TryAcquire(InstanceLockName))
        return true;
    if (!window || arguments.empty())
        return false;
    CommandBlock *block = SharedCommandBlock();
    if (block == nullptr || !WriteArgumentsCommand(*block, arguments))
        return false;
    window->Post({WM_SHARECMD, 1, 1});
    return false;
}

void ReleaseInstanceMutex() {
    g_instanceMutex.reset();
}

bool PostOwnArguments(const std::vector<std::string> &arguments) {
    CommandBlock *block = SharedCommandBlock();
    if (block == nullptr || arguments.empty())
        return false;
    auto window = platform::MessagePortClient::Find(MainWindowClass, MainWindowCaption);
    if (!window || !WriteArgumentsCommand(*block, arguments))
        return false;
    return window->Post({WM_SHARECMD, 1, 1});
}

} // namespace lirvo::command
