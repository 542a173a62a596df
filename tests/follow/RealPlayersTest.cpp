// The follower against real players on a private bus: mpv with its MPRIS script (driven by
// playerctl and its JSON IPC), Audacious headless on SDL's dummy output (stepped Position),
// and playerctld beside them. Every wait is on a condition with a deadline; the fixed runs
// are where a test checks that something does not happen or samples the clock.

#include "follow/MprisFollower.h"

#include "FollowTestBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::follow {
namespace {

using testing::kPatienceMs;
using testing::RunFor;
using testing::WaitUntil;

const QString kMpvScript = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");
const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");

// Audacious's SDL output plug-in, in the plug-in folder of the distribution's library folder
// (/usr/lib/x86_64-linux-gnu/audacious/Output on Debian).
QString SdlOutputPlugin() {
    static const QString found = [] {
        for (const QString &root : {QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib64"), QStringLiteral("/usr/local/lib")}) {
            QStringList folders{root};
            for (const QString &sub : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                folders << root + "/" + sub;
            for (const QString &folder : folders)
                if (QFile::exists(folder + "/audacious/Output/sdlout.so"))
                    return folder + "/audacious/Output/sdlout.so";
        }
        return QString();
    }();
    return found;
}

// One command over mpv's JSON IPC; its answer line, or "" when none came.
std::string MpvCommand(const QString &socketPath, const std::string &json) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.constData());
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const std::string line = json + "\n";
        if (::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
            std::string buffer;
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < 10000) {
                pollfd ready{fd, POLLIN, 0};
                if (::poll(&ready, 1, 100) <= 0)
                    continue;
                char chunk[4096];
                const ssize_t got = ::read(fd, chunk, sizeof chunk);
                if (got <= 0)
                    break;
                buffer.append(chunk, static_cast<std::size_t>(got));
                std::size_t end;
                bool done = false;
                while ((end = buffer.find('\n')) != std::string::npos) {
                    const std::string reply = buffer.substr(0, end);
                    buffer.erase(0, end + 1);
                    if (reply.find("\"error\"") != std::string::npos) { // not an event
                        answer = reply;
                        done = true;
                        break;
                    }
                }
                if (done)
                    break;
            }
        }
    }
    ::close(fd);
    return answer;
}

class RealPlayers : public ::testing::Test {
protected:
    void SetUp() override {
        testing::App();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(bus_.Start()) << "dbus-daemon did not start";
        follower_ = std::make_unique<TMprisFollower>(bus_.Connect("follower"));
        QObject::connect(follower_.get(), &TMprisFollower::followedChanged, follower_.get(),
                         [this](const QString &name, const QString &) { followed_.push_back(name); });
        QObject::connect(follower_.get(), &TMprisFollower::trackChanged, follower_.get(),
                         [this](const TFollowedTrack &track) { tracks_.push_back(track); });
    }

    void TearDown() override {
        follower_.reset();
        for (auto &process : processes_)
            e2e::StopProcess(*process, 10000, true);
    }

