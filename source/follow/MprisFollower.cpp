#include "follow/MprisFollower.h"

#include "follow/PlayerLink.h"

#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>
#include <chrono>

namespace lirvo::follow {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");

// How long a player may take to answer before it counts as not answering. A position reading
// is due every second, so it waits less than the property lists.
constexpr int kReadTimeoutMs = 2000;
constexpr int kListTimeoutMs = 5000;

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string Text(const QVariant &value) {
    const QVariant inner = UnwrapBusValue(value);
    if (inner.metaType().id() != QMetaType::QString)
        return {};
    return inner.toString().toUtf8().toStdString();
}

} // namespace

struct TMprisFollower::TPlayer {
    std::uint64_t Id = 0;
    QString Name;
    QString Owner; // the unique name of the connection that holds Name
    bool Initial = false;
    QString Identity, DesktopEntry;
    bool PlaybackKnown = false;
    TPlayback Playback = TPlayback::Stopped;
    std::int64_t PlaybackSince = 0;
    TFollowedTrack Track;
    double Rate = 1.0;
    bool RootRead = false, PlayerRead = false;
    int PropertyReadsLeft = 0; // single property readings after a failed GetAll
    std::unique_ptr<TPlayerLink> Link;

    bool Ready() const { return RootRead && PlayerRead; }
};

void TPlayerLink::propertiesChanged(const QDBusMessage &message) {
    m_follower.OnPropertiesChanged(m_name, message);
}

void TPlayerLink::seeked(const QDBusMessage &message) {
    m_follower.OnSeeked(m_name, message);
}

TMprisFollower::TMprisFollower(QDBusConnection bus, TTimeSource now, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_now(now ? std::move(now) : TTimeSource(&SteadyMs)) {
    qRegisterMetaType<TFollowedTrack>();
    qRegisterMetaType<TFollowStatus>();
    qRegisterMetaType<TFollowCandidate>();
    m_readTimer.setSingleShot(true);
    m_readTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_readTimer, &QTimer::timeout, this, &TMprisFollower::ReadPosition);
    m_reviewTimer.setSingleShot(true);
    connect(&m_reviewTimer, &QTimer::timeout, this, [this] {
        Review();
        Settle();
    });
}

TMprisFollower::~TMprisFollower() {
    if (m_enabled)
        m_bus.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                         SLOT(onNameOwnerChanged(QString, QString, QString)));
}

template <typename Done>
void TMprisFollower::Call(const QString &service, const QString &interface, const QString &method,
                          const QVariantList &arguments, int timeoutMs, Done done) {
    const bool toBus = service == kBusService;
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, toBus ? kBusPath : kObjectPath, interface, method);
    message.setArguments(arguments);
    // A player that is gone must not be started by the bus.
    message.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                done(finished->reply());
            });
}

// ---- switching on and off ----

void TMprisFollower::SetEnabled(bool enabled) {
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled)
        Start();
    else
        Stop();
}

void TMprisFollower::Start() {
    ++m_epoch;
    m_startedAt = Now();
    // Subscribe before listing, so that no player slips between the two.
    m_bus.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                  SLOT(onNameOwnerChanged(QString, QString, QString)));
    const std::uint64_t epoch = m_epoch;
    Call(kBusService, kBusService, QStringLiteral("ListNames"), {}, kListTimeoutMs, [this, epoch](const QDBusMessage &reply) {
        if (epoch != m_epoch || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        for (const QString &name : reply.arguments().front().toStringList())
            if (IsMprisName(name.toStdString()) && !Find(name))
                AddPlayer(name, true);
    });
    UpdateStatus();
}

void TMprisFollower::Stop() {
    ++m_epoch;
    m_bus.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"), this,
                     SLOT(onNameOwnerChanged(QString, QString, QString)));
    m_players.clear();
    m_policy.ClearCurrent();
    m_reviewTimer.stop();
    Follow(QString());
    Settle();
    UpdateCandidates();
    UpdateStatus();
}

// ---- players coming and going ----

