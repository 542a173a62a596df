#pragma once
// What the sound server is told through the process environment, which libpulse reads when it
// connects: the role of our streams (SDL's output does not pass its role hint on).
//
// Only a variable the user has not set is added, and best before any other thread runs
// (setenv beside a concurrent getenv is unsafe): the player does this first thing in main, and
// the output mixer again before its first device, for programs that did not.

#include <cstdlib>

namespace lirvo::audio {

inline void PrepareSoundServerEnvironment() {
    if (std::getenv("PULSE_PROP_media.role") == nullptr) {
        setenv("PULSE_PROP_media.role", "Music", 0);
    }
}

} // namespace lirvo::audio
