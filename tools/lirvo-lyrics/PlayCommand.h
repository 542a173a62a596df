#pragma once
// `lirvo-lyrics play ...`: plays a song with its lyric lines shown in time. Provided by the
// audio engine's side of the tool. argv[0] is "play", argv[1..argc-1] its arguments; the
// result is the process exit code.

int RunPlayCommand(int argc, char **argv);
