#pragma once
// The running player: the main-window controller with its QML window, the view code that
// answers for it, the main menu, the notification-area icon, the message port that receives
// the command messages of other processes, and the end-of-session watcher. main() builds one;
// the UI tests build one over a test audio library. GUI thread only.
//
// Start-up comes in two steps, so the main window shows as early as it can. Start makes what
// the window's first frame shows (the controller's settings and playlist, the QML window) and
// shows it. After the first frame (FinishStart) come the desktop lyric band, the menu, the
// notification-area icon, the media-player interface and, once the audio library is ready
// (PrepareAudio), the engine with the plug-ins and the update check. A command or a click that
// needs the engine earlier starts it at once (the library then loads on the spot).

#include "shell/controller/unt_main.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class QMenu;
class QQmlApplicationEngine;
class QQuickWindow;

namespace lirvo::platform {
class MessagePortServer;
}
namespace lirvo::follow {
class TMprisFollower;
}

namespace lirvo::mpris {
class MprisService;
class TLyricsBus;
}
namespace lirvo::lyrics {
class TZylDlrcButton;
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
    // The windows' and the tray's icon. It is set after the first frame: drawing a scalable
    // icon at the four sizes the window system is given costs the first window a few ms.
    QString WindowIcon;
    // Makes the audio library ready without waiting for it (the program loads its module on a
    // thread); `ready` may run on any thread. Empty: the library is ready as it is.
    std::function<void(std::function<void()> ready)> PrepareAudio;
};

class PlayerApp : public QObject {
    Q_OBJECT
public:
    explicit PlayerApp(PlayerAppOptions options, QObject *parent = nullptr);
    ~PlayerApp() override;

    // Latest time after Start at which the rest of the start-up runs, drawn or not.
    static constexpr int kFinishStartLatestMs = 2000;

    // Creates the controller (its FormCreate), loads and shows the window. False when the
    // window could not be made; Error() says why. The rest follows after the first frame.
    bool Start();
    // True once the whole start-up is done (the engine started); started() then fires.
    bool Started() const { return m_started; }
    // "退出": the playlist and the settings are saved once, the window closes and the event
    // loop ends. Safe to call more than once.
    void Quit();
    bool Quitting() const { return m_quitting; }
    // Brings the main window back from the tray or the task bar: shown, de-iconified, raised
    // and asked to be active (a later start without files, the media-player interface's Raise).
    void ShowMainWindow();

    shell::TZylMain &Controller() { return *m_controller; }
    QmlMainView &View() { return *m_view; }
    QQuickWindow *Window() const { return m_window; }
    QQmlApplicationEngine &Engine() { return *m_engine; }
    // The main menu (made after the first frame, or when first asked for).
    QMenu *MainMenu() { return Menu(); }
    tray::TDDTrayIcon *Tray() const { return m_tray.get(); }
    const QString &Error() const { return m_error; }

Q_SIGNALS:
    // The window's first frame is on screen.
    void firstFrameShown();
    // The start-up is done: band, menu, icon, media-player interface and engine exist.
    void started();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ListenForCommands();
    void ConnectControlBar(lyrics::TZylDlrcButton &bar);
    QMenu *Menu();
    void FinishStart();
    void StartEngine();
    // Serves the band's line on the session bus (net.lirvo.Lyrics1) beside the media-player interface.
    void StartLyricsBus();
    void PublishLyrics();
    void StartFollowing();
    // Hands the followed track to the controller, or takes the band back when none is followed.
    void FollowedTrackChanged();
    void UpdateFollowing();

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
    std::unique_ptr<mpris::TLyricsBus> m_lyricsBus;
    // Follows other players for the band while nothing of our own plays; its clock is given
    // to the band by m_followTicks.
    std::unique_ptr<follow::TMprisFollower> m_follower;
    QTimer *m_followTicks = nullptr;
    QString m_error;
    bool m_quitting = false;
    bool m_closed = false;
    bool m_finishing = false;
    bool m_started = false;
    // Expires with the player: a library ready after that starts nothing.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace lirvo::app
