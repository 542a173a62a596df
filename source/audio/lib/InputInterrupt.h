#pragma once
// Lets another thread cut short what a decoder's own network input is waiting for.

#include <atomic>
#include <cstdint>

namespace lirvo::audio {

struct InputInterrupt {
    std::atomic<bool> abort{false};
    std::atomic<int64_t> deadlineMs{0}; // on the steady clock; 0 = none
};

} // namespace lirvo::audio
