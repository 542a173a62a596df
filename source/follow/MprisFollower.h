#pragma once
// Follows the MPRIS 2 players on a session bus for the desktop lyric band: decides which one
// to follow (FollowPolicy), keeps a lyric clock for it (FollowClock) and reports its settled
// tracks (TrackStabiliser). Every bus call is asynchronous, so a player that hangs never
// holds up the thread; PositionMs only computes, so the band may call it for every frame.
// Main thread only (the thread the object lives in); the signals carry registered types and
// may be connected across threads.
//
//     TMprisFollower follower(QDBusConnection::sessionBus());
//     follower.SetPin(savedPin);                // "" = automatic
//     follower.SetOwnPlaybackActive(playing);   // Lirvo's own playback first
//     follower.SetEnabled(true);
//     // band frame: follower.PositionMs() (-1: nothing to show)
//     // trackChanged(track): look the lyric up; trackRestarted(): start it over

#include "follow/FollowClock.h"
#include "follow/FollowMetadata.h"
#include "follow/FollowPolicy.h"
#include "follow/TrackStabiliser.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lirvo::follow {

// Shown by the band when the followed player gives no position.
inline constexpr const char *kNoProgressText = "此播放器不提供播放进度，无法同步歌词";
// The menu entry for the automatic choice (SetPin("")).
inline constexpr const char *kAutomaticChoiceText = "自动";

// A player that could be followed, for the band's menu.
struct TFollowCandidate {
    QString BusName;
    QString Identity;     // the name to show
    QString DesktopEntry;
    QString PinKey;       // what SetPin takes to pin this player
    TPlayback Playback = TPlayback::Stopped;
    bool operator==(const TFollowCandidate &) const = default;
};

struct TFollowStatus {
    enum class TMode { Disabled, None, Own, Player };
    TMode Mode = TMode::Disabled;
    TPlayback Playback = TPlayback::Stopped; // of the followed player
    bool operator==(const TFollowStatus &) const = default;
};

class TPlayerLink;

class TMprisFollower : public QObject {
    Q_OBJECT
public:
    // Monotonic milliseconds; tests may give their own.
    using TTimeSource = std::function<std::int64_t()>;

    explicit TMprisFollower(QDBusConnection bus, TTimeSource now = {}, QObject *parent = nullptr);
    ~TMprisFollower() override;

    // Starts or stops watching the bus. Off, it makes no bus traffic and follows nothing.
    void SetEnabled(bool enabled);
    bool Enabled() const { return m_enabled; }

    // Lirvo's own playback plays or is paused: no other player is followed meanwhile.
    void SetOwnPlaybackActive(bool active);
    bool OwnPlaybackActive() const { return m_policy.OwnPlaybackActive(); }

    // Pins a player by a candidate's PinKey; "" for the automatic choice.
    void SetPin(const QString &key);
    QString Pin() const { return QString::fromStdString(m_policy.Pin()); }

    // The players that could be followed, by bus name.
    QList<TFollowCandidate> Candidates() const;

    TFollowStatus Status() const;
    QString FollowedName() const { return m_followed; }
    QString FollowedIdentity() const;
    // The followed player's settled track (empty before the first).
    TFollowedTrack Track() const { return m_stabiliser.Track(); }
    // The followed player's position now; -1 when there is none to show (nothing followed,
    // own playback, not known yet, or the player gives no progress).
    qint64 PositionMs() const;
    // False while the followed player gives no progress (see kNoProgressText).
    bool ProgressAvailable() const { return !m_progressUnavailable; }

Q_SIGNALS:
    // Another player is followed (both empty: none, or own playback). A trackChanged follows
    // once the new player's track has settled.
    void followedChanged(QString busName, QString identity);
    void trackChanged(lirvo::follow::TFollowedTrack track);
    // The same track started over (a loop or repeat): restart the lyric, no new lookup.
    void trackRestarted();
    // The followed position jumped (a seek; also backwards).
    void seeked(qint64 fromMs, qint64 toMs);
    void statusChanged(lirvo::follow::TFollowStatus status);
    void progressUnavailable(bool unavailable);
    void candidatesChanged();

private Q_SLOTS:
    void onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    friend class TPlayerLink;
    struct TPlayer;

    std::int64_t Now() const { return m_now(); }
    void Start();
    void Stop();
    void AddPlayer(const QString &name, bool initial);
    void RemovePlayer(const QString &name);
    void ReadRoot(TPlayer &player);
    void ReadPlayer(TPlayer &player);
    void ApplyRoot(TPlayer &player, const QVariantMap &properties);
    void ApplyPlayer(TPlayer &player, const QVariantMap &properties, std::int64_t sentMs, std::int64_t receivedMs);
    void OnPropertiesChanged(const QString &name, const QDBusMessage &message);
    void OnSeeked(const QString &name, const QDBusMessage &message);
    TPlayer *Find(const QString &name);
    const TPlayer *Find(const QString &name) const;
    // The players the policy chooses among: answered, filtered, one name per connection.
    std::vector<TPlayerView> Views() const;
    template <typename Done>
    void Call(const QString &service, const QString &interface, const QString &method, const QVariantList &arguments,
              int timeoutMs, Done done);

    // Applies the policy and carries out a change of the followed player.
    void Review();
    void Follow(const QString &name);
    // After any input to the clock or the stabiliser: reports and the next timers.
    void Settle();
    void ScheduleRead();
    void ReadPosition();
    void ScheduleReview();
    void UpdateStatus();
    void UpdateCandidates();

    QDBusConnection m_bus;
    TTimeSource m_now;
    bool m_enabled = false;
    std::int64_t m_startedAt = 0;
    std::uint64_t m_epoch = 0; // counts starts and stops; replies of an earlier one are dropped
    std::map<QString, std::unique_ptr<TPlayer>> m_players;
    std::uint64_t m_nextPlayerId = 1;

    FollowPolicy m_policy;
    FollowClock m_clock;
    TrackStabiliser m_stabiliser;
    QString m_followed;
    std::uint64_t m_followGeneration = 0;
    bool m_readInFlight = false;
    bool m_progressUnavailable = false;
    TFollowStatus m_status;
    QList<TFollowCandidate> m_candidates;

    QTimer m_readTimer;
    QTimer m_reviewTimer;
    std::optional<std::int64_t> m_reviewDueAt; // when m_reviewTimer is due
};

} // namespace lirvo::follow

Q_DECLARE_METATYPE(lirvo::follow::TFollowCandidate)
Q_DECLARE_METATYPE(lirvo::follow::TFollowStatus)
