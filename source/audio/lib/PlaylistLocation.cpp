#include "audio/lib/PlaylistLocation.h"

#include "function/text/FastStrings.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace lirvo::audio {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// Resolves `entry` against `base` (scheme-relative, host-relative and path-relative forms).
std::optional<std::string> Resolve(std::string_view entry, std::string_view base) {
    if (text::HasWebScheme(entry)) {
        return std::string(entry);
    }
    if (entry.find("://") != std::string_view::npos || !text::HasWebScheme(base)) {
        return std::nullopt; // another scheme, or nothing to resolve against
    }
    const size_t schemeEnd = base.find("://") + 3;
    const size_t hostEnd = std::min(base.find_first_of("/?#", schemeEnd), base.size());
    if (entry.starts_with("//")) {
        return std::string(base.substr(0, schemeEnd - 2)) + std::string(entry);
    }
    if (entry.starts_with("/")) {
        return std::string(base.substr(0, hostEnd)) + std::string(entry);
    }
    std::string_view path = base.substr(0, std::min(base.find_first_of("?#", hostEnd), base.size()));
    const size_t lastSlash = path.rfind('/');
    std::string folder = lastSlash != std::string_view::npos && lastSlash >= hostEnd
                             ? std::string(path.substr(0, lastSlash + 1))
                             : std::string(path) + "/";
    return folder + std::string(entry);
}

} // namespace

bool IsPlaylistLocation(std::string_view url, std::string_view contentType) {
    const std::string type = Lower(Trim(contentType.substr(0, contentType.find(';'))));
    if (type == "audio/x-mpegurl" || type == "audio/mpegurl" || type == "application/vnd.apple.mpegurl" ||
        type == "audio/x-scpls" || type == "application/pls+xml") {
        return true;
    }
    const std::string path = Lower(url.substr(0, std::min(url.find_first_of("?#"), url.size())));
    return EndsWith(path, ".m3u") || EndsWith(path, ".m3u8") || EndsWith(path, ".pls");
}

bool IsHlsPlaylist(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    text = Trim(text);
    if (!text.starts_with("#EXTM3U")) {
        return false;
    }
    for (size_t at = text.find("#EXT-X-"); at != std::string_view::npos; at = text.find("#EXT-X-", at + 1)) {
        if (text[at - 1] == '\n' || text[at - 1] == '\r') {
            return true; // a tag at the start of a line
        }
    }
    return false;
}

std::optional<std::string> FirstPlaylistEntry(std::string_view text, std::string_view baseUrl) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const bool pls = Lower(Trim(text.substr(0, 64))).starts_with("[playlist]");
    // PLS entries are numbered; the lowest number is the first entry, whatever the line order.
    long bestNumber = LONG_MAX;
    std::optional<std::string> best;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        if (pls) {
            const size_t equals = line.find('=');
            if (equals == std::string_view::npos || Lower(line.substr(0, 4)) != "file") {
                continue;
            }
            const std::string digits(Trim(line.substr(4, equals - 4)));
            if (digits.empty() || !std::all_of(digits.begin(), digits.end(), ::isdigit) ||
                digits.size() > 9) {
                continue;
            }
            const long number = std::strtol(digits.c_str(), nullptr, 10);
            if (number < bestNumber) {
                if (auto resolved = Resolve(Trim(line.substr(equals + 1)), baseUrl)) {
                    bestNumber = number;
                    best = std::move(resolved);
                }
            }
        } else if (line.front() != '#') {
            if (auto resolved = Resolve(line, baseUrl)) {
                return resolved;
            }
        }
    }
    return best;
}

} // namespace lirvo::audio