void TMprisFollower::onNameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner) {
    if (!m_enabled || !IsMprisName(name.toStdString()))
        return;
    if (!oldOwner.isEmpty())
        RemovePlayer(name);
    if (!newOwner.isEmpty()) {
        AddPlayer(name, false);
        if (TPlayer *player = Find(name))
            player->Owner = newOwner;
    }
}

void TMprisFollower::AddPlayer(const QString &name, bool initial) {
    const std::string bytes = name.toStdString();
    if (IsOwnName(bytes) || IsMirrorName(bytes))
        return;
    auto player = std::make_unique<TPlayer>();
    player->Id = m_nextPlayerId++;
    player->Name = name;
    player->Initial = initial;
    player->Link = std::make_unique<TPlayerLink>(*this, name);
    m_bus.connect(name, kObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"), player->Link.get(),
                  SLOT(propertiesChanged(QDBusMessage)));
    m_bus.connect(name, kObjectPath, kPlayerInterface, QStringLiteral("Seeked"), player->Link.get(),
                  SLOT(seeked(QDBusMessage)));
    TPlayer &added = *player;
    m_players[name] = std::move(player);
    ReadRoot(added);
    ReadPlayer(added);
}

void TMprisFollower::RemovePlayer(const QString &name) {
    if (m_players.erase(name) == 0)
        return;
    UpdateCandidates();
    Review();
    Settle();
}

TMprisFollower::TPlayer *TMprisFollower::Find(const QString &name) {
    const auto found = m_players.find(name);
    return found == m_players.end() ? nullptr : found->second.get();
}

const TMprisFollower::TPlayer *TMprisFollower::Find(const QString &name) const {
    const auto found = m_players.find(name);
    return found == m_players.end() ? nullptr : found->second.get();
}

// ---- reading a player ----

void TMprisFollower::ReadRoot(TPlayer &player) {
    const QString name = player.Name;
    const std::uint64_t id = player.Id;
    Call(name, kPropertiesInterface, QStringLiteral("GetAll"), {kRootInterface}, kListTimeoutMs,
         [this, name, id](const QDBusMessage &reply) {
             TPlayer *target = Find(name);
             if (!target || target->Id != id)
                 return;
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                 if (target->Owner.isEmpty())
                     target->Owner = reply.service();
                 ApplyRoot(*target, MapFromBusValue(reply.arguments().front()));
             }
             target->RootRead = true;
             UpdateCandidates();
             Review();
             Settle();
         });
}

void TMprisFollower::ReadPlayer(TPlayer &player) {
    const QString name = player.Name;
    const std::uint64_t id = player.Id;
    const std::int64_t sent = Now();
    Call(name, kPropertiesInterface, QStringLiteral("GetAll"), {kPlayerInterface}, kListTimeoutMs,
         [this, name, id, sent](const QDBusMessage &reply) {
             TPlayer *target = Find(name);
             if (!target || target->Id != id)
                 return;
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                 if (target->Owner.isEmpty())
                     target->Owner = reply.service();
                 ApplyPlayer(*target, MapFromBusValue(reply.arguments().front()), sent, Now());
                 target->PlayerRead = true;
             } else if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")) {
                 target->PlayerRead = true; // hung or gone: it is followed only once it speaks
             } else {
                 // Some players answer single properties only.
                 target->PropertyReadsLeft = 3;
                 for (const char *property : {"PlaybackStatus", "Metadata", "Rate"}) {
                     const QString key = QString::fromLatin1(property);
                     Call(name, kPropertiesInterface, QStringLiteral("Get"), {kPlayerInterface, key}, kListTimeoutMs,
                          [this, name, id, key](const QDBusMessage &single) {
                              TPlayer *one = Find(name);
                              if (!one || one->Id != id)
                                  return;
                              if (single.type() == QDBusMessage::ReplyMessage && !single.arguments().isEmpty())
                                  ApplyPlayer(*one, {{key, UnwrapBusValue(single.arguments().front())}}, Now(), Now());
                              if (--one->PropertyReadsLeft == 0)
                                  one->PlayerRead = true;
                              UpdateCandidates();
                              Review();
                              Settle();
                          });
                 }
                 return;
             }
             UpdateCandidates();
             Review();
             Settle();
         });
}

