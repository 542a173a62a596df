#include "LyricsCommands.h"
#include "function/text/FastStrings.h"

#include "audio/lib/LegacyTagText.h"
#include "lyrics/core/EmbeddedLyrics.h"
#include "lyrics/core/LRC_Header.h"
#include "lyrics/core/LyricLookup.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LrclibService.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/services/ServiceLookup.h"
#include "storage/Folders.h"
#include "storage/UDDXMLCFG.h"

#include <charconv>
#include <sys/stat.h>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace lirvo::lyrics;

int Usage(const char *synopsis) {
    std::fprintf(stderr, "usage: lirvo-lyrics %s\n", synopsis);
    return 2;
}

std::optional<int32_t> ToInt32(std::string_view text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void Record(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            line.push_back('\t');
        line.append(field);
        first = false;
    }
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::optional<std::string> ReadOrComplain(const std::string &path) {
    std::optional<std::string> text = ReadLyricFile(path);
    if (!text)
        std::fprintf(stderr, "lirvo-lyrics: cannot read %s\n", path.c_str());
    return text;
}

// Positional arguments plus the value of "--server URL" wherever it appears.
struct ServerArgs {
    std::vector<std::string> positional;
    LrcServiceOptions options;
    bool ok = true;
};
ServerArgs SplitServerArgs(int argc, char **argv) {
    ServerArgs out;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--server") {
            if (i + 1 >= argc) {
                out.ok = false;
                break;
            }
            out.options.BaseUrl = argv[++i];
        } else {
            out.positional.emplace_back(arg);
        }
    }
    return out;
}

} // namespace

namespace {

// Metadata, then the sorted timed lines: TIME, TIMETAG, TEXT.
void PrintParsed(const std::string &text) {
    TLyricHandle handle;
    handle.Parse(text);
    const TLRCInfo &info = handle.Info();
    Record({"title", info.Title});
    Record({"artist", info.Artist});
    Record({"album", info.Album});
    Record({"by", info.By});
    Record({"la", info.La});
    Record({"offset", std::to_string(info.Offset)});
    handle.Sort();
    for (const TLyricItem &item : handle.Items())
        Record({std::to_string(item.Time), item.TimeTag, item.Text});
}

// The player's settings: its lyric folder and what its online lookup asks.
struct PlayerSettings {
    std::string LyricDir;
    LrcServiceOptions Services;
};
PlayerSettings ReadPlayerSettings() {
    const std::string dataDir =
        lirvo::storage::GetSpecialFolder(lirvo::storage::FolderCode::DocumentsAlias, false) + "lirvo/";
    PlayerSettings settings{dataDir + "lrc", {}};
    settings.Services.NoLyricFile = dataDir + "nolyric.lst";
    try {
        lirvo::storage::TDKConfig config(dataDir + "Lirvo.xml", "MainConfig");
        settings.LyricDir = config.ReadString("Window/LRC", "PATH", settings.LyricDir);
        if (std::string url = config.ReadString("Network/LYRICS", "URL", ""); !url.empty())
            settings.Services.BaseUrl = url;
        settings.Services.NeteaseUrl = config.ReadString("Network/NETEASE", "URL", "");
        settings.Services.QqMusicUrl = config.ReadString("Network/QQMUSIC", "URL", "");
        settings.Services.KugouUrl = config.ReadString("Network/KUGOU", "URL", "");
        static constexpr const char *kNoOrder = "\x01";
        if (std::string order = config.ReadString("Network/LYRICSOURCES", "ORDER", kNoOrder); order != kNoOrder)
            settings.Services.Sources = lirvo::lyrics::services::ParseSourceOrder(order);
    } catch (...) {
        // A broken settings file: the player starts from its defaults, and so do we.
    }
    return settings;
}

// The title the player shows for a file without a title tag: its name without extension.
std::string FileNameTitle(const std::string &path) {
    std::size_t cut = path.find_last_of('/');
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

int RunParseCommand(int argc, char **argv) {
    if (argc != 2)
        return Usage("parse FILE");
    std::optional<std::string> text = ReadOrComplain(argv[1]);
    if (!text)
        return 1;
    PrintParsed(*text);
    return 0;
}

int RunFindCommand(int argc, char **argv) {
    static const char *synopsis = "find SONG [--lyric-dir DIR] [--sources LIST] [--url SERVICE=URL]... "
                                  "[--server URL] [--offline]";
    std::optional<std::string> lyricDir, server, sources;
    std::vector<std::pair<std::string, std::string>> urls;
    bool offline = false;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--lyric-dir" || arg == "--server" || arg == "--sources") {
            if (i + 1 >= argc)
                return Usage(synopsis);
            (arg == "--server" ? server : arg == "--sources" ? sources : lyricDir) = std::string(argv[++i]);
        } else if (arg == "--url") {
            const std::string value = i + 1 < argc ? argv[++i] : "";
            const std::size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0)
                return Usage(synopsis);
            urls.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--offline") {
            offline = true;
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.size() != 1)
        return Usage(synopsis);

