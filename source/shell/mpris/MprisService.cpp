#include "shell/mpris/MprisService.h"

#include "audio/engine/AudioEngine.h"
#include "audio/lib/TagReader.h"
#include "lyrics/core/LrcClass.h"
#include "shell/command/CommandHandOff.h"
#include "shell/controller/unt_main.h"
#include "shell/mpris/MprisAdaptors.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <unistd.h>

namespace lirvo::mpris {

namespace {

constexpr int kStatePlaying = 1002;
constexpr int kStatePaused = 1003;

// libdbus would start a bus of its own (X11 autolaunch) when none is named; the player only
// joins a session bus that exists.
bool SessionBusAvailable() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

} // namespace

std::unique_ptr<MprisService> MprisService::Start(shell::TZylMain &controller, MprisHooks hooks) {
    if (!SessionBusAvailable())
        return nullptr;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    auto service = std::make_unique<MprisService>(controller, std::move(hooks), bus);
    if (!service->Register())
        return nullptr;
    return service;
}

MprisService::MprisService(shell::TZylMain &controller, MprisHooks hooks, QDBusConnection bus)
    : m_controller(controller), m_hooks(std::move(hooks)), m_bus(std::move(bus)) {
    new MprisRootAdaptor(*this, this);
    m_player = new MprisPlayerAdaptor(*this, this);

    m_announceSoon.setSingleShot(true);
    m_announceSoon.setInterval(0);
    connect(&m_announceSoon, &QTimer::timeout, this, &MprisService::Announce);
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &MprisService::Announce);

    using shell::TZylMain;
    for (auto signal : {&TZylMain::titleTextChanged, &TZylMain::progressMaximumChanged,
                        &TZylMain::playButtonImageChanged, &TZylMain::volumeChanged,
                        &TZylMain::playModeIndexChanged, &TZylMain::currentIndexChanged,
                        &TZylMain::engineStateChanged})
        connect(&m_controller, signal, this, &MprisService::ScheduleAnnounce, Qt::QueuedConnection);
    connect(&m_controller, &TZylMain::seeked, this,
            [this](qint64 positionMs) { Q_EMIT m_player->Seeked(positionMs * 1000); }, Qt::QueuedConnection);
    QAbstractItemModel *rows = m_controller.Playlist();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &MprisService::ScheduleAnnounce);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &MprisService::ScheduleAnnounce);
    connect(rows, &QAbstractItemModel::modelReset, this, &MprisService::ScheduleAnnounce);
    connect(rows, &QAbstractItemModel::dataChanged, this, &MprisService::ScheduleAnnounce);
}

MprisService::~MprisService() {
    if (!m_registered)
        return;
    m_bus.unregisterService(m_serviceName);
    m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

bool MprisService::Register(const QString &serviceName) {
    if (!m_bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    m_serviceName = serviceName;
    if (!m_bus.registerService(m_serviceName)) {
        m_serviceName = serviceName + QStringLiteral(".instance%1").arg(getpid());
        if (!m_bus.registerService(m_serviceName)) {
            m_bus.unregisterObject(QString::fromLatin1(kObjectPath));
            return false;
        }
    }
    m_registered = true;
    m_announced = PlayerProperties();
    m_watch.start();
    return true;
}

// ---- state ----

QString MprisService::PlaybackStatus() const {
    return PlaybackStatusFor(m_controller.EngineState());
}

QString MprisService::LoopStatus() const {
    return LoopStatusFor(m_controller.PlayMode());
}

QString MprisService::CurrentTrackId() const {
    std::vector<std::string> paths;
    paths.reserve(m_controller.Records().size());
    for (const auto &record : m_controller.Records())
        paths.push_back(record.Path);
    return TrackIdFor(paths, m_controller.CurrentIndex());
}

std::int64_t MprisService::LengthMs() const {
    const int state = m_controller.EngineState();
    audio::TAudioEngine *engine = m_controller.Engine();
    if (!engine || (state != kStatePlaying && state != kStatePaused))
        return 0;
    return engine->GetLength();
}

QVariantMap MprisService::Metadata() const {
    TrackInfo track;
    track.TrackId = CurrentTrackId();
    if (const shell::TPlayListItem *record = m_controller.Record(m_controller.CurrentIndex())) {
        track.Title = record->Title;
        track.Artist = record->Songer;
        track.Location = record->Path;
        if (record->Path == m_albumPath)
            track.Album = m_album;
        else
            const_cast<MprisService *>(this)->ReadAlbumOf(record->Path);
        track.LengthMs = LengthMs();
        if (lyrics::TLrcClass *timeline = m_controller.Timeline())
            track.LyricText = timeline->LrcText();
    }
    return MetadataFor(track);
}

double MprisService::Volume() const {
    return VolumeToBus(m_controller.Volume());
}

qint64 MprisService::PositionUs() const {
    const int state = m_controller.EngineState();
    audio::TAudioEngine *engine = m_controller.Engine();
    if (!engine || (state != kStatePlaying && state != kStatePaused))
        return 0;
    return static_cast<qint64>(engine->GetPosition()) * 1000;
}

bool MprisService::HasRows() const {
    return m_controller.RowCount() > 0;
}

bool MprisService::CanSeek() const {
    return LengthMs() > 0;
}

QVariantMap MprisService::PlayerProperties() const {
    const bool rows = HasRows();
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("LoopStatus"), LoopStatus()},
            {QStringLiteral("Rate"), 1.0},
            {QStringLiteral("MinimumRate"), 1.0},
            {QStringLiteral("MaximumRate"), 1.0},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("Volume"), Volume()},
            {QStringLiteral("CanGoNext"), rows},
            {QStringLiteral("CanGoPrevious"), rows},
            {QStringLiteral("CanPlay"), rows},
            {QStringLiteral("CanPause"), rows},
            {QStringLiteral("CanSeek"), CanSeek()},
            {QStringLiteral("CanControl"), true}};
}

