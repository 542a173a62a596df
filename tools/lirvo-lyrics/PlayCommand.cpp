// `lirvo-lyrics play FILE...`: plays the files in order through the audio engine and the real
// audio library, with the lyric found beside each song (same name, ".lrc") in the lyric timeline.
// Every 500 ms it prints one line to standard output:
//     position in milliseconds TAB engine state code TAB current lyric line
// Progress and failures go to standard error. Exit code 0 when every file played, 1 when some
// could not be opened, 2 for a usage error. With SDL_AUDIODRIVER=dummy it runs without a sound card.

#include "function/system/SystemHelpers.h"
#include "PlayCommand.h"

#include "audio/engine/AudioEngine.h"
#include "audio/engine/OpenFailure.h"
#include "audio/lib/AudioLibraryFactory.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace lirvo;

constexpr int kPrintIntervalMs = 500;

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) {
    gInterrupted.store(true);
}

class PlaySession {
public:
    PlaySession(audio::TAudioEngine &engine, std::vector<std::string> files)
        : engine_(engine), files_(std::move(files)) {
        engine_.OnStatus = audio::TStatusSlot::Bind<&PlaySession::OnStatus>(this);
        engine_.OnEnd = audio::TEndSlot::Bind<&PlaySession::OnEnd>(this);
        engine_.OnError = audio::TErrorSlot::Bind<&PlaySession::OnError>(this);
        printer_.setInterval(kPrintIntervalMs);
        QObject::connect(&printer_, &QTimer::timeout, [this] { Print(); });
    }

    ~PlaySession() {
        // The engine outlives the session: stop it and take the handlers back first.
        engine_.Stop();
        engine_.OnStatus = {};
        engine_.OnEnd = {};
        engine_.OnError = {};
    }
    PlaySession(const PlaySession &) = delete;
    PlaySession &operator=(const PlaySession &) = delete;

    void Start() {
        printer_.start();
        StartTrack(0);
    }
    int Failures() const { return failures_; }

private:
    void StartTrack(std::size_t index) {
        index_ = index;
        if (index_ >= files_.size()) {
            Print();
            QCoreApplication::quit();
            return;
        }
        const std::string &song = files_[index_];
        const std::string lyricPath = lyrics::SiblingLyricPath(song);
        const std::optional<std::string> lyric = lyrics::ReadLyricFile(lyricPath);
        timeline_ = lyrics::TLrcClass();
        timeline_.LoadText(lyric.value_or(""));
        std::fprintf(stderr, "playing %s (lyric: %s)\n", song.c_str(), lyric ? lyricPath.c_str() : "none");
        engine_.PlayFile(song);
    }

    // Carries work to the main thread; OnEnd arrives on a thread of the audio library.
    void Next() {
        const std::size_t next = index_ + 1;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this, next] { StartTrack(next); }, Qt::QueuedConnection);
    }

    void OnStatus(std::int32_t status) {
        if (status == audio::kStatePlaying) {
            timeline_.SetTrackLength(engine_.GetLength());
        }
    }
    void OnEnd(std::int32_t) { Next(); }
    void OnError(std::int32_t status, std::int32_t code) {
        if (status != audio::kStateOpenFailed) {
            return;
        }
        ++failures_;
        const std::string reason = audio::DescribeOpenFailure(code, files_[index_], engine_.Filter);
        std::fprintf(stderr, "%s\n", audio::CannotPlayText(files_[index_], reason).c_str());
        Next();
    }

    void Print() {
        if (gInterrupted.load()) {
            engine_.Stop();
            QCoreApplication::quit();
            return;
        }
        const std::int32_t position = engine_.GetPosition();
        timeline_.SetPosition(position);
        std::printf("%d\t%d\t%s\n", position, engine_.State.load(), timeline_.CurrentLine().c_str());
        std::fflush(stdout);
    }

    audio::TAudioEngine &engine_;
    std::vector<std::string> files_;
    std::size_t index_ = 0;
    lyrics::TLrcClass timeline_;
    QTimer printer_;
    int failures_ = 0;
};

} // namespace

int RunPlayCommand(int argc, char **argv) {
    // Full volume unless asked otherwise: the engine itself starts silent.
    int volume = 100;
    int first = 1;
    if (argc >= 3 && std::strcmp(argv[1], "--volume") == 0) {
        char *end = nullptr;
        const long wanted = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || wanted < 0 || wanted > 100) {
            std::fputs("lirvo-lyrics play: --volume takes a whole number from 0 to 100\n", stderr);
            return 2;
        }
        volume = static_cast<int>(wanted);
        first = 3;
    }
    if (argc <= first) {
        std::fputs("usage: lirvo-lyrics play FILE...   (--volume 0-100 before the files sets the volume)\n", stderr);
        return 2;
    }
    std::vector<std::string> files(argv + first, argv + argc);

    std::unique_ptr<QCoreApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        static int appArgc = 1;
        static char appName[] = "lirvo-lyrics";
        static char *appArgv[] = {appName, nullptr};
        app = std::make_unique<QCoreApplication>(appArgc, appArgv);
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    auto library = audio::CreateAudioLibrary();
    // Add-on decoders (b_*.so) live in the program's folder (lib/lirvo/ when installed).
    const std::string programDir = lirvo::system::GetAppDir();
    int failures = 0;
    {
        audio::TAudioEngine engine(*library, 0, programDir);
        if (engine.Filter.empty()) {
            std::fputs("lirvo-lyrics: no audio output could be opened (SDL_AUDIODRIVER=dummy plays without a "
                       "sound card)\n",
                       stderr);
        }
        engine.SetVolume(static_cast<float>(volume));
        PlaySession session(engine, std::move(files));
        QTimer::singleShot(0, [&session] { session.Start(); });
        QCoreApplication::exec();
        failures = session.Failures();
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return failures == 0 ? 0 : 1;
}
