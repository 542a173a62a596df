#pragma once
// A private PulseAudio server with one null sink, for tests that listen to what the library
// really sends to a sound server: the server, its clients (pactl, parec) and this process all
// use a private runtime folder, so nothing reaches (or depends on) a server of the machine.

#include "MediaFixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace lirvo::audio::testing {

// A child process started with this process's environment; ended (SIGTERM) by Stop.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess() { Stop(); }

    // `output`: file that receives the child's standard output ("" = /dev/null).
    bool Start(const std::vector<std::string> &args, const std::string &output = "") {
        std::vector<char *> argv;
        for (const auto &arg : args) {
            argv.push_back(const_cast<char *>(arg.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, output.empty() ? "/dev/null" : output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            pid_ = -1;
        }
        return pid_ > 0;
    }
    void Signal(int signal) {
        if (pid_ > 0) {
            kill(pid_, signal);
        }
    }
    void Stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            kill(pid_, signal);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
};

inline bool ProgramExists(const std::string &name) {
    return RunQuietly("command -v " + name);
}

// Output of a shell command, "" when it fails.
inline std::string CommandOutput(const std::string &command) {
    std::string text;
    if (FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            text.append(buffer, got);
        }
        pclose(pipe);
    }
    return text;
}

inline bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class PulseServer {
public:
    // Points this process (SDL, pactl, parec) at the private server; does not start it.
    explicit PulseServer(const TempFolder &folder) : runtime_(folder.File("run")), home_(folder.File("home")) {
        mkdir(runtime_.c_str(), 0700);
        mkdir(home_.c_str(), 0700);
        const std::string clientConfig = folder.File("client.conf");
        WriteAll(clientConfig, {'a', 'u', 't', 'o', 's', 'p', 'a', 'w', 'n', '=', 'n', 'o', '\n'});
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + runtime_ + "/pulse/native").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", clientConfig.c_str(), 1); // never spawn a server of its own
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    }
    ~PulseServer() {
        Stop();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }

    // Starts the server (as root too: --system=false keeps it a per-user server in our folder)
    // and waits until it answers.
    bool Start() {
        const std::string home = "HOME=" + home_;
        if (!server_.Start({"env", home, "pulseaudio", "-n", "--daemonize=no", "--system=false",
                            "--exit-idle-time=-1", "--disallow-exit", "--use-pid-file=no",
                            "--load=module-null-sink sink_name=null",
                            "--load=module-native-protocol-unix auth-anonymous=1"})) {
            return false;
        }
        return WaitUntil([] { return RunQuietly("pactl info"); }, std::chrono::seconds(10));
    }
    void Stop(int signal = SIGTERM) { server_.Stop(signal); }
    // SIGSTOP freezes the server as a machine under heavy load would; SIGCONT lets it go on.
    void Signal(int signal) { server_.Signal(signal); }

    int SinkInputs() {
        const std::string list = CommandOutput("pactl list short sink-inputs");
        return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
    }
    std::string SinkInputDetails() { return CommandOutput("pactl list sink-inputs"); }
    // Takes every sink away (the server is left with none), or adds a null sink as the default.
    bool UnloadSinks() { return RunQuietly("pactl unload-module module-null-sink"); }
    bool LoadSink(const std::string &name) {
        return RunQuietly("pactl load-module module-null-sink sink_name=" + name) &&
               RunQuietly("pactl set-default-sink " + name);
    }
    // The server's short list of sink inputs ("index sink client ..." per line).
    std::string SinkInputList() { return CommandOutput("pactl list short sink-inputs"); }

    // Records the null sink's monitor as 44.1 kHz float stereo into `path` until StopRecording.
    bool StartRecording(const std::string &path) {
        return recorder_.Start({"parec", "-d", "null.monitor", "--raw", "--format=float32le", "--rate=44100",
                                "--channels=2", "--latency-msec=20"},
                               path);
    }
    void StopRecording() { recorder_.Stop(SIGINT); }

private:
    std::string runtime_;
    std::string home_;
    ChildProcess server_;
    ChildProcess recorder_;
};

inline std::vector<float> ReadFloats(const std::string &path) {
    const std::vector<uint8_t> bytes = ReadAll(path);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

} // namespace lirvo::audio::testing
