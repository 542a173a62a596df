// The desktop band's karaoke sweep.
// - BM_SweepFrame: one whole sweep frame of a word-timed line across a 1920-pixel screen (the
//   window repaints only the part that changed, so this is the worst case). Goal: <= 2 ms.
// - BM_PlayingCpu: processor time of the real player (Xvfb, private HOME) while it plays the demo
//   song with every line word-timed, against the same song with the same lines plain, in the same
//   run. Goal: word-timed <= 2 x plain.

#include "XSession.h"
#include "lyrics/views/LyricRenderer.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <csignal>
#include <unistd.h>

namespace {

using namespace lirvo::lyrics;

QGuiApplication &App() {
    static int argc = 1;
    static char name[] = "bench_band";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication *app = new QGuiApplication(argc, argv);
    return *app;
}

TBandText TimedLine() {
    TBandText line;
    line.Text = "推开窗 风把清晨送进来 琴声一点点 落在窗台";
    const char *words[] = {"推开窗 ", "风把", "清晨", "送进来 ", "琴声", "一点点 ", "落在", "窗台"};
    int32_t t = 0;
    for (const char *w : words) {
        line.Words.push_back({t, w});
        t += 500;
    }
    line.WordsEnd = t;
    line.Translation = "I open the window and the wind brings the morning in";
    return line;
}

// Arguments: device pixels per logical pixel (1 or 2).
void BM_SweepFrame(benchmark::State &state) {
    App();
    const qreal scale = static_cast<qreal>(state.range(0));
    const TBandPicture picture(TimedLine(), 1870, 92, {}, scale);
    QImage window(picture.Plain().size(), QImage::Format_ARGB32_Premultiplied);
    window.setDevicePixelRatio(scale);
    int32_t clock = 0;
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(QPoint(0, 0), picture.Size()), Qt::transparent);
        picture.Draw(painter, clock);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
        clock = (clock + 20) % 4000;
    }
}
BENCHMARK(BM_SweepFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Laying out a new line and drawing its two pictures (once per line).
void BM_PrepareLine(benchmark::State &state) {
    App();
    const TBandText line = TimedLine();
    for (auto _ : state) {
        TBandPicture picture(line, 1870, 92, {}, 1.0);
        benchmark::DoNotOptimize(picture.Height());
    }
}
BENCHMARK(BM_PrepareLine)->Unit(benchmark::kMillisecond);

// ---- the real player ----

// The demo's lines, every 2 s, each made of words half a second apart.
QByteArray DemoLyric(bool timed) {
    const char *lines[] = {"推开窗 风把清晨送进来", "琴声一点点 落在窗台", "街角的灯 还没睡醒",
                           "我把今天 轻轻哼起",   "一行一行 歌词在桌面亮起", "跟着节拍 慢慢走过去",
                           "唱到最后 别急着停"};
    QByteArray text;
    for (int i = 0; i < 15; ++i) {
        const int start = 1000 + i * 2000;
        auto tag = [](int ms, char open, char close) {
            return QStringLiteral("%1%2:%3.%4%5")
                .arg(QChar(open))
                .arg(ms / 60000, 2, 10, QLatin1Char('0'))
                .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms % 1000 / 10, 2, 10, QLatin1Char('0'))
                .arg(QChar(close));
        };
        QString line = tag(start, '[', ']');
        const QString words = QString::fromUtf8(lines[i % 7]);
        if (!timed) {
            line += words;
        } else {
            // Two characters to a word.
            for (int c = 0, w = 0; c < words.size(); c += 2, ++w)
                line += tag(start + w * 300, '<', '>') + words.mid(c, 2);
            line += tag(start + 1900, '<', '>');
        }
        text += line.toUtf8() + "\n";
    }
    return text;
}

double CpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

lirvo::e2e::XSession &Screen() {
    static lirvo::e2e::XSession session;
    static const bool started = session.Start(1920, 1080);
    (void)started;
    return session;
}

// Processor seconds of the player over `seconds` of playing, after its start has settled.
double PlayingCpu(bool timed, int seconds) {
    QTemporaryDir home;
    const QString h = home.path();
    for (const char *sub : {"Documents", "run", ".config", ".cache"})
        QDir().mkpath(h + "/" + sub);
    QFile::setPermissions(h + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::copy(QStringLiteral(LIRVO_SOURCE_DIR "/resources/demo/lirvo-demo.ogg"), h + "/song.ogg");
    QFile lyric(h + "/song.lrc");
    if (!lyric.open(QIODevice::WriteOnly))
        return -1;
    lyric.write(DemoLyric(timed));
    lyric.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", h);
    env.insert("XDG_RUNTIME_DIR", h + "/run");
    env.insert("XDG_DOCUMENTS_DIR", h + "/Documents");
    env.insert("XDG_CONFIG_HOME", h + "/.config");
    env.insert("XDG_CACHE_HOME", h + "/.cache");
    env.insert("DISPLAY", Screen().Display());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("SDL_AUDIODRIVER", qEnvironmentVariable("SDL_AUDIODRIVER", "dummy"));
    env.remove("WAYLAND_DISPLAY");
    QProcess player;
    player.setProcessEnvironment(env);
    player.start(QStringLiteral(LIRVO_BIN_DIR "/lirvo"), {h + "/song.ogg"});
    if (!player.waitForStarted(10000))
        return -1;
    QThread::sleep(4);
    const double before = CpuSeconds(player.processId());
    QThread::sleep(static_cast<unsigned long>(seconds));
    const double after = CpuSeconds(player.processId());
    ::kill(static_cast<pid_t>(player.processId()), SIGTERM);
    if (!player.waitForFinished(20000))
        player.kill();
    player.waitForFinished(5000);
    return before < 0 || after < 0 ? -1 : after - before;
}

void BM_PlayingCpu(benchmark::State &state) {
    if (Screen().Display().isEmpty()) {
        state.SkipWithError("no X server");
        return;
    }
    constexpr int kSeconds = 20;
    double plain = 0, timed = 0;
    for (auto _ : state) {
        plain = PlayingCpu(false, kSeconds);
        timed = PlayingCpu(true, kSeconds);
        state.SetIterationTime(2.0 * kSeconds);
    }
    if (plain <= 0 || timed < 0) {
        state.SkipWithError("the player could not be measured");
        return;
    }
    state.counters["plain_cpu_pct"] = 100.0 * plain / kSeconds;
    state.counters["timed_cpu_pct"] = 100.0 * timed / kSeconds;
    state.counters["timed_over_plain"] = timed / plain;
}
BENCHMARK(BM_PlayingCpu)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
