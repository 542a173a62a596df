#include "PlayCommand.h"

#include <cstdio>

// Stand-in until the audio engine provides playback to this tool.
int RunPlayCommand(int, char **) {
    std::fputs("lirvo-lyrics: play is not available in this build\n", stderr);
    return 2;
}
