/* Interface between the player and its general-purpose plug-ins.
 *
 * A plug-in is a shared library (*.so) placed in the "plugins" folder next to the player. It
 * exports
 *
 *     const USPluginInfoRecord *USPluginInfo(uint32_t hostApiVersion);   (the host passes 256)
 *
 * returning a record that stays valid and unchanged in its first 4 bytes and at offset 524
 * until the library is unloaded. The player accepts the plug-in when PluginType is 1 and
 * ApiVersion is 256, and then calls MessageProc (when not null) with:
 *
 *     100  once, right after the plug-in was accepted                 data NULL
 *     108  a track started playing, or playback resumed after a pause data const TSongInfo *
 *     109  the current track ended, or was skipped after an error     data const TSongInfo *
 *     101  once, right before the library is unloaded                 data NULL
 *
 * extra is 0. All calls come from the player's main thread. The song information and the texts
 * it points to belong to the player and are valid only during the call. Texts are UTF-8.
 * The result of MessageProc is ignored by the player. A C++ exception thrown by MessageProc or
 * USPluginInfo is caught by the player; a crash inside a plug-in is not.
 */
#ifndef LIRVO_PLUGIN_H
#define LIRVO_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LIRVO_PLUGIN_TYPE_GENERAL 1
#define LIRVO_PLUGIN_API_VERSION 256

#define LIRVO_PLUGIN_MSG_LOADED 100
#define LIRVO_PLUGIN_MSG_UNLOADING 101
#define LIRVO_PLUGIN_MSG_TRACK_STARTED 108
#define LIRVO_PLUGIN_MSG_TRACK_ENDED 109

/* Name of the export the player looks up. */
#define LIRVO_PLUGIN_INFO_EXPORT "USPluginInfo"

/* Offset of MessageProc in the information record. On 64-bit machines it is not aligned;
 * the player reads it byte-wise. */
#define LIRVO_PLUGIN_MESSAGE_PROC_OFFSET 524

typedef int32_t (*USMessageProc)(int32_t code, void *data, int32_t extra);

#pragma pack(push, 1)
typedef struct USPluginInfoRecord {
    uint16_t PluginType;           /* offset 0: must be 1 */
    uint16_t ApiVersion;           /* offset 2: must be 256 */
    unsigned char PluginData[520]; /* offset 4: the plug-in's own, never read by the player */
    USMessageProc MessageProc;     /* offset 524: message procedure, or NULL */
} USPluginInfoRecord;
#pragma pack(pop)

typedef const USPluginInfoRecord *(*USPluginInfoProc)(uint32_t hostApiVersion);

/* Song information passed with messages 108 and 109. On 32-bit machines the record is 32 bytes
 * with the offsets asserted below; elsewhere the members keep their natural C layout. */
typedef struct TSongInfo {
    const char *PathText; /* the row's path or network address, zero-terminated */
#if UINTPTR_MAX == 0xFFFFFFFFu
    uint32_t Alignment; /* zero */
#endif
    double Duration;       /* track length in days (milliseconds / 86400000.0) */
    const char *TitleText; /* zero-terminated */
    int32_t TitleLength;   /* bytes, without the terminator */
    const char *ArtistText;
    int32_t ArtistLength;
} TSongInfo;

#if defined(__cplusplus)
#define LIRVO_PLUGIN_STATIC_ASSERT static_assert
#else
#define LIRVO_PLUGIN_STATIC_ASSERT _Static_assert
#endif

LIRVO_PLUGIN_STATIC_ASSERT(offsetof(USPluginInfoRecord, PluginType) == 0, "PluginType at 0");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(USPluginInfoRecord, ApiVersion) == 2, "ApiVersion at 2");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(USPluginInfoRecord, MessageProc) == LIRVO_PLUGIN_MESSAGE_PROC_OFFSET,
                           "MessageProc at 524");

#if UINTPTR_MAX == 0xFFFFFFFFu
LIRVO_PLUGIN_STATIC_ASSERT(sizeof(TSongInfo) == 32, "TSongInfo is 32 bytes");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(TSongInfo, Duration) == 8, "Duration at 8");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(TSongInfo, TitleText) == 16, "TitleText at 16");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(TSongInfo, TitleLength) == 20, "TitleLength at 20");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(TSongInfo, ArtistText) == 24, "ArtistText at 24");
LIRVO_PLUGIN_STATIC_ASSERT(offsetof(TSongInfo, ArtistLength) == 28, "ArtistLength at 28");
#endif

#undef LIRVO_PLUGIN_STATIC_ASSERT

#ifdef __cplusplus
}
#endif

#endif /* LIRVO_PLUGIN_H */