void MprisService::ScheduleAnnounce() {
    if (m_registered && !m_announceSoon.isActive())
        m_announceSoon.start();
}

void MprisService::Announce() {
    if (!m_registered)
        return;
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    m_announced = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void MprisService::ReadAlbumOf(const std::string &path) {
    // Tags are read off the main thread; the metadata is announced again once the album is known.
    m_albumPath = path;
    m_album.clear();
    if (path.empty() || path.front() != '/')
        return;
    QPointer<MprisService> self(this);
    QThreadPool::globalInstance()->start([self, path] {
        const std::string album = audio::ReadTrackTags(path).album;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, path, album] {
                if (!self || self->m_albumPath != path)
                    return;
                self->m_album = album;
                self->ScheduleAnnounce();
            },
            Qt::QueuedConnection);
    });
}

// ---- actions: the controller's handlers, as the buttons use them ----

void MprisService::Raise() {
    if (m_hooks.Raise)
        m_hooks.Raise();
}

void MprisService::Quit() {
    if (m_hooks.Quit)
        m_hooks.Quit();
}

void MprisService::SetLoopStatus(const QString &status) {
    if (const auto index = ModeBoxIndexFor(status))
        m_controller.setPlayModeIndex(*index);
}

void MprisService::SetVolume(double volume) {
    if (const auto value = VolumeFromBus(volume))
        m_controller.setVolume(*value);
}

void MprisService::Next() {
    m_controller.btn_nextClick();
}

void MprisService::Previous() {
    m_controller.btn_previousClick();
}

void MprisService::Pause() {
    if (m_controller.EngineState() == kStatePlaying)
        m_controller.btn_playClick();
}

void MprisService::PlayPause() {
    m_controller.btn_playClick();
}

void MprisService::Stop() {
    m_controller.Stop();
}

void MprisService::Play() {
    if (m_controller.EngineState() != kStatePlaying)
        m_controller.btn_playClick();
}

void MprisService::Seek(qint64 offsetUs) {
    if (!CanSeek())
        return;
    const std::int64_t target = std::max<std::int64_t>(AddClamped(PositionUs(), offsetUs), 0);
    // Past the end is the next track, as the interface asks.
    if (target > LengthMs() * 1000) {
        Next();
        return;
    }
    m_controller.tbrmainMouseDown(static_cast<double>(target / 1000), m_controller.ProgressMaximum());
}

void MprisService::SetPosition(const QString &trackId, qint64 positionUs) {
    if (!CanSeek() || trackId != CurrentTrackId() || positionUs < 0 || positionUs > LengthMs() * 1000)
        return;
    m_controller.tbrmainMouseDown(static_cast<double>(positionUs / 1000), m_controller.ProgressMaximum());
}

void MprisService::OpenUri(const QString &uri) {
    // The same road as a file handed over by a later start: append a row and play it.
    const auto location = LocationForUri(uri);
    if (!location)
        return;
    auto block = command::MakeCommandBlock({command::CmdPlayFile, *location});
    m_controller.WMSHARECMD(*block, 1);
}

} // namespace lirvo::mpris
