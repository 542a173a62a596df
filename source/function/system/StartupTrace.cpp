#include "function/system/StartupTrace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace lirvo::system {

namespace {

double Milliseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

} // namespace

void StartupMark(const char *what) {
    static const bool enabled = std::getenv("LIRVO_TRACE_STARTUP") != nullptr;
    if (!enabled) {
        return;
    }
    static const double origin = [] {
        const double now = Milliseconds(CLOCK_MONOTONIC);
        std::fprintf(stderr, "lirvo start: monotonic clock %.3f s at the first mark\n", now / 1000.0);
        return now;
    }();
    std::fprintf(stderr, "lirvo start: %7.1f ms  cpu %7.1f ms  %s\n", Milliseconds(CLOCK_MONOTONIC) - origin,
                 Milliseconds(CLOCK_PROCESS_CPUTIME_ID), what);
}

} // namespace lirvo::system
