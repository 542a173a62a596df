#pragma once
// Start-up milestones for profiling. With LIRVO_TRACE_STARTUP set in the environment, every
// mark writes one line to standard error: milliseconds since the first mark (main's start),
// the process's CPU time so far (which includes the dynamic loading before main) and the
// milestone's name. Without the variable a mark costs one branch.

namespace lirvo::system {

void StartupMark(const char *what);

} // namespace lirvo::system