    bool Have(const QString &program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

    // A sine tone of `seconds` with these tags, made by ffmpeg.
    QString Tone(const QString &name, const QString &title, const QString &artist, int seconds, int hertz) {
        const QString path = dir_.path() + "/" + name;
        QProcess ffmpeg;
        e2e::EndWithTest(ffmpeg);
        ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                QStringLiteral("sine=frequency=%1:duration=%2").arg(hertz).arg(seconds), "-metadata",
                                "title=" + title, "-metadata", "artist=" + artist, "-metadata", "album=Tones", "-c:a",
                                "libvorbis", path});
        EXPECT_TRUE(ffmpeg.waitForFinished(60000));
        EXPECT_EQ(ffmpeg.exitCode(), 0) << "ffmpeg could not make " << qPrintable(name);
        return path;
    }

    QProcess &Spawn(const QString &program, const QStringList &args, const QProcessEnvironment &env) {
        processes_.push_back(std::make_unique<QProcess>());
        QProcess &process = *processes_.back();
        e2e::EndWithTest(process);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted(kPatienceMs)) << qPrintable(program);
        return process;
    }

    QProcess &StartMpv(const QString &file) {
        mpvSocket_ = dir_.path() + "/mpv.sock";
        return Spawn("mpv",
                     {"--no-config", "--load-scripts=no", "--script=" + kMpvScript, "--ao=null", "--vo=null",
                      "--idle=no", "--quiet", "--input-ipc-server=" + mpvSocket_, file},
                     bus_.Environment());
    }

    // Audacious without a window on SDL's dummy output, in a private home whose plug-in
    // registry enables the SDL output alone (the other outputs fail here or need a server).
    QProcess &StartAudacious(const QString &file) {
        const QString home = dir_.path() + "/audacious-home";
        QDir().mkpath(home + "/config/audacious");
        QDir().mkpath(home + "/data");
        QDir().mkpath(home + "/cache");
        const QString plugin = SdlOutputPlugin();
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(plugin).constData(), &info), 0);
        QFile registry(home + "/config/audacious/plugin-registry");
        EXPECT_TRUE(registry.open(QIODevice::WriteOnly));
        registry.write(QStringLiteral("format 11\noutput %1\nstamp %2\nversion 48\nflags 0\nname SDL Output\n"
                                      "domain audacious-plugins\npriority 0\nabout 0\nconfig 0\nenabled 1\n")
                           .arg(plugin)
                           .arg(static_cast<qlonglong>(info.st_mtime))
                           .toUtf8());
        registry.close();
        QProcessEnvironment env = bus_.Environment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CACHE_HOME", home + "/cache");
        env.insert("SDL_AUDIODRIVER", "dummy");
        return Spawn("audacious", {"-H", "-p", file}, env);
    }

    // playerctl on the private bus; its exit code.
    int Ctl(const QStringList &args) {
        QProcess ctl;
        e2e::EndWithTest(ctl);
        ctl.setProcessEnvironment(bus_.Environment());
        ctl.start("playerctl", args);
        if (!ctl.waitForFinished(20000)) {
            e2e::StopProcess(ctl, 0);
            return -1;
        }
        return ctl.exitCode();
    }

    // mpv's own position, through its IPC.
    std::optional<double> MpvPositionMs() {
        const std::string answer = MpvCommand(mpvSocket_, R"({"command":["get_property","time-pos"]})");
        const std::size_t data = answer.find("\"data\":");
        if (data == std::string::npos)
            return std::nullopt;
        return std::strtod(answer.c_str() + data + 7, nullptr) * 1000.0;
    }

    // The follower's position and mpv's, taken one after the other: their difference.
    std::optional<double> DifferenceFromMpv() {
        const qint64 ours = follower_->PositionMs();
        const std::optional<double> theirs = MpvPositionMs();
        if (ours < 0 || !theirs)
            return std::nullopt;
        return static_cast<double>(ours) - *theirs;
    }

    bool FollowsSoon(const QString &suffix) {
        return WaitUntil([&] { return follower_->FollowedName() == (suffix.isEmpty() ? QString() : kPrefix + suffix); });
    }

    bool TrackTitled(const std::string &title) {
        return WaitUntil([&] { return !tracks_.empty() && tracks_.back().Title == title; });
    }

    // Every 10 ms for `ms`: the follower's positions.
    std::vector<qint64> Sample(int ms) {
        std::vector<qint64> samples;
        QTimer every;
        every.setTimerType(Qt::PreciseTimer);
        QObject::connect(&every, &QTimer::timeout, [&] { samples.push_back(follower_->PositionMs()); });
        every.start(10);
        RunFor(ms);
        return samples;
    }

    QTemporaryDir dir_;
    testing::PrivateBus bus_;
    std::unique_ptr<TMprisFollower> follower_;
    std::vector<std::unique_ptr<QProcess>> processes_;
    QString mpvSocket_;
    std::vector<QString> followed_;
    std::vector<TFollowedTrack> tracks_;
};

#define REQUIRE_MPV()                                                                                               \
    do {                                                                                                            \
        if (!Have("mpv") || !QFile::exists(kMpvScript))                                                             \
            GTEST_SKIP() << "mpv or its MPRIS script (" << qPrintable(kMpvScript) << ") is not installed";        \
    } while (false)

