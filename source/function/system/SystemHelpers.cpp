#include "function/system/SystemHelpers.h"

#include "storage/AtomicFile.h"
#include "storage/Folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <malloc.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace lirvo::system {

namespace {

bool MakeFolders(const std::string &path) {
    if (path.empty())
        return false;
    std::string partial;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::string piece = path.substr(0, slash == std::string::npos ? path.size() : slash);
        if (!piece.empty()) {
            struct stat st {};
            if (stat(piece.c_str(), &st) != 0) {
                if (mkdir(piece.c_str(), 0700) != 0 && errno != EEXIST)
                    return false;
            } else if (!S_ISDIR(st.st_mode)) {
                return false;
            }
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return true;
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string &commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        char c = commandLine[i];
        if (c == '\\' && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
            word += '"';
            inWord = true;
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool RunProgram(const std::string &program, const std::vector<std::string> &arguments) {
    if (program.empty())
        return false;
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const auto &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // A name without a slash is looked up on PATH, as a command line would be.
    int rc = program.find('/') == std::string::npos
                 ? posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ)
                 : posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0)
        return false;
    // Not waited for by the caller; a detached reaper collects the exit status.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool RunCommand(const std::string &commandLine, int /*showState*/) {
    auto words = SplitCommandLine(commandLine);
    if (words.empty())
        return false;
    std::string program = words.front();
    words.erase(words.begin());
    return RunProgram(program, words);
}

void ShellOpen(const std::string &target, const std::string &parameters) {
    if (parameters.empty())
        RunProgram("xdg-open", {target});
    else
        RunProgram(target, SplitCommandLine(parameters));
}

std::string WebAddressFor(const std::string &address) {
    if (address.find("http://") != std::string::npos)
        return address;
    return "http://" + address;
}

void OpenWebAddress(const std::string &address) {
    ShellOpen(WebAddressFor(address));
}

std::string GetExePath() {
    char buffer[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string AppDirFor(const std::string &exePath) {
    auto slash = exePath.rfind('/');
    if (slash == std::string::npos)
        return "./";
    const std::string folder = exePath.substr(0, slash + 1);
    // Installed: <prefix>/bin/lirvo with its companions in <prefix>/lib/lirvo/.
    constexpr std::string_view kBin = "/bin/";
    if (folder.size() >= kBin.size() && folder.compare(folder.size() - kBin.size(), kBin.size(), kBin) == 0) {
        const std::string installed = folder.substr(0, folder.size() - kBin.size()) + "/lib/lirvo/";
        struct stat st {};
        if (stat(installed.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return installed;
    }
    return folder;
}

std::string GetAppDir() {
    return AppDirFor(GetExePath());
}

bool RunsFromBuildTree(const std::string &exePath) {
    const std::size_t slash = exePath.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return false;
    const std::size_t parent = exePath.rfind('/', slash - 1);
    const std::string tree = parent == std::string::npos ? std::string(".") : exePath.substr(0, parent);
    struct stat st {};
    return stat((tree + "/CMakeCache.txt").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void TrimWorkingSet() {
    malloc_trim(0);
}

std::string AutostartEntryPath() {
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config && config[0] == '/' ? std::string(config) : storage::HomeFolder() + "/.config";
    return base + "/autostart/runlirvo.desktop";
}

std::string DesktopExecArgument(const std::string &argument) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    bool needsQuotes = argument.empty() || argument.find_first_of(reserved) != std::string::npos;
    // First the Exec key's own quoting rules...
    std::string quoted;
    if (needsQuotes)
        quoted += '"';
    for (char c : argument) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += '\\';
        quoted += c;
    }
    if (needsQuotes)
        quoted += '"';
    // ...then the escapes of a string value, and "%" doubled so it is not a field code.
    std::string value;
    for (char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        case '%':
            value += "%%";
            break;
        default:
            value += c;
        }
    }
    return value;
}

bool AutostartDisabledByDesktop() {
    std::ifstream in(AutostartEntryPath());
    std::string line;
    bool inMainGroup = false;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.erase(value.begin());
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return true;
    }
    return false;
}

void SetAutorunFor(const std::string &programPath, bool enable) {
    const std::string entry = AutostartEntryPath();
    const std::string folder = entry.substr(0, entry.rfind('/'));
    if (!enable) {
        unlink(entry.c_str()); // an absent entry is no error
        return;
    }
    if (!MakeFolders(folder))
        return;
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Lirvo\n"
                       "Exec=" +
                       DesktopExecArgument(programPath) +
                       "\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n";
    if (!storage::WriteFileAtomically(entry, text))
        throw std::runtime_error("Failed to set data for 'runlirvo'");
}

void SetAutorun(bool enable) {
    SetAutorunFor(GetExePath(), enable);
}

} // namespace lirvo::system
