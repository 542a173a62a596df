#include "NowCommand.h"

#include "shell/mpris/LyricsBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

namespace {

using namespace lirvo::mpris;

// A player that does not answer within this long counts as not answering; the command never
// waits longer on one call.
constexpr int kCallTimeoutMs = 5000;

QString Service() {
    return QString::fromLatin1(kLyricsServiceName);
}

// libdbus would start a bus of its own (X11 autolaunch) when none is named; only a session
// bus that exists is joined, as the player does.
bool SessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

// One output field: characters that would end the field or the line (tabs, line breaks, other
// control characters, Unicode line and paragraph separators) become blanks.
QString OneField(QString text) {
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || u == 0x85 || u == 0x2028 || u == 0x2029)
            c = QLatin1Char(' ');
    }
    return text;
}

QString Record(const QString &line, const QString &translation) {
    return OneField(line) + QLatin1Char('\t') + OneField(translation);
}

// Writes one output line at once (a status bar reads it as it comes). False when standard
// output is gone: libdbus ignores SIGPIPE, so a closed pipe shows only here.
bool PrintLine(const QString &text) {
    QByteArray bytes = text.toUtf8();
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
    return !std::ferror(stdout);
}

struct Answer {
    enum Kind { Shown, NoPlayer, Failed } kind = Failed;
    QString line, translation;
    QString error; // for Failed
};

// The band's line and translation, asked in one GetAll.
Answer AskPlayer(QDBusConnection &bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(Service(), QString::fromLatin1(kLyricsObjectPath),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << QString::fromLatin1(kLyricsInterface);
    // Asking for the line must not start a player.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    Answer answer;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            answer.kind = Answer::NoPlayer;
        } else {
            answer.error = reply.errorMessage().isEmpty() ? name : reply.errorMessage();
        }
        return answer;
    }
    // Whatever the owner of the name sends is checked: a map whose two entries are texts.
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{sv}")) {
        answer.error = QStringLiteral("an answer of type '%1' instead of a{sv}").arg(reply.signature());
        return answer;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().at(0));
    const QVariant line = properties.value(QStringLiteral("Line"));
    const QVariant translation = properties.value(QStringLiteral("Translation"));
    if (line.typeId() != QMetaType::QString || translation.typeId() != QMetaType::QString) {
        answer.error = QStringLiteral("the answer has no Line and Translation texts");
        return answer;
    }
    answer.kind = Answer::Shown;
    answer.line = line.toString();
    answer.translation = translation.toString();
    return answer;
}

void Complain(const char *what, const QString &detail = QString()) {
    if (detail.isEmpty())
        std::fprintf(stderr, "lirvo-lyrics: %s\n", what);
    else
        std::fprintf(stderr, "lirvo-lyrics: %s: %s\n", what, detail.toLocal8Bit().constData());
}

constexpr const char *kNoPlayer = "the player is not running (no net.lirvo.Lirvo on the session bus)";

// Follows the player: the line at start, then every LineChanged; an empty line when the player
// leaves the bus, its line again once it is back. Prints only what differs from the last output.
class LineWatch : public QObject {
    Q_OBJECT
public:
    explicit LineWatch(QDBusConnection bus)
        : m_bus(std::move(bus)), m_owner(Service(), m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
        connect(&m_owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &, const QString &newOwner) {
                    if (newOwner.isEmpty())
                        Show(QString());
                    else
                        AskAndShow();
                });
    }

    // Subscribes, then asks: a change after the answer arrives as a signal behind it.
    bool Begin() {
        if (!m_bus.connect(Service(), QString::fromLatin1(kLyricsObjectPath), QString::fromLatin1(kLyricsInterface),
                           QStringLiteral("LineChanged"), this, SLOT(OnLineChanged(QString, QString)))) {
            Complain("cannot follow the player's line", m_bus.lastError().message());
            return false;
        }
        // libdbus reports the end of the connection as this local signal, never sent by the bus.
        m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                      QStringLiteral("Disconnected"), this, SLOT(OnDisconnected()));
        AskAndShow();
        return true;
    }

public Q_SLOTS:
    void OnLineChanged(const QString &line, const QString &translation) { Show(Record(line, translation)); }
    // The session is over (or its bus died): nothing will ever change again.
    void OnDisconnected() {
        Complain("the session bus went away");
        QCoreApplication::exit(1);
    }

private:
    void AskAndShow() {
        const Answer answer = AskPlayer(m_bus);
        if (answer.kind == Answer::Shown)
            Show(Record(answer.line, answer.translation));
        else if (answer.kind == Answer::NoPlayer)
            Show(QString());
        else
            Complain("the player did not answer", answer.error); // its next change is shown
    }

    void Show(const QString &record) {
        if (m_shown == record)
            return;
        m_shown = record;
        if (!PrintLine(record))
            QCoreApplication::exit(1); // the reader has gone
    }

    QDBusConnection m_bus;
    QDBusServiceWatcher m_owner;
    std::optional<QString> m_shown;
};

} // namespace

int RunNowCommand(int argc, char **argv) {
    bool watch = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--watch") {
            watch = true;
        } else {
            std::fputs("usage: lirvo-lyrics now [--watch]\n", stderr);
            return 2;
        }
    }

    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static int appArgc = 1;
        static char appName[] = "lirvo-lyrics";
        static char *appArgv[] = {appName, nullptr};
        app = std::make_unique<QCoreApplication>(appArgc, appArgv);
    }
    if (!SessionBusNamed()) {
        Complain("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
        return 1;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Complain("cannot reach the session bus", bus.lastError().message());
        return 1;
    }

    if (!watch) {
        const Answer answer = AskPlayer(bus);
        if (answer.kind == Answer::NoPlayer) {
            Complain(kNoPlayer);
            return 1;
        }
        if (answer.kind == Answer::Failed) {
            Complain("the player did not answer", answer.error);
            return 1;
        }
        return PrintLine(Record(answer.line, answer.translation)) ? 0 : 1;
    }

    LineWatch follower(bus);
    if (!follower.Begin())
        return 1;
    return QCoreApplication::exec();
}

#include "NowCommand.moc"
