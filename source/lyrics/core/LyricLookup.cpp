#include "lyrics/core/LyricLookup.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/EmbeddedLyrics.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"

#include <cmath>
#include <dirent.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <tuple>

namespace lirvo::lyrics {

namespace {

// Longest file name the file systems of this platform take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
constexpr int kMinOnlineScore = 80;
constexpr double kMaxDurationGapMs = 2000;

bool IsFolder(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsLrcExtension(std::string_view ext) {
    return ext.size() == 4 && ext[0] == '.' && (ext[1] | 0x20) == 'l' && (ext[2] | 0x20) == 'r' &&
           (ext[3] | 0x20) == 'c';
}

int Score(const std::string &a, const std::string &b) {
    return Similarity(AsciiLower(text::TrimBlank(a)), AsciiLower(text::TrimBlank(b)));
}

} // namespace

std::string FindBesideLyricFile(const std::string &songPath) {
    const std::string exact = SiblingLyricPath(songPath);
    if (IsFile(exact))
        return exact;
    // Same name, extension in another letter case ("Song.LRC", "Song.Lrc").
    const std::size_t slash = exact.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : exact.substr(0, slash == 0 ? 1 : slash);
    const std::string_view stem =
        std::string_view(exact).substr(slash == std::string::npos ? 0 : slash + 1, exact.size() - (slash + 1) - 4);
    DIR *listing = ::opendir(dir.c_str());
    if (!listing)
        return {};
    std::string found;
    while (const dirent *entry = ::readdir(listing)) {
        std::string_view name(entry->d_name);
        if (name.size() != stem.size() + 4 || !name.starts_with(stem) || !IsLrcExtension(name.substr(stem.size())))
            continue;
        std::string path = dir == "/" ? "/" + std::string(name) : dir + "/" + std::string(name);
        if (IsFile(path)) {
            found = std::move(path);
            break;
        }
    }
    ::closedir(listing);
    return found;
}

std::string NormalizeLyricName(std::string_view name) {
    static constexpr std::string_view kNotInNames = "\"*/:<>?\\|";
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (kNotInNames.find(c) != std::string_view::npos)
            continue;
        // " - " reads like a blank: drop the "- " after a blank.
        if (c == ' ' && out.size() >= 2 && out[out.size() - 1] == '-' && out[out.size() - 2] == ' ') {
            out.pop_back();
            continue;
        }
        out.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return std::string(text::TrimBlank(out));
}

std::string OnlineLyricFileName(const std::string &title, const std::string &artist) {
    const std::string t(text::TrimBlank(title)), a(text::TrimBlank(artist));
    const std::string cleaned = text::MakeValidFileName(a.empty() ? t : t + " - " + a);
    return text::Utf8Truncate(cleaned, kMaxNameBytes - 4) + ".lrc";
}

std::optional<std::size_t> ChooseSyncedResult(const TSongQuery &song, const std::vector<TLrcResult> &results) {
    if (text::IsBlank(song.Title))
        return std::nullopt;
    const bool artistKnown = !text::IsBlank(song.Artist);
    // Ranked by (duration gap, -score); an unknown gap ranks after every known one.
    std::optional<std::size_t> best;
    std::tuple<double, int> bestRank{std::numeric_limits<double>::infinity(), 0};
    for (std::size_t i = 0; i < results.size(); ++i) {
        const TLrcResult &r = results[i];
        if (!r.Synced() || r.Instrumental || text::IsBlank(r.SyncedLyrics))
            continue;
        const int titleScore = Score(r.Title, song.Title);
        if (titleScore < kMinOnlineScore)
            continue;
        const int artistScore = artistKnown ? Score(r.Singer, song.Artist) : 100;
        if (artistScore < kMinOnlineScore)
            continue;
        double gap = std::numeric_limits<double>::infinity();
        if (song.DurationMs > 0 && r.Duration > 0) {
            gap = std::fabs(r.Duration * 1000.0 - song.DurationMs);
            if (gap > kMaxDurationGapMs)
                continue;
        }
        const std::tuple<double, int> rank{gap, -(titleScore + artistScore)};
        if (!best || rank < bestRank) {
            best = i;
            bestRank = rank;
        }
    }
    return best;
}

std::optional<TOnlineLyric> FetchSyncedLyric(ILrcService &service, const TSongQuery &song) {
    if (text::IsBlank(song.Title))
        return std::nullopt;
    std::lock_guard<std::mutex> session(service.SessionLock());
    service.Reset();
    const int32_t seconds = song.DurationMs > 0 ? (song.DurationMs + 500) / 1000 : 0;
    if (std::optional<TLrcResult> exact = service.Get(song.Title, song.Artist, song.Album, seconds)) {
        // The entry for exactly this song says it has no words.
        if (exact->Instrumental)
            return std::nullopt;
        // An exact entry still has to be this song (a server may answer loosely).
        if (ChooseSyncedResult(song, {*exact}))
            return TOnlineLyric{exact->SyncedLyrics, exact->Id, {}};
    }
    service.Search(song.Title, song.Artist, "", 0);
    std::vector<TLrcResult> results;
    const int32_t count = service.GetCount();
    for (int32_t i = 0; i < count; ++i)
        if (std::optional<TLrcResult> result = service.GetResult(i))
            results.push_back(std::move(*result));
    if (std::optional<std::size_t> chosen = ChooseSyncedResult(song, results))
        return TOnlineLyric{results[*chosen].SyncedLyrics, results[*chosen].Id, {}};
    return std::nullopt;
}

std::optional<TOnlineLyric> ILrcService::FindSongLyric(const TSongQuery &song) {
    return FetchSyncedLyric(*this, song);
}

const char *LyricSourceName(TLyricSource source) {
    switch (source) {
    case TLyricSource::Beside:
        return "beside";
    case TLyricSource::Embedded:
        return "embedded";
    case TLyricSource::Folder:
        return "folder";
    case TLyricSource::Online:
        return "online";
    case TLyricSource::None:
        break;
    }
    return "";
}

TLyricLookupResult LookupLyric(const TLyricLookupRequest &request, ILrcService *service) {
    TLyricLookupResult result;
    auto fromFile = [&](TLyricSource source, const std::string &path) {
        std::optional<std::string> text = ReadLyricFile(path);
        if (!text)
            return false; // unreadable: the next source is tried
        result.Source = source;
        result.Where = path;
        result.LyricFile = path;
        result.Text = std::move(*text);
        return true;
    };

    if (const std::string beside = FindBesideLyricFile(request.Path); !beside.empty())
        if (fromFile(TLyricSource::Beside, beside))
            return result;

    if (IsFile(request.Path)) {
        if (std::string embedded = ReadEmbeddedLyric(request.Path); !embedded.empty()) {
            result.Source = TLyricSource::Embedded;
            result.Where = request.Path;
            result.Text = JoinLyricLines(embedded);
            return result;
        }
    }

    if (IsFolder(request.LyricDir)) {
        const std::string best = FindBestLyricFile(request.LyricDir, request.Song.Title, request.Song.Artist);
        if (!best.empty() && fromFile(TLyricSource::Folder, best))
            return result;
    }

    if (request.OnlineAllowed && service) {
        result.AskedOnline = true;
        std::optional<TOnlineLyric> online = service->FindSongLyric(request.Song);
        if (!online) {
            result.OnlineError = service->LastError();
            return result;
        }
        result.Source = TLyricSource::Online;
        result.Where = online->Where.empty() ? std::to_string(online->Id) : online->Where;
        result.Text = JoinLyricLines(online->Text);
        if (IsFolder(request.LyricDir)) {
            std::string path = request.LyricDir;
            if (!path.empty() && path.back() != '/')
                path.push_back('/');
            path += OnlineLyricFileName(request.Song.Title, request.Song.Artist);
            if (WriteLyricFile(path, result.Text))
                result.LyricFile = std::move(path);
        }
    }
    return result;
}

} // namespace lirvo::lyrics
