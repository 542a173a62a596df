/* A plug-in that appends every message it gets to the file named by LIRVO_TEST_PLUGIN_LOG:
 * "code" for 100/101, "code|path|title|artist|duration days" for song messages. */
#include "plugins/lirvo_plugin.h"

#include <stdio.h>
#include <stdlib.h>

static int32_t RecordMessage(int32_t code, void *data, int32_t extra) {
    (void)extra;
    const char *log = getenv("LIRVO_TEST_PLUGIN_LOG");
    if (!log)
        return 0;
    FILE *out = fopen(log, "a");
    if (!out)
        return 0;
    if ((code == LIRVO_PLUGIN_MSG_TRACK_STARTED || code == LIRVO_PLUGIN_MSG_TRACK_ENDED) && data) {
        const TSongInfo *song = (const TSongInfo *)data;
        fprintf(out, "%d|%s|%.*s|%.*s|%.9f\n", code, song->PathText, (int)song->TitleLength, song->TitleText,
                (int)song->ArtistLength, song->ArtistText, song->Duration);
    } else {
        fprintf(out, "%d\n", code);
    }
    fclose(out);
    return 0;
}

static USPluginInfoRecord Info = {LIRVO_PLUGIN_TYPE_GENERAL, LIRVO_PLUGIN_API_VERSION, {0}, RecordMessage};

__attribute__((visibility("default"))) const USPluginInfoRecord *USPluginInfo(uint32_t hostApiVersion) {
    (void)hostApiVersion;
    return &Info;
}
