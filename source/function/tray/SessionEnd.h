#pragma once
// Tells the program that it must end as if the user chose "退出": the desktop session ends
// (the session manager asks the application to save its data), or the process receives
// SIGTERM, SIGINT or SIGHUP. The signals are carried to the GUI thread through a self-pipe,
// so the handler runs with the event loop, never inside the signal handler.
// One watcher per process; create it on the GUI thread after the QGuiApplication.

#include <QObject>

class QSocketNotifier;

namespace lirvo::tray {

class TSessionEndWatcher : public QObject {
    Q_OBJECT
public:
    explicit TSessionEndWatcher(QObject *parent = nullptr);
    ~TSessionEndWatcher() override;

    // False when the signal pipe could not be set up (the session-manager path still works).
    bool WatchingSignals() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // Emitted once, on the GUI thread; `reason` is "session" or the signal's name.
    void EndSession(const QString &reason);

private:
    void OnSignalByte();
    void Fire(const QString &reason);

    QSocketNotifier *m_notifier = nullptr;
    bool m_fired = false;
};

} // namespace lirvo::tray
