#pragma once
// The desktop band's view of the lyric timeline's current line.

#include "shell/controller/MainView.h"

namespace lirvo::lyrics {
class TLrcClass;
}

namespace lirvo::shell {

// The current line of `timeline` with its translation; its word times moved onto the play clock
// by the timeline's offset, as the line's own time is (a word shows at Start - Offset).
TBandLine BandLineOf(const lyrics::TLrcClass &timeline);

} // namespace lirvo::shell
