#include "shell/mpris/LyricsBus.h"

#include "lyrics/core/LyricLookup.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QStringList>

namespace lirvo::mpris {

// The interface on the object. The introspection data is written out rather than generated so
// that Position can say it announces no change (clients then know to poll it).
class TLyricsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.lirvo.Lyrics1")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"net.lirvo.Lyrics1\">\n"
                "    <property name=\"Line\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Translation\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Position\" type=\"x\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" value=\"false\"/>\n"
                "    </property>\n"
                "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Player\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Artist\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Source\" type=\"s\" access=\"read\"/>\n"
                "    <signal name=\"LineChanged\">\n"
                "      <arg name=\"line\" type=\"s\"/>\n"
                "      <arg name=\"translation\" type=\"s\"/>\n"
                "    </signal>\n"
                "  </interface>\n")
    Q_PROPERTY(QString Line READ Line)
    Q_PROPERTY(QString Translation READ Translation)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QString Player READ Player)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Artist READ Artist)
    Q_PROPERTY(QString Source READ Source)

public:
    explicit TLyricsAdaptor(TLyricsBus &bus) : QDBusAbstractAdaptor(&bus), m_bus(bus) {}

    QString Line() const { return m_bus.Current().line; }
    QString Translation() const { return m_bus.Current().translation; }
    qlonglong Position() const { return m_bus.PositionMs(); }
    QString Status() const { return m_bus.Current().status; }
    QString Player() const { return m_bus.Current().player; }
    QString Title() const { return m_bus.Current().title; }
    QString Artist() const { return m_bus.Current().artist; }
    QString Source() const { return m_bus.Current().source; }

Q_SIGNALS:
    // Sent on the bus by QtDBus, after the PropertiesChanged of the same publish.
    void LineChanged(const QString &line, const QString &translation);

private:
    TLyricsBus &m_bus;
};

QString LyricsSourceText(lyrics::TLyricSource source, const std::string &where) {
    const char *kind = lyrics::LyricSourceName(source);
    if (*kind == '\0')
        return {};
    return QString::fromUtf8(kind) + QLatin1Char(':') + QString::fromStdString(where);
}

QVariantMap LyricsProperties(const TLyricsNow &now) {
    return {{QStringLiteral("Line"), now.line},       {QStringLiteral("Translation"), now.translation},
            {QStringLiteral("Status"), now.status},   {QStringLiteral("Player"), now.player},
            {QStringLiteral("Title"), now.title},     {QStringLiteral("Artist"), now.artist},
            {QStringLiteral("Source"), now.source}};
}

TLyricsBus::TLyricsBus(QObject *parent) : QObject(parent), m_bus(QString()) {
    m_adaptor = new TLyricsAdaptor(*this);
}

TLyricsBus::~TLyricsBus() {
    if (!m_started)
        return;
    m_bus.unregisterService(QString::fromLatin1(kLyricsServiceName));
    m_bus.unregisterObject(QString::fromLatin1(kLyricsObjectPath));
}

bool TLyricsBus::Start(QDBusConnection bus) {
    if (m_started || !bus.isConnected())
        return false;
    const QString path = QString::fromLatin1(kLyricsObjectPath);
    if (!bus.registerObject(path, this, QDBusConnection::ExportAdaptors))
        return false;
    // registerService asks without replacing the owner and without waiting in its queue: a
    // second Lirvo must not take the line away from the first.
    if (!bus.registerService(QString::fromLatin1(kLyricsServiceName))) {
        bus.unregisterObject(path);
        return false;
    }
    m_bus = std::move(bus);
    m_started = true;
    return true;
}

qint64 TLyricsBus::PositionMs() const {
    return m_positionSource ? m_positionSource() : m_now.positionMs;
}

void TLyricsBus::Publish(const TLyricsNow &now) {
    const QVariantMap before = LyricsProperties(m_now);
    const bool lineChanged = now.line != m_now.line || now.translation != m_now.translation;
    m_now = now;
    if (!m_started)
        return;

    const QVariantMap after = LyricsProperties(m_now);
    QVariantMap changed;
    for (auto it = after.begin(); it != after.end(); ++it)
        if (before.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kLyricsObjectPath),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QString::fromLatin1(kLyricsInterface) << changed << QStringList();
        m_bus.send(signal);
    }
    if (lineChanged)
        Q_EMIT m_adaptor->LineChanged(m_now.line, m_now.translation);
}

} // namespace lirvo::mpris

#include "LyricsBus.moc"
