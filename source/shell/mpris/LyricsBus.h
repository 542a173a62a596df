#pragma once
// The line the desktop lyric band shows, for other programs: status bars and scripts read it
// from the session bus (`lirvo-lyrics now` is one such reader). Serves net.lirvo.Lirvo with the
// object /net/lirvo/Lyrics and its interface net.lirvo.Lyrics1:
//
//   properties (read-only)  Line s, Translation s, Position x (lyric clock in ms, offset
//                           applied), Status s ("Playing", "Paused", "Stopped"), Player s (the
//                           MPRIS bus name shown), Title s, Artist s, Source s ("KIND:WHERE")
//   signals                 org.freedesktop.DBus.Properties.PropertiesChanged, one per Publish
//                           with every property that changed (never for Position alone: it is
//                           read from the clock whenever asked); LineChanged(s line,
//                           s translation) when either of the two changed
//
// The player publishes what the band shows whenever that changes; the clock is not published
// but read through the position source when a client asks. Main thread only.
//
//     auto bus = std::make_unique<lirvo::mpris::TLyricsBus>();
//     bus->SetPositionSource([&] { return timeline.Position(); });
//     if (!bus->Start(QDBusConnection::sessionBus())) ... // another Lirvo serves the name
//     bus->Publish(now);

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <string>

namespace lirvo::lyrics {
enum class TLyricSource;
}

namespace lirvo::mpris {

inline constexpr const char *kLyricsServiceName = "net.lirvo.Lirvo";
inline constexpr const char *kLyricsObjectPath = "/net/lirvo/Lyrics";
inline constexpr const char *kLyricsInterface = "net.lirvo.Lyrics1";
// The Player property while the band follows the player's own playback.
inline constexpr const char *kOwnPlayerName = "org.mpris.MediaPlayer2.lirvo";

// What the band shows at one moment. Texts are UTF-8 decoded already; "" means none.
struct TLyricsNow {
    QString line, translation;
    qint64 positionMs = 0; // the lyric clock, offset applied
    QString status = QStringLiteral("Stopped"); // "Playing", "Paused" or "Stopped"
    QString player = QString::fromLatin1(kOwnPlayerName);
    QString title, artist;
    QString source; // "KIND:WHERE" as `lirvo-lyrics find` names it; "" without a lyric

    bool operator==(const TLyricsNow &) const = default;
};

// The Source text for a lookup's result: "folder:/music/lrc/Song - Singer.lrc",
// "online:netease:1234", …; "" for no lyric.
QString LyricsSourceText(lyrics::TLyricSource source, const std::string &where);

class TLyricsAdaptor;

class TLyricsBus : public QObject {
    Q_OBJECT
public:
    explicit TLyricsBus(QObject *parent = nullptr);
    ~TLyricsBus() override;

    // Registers the object on `bus` and asks for the service name without replacing an owner
    // and without queueing. False when the object cannot be registered or the name is owned by
    // someone else (another running Lirvo); nothing stays registered then, and Start may be
    // tried again later. True only once.
    bool Start(QDBusConnection bus);
    bool Started() const { return m_started; }

    // Takes the new state: every property that differs from the last one published (Position
    // aside) goes out in one PropertiesChanged, and LineChanged follows when the line or its
    // translation differs. Before Start only the state is kept, to be served from Start on.
    void Publish(const TLyricsNow &now);
    const TLyricsNow &Current() const { return m_now; }

    // Where Position is read when a client asks; without one, the last published positionMs.
    void SetPositionSource(std::function<qint64()> source) { m_positionSource = std::move(source); }
    qint64 PositionMs() const;

private:
    TLyricsAdaptor *m_adaptor = nullptr;
    QDBusConnection m_bus;
    bool m_started = false;
    TLyricsNow m_now;
    std::function<qint64()> m_positionSource;
};

// The announced properties of `now` (all but Position), by their names on the bus.
QVariantMap LyricsProperties(const TLyricsNow &now);

} // namespace lirvo::mpris
