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

} // namespace lirvo::lyrics
