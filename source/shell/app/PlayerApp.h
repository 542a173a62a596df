#pragma once
// The running player: the main-window controller with its QML window, the view code that
// answers for it, the main menu, the notification-area icon, the message port that receives
// the command messages of other processes, and the end-of-session watcher. main() builds one;
// the UI tests build one over a test audio library. GUI thread only.

#include "shell/controller/unt_main.h"

#include <QObject>
#include <QUrl>

#include <memory>

class QMenu;
class QQmlApplicationEngine;
class QQuickWindow;

namespace lirvo::platform {
class MessagePortServer;
}
namespace lirvo::mpris {
class MprisService;
}
namespace lirvo::tray {
class TDDTrayIcon;
class TSessionEndWatcher;
class ITrayMenu;
} // namespace lirvo::tray

namespace lirvo::app {

class QmlMainView;

struct PlayerAppOptions {
    // The controller's collaborators; `Library` is required.
    shell::TZylMainOptions Controller;
    // Receive WM_SHARECMD and WM_CMDPLAY on the main window's message port (before the
    // controller hands over its own arguments).
    bool ListenForCommands = true;
    bool TrayIcon = true;
    // SIGTERM, SIGINT, SIGHUP and the end of the desktop session end the program as "退出".
    bool WatchSessionEnd = true;
    // Serve the desktop's media-player interface (MPRIS) when there is a session bus.
    bool MediaPlayerInterface = true;
    QUrl MainQml = QUrl(QStringLiteral("qrc:/qml/Main.qml"));
};

class PlayerApp : public QObject {
    Q_OBJECT
public:
    explicit PlayerApp(PlayerAppOptions options, QObject *parent = nullptr);
    ~PlayerApp() override;

    // Creates the controller (its FormCreate), loads and shows the window. False when the
    // window could not be made; Error() says why.
    bool Start();
    // "退出": the playlist and the settings are saved once, the window closes and the event
    // loop ends. Safe to call more than once.
    void Quit();
    bool Quitting() const { return m_quitting; }

    shell::TZylMain &Controller() { return *m_controller; }
    QmlMainView &View() { return *m_view; }
    QQuickWindow *Window() const { return m_window; }
    QQmlApplicationEngine &Engine() { return *m_engine; }
    QMenu *MainMenu() const { return m_menu; }
    tray::TDDTrayIcon *Tray() const { return m_tray.get(); }
    const QString &Error() const { return m_error; }

Q_SIGNALS:
    // The window's first frame is on screen.
    void firstFrameShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ListenForCommands();
    void ConnectControlBar();

    PlayerAppOptions m_options;
    std::unique_ptr<QmlMainView> m_view;
    std::unique_ptr<shell::TZylMain> m_controller;
    std::unique_ptr<platform::MessagePortServer> m_port;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
    QMenu *m_menu = nullptr;
    std::unique_ptr<tray::ITrayMenu> m_trayMenu;
    std::unique_ptr<tray::TDDTrayIcon> m_tray;
    std::unique_ptr<tray::TSessionEndWatcher> m_sessionEnd;
    std::unique_ptr<mpris::MprisService> m_mpris;
    QString m_error;
    bool m_quitting = false;
    bool m_closed = false;
};

} // namespace lirvo::app
