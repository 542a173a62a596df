#include "lyrics/views/X11WindowHints.h"

#include <QGuiApplication>
#include <QWindow>

#if defined(LIRVO_HAVE_XCB)
#include <cstdlib>
#include <vector>
#include <xcb/xcb.h>
#endif

namespace lirvo::lyrics {

#if defined(LIRVO_HAVE_XCB)
namespace {

xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::char_traits<char>::length(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace
#endif

bool SkipTaskbarAndPager(QWindow *window) {
#if defined(LIRVO_HAVE_XCB)
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !window) {
        return false;
    }
    xcb_connection_t *connection = x11->connection();
    if (!connection) {
        return false;
    }
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = Atom(connection, "_NET_WM_STATE");
    const xcb_atom_t wanted[] = {Atom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 Atom(connection, "_NET_WM_STATE_SKIP_PAGER")};
    if (state == xcb_atom_t(XCB_ATOM_NONE) || wanted[0] == xcb_atom_t(XCB_ATOM_NONE) ||
        wanted[1] == xcb_atom_t(XCB_ATOM_NONE)) {
        return false;
    }
    // Keep the states already there (Qt's own, set from the window flags).
    std::vector<xcb_atom_t> atoms;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t));
        }
        std::free(reply);
    }
    for (xcb_atom_t atom : wanted) {
        bool present = false;
        for (xcb_atom_t have : atoms) {
            present = present || have == atom;
        }
        if (!present) {
            atoms.push_back(atom);
        }
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());
    xcb_flush(connection);
    return true;
#else
    (void)window;
    return false;
#endif
}

bool IsWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE").compare(QStringLiteral("wayland"), Qt::CaseInsensitive) == 0;
}

bool PlaceWithoutWindowManager() {
    return QGuiApplication::platformName() == QStringLiteral("xcb") && IsWaylandSession();
}

} // namespace lirvo::lyrics
