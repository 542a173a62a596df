// Lyric file bytes through the offset rewrite: when it gives bytes, they must read back with
// the offset asked for; it may refuse, but never crash or run away.
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricOffsetFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics;
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    for (int32_t offset : {0, 500, -1500, INT32_MIN}) {
        const std::optional<std::string> changed = SetOffsetTag(bytes, offset);
        if (!changed)
            continue;
        TLrcClass timeline;
        timeline.LoadText(JoinLyricLines(DecodeLyricBytes(*changed)));
        if (timeline.Offset() != offset)
            std::abort();
    }
    return 0;
}
