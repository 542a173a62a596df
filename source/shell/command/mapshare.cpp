#include "shell/command/mapshare.h"

#include "platform/InstanceLock.h"
#include "platform/MessagePort.h"
#include "platform/RuntimeDir.h"
#include "platform/SharedBlock.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

namespace lirvo::command {

namespace {

platform::SharedBlock g_block;
std::unique_ptr<platform::InstanceLock> g_instanceMutex;

std::string RuntimeFolderPath() {
    if (const auto dir = platform::ProgramRuntimeDir())
        return *dir;
    return platform::BaseRuntimeDir() + "/lirvo";
}

// The first instance's own commands, waiting for its event loop.
std::deque<std::unique_ptr<CommandBlock>> g_ownCommands;

std::optional<platform::MessagePortClient> FindMainWindow() {
    return platform::MessagePortClient::Find(MainWindowClass, MainWindowCaption);
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
    // What the block holds is a command not taken yet; the running (or next) instance takes it.
    return g_block.Open(CommandBlockName(), CommandBlockSize);
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

bool IsFirstInstance(const std::vector<std::string> &arguments, HandOffResult *handOff,
                     const HandOffOptions &options) {
    if (handOff)
        *handOff = HandOffResult::Done;
    g_instanceMutex = std::make_unique<platform::InstanceLock>();
    if (g_instanceMutex->TryAcquire(InstanceLockName))
        return true;
    if (arguments.empty()) {
        // Nothing to hand over: the running player shows its window instead.
        if (auto window = FindMainWindow())
            window->Send({WM_CMDPLAY, CmdPlayShowWindow, 0}, std::chrono::seconds(2));
        return false;
    }
    CommandBlock *block = SharedCommandBlock();
    if (block == nullptr)
        return false;
    HandOffOptions withPost = options;
    if (!withPost.Post)
        withPost.Post = [] {
            auto window = FindMainWindow();
            return window && window->Post({WM_SHARECMD, 1, 1});
        };
    const HandOffResult result = HandOver(*block, CommandsForArguments(arguments), withPost);
    if (handOff)
        *handOff = result;
    return false;
}

void ReleaseInstanceMutex() {
    g_instanceMutex.reset();
}

bool PostOwnArguments(const std::vector<std::string> &arguments) {
    for (const PendingCommand &command : CommandsForArguments(arguments))
        g_ownCommands.push_back(MakeCommandBlock(command));
    auto window = FindMainWindow();
    return window && window->Post({WM_SHARECMD, 1, 1});
}

void TakeCommands(const std::function<void(CommandBlock &)> &handle) {
    while (!g_ownCommands.empty()) {
        std::unique_ptr<CommandBlock> own = std::move(g_ownCommands.front());
        g_ownCommands.pop_front();
        handle(*own);
    }
    if (CommandBlock *block = SharedCommandBlock())
        if (auto taken = TakeCommand(*block))
            handle(*taken);
}

} // namespace lirvo::command
