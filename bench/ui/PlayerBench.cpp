// The player's start-up time (process start to the main window's first frame) and its
// resident memory after 30 s of playing the demo song with the desktop lyric shown, on a
// private X server with a private HOME. Goals: first frame under 400 ms, memory under 120 MB.

#include "XSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <csignal>
#include <ctime>

namespace {

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Sandbox {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString song;

    explicit Sandbox(const QString &display) {
        const QString h = home.path();
        for (const char *sub : {"Documents", "run", ".config", ".cache"})
            QDir().mkpath(h + "/" + sub);
        QFile::setPermissions(h + "/run",
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        song = h + "/lirvo-demo.ogg";
        QFile::copy(QStringLiteral(LIRVO_SOURCE_DIR "/resources/demo/lirvo-demo.ogg"), song);
        QFile::copy(QStringLiteral(LIRVO_SOURCE_DIR "/resources/demo/lirvo-demo.lrc"), h + "/lirvo-demo.lrc");
        env.insert("HOME", h);
        env.insert("XDG_RUNTIME_DIR", h + "/run");
        env.insert("XDG_DOCUMENTS_DIR", h + "/Documents");
        env.insert("XDG_CONFIG_HOME", h + "/.config");
        env.insert("XDG_CACHE_HOME", h + "/.cache");
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("SDL_AUDIODRIVER", qEnvironmentVariable("SDL_AUDIODRIVER", "dummy"));
        env.insert("LIRVO_FIRST_FRAME_FILE", h + "/first-frame");
        env.remove("WAYLAND_DISPLAY");
    }
};

void Stop(QProcess &player) {
    ::kill(static_cast<pid_t>(player.processId()), SIGTERM);
    if (!player.waitForFinished(20000))
        player.kill();
    player.waitForFinished(5000);
}

// One X server for the whole run; it is stopped when the program ends.
lirvo::e2e::XSession &Screen() {
    static lirvo::e2e::XSession session;
    static const bool started = [] {
        const bool ok = session.Start(1920, 1080);
        if (!ok)
            std::fprintf(stderr, "bench: %s\n", qPrintable(session.Error()));
        return ok;
    }();
    (void)started;
    return session;
}

// Time from process start to the first frame of the main window. The first start of each
// sandbox also compiles the QML into its disk cache, so it is reported apart ("cold").
void BM_FirstFrame(benchmark::State &state) {
    if (Screen().Display().isEmpty()) {
        state.SkipWithError("no X server");
        return;
    }
    Sandbox box(Screen().Display());
    double coldMs = 0;
    bool cold = true;
    for (auto _ : state) {
        QFile::remove(box.home.path() + "/first-frame");
        QProcess player;
        player.setProcessEnvironment(box.env);
        const std::int64_t started = MonotonicNs();
        player.start(QStringLiteral(LIRVO_BIN_DIR "/lirvo"), {});
        QElapsedTimer clock;
        clock.start();
        QFile mark(box.home.path() + "/first-frame");
        while (!mark.exists() && clock.elapsed() < 30000)
            QThread::usleep(500);
        QThread::msleep(20);
        if (!mark.open(QIODevice::ReadOnly)) {
            Stop(player);
            state.SkipWithError("no first frame within 30 s");
            return;
        }
        const double ms = (mark.readAll().trimmed().toLongLong() - started) / 1e6;
        state.SetIterationTime(ms / 1000.0);
        if (cold)
            coldMs = ms;
        cold = false;
        Stop(player);
    }
    state.counters["cold_first_frame_ms"] = coldMs;
}
BENCHMARK(BM_FirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

// Resident memory after 30 s of playing the demo song with the desktop lyric shown.
void BM_MemoryAfter30sPlaying(benchmark::State &state) {
    if (Screen().Display().isEmpty()) {
        state.SkipWithError("no X server");
        return;
    }
    Sandbox box(Screen().Display());
    double rssMb = 0, peakMb = 0;
    for (auto _ : state) {
        QProcess player;
        player.setProcessEnvironment(box.env);
        player.start(QStringLiteral(LIRVO_BIN_DIR "/lirvo"), {box.song});
        player.waitForStarted(10000);
        QThread::sleep(30);
        QFile status(QStringLiteral("/proc/%1/status").arg(player.processId()));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : status.readAll().split('\n')) {
                const QList<QByteArray> parts = line.simplified().split(' ');
                if (parts.size() >= 2 && parts[0] == "VmRSS:")
                    rssMb = parts[1].toDouble() / 1024.0;
                if (parts.size() >= 2 && parts[0] == "VmHWM:")
                    peakMb = parts[1].toDouble() / 1024.0;
            }
        }
        Stop(player);
        state.SetIterationTime(30);
    }
    state.counters["rss_mb"] = rssMb;
    state.counters["peak_rss_mb"] = peakMb;
}
BENCHMARK(BM_MemoryAfter30sPlaying)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
