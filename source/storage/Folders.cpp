#include "storage/Folders.h"

#include "function/text/TextCodec.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::storage {
namespace {

std::string Env(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// An XDG base folder: the variable when it holds an absolute path, else $HOME + fallback.
std::string BaseFolder(const char *variable, const char *fallback) {
    const std::string value = Env(variable);
    if (!value.empty() && value.front() == '/')
        return value;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/" + fallback;
}

// An XDG user folder ("DOCUMENTS", "MUSIC", ...): the variable XDG_<KEY>_DIR when it is set to
// an absolute path, else the entry of $XDG_CONFIG_HOME/user-dirs.dirs, whose lines look like
// XDG_MUSIC_DIR="$HOME/Music" (or "${HOME}/Music"); else $HOME + "/" + fallback.
std::string UserFolder(const std::string &key, const char *fallback) {
    if (const std::string set = Env(("XDG_" + key + "_DIR").c_str()); !set.empty() && set.front() == '/')
        return set;
    const std::string home = HomeFolder();
    const std::string config = BaseFolder("XDG_CONFIG_HOME", ".config");
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string prefix = "XDG_" + key + "_DIR=";
    std::string found;
    for (std::string line; std::getline(in, line);) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, prefix.size(), prefix) != 0)
            continue;
        std::string value = line.substr(start + prefix.size());
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        std::string expanded;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                expanded.push_back(value[++i]);
            } else if (value.compare(i, 7, "${HOME}") == 0) {
                expanded += home;
                i += 6;
            } else if (value.compare(i, 5, "$HOME") == 0) {
                expanded += home;
                i += 4;
            } else {
                expanded.push_back(value[i]);
            }
        }
        if (!expanded.empty() && expanded.front() == '/')
            found = expanded; // the last valid line wins, as with xdg-user-dir
    }
    if (!found.empty())
        return found;
    return home.empty() ? std::string() : home + "/" + fallback;
}

std::string TemporaryFolder() {
    const std::string value = Env("TMPDIR");
    return !value.empty() && value.front() == '/' ? value : std::string("/tmp");
}

// Folder (code & 0x7F) of the shell's numbering, where this desktop has an equivalent.
std::string ShellFolder(unsigned id) {
    switch (id) {
    case 0x00: // desktop
    case 0x10: // desktop folder
        return UserFolder("DESKTOP", "Desktop");
    case 0x02: // programs menu
        return BaseFolder("XDG_DATA_HOME", ".local/share") + "/applications";
    case 0x05: // documents
        return UserFolder("DOCUMENTS", "Documents");
    case 0x07: // start-up entries
        return BaseFolder("XDG_CONFIG_HOME", ".config") + "/autostart";
    case 0x0D:
        return UserFolder("MUSIC", "Music");
    case 0x0E:
        return UserFolder("VIDEOS", "Videos");
    case 0x14: // fonts
        return BaseFolder("XDG_DATA_HOME", ".local/share") + "/fonts";
    case 0x15:
        return UserFolder("TEMPLATES", "Templates");
    case 0x1A: // roaming application data: configuration
        return BaseFolder("XDG_CONFIG_HOME", ".config");
    case 0x1C: // local application data
        return BaseFolder("XDG_DATA_HOME", ".local/share");
    case 0x20: // internet cache
        return BaseFolder("XDG_CACHE_HOME", ".cache");
    case 0x27:
        return UserFolder("PICTURES", "Pictures");
    case 0x28: // the user's profile
        return HomeFolder();
    default:
        return {};
    }
}

bool IsFolder(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

std::string GetSpecialFolder(std::uint8_t code, bool shortForm) {
    std::string path;
    if (code <= 0x9F)
        path = ShellFolder(code & 0x7F);
    else if (code == 0xA3)
        path = TemporaryFolder();
    if (path.empty())
        return {};
    if (shortForm)
        ToShortPath(path);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.back() != '/')
        path.push_back('/');
    return path;
}

int ToShortPath(std::string &path, int length) {
    if (length > 0)
        path.resize(text::Utf8PrefixLength(path, static_cast<std::size_t>(length)));
    return static_cast<int>(path.size());
}

bool ForceFolder(const std::string &path, bool create) {
    std::string expanded = path;
    if (!path.empty()) {
        const auto first = static_cast<unsigned char>(path.front());
        if (first >= 0x80 && first <= 0xBF)
            expanded = GetSpecialFolder(first) + path.substr(1);
    }
    if (expanded.empty())
        return create; // nothing to make: the (empty) creation pass has run
    if (IsFolder(expanded))
        return true;
    if (!create)
        return false;
    // Outermost first; only prefixes ending in "/" are made, so a last component without a
    // trailing "/" is left alone. Failures are ignored: the caller tests the folder if needed.
    for (std::size_t slash = expanded.find('/'); slash != std::string::npos;
         slash = expanded.find('/', slash + 1)) {
        if (slash == 0)
            continue; // the root folder always exists
        const std::string prefix = expanded.substr(0, slash + 1);
        if (!IsFolder(prefix))
            ::mkdir(expanded.substr(0, slash).c_str(), 0777);
    }
    return true;
}

} // namespace lirvo::storage
