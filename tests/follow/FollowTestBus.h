#pragma once
// What the follower's bus tests share: the program's QCoreApplication, a wait that runs the
// event loop, a private session bus (a dbus-daemon of the test's own, never the user's), and
// a scripted MPRIS player served from this process on a connection of its own.

#include "../e2e/ChildProcess.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace lirvo::follow::testing {

inline constexpr int kPatienceMs = 30000;

inline QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "follow_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or `ms` have passed.
inline bool WaitUntil(const std::function<bool()> &done, int ms = kPatienceMs) {
    QDeadlineTimer deadline(ms);
    QTimer wake; // so that `done` and the deadline are looked at even when nothing happens
    wake.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Runs the event loop for `ms` (for checks that something does not happen).
inline void RunFor(int ms) {
    QDeadlineTimer deadline(ms);
    WaitUntil([&] { return deadline.hasExpired(); }, ms + 1000);
}

// dbus-daemon --session on a socket in a private folder; its address is what it prints.
class PrivateBus {
public:
    bool Start() {
        if (!dir_.isValid())
            return false;
        e2e::EndWithTest(daemon_);
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address",
                                      "--address=unix:path=" + dir_.path() + "/bus"});
        if (!daemon_.waitForStarted(kPatienceMs))
            return false;
        QDeadlineTimer deadline(kPatienceMs);
        while (!daemon_.canReadLine() && !deadline.hasExpired())
            daemon_.waitForReadyRead(100);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        return !address_.isEmpty();
    }

    ~PrivateBus() {
        for (const QString &name : names_)
            QDBusConnection::disconnectFromBus(name);
        e2e::StopProcess(daemon_, 5000);
    }

    const QString &Address() const { return address_; }

    // A new connection to the bus (a new unique name) under a name of its own in this process.
    QDBusConnection Connect(const QString &role) {
        const QString name = QStringLiteral("follow-%1-%2").arg(role).arg(++counter_);
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }
    void Disconnect(const QDBusConnection &connection) { QDBusConnection::disconnectFromBus(connection.name()); }

    // The environment of a process on this bus.
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address_);
        return env;
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    std::vector<QString> names_;
    int counter_ = 0;
};

// An MPRIS player whose answers the test sets: property values are sent with the D-Bus type
// of the QVariant (qulonglong as t, QDBusObjectPath as o, QByteArray as ay, ...).
class ScriptedPlayer : public QDBusVirtualObject {
public:
    ScriptedPlayer(QDBusConnection bus, QString name) : bus_(std::move(bus)), name_(std::move(name)) {
        root["Identity"] = QString("Scripted");
        player["PlaybackStatus"] = QString("Stopped");
        player["Rate"] = 1.0;
        player["Metadata"] = QVariantMap();
    }
    ~ScriptedPlayer() override { Unregister(); }

    bool Register() {
        registered_ = bus_.registerVirtualObject("/org/mpris/MediaPlayer2", this) && bus_.registerService(name_);
        return registered_;
    }
    void Unregister() {
        if (!registered_)
            return;
        bus_.unregisterService(name_);
        bus_.unregisterObject("/org/mpris/MediaPlayer2");
        registered_ = false;
    }

    // Changes player properties and announces them.
    void Change(const QVariantMap &changed) {
        for (auto it = changed.begin(); it != changed.end(); ++it)
            player[it.key()] = it.value();
        QDBusMessage signal = QDBusMessage::createSignal("/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                                         "PropertiesChanged");
        signal << QString("org.mpris.MediaPlayer2.Player") << changed << QStringList();
        bus_.send(signal);
    }
    void Seeked(qlonglong positionUs) {
        positionUs_ = [positionUs] { return positionUs; };
        QDBusMessage signal =
            QDBusMessage::createSignal("/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Player", "Seeked");
        signal << positionUs;
        bus_.send(signal);
    }
    void SetPosition(std::function<qlonglong()> positionUs) { positionUs_ = std::move(positionUs); }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
        if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties"))
            return false;
        ++calls;
        if (hang)
            return true; // never answered
        const QVariantList args = message.arguments();
        const QString interface = args.value(0).toString();
        const bool isPlayer = interface == QLatin1String("org.mpris.MediaPlayer2.Player");
        const QVariantMap &table = isPlayer ? player : root;
        if (message.member() == QLatin1String("GetAll")) {
            QVariantMap all = table;
            if (isPlayer && !failPosition)
                all["Position"] = positionUs_();
            connection.send(message.createReply(QVariant(all)));
        } else if (message.member() == QLatin1String("Get")) {
            const QString property = args.value(1).toString();
            ++gets;
            if (isPlayer && property == QLatin1String("Position")) {
                if (failPosition)
                    connection.send(message.createErrorReply("org.freedesktop.DBus.Error.NotSupported", "no position"));
                else
                    connection.send(message.createReply(QVariant::fromValue(QDBusVariant(positionUs_()))));
            } else if (table.contains(property)) {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(table.value(property)))));
            } else {
                connection.send(message.createErrorReply("org.freedesktop.DBus.Error.InvalidArgs", "no such property"));
            }
        } else {
            connection.send(message.createErrorReply("org.freedesktop.DBus.Error.NotSupported", "read only"));
        }
        return true;
    }

    QVariantMap root, player;
    bool failPosition = false;
    bool hang = false;
    int calls = 0;
    int gets = 0;

private:
    QDBusConnection bus_;
    QString name_;
    bool registered_ = false;
    std::function<qlonglong()> positionUs_ = [] { return qlonglong(0); };
};

} // namespace lirvo::follow::testing