void TMprisFollower::ApplyRoot(TPlayer &player, const QVariantMap &properties) {
    if (properties.contains(QStringLiteral("Identity")))
        player.Identity = QString::fromStdString(Text(properties.value(QStringLiteral("Identity"))));
    if (properties.contains(QStringLiteral("DesktopEntry")))
        player.DesktopEntry = QString::fromStdString(Text(properties.value(QStringLiteral("DesktopEntry"))));
}

void TMprisFollower::ApplyPlayer(TPlayer &player, const QVariantMap &properties, std::int64_t sentMs,
                                 std::int64_t receivedMs) {
    const bool followed = !m_followed.isEmpty() && player.Name == m_followed;
    const std::int64_t now = receivedMs;
    if (properties.contains(QStringLiteral("Metadata"))) {
        TFollowedTrack track = ReadMetadata(MapFromBusValue(properties.value(QStringLiteral("Metadata"))));
        if (IsWebSource(player.Name.toStdString())) {
            TCleanedTitle cleaned = CleanBrowserTitle(track.Title, track.Artist);
            track.Title = std::move(cleaned.Title);
            track.Artist = std::move(cleaned.Artist);
        }
        player.Track = std::move(track);
        if (followed) {
            m_clock.SetLength(player.Track.LengthMs);
            m_stabiliser.OnMetadata(player.Track, now);
        }
    }
    if (properties.contains(QStringLiteral("Rate"))) {
        const QVariant rate = UnwrapBusValue(properties.value(QStringLiteral("Rate")));
        std::int64_t whole = 0;
        if (rate.metaType().id() == QMetaType::Double)
            player.Rate = rate.toDouble();
        else if (BusNumber(rate, whole))
            player.Rate = static_cast<double>(whole);
        if (followed)
            m_clock.SetRate(player.Rate, now);
    }
    if (properties.contains(QStringLiteral("PlaybackStatus"))) {
        const TPlayback playback = PlaybackFromText(Text(properties.value(QStringLiteral("PlaybackStatus"))));
        if (!player.PlaybackKnown || playback != player.Playback) {
            // Players found playing when the watch started count as playing long enough.
            player.PlaybackSince =
                !player.PlaybackKnown && player.Initial ? m_startedAt - FollowPolicy::kHoldMs : now;
            player.PlaybackKnown = true;
            player.Playback = playback;
        }
        if (followed)
            m_clock.SetPlayback(playback, now);
    }
    if (followed && properties.contains(QStringLiteral("Position"))) {
        std::int64_t positionUs = 0;
        if (BusNumber(properties.value(QStringLiteral("Position")), positionUs))
            m_clock.OnPosition(positionUs / 1000, sentMs, receivedMs);
    }
}

void TMprisFollower::OnPropertiesChanged(const QString &name, const QDBusMessage &message) {
    TPlayer *player = Find(name);
    const QVariantList arguments = message.arguments();
    if (!player || arguments.size() < 2)
        return;
    const QString interface = UnwrapBusValue(arguments.at(0)).toString();
    const QVariantMap changed = MapFromBusValue(arguments.at(1));
    const QStringList invalidated = arguments.size() > 2 ? UnwrapBusValue(arguments.at(2)).toStringList() : QStringList();
    const std::int64_t now = Now();
    if (interface == kRootInterface) {
        ApplyRoot(*player, changed);
        if (!invalidated.isEmpty())
            ReadRoot(*player);
    } else if (interface == kPlayerInterface) {
        ApplyPlayer(*player, changed, now, now);
        if (!invalidated.isEmpty())
            ReadPlayer(*player);
        if (player->Name == m_followed)
            m_clock.OnChange(now);
    } else {
        return;
    }
    UpdateCandidates();
    Review();
    Settle();
}

