#include "shell/mpris/MprisAdaptors.h"

#include "shell/mpris/MprisService.h"

namespace lirvo::mpris {

MprisRootAdaptor::MprisRootAdaptor(MprisService &service, QObject *parent)
    : QDBusAbstractAdaptor(parent), m_service(service) {}

QString MprisRootAdaptor::Identity() const {
    return QStringLiteral("Lirvo");
}
QString MprisRootAdaptor::DesktopEntry() const {
    return QStringLiteral("lirvo");
}
QStringList MprisRootAdaptor::SupportedUriSchemes() const {
    return {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")};
}
QStringList MprisRootAdaptor::SupportedMimeTypes() const {
    return mpris::SupportedMimeTypes();
}
void MprisRootAdaptor::Raise() {
    m_service.Raise();
}
void MprisRootAdaptor::Quit() {
    m_service.Quit();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService &service, QObject *parent)
    : QDBusAbstractAdaptor(parent), m_service(service) {}

QString MprisPlayerAdaptor::PlaybackStatus() const {
    return m_service.PlaybackStatus();
}
QString MprisPlayerAdaptor::LoopStatus() const {
    return m_service.LoopStatus();
}
void MprisPlayerAdaptor::setLoopStatus(const QString &status) {
    m_service.SetLoopStatus(status);
}
QVariantMap MprisPlayerAdaptor::Metadata() const {
    return m_service.Metadata();
}
double MprisPlayerAdaptor::Volume() const {
    return m_service.Volume();
}
void MprisPlayerAdaptor::setVolume(double volume) {
    m_service.SetVolume(volume);
}
qlonglong MprisPlayerAdaptor::Position() const {
    return m_service.PositionUs();
}
bool MprisPlayerAdaptor::CanGoNext() const {
    return m_service.HasRows();
}
bool MprisPlayerAdaptor::CanGoPrevious() const {
    return m_service.HasRows();
}
bool MprisPlayerAdaptor::CanPlay() const {
    return m_service.HasRows();
}
bool MprisPlayerAdaptor::CanPause() const {
    return m_service.HasRows();
}
bool MprisPlayerAdaptor::CanSeek() const {
    return m_service.CanSeek();
}
void MprisPlayerAdaptor::Next() {
    m_service.Next();
}
void MprisPlayerAdaptor::Previous() {
    m_service.Previous();
}
void MprisPlayerAdaptor::Pause() {
    m_service.Pause();
}
void MprisPlayerAdaptor::PlayPause() {
    m_service.PlayPause();
}
void MprisPlayerAdaptor::Stop() {
    m_service.Stop();
}
void MprisPlayerAdaptor::Play() {
    m_service.Play();
}
void MprisPlayerAdaptor::Seek(qlonglong Offset) {
    m_service.Seek(Offset);
}
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &TrackId, qlonglong Position) {
    m_service.SetPosition(TrackId.path(), Position);
}
void MprisPlayerAdaptor::OpenUri(const QString &Uri) {
    m_service.OpenUri(Uri);
}

} // namespace lirvo::mpris
