#include "shell/app/DisplayPlatform.h"

#include <QGuiApplication>

#include <cstdlib>

#if defined(LIRVO_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace lirvo::app {

namespace {

std::string Variable(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool IsWayland(const TDisplayEnvironment &env) {
    std::string type = env.SessionType;
    for (char &c : type)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return !env.WaylandDisplay.empty() || type == "wayland";
}

} // namespace

TDisplayEnvironment CurrentDisplayEnvironment() {
    return {Variable("WAYLAND_DISPLAY"), Variable("XDG_SESSION_TYPE"), Variable("QT_QPA_PLATFORM"),
            Variable("DISPLAY")};
}

TDisplayPlatform ChooseDisplayPlatform(const TDisplayEnvironment &env,
                                       const std::function<bool(const std::string &display)> &xReachable) {
    if (!IsWayland(env) || !env.QpaPlatform.empty())
        return TDisplayPlatform::AsGiven;
    if (!env.Display.empty() && xReachable && xReachable(env.Display))
        return TDisplayPlatform::XWayland;
    return TDisplayPlatform::Native;
}

bool XServerReachable(const std::string &display) {
#if defined(LIRVO_HAVE_XCB)
    xcb_connection_t *connection = xcb_connect(display.c_str(), nullptr);
    const bool reachable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return reachable;
#else
    (void)display;
    return false;
#endif
}

TDisplayPlatform PrepareDisplayPlatform() {
    const TDisplayPlatform choice = ChooseDisplayPlatform(CurrentDisplayEnvironment(), XServerReachable);
    if (choice == TDisplayPlatform::XWayland)
        qputenv("QT_QPA_PLATFORM", "xcb");
    return choice;
}

std::string FinishDisplayPlatform(TDisplayPlatform choice) {
    if (choice == TDisplayPlatform::XWayland)
        qunsetenv("QT_QPA_PLATFORM");
    if (QGuiApplication::platformName().startsWith(QStringLiteral("wayland")))
        return "此 Wayland 会话无法放置桌面歌词";
    return {};
}

} // namespace lirvo::app
