// Adding 1,000 tagged files through the open-dialog path (goal: under 2 s), deleting one row of
// 10,000 including the playlist save (goal: under 100 ms), and a volume change with the crash-time
// copy of the settings.

#include "ShellTestSupport.h"

#include "audio/lib/AudioLibraryFactory.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

struct Bench {
    QTemporaryDir temp;
    std::string media, home;
    FakeView view;
    std::unique_ptr<lirvo::audio::IAudioLibrary> library = lirvo::audio::CreateAudioLibrary();
    std::unique_ptr<TZylMain> main;

    Bench() {
        EnsureApplication();
        home = temp.path().toStdString() + "/home";
        media = temp.path().toStdString() + "/media/";
        QDir().mkpath(QString::fromStdString(home));
        QDir().mkpath(QString::fromStdString(media));
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        unsetenv("XDG_DOCUMENTS_DIR");
    }
    void Start() {
        TZylMainOptions options;
        options.Library = library.get();
        options.AppDir = temp.path().toStdString() + "/app/";
        options.SetAutorun = [](bool) {};
        options.LoadPlugins = false;
        options.StartUpdateCheck = false;
        options.CreateLrcService = [](const lirvo::lyrics::TGuid &,
                                      const lirvo::lyrics::LrcServiceOptions &) {
            return std::shared_ptr<lirvo::lyrics::ILrcService>();
        };
        main = std::make_unique<TZylMain>(view, options);
        main->FormCreate();
        main->chkShowLrcClicked(false);
    }
    ~Bench() {
        if (main)
            main->FormDestroy();
        main.reset();
    }
};

void AddThousandTaggedFiles(benchmark::State &state) {
    Bench bench;
    const std::string tone = bench.media + "tone.mp3";
    QProcess::execute("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                 "sine=frequency=440:duration=1", "-metadata", "title=Tone", "-metadata",
                                 "artist=Bench", "-c:a", "libmp3lame", QString::fromStdString(tone)});
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        files.push_back(bench.media + "song" + std::to_string(i) + ".mp3");
        QFile::copy(QString::fromStdString(tone), QString::fromStdString(files.back()));
    }
    bench.Start();
    for (auto _ : state) {
        bench.view.dialogResults.push_back(files);
        const int before = bench.main->RowCount();
        bench.main->AddFilesFromDialog();
        WaitUntil([&] { return bench.main->RowCount() == before + 1000; }, 60000);
        state.PauseTiming();
        if (bench.main->RowCount() >= 5000) {
            bench.view.answers.push_back(IMainView::kYes);
            bench.main->pmdel_clearlistClick();
        }
        state.ResumeTiming();
    }
    if (bench.main->Records().empty() || bench.main->Records().back().Caption != "Tone - Bench")
        state.SkipWithError("tags were not read");
}
BENCHMARK(AddThousandTaggedFiles)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void DeleteOneOfTenThousandAndSave(benchmark::State &state) {
    Bench bench;
    std::string xml = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<DefaultList><PlayerList>\n";
    for (int i = 0; i < 10000; ++i)
        xml += "<LIST Path=\"" + bench.media + "song" + std::to_string(i) + ".mp3\" Title=\"Song number " +
               std::to_string(i) + "\" Artist=\"Some Artist\" Url=\"0\" Ltime=\"0\"/>\n";
    xml += "</PlayerList></DefaultList>\n";
    WriteFile(bench.home + "/Documents/lirvo/Default.pls", xml);
    bench.Start();
    int added = 10000;
    for (auto _ : state) {
        bench.view.answers.push_back(IMainView::kYes);
        bench.main->lstDefaultMouseMove(5000);
        bench.main->pmdel_delselectClick();
        state.PauseTiming();
        bench.main->AppendRow(++added, "Again", "Some Artist", bench.media + "again.mp3");
        state.ResumeTiming();
    }
    if (bench.main->RowCount() != 10000)
        state.SkipWithError("rows were not deleted");
}
BENCHMARK(DeleteOneOfTenThousandAndSave)->Unit(benchmark::kMillisecond)->Iterations(20);

// A dragged volume slider: every value rebuilds the settings copy kept for a crash. Should stay
// far below one frame (16 ms) so dragging never stutters.
void VolumeChangeWithCrashCopy(benchmark::State &state) {
    Bench bench;
    bench.Start();
    double volume = 10;
    for (auto _ : state) {
        volume = volume >= 90 ? 10 : volume + 1;
        bench.main->setVolume(volume);
    }
}
BENCHMARK(VolumeChangeWithCrashCopy)->Unit(benchmark::kMicrosecond);

} // namespace
