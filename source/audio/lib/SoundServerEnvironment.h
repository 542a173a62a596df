#pragma once
// What the sound server is told through the process environment, which libpulse reads when a
// stream connects: the role of our streams, and the buffer asked of PulseAudio. SDL asks for a
// buffer of a single block, which the server refills in quarter blocks (about 170 wake-ups a
// second); 150 ms lets the device thread sleep between blocks.
//
// Only variables the user has not set are added, and best before any other thread runs
// (setenv beside a concurrent getenv is unsafe): the player does this first thing in main, and
// the output mixer again before its first device, for programs that did not.

#include <cstdlib>

namespace lirvo::audio {

inline constexpr const char *kPulseLatencyMsText = "150";

inline void PrepareSoundServerEnvironment() {
    if (std::getenv("PULSE_PROP_media.role") == nullptr) {
        setenv("PULSE_PROP_media.role", "Music", 0);
    }
    if (std::getenv("PULSE_LATENCY_MSEC") == nullptr) {
        setenv("PULSE_LATENCY_MSEC", kPulseLatencyMsText, 0);
    }
}

} // namespace lirvo::audio
