/* The program's version as an ELF note (name "Lirvo", type 0x4C560001): a fixed version
 * record of eleven 32-bit words, read back by GetFixedVersion. Linked into the program as an
 * object file so the linker always keeps it. */
#include <stdint.h>

#define LIRVO_VERSION_MS (((uint32_t)(LIRVO_VERSION_MAJOR) << 16) | (uint32_t)(LIRVO_VERSION_MINOR))
#define LIRVO_VERSION_LS ((uint32_t)(LIRVO_VERSION_PATCH) << 16)

struct LirvoVersionNote {
    uint32_t nameSize;
    uint32_t descSize;
    uint32_t type;
    char name[8]; /* "Lirvo" and its terminator, padded to 4 bytes */
    uint32_t desc[11];
};

__attribute__((used, section(".note.lirvo.version"), aligned(4)))
const struct LirvoVersionNote lirvo_version_note = {
    6,
    44,
    0x4C560001u,
    "Lirvo",
    {
        0xFEEF04BDu,             /* signature */
        0x00010000u,             /* structure version */
        LIRVO_VERSION_MS,        /* file version, most significant half */
        LIRVO_VERSION_LS,        /* file version, least significant half */
        LIRVO_VERSION_MS,        /* product version */
        LIRVO_VERSION_LS, 0x3Fu, /* flags mask */
        0u,                      /* flags */
        0u,                      /* operating system */
        1u,                      /* file type: application */
        0u,                      /* subtype */
    },
};
