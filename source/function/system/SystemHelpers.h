#pragma once
// Thin operations over the desktop: opening documents and web addresses with the user's default
// application (xdg-open), starting companion programs without waiting for them (posix_spawn),
// finding the program's own folder, handing freed memory back to the system, and registering the
// program to start with the desktop session (an XDG autostart entry).
// Everything here runs on the main thread unless a comment says otherwise.

#include <string>
#include <vector>

namespace lirvo::system {

// Opens `target` (a file, folder or address) with the desktop's default application. When
// `parameters` is not empty, `target` is taken as a program and started with those arguments
// (split like a command line). Failures are silent.
void ShellOpen(const std::string &target, const std::string &parameters = {});

// Opens a web address in the default browser; "http://" is put in front unless the address
// already contains "http://" somewhere (case-sensitive; "https://" alone is not recognised).
void OpenWebAddress(const std::string &address);

// The address OpenWebAddress would hand to the browser.
std::string WebAddressFor(const std::string &address);

// Starts the program named by the first word of `commandLine` with the remaining words as
// arguments and returns at once; true when the process was created. Words are separated by
// blanks; double quotes group blanks into one word and a backslash before a double quote
// makes it literal. `showState` is accepted for callers that pass a window show state
// (1 normal, 0 hidden); desktop programs decide for themselves how they appear.
bool RunCommand(const std::string &commandLine, int showState);

// Starts `program` with `arguments` (no shell, no splitting) and returns at once; true when the
// process was created. The child is reaped in the background so it never lingers as a zombie.
bool RunProgram(const std::string &program, const std::vector<std::string> &arguments);

// The words of a command line as RunCommand splits it.
std::vector<std::string> SplitCommandLine(const std::string &commandLine);

// Full path of the running executable ("" when the system cannot tell).
std::string GetExePath();

// The program's folder (AppDir), ending in "/": where effect.dat, the add-ons, plugins/ and
// the helpers are. That is the running executable's folder, except for an installed program:
// one in a folder named "bin" beside "lib/lirvo" uses that folder.
std::string GetAppDir();
// The rule of GetAppDir for an executable at `exePath`.
std::string AppDirFor(const std::string &exePath);

// True for an executable in a CMake build tree (the folder above its own holds CMakeCache.txt):
// a trial run of a build, which must not register itself to start at every login.
bool RunsFromBuildTree(const std::string &exePath);

// Returns memory the allocator holds but no longer uses to the system (malloc_trim).
void TrimWorkingSet();

// Registers (enable) or unregisters the program to start with the desktop session through the
// entry `AutostartEntryPath()`. The entry starts the running executable without arguments;
// paths with blanks or special characters are quoted by the Desktop Entry rules. Registering
// twice leaves one entry; unregistering when there is none is silent. When the entry cannot be
// written, throws std::runtime_error("Failed to set data for 'runlirvo'"). When the autostart
// folder cannot be created, nothing happens.
void SetAutorun(bool enable);

// Registers the given program instead of the running executable (used by SetAutorun; handy
// for tests and installers).
void SetAutorunFor(const std::string &programPath, bool enable);

// True when the autostart entry carries a desktop's "disabled" mark in its [Desktop Entry]
// group (Hidden=true, or X-GNOME-Autostart-enabled=false), as the desktop's settings leave it
// when the user turns the start off there. False when there is no entry.
bool AutostartDisabledByDesktop();

// $XDG_CONFIG_HOME/autostart/runlirvo.desktop, falling back to ~/.config when the variable is
// unset or not absolute.
std::string AutostartEntryPath();

// One argument of an Exec key, quoted when needed and escaped for a desktop entry value.
std::string DesktopExecArgument(const std::string &argument);

} // namespace lirvo::system
