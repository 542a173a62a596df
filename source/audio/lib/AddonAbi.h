#pragma once
/* The binary interface of add-on decoders ("b_*.so" in the program folder). An add-on exports
 * one C function, LirvoAddonEntry_v1, that returns its information record and its decoder
 * functions. Every decoder delivers 44100 Hz, two interleaved channels, 32-bit float. The host
 * hands the add-on a reader over the file's bytes (a local file, memory, or a download still in
 * progress), so an add-on never opens files or network locations itself. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LIRVO_ADDON_ABI 1u
#define LIRVO_ADDON_ENTRY_NAME "LirvoAddonEntry_v1"

typedef struct LirvoAddonFormat {
    uint32_t ctype;         /* the add-on's own format number */
    const char *name;       /* description, e.g. "FLAC" */
    const char *extensions; /* file patterns joined by ";", e.g. "*.flac;*.fla" */
} LirvoAddonFormat;

typedef struct LirvoAddonInfo {
    uint32_t version; /* the add-on's own version word */
    uint32_t formatCount;
    const LirvoAddonFormat *formats;
} LirvoAddonInfo;

/* Byte source supplied by the host; valid until the decoder is closed. */
typedef struct LirvoAddonReader {
    void *context;
    int64_t (*read)(void *context, void *buffer, int64_t size); /* bytes, 0 at the end, -1 on failure */
    int (*seek)(void *context, int64_t offset);                 /* 1 when moved, 0 otherwise */
    int64_t (*tell)(void *context);
    int64_t (*size)(void *context); /* -1 when unknown */
    int progressive;                /* 1: bytes are still arriving */
} LirvoAddonReader;

typedef struct LirvoAddonDecoder LirvoAddonDecoder;

typedef struct LirvoAddonApi {
    uint32_t abi; /* LIRVO_ADDON_ABI */
    const LirvoAddonInfo *info;
    /* NULL when the data is not a format of this add-on. */
    LirvoAddonDecoder *(*open)(const LirvoAddonReader *reader);
    int64_t (*read)(LirvoAddonDecoder *decoder, float *interleaved, int64_t frames); /* 0 at the end */
    int (*seek)(LirvoAddonDecoder *decoder, int64_t frame);                          /* 1 when moved */
    int64_t (*position)(LirvoAddonDecoder *decoder);
    int64_t (*length)(LirvoAddonDecoder *decoder); /* frames, -1 when unknown */
    void (*close)(LirvoAddonDecoder *decoder);
} LirvoAddonApi;

/* Returns the add-on's functions for the host's ABI version, or NULL when it cannot serve it. */
typedef const LirvoAddonApi *(*LirvoAddonEntryFunction)(uint32_t hostAbi);

#ifdef __cplusplus
}
#endif
