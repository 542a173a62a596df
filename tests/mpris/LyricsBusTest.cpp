// The lyric line's interface on a private session bus (a dbus-daemon of the test's own): what
// clients read back, which signals a publish sends, the introspection data, a second instance
// that finds the name taken, and `lirvo-lyrics now` (with and without --watch) reading it.
// Server and client live in this one process on two connections, so every wait runs the event
// loop: the server answers from it.

#include "shell/mpris/LyricsBus.h"

#include "../e2e/ChildProcess.h"
#include "lyrics/core/LyricLookup.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace lirvo::mpris {
namespace {

constexpr int kPatienceMs = 30000;

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "mpris_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitUntil(const std::function<bool()> &done, int ms = kPatienceMs) {
    QDeadlineTimer deadline(ms);
    QTimer wake; // so that the loop looks at `done` and the deadline even when nothing happens
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// What a client of the interface hears.
class SignalLog : public QObject {
    Q_OBJECT
public:
    struct Change {
        QString interface;
        QVariantMap changed;
        QStringList invalidated;
    };
    std::vector<Change> changes;
    std::vector<std::pair<QString, QString>> lines;

public Q_SLOTS:
    void OnPropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated) {
        changes.push_back({interface, changed, invalidated});
    }
    void OnLineChanged(const QString &line, const QString &translation) { lines.emplace_back(line, translation); }
};

TLyricsNow Playing(const QString &line, const QString &translation = QString()) {
    TLyricsNow now;
    now.line = line;
    now.translation = translation;
    now.positionMs = 61000;
    now.status = QStringLiteral("Playing");
    now.title = QStringLiteral("海阔天空");
    now.artist = QStringLiteral("Beyond");
    now.source = QStringLiteral("folder:/music/lrc/海阔天空 - Beyond.lrc");
    return now;
}

class LyricsBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        address_ = "unix:path=" + dir_.path() + "/bus";
        e2e::EndWithTest(daemon_);
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + address_});
        ASSERT_TRUE(daemon_.waitForStarted(kPatienceMs)) << "dbus-daemon is missing";
        ASSERT_TRUE(WaitUntil([&] { return QFile::exists(dir_.path() + "/bus"); }));
        server_ = std::make_unique<QDBusConnection>(Connect("server"));
        client_ = std::make_unique<QDBusConnection>(Connect("client"));
        ASSERT_TRUE(server_->isConnected() && client_->isConnected()) << "the private bus does not answer";
    }

    void TearDown() override {
        buses_.clear();
        log_.reset();
        server_.reset();
        client_.reset();
        for (const QString &name : names_)
            QDBusConnection::disconnectFromBus(name);
        e2e::StopProcess(daemon_, 5000);
    }

    QDBusConnection Connect(const QString &role) {
        const QString name = role + QString::number(names_.size()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

    TLyricsBus &StartedBus(QDBusConnection bus) {
        buses_.push_back(std::make_unique<TLyricsBus>());
        EXPECT_TRUE(buses_.back()->Start(std::move(bus)));
        return *buses_.back();
    }

    // A call from the client, answered while the event loop runs.
    QDBusMessage Call(const QString &interface, const QString &method, const QVariantList &args,
                      const QString &path = QString::fromLatin1(kLyricsObjectPath),
                      const QString &service = QString::fromLatin1(kLyricsServiceName)) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(args);
        QDBusPendingCall pending = client_->asyncCall(call, kPatienceMs);
        EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    QVariantMap GetAll() {
        const QDBusMessage reply = Call("org.freedesktop.DBus.Properties", "GetAll", {QString::fromLatin1(kLyricsInterface)});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(reply.arguments().at(0));
    }
    QString NameOwner() {
        const QDBusMessage reply = Call("org.freedesktop.DBus", "GetNameOwner", {QString::fromLatin1(kLyricsServiceName)},
                                        "/org/freedesktop/DBus", "org.freedesktop.DBus");
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().at(0).toString() : QString();
    }

    // Subscribes the client to both signals; the round trip after it makes sure the bus has
    // taken the match rules before anything is published.
    SignalLog &Listen() {
        log_ = std::make_unique<SignalLog>();
        const QString service = QString::fromLatin1(kLyricsServiceName), path = QString::fromLatin1(kLyricsObjectPath);
        EXPECT_TRUE(client_->connect(service, path, "org.freedesktop.DBus.Properties", "PropertiesChanged", log_.get(),
                                     SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
        EXPECT_TRUE(client_->connect(service, path, QString::fromLatin1(kLyricsInterface), "LineChanged", log_.get(),
                                     SLOT(OnLineChanged(QString, QString))));
        Call("org.freedesktop.DBus", "GetId", {}, "/org/freedesktop/DBus", "org.freedesktop.DBus");
        return *log_;
    }

    // `lirvo-lyrics ARGS` on the private bus (or `busAddress`), not yet waited for.
    std::unique_ptr<QProcess> StartTool(const QStringList &args, const QString &busAddress = QString()) {
        const char *bin = std::getenv("LIRVO_BIN_DIR");
        EXPECT_NE(bin, nullptr) << "start the tests through ctest";
        auto tool = std::make_unique<QProcess>();
        e2e::EndWithTest(*tool);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress.isEmpty() ? address_ : busAddress);
        tool->setProcessEnvironment(env);
        tool->start(QString::fromLocal8Bit(bin ? bin : ".") + "/lirvo-lyrics", args);
        EXPECT_TRUE(tool->waitForStarted(kPatienceMs));
        return tool;
    }
    struct ToolRun {
        int code = -1;
        QString out, err;
    };
    ToolRun RunTool(const QStringList &args, const QString &busAddress = QString()) {
        std::unique_ptr<QProcess> tool = StartTool(args, busAddress);
        ToolRun run;
        if (!WaitUntil([&] { return tool->state() == QProcess::NotRunning; })) {
            ADD_FAILURE() << "lirvo-lyrics " << args.join(' ').toStdString() << " did not end";
            e2e::StopProcess(*tool, 5000);
            return run;
        }
        run.code = tool->exitStatus() == QProcess::NormalExit ? tool->exitCode() : -1;
        run.out = QString::fromUtf8(tool->readAllStandardOutput());
        run.err = QString::fromUtf8(tool->readAllStandardError());
        return run;
    }

    QTemporaryDir dir_;
    QString address_;
    QProcess daemon_;
    std::vector<QString> names_;
    std::unique_ptr<QDBusConnection> server_, client_;
    std::unique_ptr<SignalLog> log_;
    std::vector<std::unique_ptr<TLyricsBus>> buses_;
};

TEST_F(LyricsBusTest, PropertiesReadBackAndPositionComesFromTheClock) {
    TLyricsBus &bus = StartedBus(*server_);
    QVariantMap props = GetAll();
    EXPECT_EQ(props.value("Line"), QString());
    EXPECT_EQ(props.value("Status"), "Stopped");
    EXPECT_EQ(props.value("Player"), "org.mpris.MediaPlayer2.lirvo");

    TLyricsNow now = Playing("Line one", "第一行");
    now.player = "org.mpris.MediaPlayer2.other";
    bus.Publish(now);
    props = GetAll();
    EXPECT_EQ(props.size(), 8);
    EXPECT_EQ(props.value("Line"), "Line one");
    EXPECT_EQ(props.value("Translation"), "第一行");
    EXPECT_EQ(props.value("Status"), "Playing");
    EXPECT_EQ(props.value("Player"), "org.mpris.MediaPlayer2.other");
    EXPECT_EQ(props.value("Title"), "海阔天空");
    EXPECT_EQ(props.value("Artist"), "Beyond");
    EXPECT_EQ(props.value("Source"), "folder:/music/lrc/海阔天空 - Beyond.lrc");
    // Without a clock, the published position; with one, the clock at the moment of asking.
    EXPECT_EQ(props.value("Position").typeId(), QMetaType::LongLong);
    EXPECT_EQ(props.value("Position").toLongLong(), 61000);
    qint64 clock = 5000;
    bus.SetPositionSource([&clock] { return clock; });
    EXPECT_EQ(GetAll().value("Position").toLongLong(), 5000);
    clock = 7340;
    EXPECT_EQ(GetAll().value("Position").toLongLong(), 7340);

    // Source reads as `lirvo-lyrics find` names the lookup's result.
    EXPECT_EQ(LyricsSourceText(lyrics::TLyricSource::Online, "netease:1234"), "online:netease:1234");
    EXPECT_EQ(LyricsSourceText(lyrics::TLyricSource::Beside, "/m/a.lrc"), "beside:/m/a.lrc");
    EXPECT_EQ(LyricsSourceText(lyrics::TLyricSource::None, "x"), QString());
}

TEST_F(LyricsBusTest, EachPublishSendsOneSignalWithWhatChanged) {
    TLyricsBus &bus = StartedBus(*server_);
    SignalLog &log = Listen();

    bus.Publish(Playing("Line one", "第一行"));
    ASSERT_TRUE(WaitUntil([&] { return log.changes.size() == 1 && log.lines.size() == 1; }));
    EXPECT_EQ(log.changes[0].interface, "net.lirvo.Lyrics1");
    EXPECT_TRUE(log.changes[0].invalidated.isEmpty());
    // Player kept its value; Position is never announced.
    const QStringList expected{"Artist", "Line", "Source", "Status", "Title", "Translation"};
    EXPECT_EQ(log.changes[0].changed.keys(), expected);
    EXPECT_EQ(log.changes[0].changed.value("Line"), "Line one");
    EXPECT_EQ(log.lines[0], std::make_pair(QString("Line one"), QString("第一行")));

    // A clock that moves on alone is no change; the title after it is the next signal there is,
    // so a signal for the position would have arrived before it.
    TLyricsNow now = Playing("Line one", "第一行");
    now.positionMs = 99000;
    bus.Publish(now);
    bus.Publish(now); // nothing at all changed
    now.title = "Another title";
    bus.Publish(now);
    ASSERT_TRUE(WaitUntil([&] { return log.changes.size() >= 2; }));
    now.status = "Paused";
    bus.Publish(now);
    ASSERT_TRUE(WaitUntil([&] { return log.changes.size() >= 3; }));
    EXPECT_EQ(log.changes[1].changed, (QVariantMap{{"Title", "Another title"}}));
    EXPECT_EQ(log.changes[2].changed, (QVariantMap{{"Status", "Paused"}}));
    EXPECT_EQ(log.lines.size(), 1u) << "LineChanged without a change of line or translation";

    // The translation alone changes the line's pair.
    now.translation = "";
    bus.Publish(now);
    now.line = "Line two";
    bus.Publish(now);
    ASSERT_TRUE(WaitUntil([&] { return log.lines.size() == 3 && log.changes.size() == 5; }));
    EXPECT_EQ(log.lines[1], std::make_pair(QString("Line one"), QString()));
    EXPECT_EQ(log.lines[2], std::make_pair(QString("Line two"), QString()));
    EXPECT_EQ(log.changes[3].changed, (QVariantMap{{"Translation", ""}}));
    EXPECT_EQ(log.changes[4].changed, (QVariantMap{{"Line", "Line two"}}));
    EXPECT_EQ(log.changes.size(), 5u);
}

TEST_F(LyricsBusTest, IntrospectionDescribesWhatIsServed) {
    StartedBus(*server_);
    const QDBusMessage reply = Call("org.freedesktop.DBus.Introspectable", "Introspect", {});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QString xml = reply.arguments().at(0).toString();

    // What the interface describes: "type,access" per property, the arguments per signal,
    // "member@annotation" = value. Interfaces are siblings, so the last one opened is current.
    std::map<QString, QString> described;
    QString interface, member;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = reader.attributes().value("name").toString();
        const QString type = reader.attributes().value("type").toString();
        if (reader.name() == u"interface")
            interface = name;
        if (interface != "net.lirvo.Lyrics1")
            continue;
        if (reader.name() == u"property")
            described[member = name] = type + "," + reader.attributes().value("access").toString();
        else if (reader.name() == u"signal")
            described[member = name] = "";
        else if (reader.name() == u"arg")
            described[member] += name + ":" + type + " ";
        else if (reader.name() == u"annotation")
            described[member + "@" + name] = reader.attributes().value("value").toString();
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << xml.toStdString();
    EXPECT_TRUE(xml.contains("<interface name=\"org.freedesktop.DBus.Properties\">")) << xml.toStdString();
    const std::map<QString, QString> expected{
        {"Line", "s,read"},    {"Translation", "s,read"}, {"Position", "x,read"}, {"Status", "s,read"},
        {"Player", "s,read"},  {"Title", "s,read"},       {"Artist", "s,read"},   {"Source", "s,read"},
        {"LineChanged", "line:s translation:s "},
        {"Position@org.freedesktop.DBus.Property.EmitsChangedSignal", "false"}};
    EXPECT_EQ(described, expected) << xml.toStdString();

    // GetAll serves exactly the described properties, with the described types.
    const QVariantMap served = GetAll();
    EXPECT_EQ(served.size(), 8);
    for (auto it = served.begin(); it != served.end(); ++it) {
        const QString type = it.value().typeId() == QMetaType::LongLong ? "x"
                             : it.value().typeId() == QMetaType::QString ? "s"
                                                                         : it.value().typeName();
        EXPECT_EQ(described[it.key()], type + ",read") << it.key().toStdString();
    }
}

TEST_F(LyricsBusTest, ASecondInstanceLeavesTheNameToTheFirst) {
    TLyricsBus &first = StartedBus(*server_);
    first.Publish(Playing("first"));

    // Another Lirvo: its own connection to the same bus.
    auto second = std::make_unique<TLyricsBus>();
    second->Publish(Playing("second"));
    EXPECT_FALSE(second->Start(Connect("other")));
    EXPECT_FALSE(second->Started());
    // A second object on the same connection cannot be registered either.
    TLyricsBus sameConnection;
    EXPECT_FALSE(sameConnection.Start(*server_));
    EXPECT_EQ(NameOwner(), server_->baseService());
    EXPECT_EQ(GetAll().value("Line"), "first");

    // The name goes with the first one, and a later start takes it.
    buses_.clear();
    EXPECT_TRUE(WaitUntil([&] { return NameOwner().isEmpty(); }));
    QDBusConnection later = Connect("later");
    EXPECT_TRUE(second->Start(later));
    EXPECT_EQ(NameOwner(), later.baseService());
    EXPECT_EQ(GetAll().value("Line"), "second");
}

TEST_F(LyricsBusTest, NowPrintsTheLineOnOneLine) {
    TLyricsBus &bus = StartedBus(*server_);
    bus.Publish(Playing("Du\thast\nmich", "你\r\n问我"));
    ToolRun run = RunTool({"now"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Du hast mich\t你  问我\n");

    bus.Publish(Playing("only a line"));
    run = RunTool({"now"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "only a line\t\n");
}

TEST_F(LyricsBusTest, NowWithoutAPlayerFailsAtOnce) {
    ToolRun run = RunTool({"now"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.startsWith("lirvo-lyrics: the player is not running")) << run.err.toStdString();

    // Nothing serves the bus address at all.
    run = RunTool({"now"}, "unix:path=" + dir_.path() + "/no-bus");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.startsWith("lirvo-lyrics: cannot reach the session bus")) << run.err.toStdString();

    run = RunTool({"now", "--wach"});
    EXPECT_EQ(run.code, 2);
}

TEST_F(LyricsBusTest, WatchPrintsEveryChangeAndFollowsThePlayerAway) {
    TLyricsBus &bus = StartedBus(*server_);
    bus.Publish(Playing("zero"));
    std::unique_ptr<QProcess> watch = StartTool({"now", "--watch"});
    QStringList lines;
    QByteArray pending;
    const auto linesReach = [&](qsizetype count) {
        return WaitUntil([&] {
            pending += watch->readAllStandardOutput();
            for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
                lines << QString::fromUtf8(pending.left(end));
            return lines.size() >= count || watch->state() != QProcess::Running;
        }) && lines.size() >= count;
    };
    ASSERT_TRUE(linesReach(1)) << "no first line";
    EXPECT_EQ(lines[0], "zero\t");

    // Three lines in a row, without waiting between them: none is lost or merged. The
    // position alone prints nothing.
    TLyricsNow now = Playing("one");
    now.positionMs = 1;
    bus.Publish(now);
    now.positionMs = 2;
    bus.Publish(now);
    bus.Publish(Playing("two", "zwei"));
    bus.Publish(Playing("three\tdrei", "三"));
    ASSERT_TRUE(linesReach(4)) << lines.join('|').toStdString();
    EXPECT_EQ(lines.mid(1, 3), (QStringList{"one\t", "two\tzwei", "three drei\t三"}));

    // The player quits: an empty line; it comes back: its line.
    buses_.clear();
    ASSERT_TRUE(linesReach(5)) << lines.join('|').toStdString();
    EXPECT_EQ(lines[4], "");
    auto back = std::make_unique<TLyricsBus>();
    back->Publish(Playing("back")); // served from the start on
    ASSERT_TRUE(back->Start(Connect("restarted")));
    buses_.push_back(std::move(back));
    ASSERT_TRUE(linesReach(6)) << lines.join('|').toStdString();
    EXPECT_EQ(lines[5], "back\t");

    // The session's bus itself goes away: nothing can change any more, so it ends.
    e2e::StopProcess(daemon_, kPatienceMs);
    ASSERT_TRUE(WaitUntil([&] { return watch->state() == QProcess::NotRunning; })) << "still watching a dead bus";
    EXPECT_EQ(watch->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch->exitCode(), 1);
    EXPECT_TRUE(watch->readAllStandardError().contains("the session bus went away"));
    linesReach(7);
    EXPECT_EQ(lines.size(), 6) << lines.join('|').toStdString();
}

} // namespace
} // namespace lirvo::mpris

#include "LyricsBusTest.moc"
