// What following another player costs: the follower beside a real mpv (continuous Position)
// and a real Audacious (250 ms steps) on a private bus, with the band's poll of PositionMs at
// 25 frames a second, measured as the process's CPU time (every thread, QtDBus's included)
// against the wall time. The same poll without a follower is the floor. Goal: following one
// player costs at most 0.3 % of a core.
#include "../../tests/follow/FollowTestBus.h"

#include "follow/MprisFollower.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <time.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

using namespace lirvo::follow;
using lirvo::follow::testing::WaitUntil;

constexpr int kMeasureMs = 20000;
constexpr int kPollMs = 40; // 25 frames a second

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The bus, the media and the players, made once per run.
class Peers {
public:
    static Peers &Get() {
        static Peers peers;
        return peers;
    }
    lirvo::follow::testing::PrivateBus bus;
    bool haveMpv = false;
    bool haveAudacious = false;

    void StartMpv() {
        if (mpv_.state() == QProcess::Running || !haveMpv)
            return;
        lirvo::e2e::EndWithTest(mpv_);
        mpv_.setProcessEnvironment(bus.Environment());
        mpv_.setStandardOutputFile(QProcess::nullDevice());
        mpv_.setStandardErrorFile(QProcess::nullDevice());
        mpv_.start("mpv", {"--no-config", "--load-scripts=no", "--script=/usr/lib/mpv-mpris/mpris.so", "--ao=null",
                           "--vo=null", "--idle=no", "--quiet", "--loop-file=inf", tone_});
        mpv_.waitForStarted(30000);
    }
    void StopMpv() { lirvo::e2e::StopProcess(mpv_, 10000); }

    void StartAudacious() {
        if (audacious_.state() == QProcess::Running || !haveAudacious)
            return;
        const QString home = dir_.path() + "/audacious-home";
        QDir().mkpath(home + "/config/audacious");
        struct stat info {};
        ::stat(QFile::encodeName(sdlOutput_).constData(), &info);
        QFile registry(home + "/config/audacious/plugin-registry");
        registry.open(QIODevice::WriteOnly);
        registry.write(QStringLiteral("format 11\noutput %1\nstamp %2\nversion 48\nflags 0\nname SDL Output\n"
                                      "domain audacious-plugins\npriority 0\nabout 0\nconfig 0\nenabled 1\n")
                           .arg(sdlOutput_)
                           .arg(static_cast<qlonglong>(info.st_mtime))
                           .toUtf8());
        registry.close();
        QProcessEnvironment env = bus.Environment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("SDL_AUDIODRIVER", "dummy");
        lirvo::e2e::EndWithTest(audacious_);
        audacious_.setProcessEnvironment(env);
        audacious_.setStandardOutputFile(QProcess::nullDevice());
        audacious_.setStandardErrorFile(QProcess::nullDevice());
        audacious_.start("audacious", {"-H", "-p", tone_});
        audacious_.waitForStarted(30000);
    }
    void StopAudacious() { lirvo::e2e::StopProcess(audacious_, 10000); }

    ~Peers() {
        StopMpv();
        StopAudacious();
    }

private:
    Peers() {
        lirvo::follow::testing::App();
        if (!dir_.isValid() || !bus.Start())
            throw std::runtime_error("no private bus (dbus-daemon)");
        tone_ = dir_.path() + "/tone.ogg";
        QProcess ffmpeg;
        lirvo::e2e::EndWithTest(ffmpeg);
        ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=600", "-metadata",
                                "title=Bench Tone", "-metadata", "artist=Bench", "-c:a", "libvorbis", tone_});
        ffmpeg.waitForFinished(120000);
        haveMpv = !QStandardPaths::findExecutable("mpv").isEmpty() && QFile::exists("/usr/lib/mpv-mpris/mpris.so");
        for (const QString &root : {QStringLiteral("/usr/lib"), QStringLiteral("/usr/lib64")}) {
            QStringList folders{root};
            for (const QString &sub : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                folders << root + "/" + sub;
            for (const QString &folder : folders)
                if (sdlOutput_.isEmpty() && QFile::exists(folder + "/audacious/Output/sdlout.so"))
                    sdlOutput_ = folder + "/audacious/Output/sdlout.so";
        }
        haveAudacious = !QStandardPaths::findExecutable("audacious").isEmpty() && !sdlOutput_.isEmpty();
    }

    QTemporaryDir dir_;
    QString tone_, sdlOutput_;
    QProcess mpv_, audacious_;
};

// Runs the event loop for kMeasureMs with the 25 fps poll; CPU share of one core in percent.
double MeasureWithPoll(const TMprisFollower *follower, qint64 &polls, qint64 &validPolls) {
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ++polls;
        if (follower && follower->PositionMs() >= 0)
            ++validPolls;
    });
    poll.start(kPollMs);
    // A plain event loop: nothing else wakes the process but the poll and the follower.
    QEventLoop loop;
    QTimer::singleShot(kMeasureMs, &loop, &QEventLoop::quit);
    const double cpu0 = ProcessCpuSeconds(), wall0 = WallSeconds();
    loop.exec();
    const double cpu = ProcessCpuSeconds() - cpu0, wall = WallSeconds() - wall0;
    return 100.0 * cpu / wall;
}

void Report(benchmark::State &state, double percent, qint64 polls, qint64 validPolls) {
    state.counters["cpu_percent_of_core"] = percent;
    state.counters["polls"] = static_cast<double>(polls);
    state.counters["valid_polls"] = static_cast<double>(validPolls);
}

// The floor: the event loop with the 25 fps poll and nothing followed.
void BM_PollWithoutFollower(benchmark::State &state) {
    Peers::Get();
    for (auto _ : state) {
        qint64 polls = 0, valid = 0;
        const double percent = MeasureWithPoll(nullptr, polls, valid);
        Report(state, percent, polls, valid);
    }
}
BENCHMARK(BM_PollWithoutFollower)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void FollowOne(benchmark::State &state, bool audacious) {
    Peers &peers = Peers::Get();
    if (audacious ? !peers.haveAudacious : !peers.haveMpv) {
        state.SkipWithError(audacious ? "audacious (with its SDL output) is not installed"
                                      : "mpv or its MPRIS script is not installed");
        return;
    }
    audacious ? peers.StartAudacious() : peers.StartMpv();
    for (auto _ : state) {
        TMprisFollower follower(peers.bus.Connect("bench"));
        follower.SetEnabled(true);
        if (!WaitUntil([&] { return follower.PositionMs() > 1000; }, 60000)) {
            state.SkipWithError("the player was not followed");
            break;
        }
        qint64 polls = 0, valid = 0;
        const double percent = MeasureWithPoll(&follower, polls, valid);
        Report(state, percent, polls, valid);
    }
    audacious ? peers.StopAudacious() : peers.StopMpv();
}

void BM_FollowMpv(benchmark::State &state) {
    FollowOne(state, false);
}
BENCHMARK(BM_FollowMpv)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_FollowAudacious(benchmark::State &state) {
    FollowOne(state, true);
}
BENCHMARK(BM_FollowAudacious)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One frame's question to the clock.
void BM_ClockPositionMs(benchmark::State &state) {
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    clock.OnReadSent(0);
    clock.OnPosition(61'000, 0, 2);
    std::int64_t now = 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(clock.PositionMs(now += 40));
}
BENCHMARK(BM_ClockPositionMs);

} // namespace