void TMprisFollower::OnSeeked(const QString &name, const QDBusMessage &message) {
    if (m_followed.isEmpty() || name != m_followed || message.arguments().isEmpty())
        return;
    std::int64_t positionUs = 0;
    if (!BusNumber(message.arguments().front(), positionUs))
        return;
    m_clock.OnSeeked(positionUs / 1000, Now());
    Settle();
}

// ---- choosing ----

std::vector<TPlayerView> TMprisFollower::Views() const {
    std::vector<std::string> names;
    for (const auto &[name, player] : m_players)
        if (player->Ready())
            names.push_back(name.toStdString());
    names = FilterPlayerNames(names);
    std::vector<TPlayerView> views;
    for (const std::string &name : names) {
        const TPlayer &player = *Find(QString::fromStdString(name));
        // A player holding several names (org.mpris.MediaPlayer2.vlc and .vlc.instance42) is
        // one player: the shortest name stands for it.
        const bool shadowed = !player.Owner.isEmpty() &&
                              std::any_of(m_players.begin(), m_players.end(), [&player](const auto &entry) {
                                  const TPlayer &other = *entry.second;
                                  return &other != &player && other.Ready() && other.Owner == player.Owner &&
                                         (other.Name.size() < player.Name.size() ||
                                          (other.Name.size() == player.Name.size() && other.Name < player.Name));
                              });
        if (shadowed)
            continue;
        TPlayerView view;
        view.Name = name;
        view.Identity = player.Identity.toStdString();
        view.DesktopEntry = player.DesktopEntry.toStdString();
        view.Playback = player.Playback;
        view.HasTitle = !player.Track.Title.empty();
        view.PlaybackSinceMs = player.PlaybackSince;
        views.push_back(std::move(view));
    }
    return views;
}

void TMprisFollower::Review() {
    if (!m_enabled)
        return;
    const TFollowChoice choice = m_policy.Choose(Views(), Now());
    Follow(choice.Kind == TFollowChoice::TKind::Player ? QString::fromStdString(choice.Name) : QString());
    UpdateStatus();
}

void TMprisFollower::Follow(const QString &name) {
    if (name == m_followed)
        return;
    m_followed = name;
    ++m_followGeneration;
    m_readInFlight = false;
    m_readTimer.stop();
    m_clock.Reset();
    m_stabiliser.Reset();
    const std::int64_t now = Now();
    if (const TPlayer *player = Find(name)) {
        m_clock.SetLength(player->Track.LengthMs);
        m_clock.SetRate(player->Rate, now);
        m_clock.SetPlayback(player->Playback, now);
        m_stabiliser.OnMetadata(player->Track, now);
    }
    UpdateStatus();
    Q_EMIT followedChanged(m_followed, FollowedIdentity());
}

QString TMprisFollower::FollowedIdentity() const {
    const TPlayer *player = Find(m_followed);
    return player ? player->Identity : QString();
}

// ---- the clock and the reports ----

void TMprisFollower::Settle() {
    const std::int64_t now = Now();
    // A review that fell due while other work came first is done now (the policy names only
    // moments still ahead, so the next schedule would not name it again).
    if (m_reviewDueAt && *m_reviewDueAt <= now) {
        m_reviewDueAt.reset();
        Review();
    }
    if (const auto jump = m_clock.TakeJump()) {
        m_stabiliser.OnJump(jump->FromMs, jump->ToMs, now);
        if (!m_followed.isEmpty())
            Q_EMIT seeked(jump->FromMs, jump->ToMs);
    }
    const bool unavailable = !m_followed.isEmpty() && m_clock.NoProgress();
    if (unavailable != m_progressUnavailable) {
        m_progressUnavailable = unavailable;
        Q_EMIT progressUnavailable(unavailable);
    }
    for (int i = 0; i < 2; ++i) {
        const TrackStabiliser::TEvent event = m_stabiliser.Poll(now);
        if (event == TrackStabiliser::TEvent::Changed)
            Q_EMIT trackChanged(m_stabiliser.Track());
        else if (event == TrackStabiliser::TEvent::Restarted)
            Q_EMIT trackRestarted();
        else
            break;
    }
    ScheduleRead();
    ScheduleReview();
}

