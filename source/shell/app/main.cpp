// The lirvo program. Every process maps the command block first; a later start hands its
// command line to the running player and ends. The first process builds the player and runs
// until "退出", the end of the desktop session, SIGTERM or SIGINT, each of which saves the
// playlist and the settings.

#include "audio/lib/SoundServerEnvironment.h"
#include "audio/module/AudioModule.h"
#include "audio/module/ModuleAudioLibrary.h"
#include "function/system/StartupTrace.h"
#include "function/system/SystemHelpers.h"
#include "shell/app/DisplayPlatform.h"
#include "shell/app/PlayerApp.h"
#include "shell/app/QtTexts.h"
#include "shell/command/ProgramInfo.h"
#include "shell/command/mapshare.h"

#include <QApplication>
#include <QDir>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <cstdio>
#include <ctime>
#include <optional>

namespace {

// With LIRVO_FIRST_FRAME_FILE set (the start-up benchmark), the monotonic clock reading of the
// main window's first frame is written there in nanoseconds.
void ReportFirstFrame(lirvo::app::PlayerApp &player) {
    const QByteArray file = qgetenv("LIRVO_FIRST_FRAME_FILE");
    if (file.isEmpty())
        return;
    QObject::connect(&player, &lirvo::app::PlayerApp::firstFrameShown, &player, [file] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if (std::FILE *f = std::fopen(file.constData(), "w")) {
            std::fprintf(f, "%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
            std::fclose(f);
        }
    });
}

// Without a GPU, OpenGL is emulated on the processor (Mesa's llvmpipe), which costs about
// 100 MB of memory and more processor time than Qt Quick's own software renderer needs for this
// small window. The software renderer is then used, unless the user chose a backend.
void ChooseSceneGraphBackend() {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND"))
        return;
    const QStringList renderNodes =
        QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System | QDir::Files);
    if (renderNodes.isEmpty() || qEnvironmentVariableIntValue("LIBGL_ALWAYS_SOFTWARE") != 0)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace

int main(int argc, char **argv) {
    if (std::optional<int> answered =
            lirvo::command::AnswerInformationRequest(lirvo::command::ArgumentsOf(argc, argv), stdout))
        return *answered;
    lirvo::system::StartupMark("main");
    lirvo::audio::PrepareSoundServerEnvironment(); // before any other thread exists
    if (!lirvo::command::OpenCommandBlock())
        return 0;

    // In a Wayland session the player runs on XWayland where it can (see DisplayPlatform.h).
    const auto platform = lirvo::app::PrepareDisplayPlatform();
    QApplication app(argc, argv);
    lirvo::system::StartupMark("application");
    const std::string placementNotice = lirvo::app::FinishDisplayPlatform(platform);
    const auto arguments = lirvo::command::ArgumentsOf(argc, argv);
    lirvo::command::HandOffResult handOff = lirvo::command::HandOffResult::Done;
    if (!lirvo::command::IsFirstInstance(arguments, &handOff)) {
        lirvo::command::CloseCommandBlock();
        if (handOff == lirvo::command::HandOffResult::Done)
            return 0;
        std::fprintf(stderr, "lirvo: the running player did not take the files in time; not all were handed over\n");
        return 1;
    }
    if (!lirvo::app::InstallChineseQtTexts())
        std::fprintf(stderr, "lirvo: Qt's Chinese texts are not installed; its dialogs speak English\n");
    QApplication::setApplicationName(QStringLiteral("Lirvo4"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lirvo4"));
    QApplication::setDesktopFileName(QStringLiteral("lirvo"));
    ChooseSceneGraphBackend();
    // The player lives on in the notification area; only "退出" ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    // The audio library lives in a module of its own, loaded while the window is up already.
    auto library = std::make_unique<lirvo::audio::ModuleAudioLibrary>(lirvo::system::GetAppDir() +
                                                                       lirvo::audio::kAudioModuleFile);
    lirvo::app::PlayerAppOptions options;
    options.Controller.Library = library.get();
    options.WindowIcon = QStringLiteral(":/pictures/lirvo.svg");
    options.PrepareAudio = [library = library.get()](std::function<void()> ready) {
        library->LoadInBackground([library, ready = std::move(ready)] {
            const std::string error = library->Error();
            if (!error.empty())
                std::fprintf(stderr, "lirvo: no sound: the audio module could not be loaded: %s\n", error.c_str());
            ready();
        });
    };
    options.Controller.HandOwnArguments = [arguments] { lirvo::command::PostOwnArguments(arguments); };

    int rc = 0;
    {
        lirvo::app::PlayerApp player(std::move(options));
        ReportFirstFrame(player);
        if (!player.Start()) {
            std::fprintf(stderr, "lirvo: %s\n", qPrintable(player.Error()));
            rc = 1;
        } else {
            if (!placementNotice.empty()) {
                std::fprintf(stderr,
                             "lirvo: %s (the desktop lyric cannot be placed on this Wayland session; "
                             "it needs an X server, DISPLAY, for XWayland)\n",
                             placementNotice.c_str());
                player.Controller().ShowTitleNotice(placementNotice);
            }
            rc = QApplication::exec();
        }
    }
    library.reset();
    lirvo::command::ReleaseInstanceMutex();
    lirvo::command::CloseCommandBlock();
    return rc;
}
