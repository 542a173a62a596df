#include "shell/controller/PlayOrder.h"

#include "shell/controller/unt_main.h"

#include <algorithm>
#include <cctype>

namespace lirvo::shell {

std::optional<int> RowAfterTrackEnd(std::uint8_t playMode, int currentIndex, int rowCount) {
    if (rowCount <= 0) {
        return std::nullopt;
    }
    // "Next" wraps to the first row; "play" takes a negative index as the first row.
    auto next = [&] { return currentIndex + 1 >= rowCount ? 0 : currentIndex + 1; };
    switch (playMode) {
    case kPlaySequential:
        if (currentIndex < rowCount - 1) {
            return next();
        }
        return std::nullopt;
    case kPlayLoopList:
        return next();
    case kPlayRepeatOne: {
        const int row = currentIndex < 0 ? 0 : currentIndex;
        return row < rowCount ? std::optional<int>(row) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

bool IsNetworkLocation(const std::string &text) {
    std::string head = text.substr(0, 8);
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
    return head.starts_with("http://") || head.starts_with("https://");
}

} // namespace lirvo::shell
