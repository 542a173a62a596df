#pragma once
// The subcommands of lirvo-lyrics over the lyric classes. Each gets argv[0] = its own name and
// its arguments after it, writes UTF-8 records (one a line, fields separated by TAB) to
// stdout, messages to stderr, and returns the exit code: 0 done, 1 failed, 2 bad usage.

int RunParseCommand(int argc, char **argv);
int RunWordsCommand(int argc, char **argv);
int RunLineCommand(int argc, char **argv);
int RunSimilarityCommand(int argc, char **argv);
int RunMatchCommand(int argc, char **argv);
int RunSearchCommand(int argc, char **argv);
int RunDownloadCommand(int argc, char **argv);
int RunFindCommand(int argc, char **argv);
