// lirvo-lyrics: looks at lyrics the way the player does, for users who wonder why a lyric
// did not show. `lirvo-lyrics COMMAND ARGS...`; see Usage() for the commands.

#include "LyricsCommands.h"
#include "NowCommand.h"
#include "PlayCommand.h"

#include <cstdio>
#include <string_view>

namespace {

struct Command {
    std::string_view name;
    int (*run)(int argc, char **argv);
    std::string_view synopsis;
};

constexpr Command kCommands[] = {
    {"parse", RunParseCommand, "parse FILE                     metadata and sorted timed lines"},
    {"words", RunWordsCommand, "words FILE                     word timings: TIME, then START:TEXT per word"},
    {"line", RunLineCommand,
     "line FILE [--offset MS] [--length MS] POS...   the line (and its translation) at each position"},
    {"similarity", RunSimilarityCommand, "similarity A B                 name-similarity score 0..100"},
    {"match", RunMatchCommand, "match DIR TITLE SINGER         the best-named lyric file in DIR"},
    {"search", RunSearchCommand,
     "search TITLE SINGER [--server URL]   LRCLIB results: Id, title, singer, album"},
    {"download", RunDownloadCommand, "download ID [--server URL]     one synced lyric from LRCLIB"},
    {"find", RunFindCommand,
     "find SONG [--lyric-dir DIR] [--sources LIST] [--url SERVICE=URL]... [--server URL] [--offline]\n"
     "                                 the player's lookup: source KIND WHERE (SERVICE:ID online), then the lyric"},
    {"play", RunPlayCommand, "play ...                       play a song with its lyric"},
    {"now", RunNowCommand,
     "now [--watch]                  the running player's line: LINE<TAB>TRANSLATION (tabs and line breaks\n"
     "                                 in them print as blanks); exits 1 when no player runs. --watch keeps\n"
     "                                 running and prints a line at every change, an empty line when the\n"
     "                                 player quits, its line again when it is back; ends when the session\n"
     "                                 bus goes away (exit 1) or its output is closed"},
};

void PrintUsage(std::FILE *out) {
    std::fputs("usage: lirvo-lyrics COMMAND ARGS...\n", out);
    for (const Command &c : kCommands)
        std::fprintf(out, "  %.*s\n", static_cast<int>(c.synopsis.size()), c.synopsis.data());
}

int Usage() {
    PrintUsage(stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2)
        return Usage();
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h") {
        PrintUsage(stdout);
        return 0;
    }
    for (const Command &c : kCommands)
        if (c.name == name)
            return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "lirvo-lyrics: unknown command '%s'\n", argv[1]);
    return Usage();
}
