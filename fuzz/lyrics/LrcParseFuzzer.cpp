// LRC text through the parser and the timeline; the input's two halves through the
// similarity score, which must stay within 0..100.
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/core/uLRCHandle.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::lyrics;

    TLyricHandle handle;
    handle.Parse(text);
    const int parsed = handle.Count();
    handle.Sort();
    for (int i = 1; i < handle.Count(); ++i)
        if (handle.GetItem(i - 1).Time > handle.GetItem(i).Time)
            std::abort();

    TLrcClass timeline;
    timeline.LoadText(text);
    if (timeline.Handle().Count() != parsed)
        std::abort();
    timeline.SetTrackLength(240000);
    for (int32_t pos : {INT32_MIN, -1, 0, 1000, 60000, 239999, 240001, INT32_MAX})
        timeline.SetPosition(pos);
    timeline.SetOffset(INT32_MIN);
    timeline.SetPosition(INT32_MAX);

    const std::string_view a = text.substr(0, size / 2), b = text.substr(size / 2);
    const int score = Similarity(a, b);
    if (score < 0 || score > 100)
        std::abort();
    ConvertTimeTag(text);
    return 0;
}
