#include "ProcessHarness.h"

#include "platform/SharedBlock.h"
#include "shell/command/mapshare.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace lirvo::test {

namespace {

std::vector<std::string> ChildEnvironment(const std::string &dir, const std::string &record) {
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 && entry.rfind("LIRVO_HOST_RECORD=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + dir);
    env.push_back("LIRVO_HOST_RECORD=" + record);
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &strings) {
    std::vector<char *> out;
    for (auto &s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

ProcessHarness::ProcessHarness() {
    char pattern[] = "/tmp/lirvo-ipc-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
}

ProcessHarness::~ProcessHarness() {
    for (int pid : running_) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    platform::SharedBlock::Unlink(command::CommandBlockName());
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

int ProcessHarness::Spawn(const std::string &program, const std::vector<std::string> &args,
                          const std::string &cwd) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = ChildEnvironment(dir_, RecordPath());
    auto argvp = Pointers(argv);
    auto envp = Pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, (cwd.empty() ? dir_ : cwd).c_str());
    const std::string out = dir_ + "/output-" + std::to_string(++spawned_) + ".txt";
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argvp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    running_.push_back(pid);
    return pid;
}

int ProcessHarness::Wait(int pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 || std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::erase(running_, pid);
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

ProcessResult ProcessHarness::Run(const std::string &program, const std::vector<std::string> &args,
                                  const std::string &cwd, int seconds) {
    ProcessResult result;
    const int pid = Spawn(program, args, cwd);
    if (pid < 0)
        return result;
    const std::string out = dir_ + "/output-" + std::to_string(spawned_) + ".txt";
    result.exitCode = Wait(pid, seconds);
    std::ifstream in(out);
    result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return result;
}

std::vector<std::string> ProcessHarness::RecordLines() const {
    std::vector<std::string> lines;
    std::ifstream in(RecordPath());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool ProcessHarness::WaitForRecord(const std::string &prefix, int seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto &line : RecordLines())
            if (line.rfind(prefix, 0) == 0)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace lirvo::test