TEST_F(RealPlayers, MpvClockAtStartAfterASeekAndPaused) {
    REQUIRE_MPV();
    ASSERT_TRUE(Have("playerctl")) << "playerctl is needed to drive mpv";
    StartMpv(Tone("tone.ogg", "Sine Title", "Sine Artist", 60, 440));
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("mpv"));
    ASSERT_TRUE(TrackTitled("Sine Title"));
    EXPECT_EQ(tracks_.back().Artist, "Sine Artist");
    EXPECT_EQ(tracks_.back().Album, "Tones");
    EXPECT_NEAR(static_cast<double>(tracks_.back().LengthMs), 60'000, 100);
    EXPECT_TRUE(IsReadableLocalFile(tracks_.back().LocalPath)) << tracks_.back().LocalPath;

    const auto within = [this](double limitMs) {
        return WaitUntil([&] {
            const std::optional<double> difference = DifferenceFromMpv();
            return difference && std::fabs(*difference) <= limitMs;
        });
    };
    ASSERT_TRUE(within(300)) << "at the start";
    ASSERT_EQ(Ctl({"-p", "mpv", "position", "20"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return follower_->PositionMs() >= 19'500; }));
    ASSERT_TRUE(within(300)) << "after the seek";

    ASSERT_EQ(Ctl({"-p", "mpv", "pause"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return follower_->Status().Playback == TPlayback::Paused; }));
    ASSERT_TRUE(within(300)) << "paused";
    const std::vector<qint64> held = Sample(1500);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held.front(), held.back()) << "paused, the clock stands";
    ASSERT_EQ(Ctl({"-p", "mpv", "play"}), 0);
    ASSERT_TRUE(WaitUntil([&] { return follower_->PositionMs() > held.back() + 500; }));
}

// mpv keeps its track id (the playlist index) after `loadfile replace` and sends the file
// name as the title before the tags.
TEST_F(RealPlayers, MpvLoadfileReplaceGivesTheNewTrack) {
    REQUIRE_MPV();
    const QString second = Tone("second.ogg", "Second Title", "Second Artist", 30, 660);
    StartMpv(Tone("first.ogg", "First Title", "First Artist", 30, 440));
    follower_->SetEnabled(true);
    ASSERT_TRUE(TrackTitled("First Title"));
    const std::string firstId = tracks_.back().TrackId;
    ASSERT_NE(MpvCommand(mpvSocket_, R"({"command":["loadfile",")" + second.toStdString() + R"(","replace"]})"), "");
    ASSERT_TRUE(TrackTitled("Second Title"));
    EXPECT_EQ(tracks_.back().Artist, "Second Artist");
    EXPECT_EQ(tracks_.back().TrackId, firstId) << "mpv's id did not tell the tracks apart";
    ASSERT_EQ(tracks_.size(), 2u) << "the file name standing in for the title was no track: " << tracks_[1].Title;
}

TEST_F(RealPlayers, AudaciousStartedLaterIsFollowedAndPausingItGoesBack) {
    REQUIRE_MPV();
    if (!Have("audacious"))
        GTEST_SKIP() << "audacious is not installed";
    ASSERT_FALSE(SdlOutputPlugin().isEmpty()) << "Audacious has no SDL output plug-in (audacious-plugins)";
    ASSERT_TRUE(Have("playerctl")) << "playerctl is needed to drive Audacious";
    StartMpv(Tone("mpv.ogg", "Mpv Title", "Mpv Artist", 60, 440));
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("mpv"));
    StartAudacious(Tone("audacious.ogg", "Audacious Title", "Audacious Artist", 45, 550));
    ASSERT_TRUE(FollowsSoon("audacious"));
    ASSERT_TRUE(TrackTitled("Audacious Title"));
    ASSERT_TRUE(WaitUntil([&] { return follower_->PositionMs() > 1000; }))
        << "Audacious's position does not move (is its output working?)";

    // Audacious reports Position in 250 ms steps: sampled every 10 ms, the clock never goes back.
    const std::vector<qint64> samples = Sample(3000);
    ASSERT_GT(samples.size(), 100u);
    std::size_t back = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i] < samples[i - 1])
            ++back;
    EXPECT_EQ(back, 0u);
    EXPECT_GT(samples.back() - samples.front(), 2000) << "it ran with the music";
    EXPECT_GE(samples.front(), 0);
    // Against Audacious's own reading, which lies up to one step behind the true position.
    QDBusConnection look = bus_.Connect("look");
    for (int i = 0; i < 10; ++i) {
        const QDBusMessage reply = look.call(QDBusMessage::createMethodCall(
            kPrefix + "audacious", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get")
                                                 << QString("org.mpris.MediaPlayer2.Player") << QString("Position"));
        const qint64 ours = follower_->PositionMs();
        std::int64_t reportedUs = 0;
        ASSERT_TRUE(!reply.arguments().isEmpty() && BusNumber(reply.arguments().front(), reportedUs));
        const double ahead = static_cast<double>(ours) - static_cast<double>(reportedUs) / 1000.0;
        EXPECT_GE(ahead, -100.0) << i;
        EXPECT_LE(ahead, 250.0 + 100.0) << i;
        RunFor(110);
    }

    ASSERT_EQ(Ctl({"-p", "audacious", "pause"}), 0);
    ASSERT_TRUE(FollowsSoon("mpv")) << "mpv still plays";
    ASSERT_TRUE(TrackTitled("Mpv Title"));
}