    const PlayerSettings settings = ReadPlayerSettings();
    TLyricLookupRequest request;
    request.Path = positional[0];
    request.LyricDir = lyricDir.value_or(settings.LyricDir);
    if (!lyricDir)
        lirvo::storage::ForceFolder(request.LyricDir, true); // as the player does at start-up
    request.OnlineAllowed = !offline;
    // Tags decode as the player decodes them (GBK in Latin-1 fields).
    lirvo::audio::InstallLegacyTagDecoders();
    const TSongTags tags = ReadSongTags(request.Path);
    request.Song.Title = lirvo::text::IsBlank(tags.Title) ? FileNameTitle(request.Path) : tags.Title;
    request.Song.Artist = tags.Artist;
    request.Song.Album = tags.Album;
    request.Song.DurationMs = tags.DurationMs;

    LrcServiceOptions options = settings.Services;
    if (server)
        options.BaseUrl = *server;
    if (sources) {
        options.Sources = lirvo::lyrics::services::ParseSourceOrder(*sources);
        if (options.Sources.empty() && !lirvo::text::IsBlank(*sources)) {
            std::fprintf(stderr, "lirvo-lyrics: no known service in --sources %s (netease, qq, kugou, lrclib)\n",
                         sources->c_str());
            return 2;
        }
    }
    for (const auto &[service, url] : urls) {
        if (service == "netease")
            options.NeteaseUrl = url;
        else if (service == "qq")
            options.QqMusicUrl = url;
        else if (service == "kugou")
            options.KugouUrl = url;
        else if (service == "lrclib")
            options.BaseUrl = url;
        else {
            std::fprintf(stderr, "lirvo-lyrics: unknown service in --url: %s\n", service.c_str());
            return 2;
        }
    }
    std::shared_ptr<ILrcService> service = offline ? nullptr : LRC_CreateObj(IID_ILrcService, options);
    const TLyricLookupResult found = LookupLyric(request, service.get());
    if (found.Source == TLyricSource::None) {
        if (!found.OnlineError.empty())
            std::fprintf(stderr, "lirvo-lyrics: the online lookup failed: %s\n", found.OnlineError.c_str());
        else
            std::fprintf(stderr, "lirvo-lyrics: no lyric found for %s\n", request.Path.c_str());
        return 1;
    }
    Record({"source", LyricSourceName(found.Source), found.Where});
    PrintParsed(found.Text);
    return 0;
}

int RunWordsCommand(int argc, char **argv) {
    if (argc != 2)
        return Usage("words FILE");
    std::optional<std::string> text = ReadOrComplain(argv[1]);
    if (!text)
        return 1;
    TLyricHandle handle;
    handle.Parse(*text);
    handle.Sort();
    for (const TLyricItem &item : handle.Items()) {
        std::string line = std::to_string(item.Time);
        for (const TLyricWord &word : item.Words) {
            line.push_back('\t');
            line += std::to_string(word.Start);
            line.push_back(':');
            line += word.Text;
        }
        Record({line});
    }
    return 0;
}

