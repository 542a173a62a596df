/* A sample plug-in: appends every message it receives, with the song it describes, to a log
 * file ($LIRVO_SAMPLE_PLUGIN_LOG, or $XDG_STATE_HOME/lirvo-sample-plugin.log, or
 * ~/.local/state/lirvo-sample-plugin.log).
 *
 * Build it against source/plugins/lirvo_plugin.h and put the .so into the "plugins" folder
 * next to the player. */
#include "plugins/lirvo_plugin.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static const char *LogPath(char *buffer, size_t size) {
    const char *path = getenv("LIRVO_SAMPLE_PLUGIN_LOG");
    if (path != NULL && path[0] != '\0')
        return path;
    const char *state = getenv("XDG_STATE_HOME");
    if (state != NULL && state[0] == '/') {
        snprintf(buffer, size, "%s/lirvo-sample-plugin.log", state);
        return buffer;
    }
    const char *home = getenv("HOME");
    snprintf(buffer, size, "%s/.local/state/lirvo-sample-plugin.log", home != NULL ? home : "");
    return buffer;
}

static int32_t MessageProc(int32_t code, void *data, int32_t extra) {
    char buffer[4096];
    FILE *f = fopen(LogPath(buffer, sizeof buffer), "a");
    if (f == NULL)
        return 0;
    fprintf(f, "%ld %d", (long)time(NULL), code);
    if ((code == LIRVO_PLUGIN_MSG_TRACK_STARTED || code == LIRVO_PLUGIN_MSG_TRACK_ENDED) && data != NULL) {
        const TSongInfo *song = (const TSongInfo *)data;
        fprintf(f, " path=%s title=%.*s artist=%.*s seconds=%.0f", song->PathText ? song->PathText : "",
                song->TitleText ? (int)song->TitleLength : 0, song->TitleText ? song->TitleText : "",
                song->ArtistText ? (int)song->ArtistLength : 0, song->ArtistText ? song->ArtistText : "",
                song->Duration * 86400.0);
    } else {
        fprintf(f, " extra=%d", extra);
    }
    fputc('\n', f);
    fclose(f);
    return 0;
}

static USPluginInfoRecord g_info = {LIRVO_PLUGIN_TYPE_GENERAL, LIRVO_PLUGIN_API_VERSION, {0}, MessageProc};

__attribute__((visibility("default"))) const USPluginInfoRecord *USPluginInfo(uint32_t hostApiVersion) {
    (void)hostApiVersion;
    return &g_info;
}
