#pragma once
// `lirvo-lyrics now [--watch]`: the line the running player's lyric band shows, read from its
// net.lirvo.Lyrics1 interface on the session bus, as LINE<TAB>TRANSLATION. argv[0] is "now";
// the result is the process exit code (0 printed, 1 no player or no answer, 2 bad usage).
// With --watch it keeps running and prints a line at every change, an empty line while no
// player runs.

int RunNowCommand(int argc, char **argv);
