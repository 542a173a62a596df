#include "shell/controller/BandLine.h"

#include "lyrics/core/LrcClass.h"

#include <algorithm>
#include <limits>

namespace lirvo::shell {

namespace {

std::int32_t OnPlayClock(std::int32_t songTime, std::int32_t offset) {
    // In 64 bits: a large offset tag must not overflow.
    const std::int64_t shifted = std::int64_t{songTime} - offset;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(shifted, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

} // namespace

TBandLine BandLineOf(const lyrics::TLrcClass &timeline) {
    TBandLine line;
    line.Text = timeline.CurrentLine();
    line.Translation = timeline.CurrentTranslation();
    const lyrics::TLyricItem *item = timeline.CurrentItem();
    if (!item || item->Words.empty())
        return line;
    line.Words = item->Words;
    for (lyrics::TLyricWord &word : line.Words)
        word.Start = OnPlayClock(word.Start, timeline.Offset());
    if (item->WordsEnd >= 0)
        line.WordsEnd = OnPlayClock(item->WordsEnd, timeline.Offset());
    return line;
}

} // namespace lirvo::shell
