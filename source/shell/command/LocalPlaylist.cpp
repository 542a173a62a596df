#include "shell/command/LocalPlaylist.h"

#include "function/text/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sys/stat.h>

namespace lirvo::command {

namespace {

constexpr std::string_view kPlaylistPatterns = "*.m3u;*.m3u8;*.pls";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The path of a file:// address, percent-decoded; empty when the address names another host.
std::string FileAddressPath(std::string_view address) {
    std::string_view rest = address.substr(7); // after "file://"
    if (!rest.empty() && rest.front() != '/') {
        const auto slash = rest.find('/');
        if (slash == std::string_view::npos || Lower(rest.substr(0, slash)) != "localhost")
            return {};
        rest.remove_prefix(slash);
    }
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size()) {
            const int hi = HexValue(rest[i + 1]), lo = HexValue(rest[i + 2]);
            if (hi >= 0 && lo >= 0) {
                path += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        path += rest[i];
    }
    return path.find('\0') == std::string::npos ? path : std::string();
}

// Where an entry points: an absolute path, an http(s) address, or empty to drop it.
std::string ResolveEntry(std::string_view entry, const std::string &folder) {
    entry = Trim(entry);
    // No file name holds a zero byte; the system would cut the path there.
    if (entry.empty() || entry.find('\0') != std::string_view::npos)
        return {};
    std::string location;
    if (StartsWithNoCase(entry, "file://"))
        location = FileAddressPath(entry);
    else if (StartsWithNoCase(entry, "http://") || StartsWithNoCase(entry, "https://"))
        return std::string(entry);
    else if (entry.find("://") != std::string_view::npos)
        return {}; // other schemes are nothing the player opens
    else if (entry.front() == '/')
        location = std::string(entry);
    else
        location = folder + std::string(entry);
    // A playlist inside a playlist would let two files name each other for ever.
    if (location.empty() || IsLocalPlaylistPath(location))
        return {};
    return location;
}

// "Artist - Title" gives both; a text without " - " is the title alone.
void SplitTitle(std::string_view text, LocalPlaylistEntry &entry) {
    text = Trim(text);
    const auto dash = text.find(" - ");
    if (dash == std::string_view::npos) {
        entry.Title = std::string(text);
        return;
    }
    entry.Artist = std::string(Trim(text.substr(0, dash)));
    entry.Title = std::string(Trim(text.substr(dash + 3)));
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<LocalPlaylistEntry> ParseM3u(const std::vector<std::string_view> &lines, const std::string &folder) {
    std::vector<LocalPlaylistEntry> entries;
    LocalPlaylistEntry pending; // title of the next entry, from #EXTINF
    for (std::string_view line : lines) {
        line = Trim(line);
        if (line.empty())
            continue;
        if (line.front() == '#') {
            if (StartsWithNoCase(line, "#extinf:")) {
                pending = {};
                const auto comma = line.find(',');
                if (comma != std::string_view::npos)
                    SplitTitle(line.substr(comma + 1), pending);
            }
            continue;
        }
        LocalPlaylistEntry entry = std::move(pending);
        pending = {};
        entry.Path = ResolveEntry(line, folder);
        if (!entry.Path.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

// The number after a key such as "File12"; -1 when the rest is not a number.
long KeyNumber(std::string_view key, std::string_view name) {
    if (!StartsWithNoCase(key, name) || key.size() == name.size() || key.size() > name.size() + 9)
        return -1;
    long n = 0;
    for (char c : key.substr(name.size())) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::vector<LocalPlaylistEntry> ParsePls(const std::vector<std::string_view> &lines, const std::string &folder) {
    std::map<long, std::string> files, titles;
    for (std::string_view line : lines) {
        line = Trim(line);
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = line.substr(equals + 1);
        if (const long n = KeyNumber(key, "file"); n >= 0)
            files[n] = std::string(value);
        else if (const long t = KeyNumber(key, "title"); t >= 0)
            titles[t] = std::string(value);
    }
    std::vector<LocalPlaylistEntry> entries;
    for (const auto &[n, file] : files) {
        LocalPlaylistEntry entry;
        if (auto title = titles.find(n); title != titles.end())
            SplitTitle(title->second, entry);
        entry.Path = ResolveEntry(file, folder);
        if (!entry.Path.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

bool IsExistingFile(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool IsLocalPlaylistPath(std::string_view path) {
    if (path.find("://") != std::string_view::npos && !StartsWithNoCase(path, "file://"))
        return false;
    const std::string name = Lower(path.substr(std::min(path.size(), path.find_last_of('/') + 1)));
    for (std::string_view extension : {".m3u", ".m3u8", ".pls"})
        if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(),
                                                           extension) == 0)
            return true;
    return false;
}

std::vector<LocalPlaylistEntry> ParseLocalPlaylist(std::string_view text, const std::string &folder) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::string decoded;
    if (!text::IsValidUtf8(text)) {
        decoded = text::GbkToUtf8(text);
        text = decoded;
    }
    const auto lines = Lines(text);
    const bool pls = std::any_of(lines.begin(), lines.end(),
                                 [](std::string_view line) { return Lower(Trim(line)) == "[playlist]"; });
    return pls ? ParsePls(lines, folder) : ParseM3u(lines, folder);
}

std::vector<LocalPlaylistEntry> ReadLocalPlaylist(const std::string &path) {
    std::string file = StartsWithNoCase(path, "file://") ? FileAddressPath(path) : path;
    struct stat st {};
    if (file.empty() || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > kMaxLocalPlaylistBytes)
        return {};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    const auto slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
    std::vector<LocalPlaylistEntry> entries = ParseLocalPlaylist(text, folder);
    std::erase_if(entries, [](const LocalPlaylistEntry &entry) {
        return entry.Path.front() == '/' && !IsExistingFile(entry.Path);
    });
    return entries;
}

std::string FilterWithPlaylists(const std::string &filter) {
    std::string result = filter;
    const auto first = result.find('|');
    if (first != std::string::npos) {
        const auto end = result.find('|', first + 1);
        const std::size_t at = end == std::string::npos ? result.size() : end;
        const bool needsSeparator = at > first + 1 && result[at - 1] != ';';
        result.insert(at, (needsSeparator ? ";" : "") + std::string(kPlaylistPatterns));
        result += '|';
    }
    result += "播放列表|";
    result += kPlaylistPatterns;
    return result;
}

} // namespace lirvo::command