int RunLineCommand(int argc, char **argv) {
    static const char *synopsis = "line FILE [--offset MS] [--length MS] POS...";
    std::optional<int32_t> offset, length;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--offset" || arg == "--length") {
            std::optional<int32_t> value = i + 1 < argc ? ToInt32(argv[i + 1]) : std::nullopt;
            if (!value)
                return Usage(synopsis);
            (arg == "--offset" ? offset : length) = value;
            ++i;
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.size() < 2)
        return Usage(synopsis);
    std::vector<int32_t> positions;
    for (std::size_t i = 1; i < positional.size(); ++i) {
        std::optional<int32_t> pos = ToInt32(positional[i]);
        if (!pos) {
            std::fprintf(stderr, "lirvo-lyrics: not a position in milliseconds: %s\n", positional[i].c_str());
            return 2;
        }
        positions.push_back(*pos);
    }
    std::optional<std::string> text = ReadOrComplain(positional[0]);
    if (!text)
        return 1;
    TLrcClass timeline;
    timeline.LoadText(*text);
    if (length)
        timeline.SetTrackLength(*length);
    if (offset)
        timeline.SetOffset(*offset);
    for (int32_t pos : positions) {
        timeline.SetPosition(pos);
        if (timeline.CurrentTranslation().empty())
            Record({std::to_string(pos), timeline.CurrentLine()});
        else
            Record({std::to_string(pos), timeline.CurrentLine(), timeline.CurrentTranslation()});
    }
    return 0;
}

int RunSimilarityCommand(int argc, char **argv) {
    if (argc != 3)
        return Usage("similarity A B");
    Record({std::to_string(Similarity(argv[1], argv[2]))});
    return 0;
}

int RunMatchCommand(int argc, char **argv) {
    if (argc != 4)
        return Usage("match DIR TITLE SINGER");
    struct stat folder {};
    if (::stat(argv[1], &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        std::fprintf(stderr, "lirvo-lyrics: no such folder: %s\n", argv[1]);
        return 1;
    }
    std::string found = FindBestLyricFile(argv[1], argv[2], argv[3]);
    if (found.empty()) {
        std::fprintf(stderr, "lirvo-lyrics: no lyric file in %s matches \"%s\" by \"%s\"\n", argv[1], argv[2],
                     argv[3]);
        return 1;
    }
    Record({found});
    return 0;
}

int RunSearchCommand(int argc, char **argv) {
    ServerArgs args = SplitServerArgs(argc, argv);
    if (!args.ok || args.positional.size() != 2)
        return Usage("search TITLE SINGER [--server URL]");
    TLrclibService service(args.options);
    service.Search(args.positional[0], args.positional[1], "", 0);
    for (int32_t i = 0; i < service.GetCount(); ++i)
        if (std::optional<TLrcResult> r = service.GetResult(i))
            Record({std::to_string(r->Id), r->Title, r->Singer, r->Extra});
    if (std::string error = service.LastError(); !error.empty()) {
        std::fprintf(stderr, "lirvo-lyrics: search failed: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int RunDownloadCommand(int argc, char **argv) {
    ServerArgs args = SplitServerArgs(argc, argv);
    std::optional<int32_t> id = args.positional.size() == 1 ? ToInt32(args.positional[0]) : std::nullopt;
    if (!args.ok || !id)
        return Usage("download ID [--server URL]");
    TLrclibService service(args.options);
    std::string text = service.Download(*id);
    if (text.empty()) {
        std::fprintf(stderr, "lirvo-lyrics: no synced lyric for %d (or the server could not be reached)\n",
                     *id);
        return 1;
    }
    if (text.back() != '\n')
        text.push_back('\n');
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
