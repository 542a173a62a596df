#pragma once
// Keeps a window out of the task bar and the pager on X11 desktops. Tool windows are left out
// of the task bar by most window managers, but not by every task list; the EWMH states
// _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER say it to all of them. Call it just
// before the window is mapped (from its show event): window managers drop the states of a
// withdrawn window, and Qt keeps states it finds on an unmapped window. Elsewhere it does nothing.

class QWindow;

namespace lirvo::lyrics {

// True when the states were set (an X11 session and a native window).
bool SkipTaskbarAndPager(QWindow *window);

// True when the desktop session is a Wayland one (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE is
// "wayland"), whatever platform this program runs on.
bool IsWaylandSession();

// True when the lyric windows must place themselves instead of leaving it to the window
// manager: on XWayland (the X11 platform inside a Wayland session), where compositors such as
// Weston put managed X11 windows where they choose and frame them with a shadow. There the
// windows bypass the window manager (override-redirect): they sit exactly where they are put,
// above the managed windows.
bool PlaceWithoutWindowManager();

} // namespace lirvo::lyrics
