#pragma once
// The row the play order moves to when the current track ends (the steps of EndOfTrack), so
// that row can be opened ahead and follow without a gap.

#include <cstdint>
#include <optional>
#include <string>

namespace lirvo::shell {

// nullopt when nothing follows (sequential order after the last row, or no rows).
// `currentIndex` may be -1 (after "previous" on the first row) or past the last row.
std::optional<int> RowAfterTrackEnd(std::uint8_t playMode, int currentIndex, int rowCount);

// True for the texts the engine opens as network locations rather than as files.
bool IsNetworkLocation(const std::string &text);

} // namespace lirvo::shell
