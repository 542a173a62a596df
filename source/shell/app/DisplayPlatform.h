#pragma once
// Which Qt platform the player runs on. A plain Wayland client can neither place a window nor
// keep it above others, so in a Wayland session the desktop lyric needs X11: unless the user
// chose a platform (QT_QPA_PLATFORM), the player runs on XWayland (the xcb platform) when an X
// server is reachable. Otherwise it runs natively and says once that the desktop lyric cannot be
// placed. The companion programs have no windows and are not concerned.

#include <functional>
#include <string>

namespace lirvo::app {

enum class TDisplayPlatform {
    AsGiven,  // not a Wayland session, or the user chose the platform
    XWayland, // the xcb platform inside a Wayland session
    Native,   // Wayland without a reachable X server
};

struct TDisplayEnvironment {
    std::string WaylandDisplay; // WAYLAND_DISPLAY
    std::string SessionType;    // XDG_SESSION_TYPE
    std::string QpaPlatform;    // QT_QPA_PLATFORM
    std::string Display;        // DISPLAY
};

TDisplayEnvironment CurrentDisplayEnvironment();

// The choice for `env`; `xReachable` is asked only when it matters.
TDisplayPlatform ChooseDisplayPlatform(const TDisplayEnvironment &env,
                                       const std::function<bool(const std::string &display)> &xReachable);

// True when an X server answers on `display`.
bool XServerReachable(const std::string &display);

// Before the application object is made: chooses and, for XWayland, selects the xcb platform.
TDisplayPlatform PrepareDisplayPlatform();

// After the application object is made: takes back the platform selection (programs started
// from the player must not inherit it) and returns the notice to give when the desktop lyric
// cannot be placed on this session, "" otherwise.
std::string FinishDisplayPlatform(TDisplayPlatform choice);

} // namespace lirvo::app