TEST_F(RealPlayers, OwnPlaybackTakesOverAndGivesBack) {
    REQUIRE_MPV();
    StartMpv(Tone("tone.ogg", "Sine Title", "Sine Artist", 60, 440));
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("mpv"));
    ASSERT_TRUE(WaitUntil([&] { return follower_->PositionMs() >= 0 && tracks_.size() == 1; }));
    follower_->SetOwnPlaybackActive(true);
    EXPECT_EQ(follower_->Status().Mode, TFollowStatus::TMode::Own);
    EXPECT_EQ(follower_->FollowedName(), QString());
    EXPECT_EQ(follower_->PositionMs(), -1);
    RunFor(500);
    EXPECT_EQ(follower_->FollowedName(), QString()) << "nothing else while own playback runs";
    follower_->SetOwnPlaybackActive(false);
    ASSERT_TRUE(FollowsSoon("mpv"));
    ASSERT_TRUE(WaitUntil([&] {
        const std::optional<double> difference = DifferenceFromMpv();
        return difference && std::fabs(*difference) <= 300;
    }));
    ASSERT_TRUE(WaitUntil([&] { return tracks_.size() == 2; })) << "the track is reported again";

    follower_->SetEnabled(false);
    EXPECT_EQ(follower_->Status().Mode, TFollowStatus::TMode::Disabled);
    EXPECT_TRUE(follower_->Candidates().isEmpty());
    EXPECT_EQ(follower_->PositionMs(), -1);
}

TEST_F(RealPlayers, PlayerctldIsNeverFollowedAndAVanishedPlayerLeavesNone) {
    REQUIRE_MPV();
    if (!Have("playerctld"))
        GTEST_SKIP() << "playerctld is not installed";
    follower_->SetEnabled(true);
    Spawn("playerctld", {}, bus_.Environment());
    QDBusConnection look = bus_.Connect("look");
    ASSERT_TRUE(WaitUntil([&] { return look.interface()->isServiceRegistered(kPrefix + "playerctld").value(); }))
        << "playerctld did not register";
    QProcess &mpv = StartMpv(Tone("tone.ogg", "Sine Title", "Sine Artist", 60, 440));
    ASSERT_TRUE(FollowsSoon("mpv"));
    ASSERT_TRUE(TrackTitled("Sine Title"));
    RunFor(2000); // playerctld now mirrors mpv, playing, and registered first
    for (const QString &name : followed_)
        EXPECT_FALSE(name.endsWith("playerctld"));
    for (const TFollowCandidate &candidate : follower_->Candidates())
        EXPECT_FALSE(candidate.BusName.endsWith("playerctld"));
    EXPECT_EQ(follower_->FollowedName(), kPrefix + "mpv");

    e2e::StopProcess(mpv, 10000);
    ASSERT_TRUE(FollowsSoon(QString())) << "playerctld stays, but is no player";
    EXPECT_EQ(follower_->Status().Mode, TFollowStatus::TMode::None);
    EXPECT_EQ(follower_->PositionMs(), -1);
}

} // namespace
} // namespace lirvo::follow