void TMprisFollower::ScheduleRead() {
    if (m_followed.isEmpty() || m_readInFlight || !m_enabled) {
        if (m_followed.isEmpty())
            m_readTimer.stop();
        return;
    }
    const std::optional<std::int64_t> at = m_clock.NextReadAt();
    if (!at)
        return;
    m_readTimer.start(static_cast<int>(std::clamp<std::int64_t>(*at - Now(), 0, FollowClock::kPeriodMs)));
}

void TMprisFollower::ReadPosition() {
    if (m_followed.isEmpty() || m_readInFlight)
        return;
    const std::int64_t sent = Now();
    const std::uint64_t generation = m_followGeneration;
    m_clock.OnReadSent(sent);
    m_readInFlight = true;
    Call(m_followed, kPropertiesInterface, QStringLiteral("Get"), {kPlayerInterface, QStringLiteral("Position")},
         kReadTimeoutMs, [this, generation, sent](const QDBusMessage &reply) {
             if (generation != m_followGeneration)
                 return;
             m_readInFlight = false;
             const std::int64_t received = Now();
             std::int64_t positionUs = 0;
             if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                 BusNumber(reply.arguments().front(), positionUs))
                 m_clock.OnPosition(positionUs / 1000, sent, received);
             else
                 m_clock.OnPositionFailed(received);
             Settle();
         });
}

void TMprisFollower::ScheduleReview() {
    const std::int64_t now = Now();
    std::optional<std::int64_t> at = m_enabled ? m_policy.ReviewAt(Views(), now) : std::nullopt;
    if (const std::optional<std::int64_t> deadline = m_stabiliser.Deadline(); deadline && (!at || *deadline < *at))
        at = deadline;
    m_reviewDueAt = at;
    if (!at) {
        m_reviewTimer.stop();
        return;
    }
    m_reviewTimer.start(static_cast<int>(std::clamp<std::int64_t>(*at - now, 0, 60000)));
}

qint64 TMprisFollower::PositionMs() const {
    if (m_status.Mode != TFollowStatus::TMode::Player)
        return -1;
    return m_clock.PositionMs(Now());
}

// ---- state for the band ----

TFollowStatus TMprisFollower::Status() const {
    return m_status;
}

void TMprisFollower::UpdateStatus() {
    TFollowStatus status;
    if (!m_enabled)
        status.Mode = TFollowStatus::TMode::Disabled;
    else if (m_policy.OwnPlaybackActive())
        status.Mode = TFollowStatus::TMode::Own;
    else if (const TPlayer *player = Find(m_followed)) {
        status.Mode = TFollowStatus::TMode::Player;
        status.Playback = player->Playback;
    } else
        status.Mode = TFollowStatus::TMode::None;
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

void TMprisFollower::SetOwnPlaybackActive(bool active) {
    if (active == m_policy.OwnPlaybackActive())
        return;
    m_policy.SetOwnPlaybackActive(active);
    Review();
    UpdateStatus();
    Settle();
}

void TMprisFollower::SetPin(const QString &key) {
    m_policy.SetPin(key.toStdString());
    Review();
    Settle();
}

QList<TFollowCandidate> TMprisFollower::Candidates() const {
    return m_candidates;
}

void TMprisFollower::UpdateCandidates() {
    QList<TFollowCandidate> candidates;
    for (const TPlayerView &view : Views()) {
        const TPlayer &player = *Find(QString::fromStdString(view.Name));
        candidates.push_back({player.Name, player.Identity, player.DesktopEntry,
                              QString::fromStdString(PinKeyOf(view)), player.Playback});
    }
    if (candidates == m_candidates)
        return;
    m_candidates = std::move(candidates);
    Q_EMIT candidatesChanged();
}

} // namespace lirvo::follow
