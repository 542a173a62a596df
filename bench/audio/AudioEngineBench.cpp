// Time from PlayFile to status 1002 for a local MP3, and GetTags per file, through the real
// audio library. The test files are made once per run with ffmpeg in a private folder.

#include "audio/engine/AudioEngine.h"
#include "audio/lib/AudioLibraryFactory.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace lirvo::audio;

QCoreApplication &App() {
    static int argc = 1;
    static char name[] = "audio_engine_bench";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// A 4-minute tagged stereo MP3 at 192 kbit/s, made once.
const std::string &TestMp3() {
    static QTemporaryDir dir;
    static const std::string path = [] {
        const std::string file = dir.path().toStdString() + "/bench.mp3";
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=240:sample_rate=44100' "
            "-ac 2 -c:a libmp3lame -b:a 192k -metadata title='标题' -metadata artist='歌手' '" +
            file + "'";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("ffmpeg could not make the test file");
        }
        return file;
    }();
    return path;
}

void SetenvDefaultDriver() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

struct Waiter {
    QEventLoop *loop = nullptr;
    std::int32_t status = 0;
    static void OnStatus(void *context, std::int32_t status) {
        auto *self = static_cast<Waiter *>(context);
        self->status = status;
        if (status == kStatePlaying && self->loop != nullptr) {
            self->loop->quit();
        }
    }
    static void OnError(void *context, std::int32_t status, std::int32_t) {
        auto *self = static_cast<Waiter *>(context);
        self->status = status;
        if (self->loop != nullptr) {
            self->loop->quit();
        }
    }
};

void BM_PlayFileToPlaying(benchmark::State &state) {
    SetenvDefaultDriver();
    App();
    const std::string &file = TestMp3();
    auto library = CreateAudioLibrary();
    TAudioEngine engine(*library, 0, QCoreApplication::applicationDirPath().toStdString() + "/");
    Waiter waiter;
    engine.OnStatus = {&Waiter::OnStatus, &waiter};
    engine.OnError = {&Waiter::OnError, &waiter};
    std::vector<double> samples;
    for (auto _ : state) {
        QEventLoop loop;
        waiter.loop = &loop;
        waiter.status = 0;
        const auto start = std::chrono::steady_clock::now();
        engine.PlayFile(file);
        if (waiter.status != kStatePlaying) {
            loop.exec();
        }
        const auto end = std::chrono::steady_clock::now();
        waiter.loop = nullptr;
        if (waiter.status != kStatePlaying) {
            state.SkipWithError("the track did not start");
            break;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1000.0);
        engine.Stop();
    }
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        state.counters["median_ms"] = samples[samples.size() / 2];
        state.counters["max_ms"] = samples.back();
    }
}
BENCHMARK(BM_PlayFileToPlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_GetTags(benchmark::State &state) {
    SetenvDefaultDriver();
    App();
    const std::string &file = TestMp3();
    auto library = CreateAudioLibrary();
    TAudioEngine engine(*library, 0, QCoreApplication::applicationDirPath().toStdString() + "/");
    TTags tags;
    for (auto _ : state) {
        engine.GetTags(file, tags);
        benchmark::DoNotOptimize(tags);
    }
    if (tags.Title != "标题") {
        state.SkipWithError("tags were not read");
    }
}
BENCHMARK(BM_GetTags)->Unit(benchmark::kMillisecond);

} // namespace
