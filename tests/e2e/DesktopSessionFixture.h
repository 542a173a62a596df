#pragma once
// The player fixture plus a private session bus (a dbus-daemon of its own, so the test needs
// no bus from whoever runs it), with playerctl and dbus-monitor pointed at it.

#include "PlayerFixture.h"

#include "storage/UDDPlayerlist.h"

#include <QRegularExpression>

#include <string>
#include <vector>

namespace lirvo::e2e {

class DesktopSession : public PlayerEndToEnd {
protected:
    void SetUp() override {
        PlayerEndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        const QString address = "unix:path=" + home_.path() + "/run/bus";
        EndWithTest(bus_);
        bus_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        bus_.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + address});
        ASSERT_TRUE(bus_.waitForStarted(10000)) << "dbus-daemon is missing";
        ASSERT_TRUE(WaitUntil([&] { return QFile::exists(home_.path() + "/run/bus"); }, 10000));
        env_.insert("DBUS_SESSION_BUS_ADDRESS", address);
    }

    void TearDown() override {
        StopProcess(monitor_, 5000, false, SIGKILL);
        PlayerEndToEnd::TearDown();
        StopProcess(bus_, 5000);
    }

    // Starts the first instance with these arguments and waits until it answers.
    void StartPlayerWith(const QStringList &args) {
        EndWithTest(player_);
        player_.setProcessEnvironment(env_);
        player_.setProcessChannelMode(QProcess::ForwardedChannels);
        player_.start(bin_ + "/lirvo", args);
        ASSERT_TRUE(player_.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return player_.state() != QProcess::Running || Send({"cmd", "15"}) == "1";
            },
            60000));
        ASSERT_EQ(player_.state(), QProcess::Running) << "exit code " << player_.exitCode();
    }

    // playerctl on the private bus, for the player "lirvo"; its output, trimmed.
    QString Ctl(const QStringList &args, int *exitCode = nullptr) {
        QProcess ctl;
        EndWithTest(ctl);
        ctl.setProcessEnvironment(env_);
        ctl.start("playerctl", QStringList{"-p", "lirvo"} + args);
        const bool finished = ctl.waitForFinished(20000);
        if (!finished)
            StopProcess(ctl, 0);
        if (exitCode)
            *exitCode = finished ? ctl.exitCode() : -1;
        return QString::fromUtf8(ctl.readAllStandardOutput()).trimmed();
    }

    bool CtlSays(const QStringList &args, const QString &expected, int ms = kPatienceMs) {
        return WaitUntil([&] { return Ctl(args) == expected; }, ms);
    }

    // Records the player's signals on the bus from now on: dbus-monitor watches once it has
    // given up its own bus name to become a monitor.
    void StartMonitor() {
        EndWithTest(monitor_);
        monitor_.setProcessEnvironment(env_);
        monitor_.start("dbus-monitor", {"--session", "type='signal',path='/org/mpris/MediaPlayer2'"});
        ASSERT_TRUE(monitor_.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return MonitorText().contains("member=NameLost"); }, kPatienceMs))
            << "dbus-monitor did not start watching";
    }
    QString MonitorText() {
        monitor_.waitForReadyRead(200);
        monitorText_ += QString::fromUtf8(monitor_.readAllStandardOutput());
        return monitorText_;
    }

    // Starts `lirvo` with these arguments and waits until it ends (a later start).
    int StartAnother(const QStringList &args) {
        QProcess another;
        EndWithTest(another);
        another.setProcessEnvironment(env_);
        another.setProcessChannelMode(QProcess::ForwardedChannels);
        another.start(bin_ + "/lirvo", args);
        if (!another.waitForFinished(90000)) {
            StopProcess(another, 5000, true);
            return -1;
        }
        return another.exitCode();
    }

    // The saved playlist's paths, after the player has quit.
    std::vector<std::string> SavedPaths() {
        storage::TDKPlist list(DataFile("Default.pls").toStdString(), "DefaultList");
        list.LoadList("PlayerList");
        std::vector<std::string> paths;
        for (const auto &entry : list.Entries())
            paths.push_back(entry.Path);
        return paths;
    }

    // A copy of the demo song with these tags.
    void TaggedCopy(const QString &name, const QString &title, const QString &artist, const QString &album) {
        QProcess ffmpeg;
        EndWithTest(ffmpeg);
        ffmpeg.start("ffmpeg",
                     {"-v", "error", "-y", "-i", Song("lirvo-demo.ogg"), "-map_metadata", "-1",
                      "-map_metadata:s:a", "-1", "-metadata:s:a", "title=" + title, "-metadata:s:a",
                      "artist=" + artist, "-metadata:s:a", "album=" + album, "-c", "copy", Song(name)});
        ASSERT_TRUE(ffmpeg.waitForFinished(30000));
        ASSERT_EQ(ffmpeg.exitCode(), 0);
    }

    void QuitPlayer() {
        ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal)
            << "the player did not end on SIGTERM";
        EXPECT_EQ(player_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(player_.exitCode(), 0);
    }

    QProcess bus_, monitor_;
    QString monitorText_;
};

} // namespace lirvo::e2e
