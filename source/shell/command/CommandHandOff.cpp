#include "shell/command/CommandHandOff.h"

#include "function/text/TextCodec.h"
#include "platform/InstanceLock.h"
#include "shell/command/mapshare.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace lirvo::command {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

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

std::atomic_ref<std::uint8_t> CommandByte(CommandBlock &block) {
    return std::atomic_ref<std::uint8_t>(block.Command);
}

template <typename Done> bool WaitFor(Done done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

} // namespace

std::vector<PendingCommand> CommandsForArguments(const std::vector<std::string> &arguments) {
    std::vector<PendingCommand> commands;
    if (arguments.empty())
        return commands;
    const bool addOnly = arguments[0] == "/l";
    if (addOnly && arguments.size() == 1) {
        commands.push_back({CmdAddFile, std::string()}); // "/l" alone hands over an empty path
        return commands;
    }
    for (std::size_t i = addOnly ? 1 : 0; i < arguments.size(); ++i) {
        const bool plays = !addOnly && i == 0;
        commands.push_back({plays ? CmdPlayFile : CmdAddFile, AbsoluteLocalPath(arguments[i])});
    }
    return commands;
}

void WriteCommand(CommandBlock &block, const PendingCommand &command) {
    const std::size_t length = text::Utf8PrefixLength(command.Text, CommandTextMaxBytes);
    std::memset(block.Padding, 0, sizeof block.Padding);
    block.Reserved = 0;
    std::memcpy(block.Text, command.Text.data(), length);
    std::memset(block.Text + length, 0, sizeof block.Text - length);
    CommandByte(block).store(command.Code, std::memory_order_release);
}

std::uint8_t LoadCommandByte(const CommandBlock &block) {
    return std::atomic_ref<std::uint8_t>(const_cast<std::uint8_t &>(block.Command)).load(std::memory_order_acquire);
}

HandOffResult HandOver(CommandBlock &block, const std::vector<PendingCommand> &commands,
                       const HandOffOptions &options) {
    platform::InstanceLock writer;
    if (!WaitFor([&] { return writer.TryAcquire(CommandWriterLockName); }, options.Limit))
        return HandOffResult::Busy;
    for (const PendingCommand &command : commands) {
        // A command that has not been taken yet is never overwritten.
        if (!WaitFor([&] { return LoadCommandByte(block) == CmdNone; }, options.Limit))
            return HandOffResult::NotTaken;
        WriteCommand(block, command);
        // Without a port the instance is still starting; its first look at the block takes it.
        if (options.Post)
            options.Post();
    }
    return HandOffResult::Done;
}

std::unique_ptr<CommandBlock> TakeCommand(CommandBlock &block) {
    if (LoadCommandByte(block) == CmdNone)
        return nullptr;
    auto copy = std::make_unique<CommandBlock>();
    std::memcpy(copy.get(), &block, sizeof block);
    // The text is cleared before the command byte, so a writer that sees the block free never
    // has its new text wiped by this clearing.
    std::memset(reinterpret_cast<char *>(&block) + 1, 0, sizeof block - 1);
    CommandByte(block).store(CmdNone, std::memory_order_release);
    return copy;
}

std::unique_ptr<CommandBlock> MakeCommandBlock(const PendingCommand &command) {
    auto block = std::make_unique<CommandBlock>();
    std::memset(block.get(), 0, sizeof *block);
    WriteCommand(*block, command);
    return block;
}

} // namespace lirvo::command
