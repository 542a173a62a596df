#pragma once
// The player on the desktop's media-player interface (MPRIS 2): media keys, the desktop's media
// controls and playerctl see Lirvo through it. Serves org.mpris.MediaPlayer2.lirvo on the session
// bus with the root and player interfaces, answers from the main-window controller's state and
// carries every method out through the controller's own handlers, as the buttons do. Every
// change but the position is announced with PropertiesChanged, every seek with Seeked.
// Main thread only.
//
//     auto mpris = lirvo::mpris::MprisService::Start(controller, {raise, quit});
//     // nullptr without a session bus: the player simply runs without it.

#include "shell/mpris/MprisState.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <string>

namespace lirvo::shell {
class TZylMain;
}

namespace lirvo::mpris {

class MprisPlayerAdaptor;

struct MprisHooks {
    std::function<void()> Raise; // show and raise the main window
    std::function<void()> Quit;  // "退出"
};

class MprisService : public QObject {
    Q_OBJECT
public:
    // Registers on the session bus. nullptr, without a message, when there is no session bus
    // or the object cannot be registered.
    static std::unique_ptr<MprisService> Start(shell::TZylMain &controller, MprisHooks hooks);

    // Registers on `bus`. When `serviceName` is taken by another player, a name with
    // ".instance<pid>" appended is used, as the interface allows.
    MprisService(shell::TZylMain &controller, MprisHooks hooks, QDBusConnection bus);
    ~MprisService() override;
    bool Register(const QString &serviceName = QString::fromLatin1(kServiceName));
    const QString &ServiceName() const { return m_serviceName; }

    // ---- what the interfaces read ----
    QString PlaybackStatus() const;
    QString LoopStatus() const;
    QVariantMap Metadata() const;
    double Volume() const;
    qint64 PositionUs() const;
    bool HasRows() const;
    bool CanSeek() const;
    // All player properties but the position, as announced.
    QVariantMap PlayerProperties() const;

    // ---- what the interfaces do ----
    void Raise();
    void Quit();
    void SetLoopStatus(const QString &status);
    void SetVolume(double volume);
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qint64 offsetUs);
    void SetPosition(const QString &trackId, qint64 positionUs);
    void OpenUri(const QString &uri);

private:
    void ScheduleAnnounce();
    void Announce();
    void ReadAlbumOf(const std::string &path);
    QString CurrentTrackId() const;
    std::int64_t LengthMs() const;

    shell::TZylMain &m_controller;
    MprisHooks m_hooks;
    QDBusConnection m_bus;
    QString m_serviceName;
    bool m_registered = false;
    MprisPlayerAdaptor *m_player = nullptr;
    QVariantMap m_announced;
    QTimer m_announceSoon; // gathers the changes of one event-loop turn into one signal
    QTimer m_watch;        // notices what has no change signal (a lyric that finished loading)
    std::string m_albumPath, m_album;
};

} // namespace lirvo::mpris
