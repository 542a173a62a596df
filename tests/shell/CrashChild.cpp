// A player process that changes its playlist and settings and then faults on a worker thread.
// Usage: shell_crash_child <app dir> raise|access
// The parent prepares HOME (with the stored playlist) and the crash reporter in <app dir>.

#include "FakeAudioLibrary.h"
#include "shell/controller/MainView.h"
#include "shell/controller/unt_main.h"

#include <QCoreApplication>

#include <csignal>
#include <cstring>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

class QuietView : public lirvo::shell::IMainView {
public:
    void MsgPop1(const std::string &, std::function<void(int)> done) override { done(kNo); }
    bool IsConfirmationOpen() const override { return false; }
    void ShowOpenFileDialog(const std::string &,
                            std::function<void(std::optional<std::vector<std::string>>)> done) override {
        done(std::nullopt);
    }
    void SelectFolder(const std::string &, const std::string &,
                      std::function<void(std::optional<std::string>)> done) override {
        done(std::nullopt);
    }
    void ShowText(const std::string &) override {}
    void SetDesktopLyricVisible(bool) override {}
    bool IsDesktopLyricVisible() const override { return false; }
    bool IsControlBarVisible() const override { return false; }
    void CloseControlBar() override {}
};

} // namespace

int main(int argc, char **argv) {
    if (argc < 3)
        return 2;
    QCoreApplication app(argc, argv);
    QuietView view;
    lirvo::audio::testing::FakeAudioLibrary library;
    lirvo::shell::TZylMainOptions options;
    options.Library = &library;
    options.AppDir = argv[1];
    options.InstallCrashGuard = true;
    options.LoadPlugins = false;
    options.StartUpdateCheck = false;
    options.SetAutorun = [](bool) {};
    options.CreateLrcService = [](const lirvo::lyrics::TGuid &, const lirvo::lyrics::LrcServiceOptions &) {
        return std::shared_ptr<lirvo::lyrics::ILrcService>();
    };
    lirvo::shell::TZylMain player(view, options);
    player.FormCreate();

    // Changes the settings file has not seen, and a row the playlist file will lose.
    player.setVolume(37);
    player.setPlayModeIndex(2);
    player.AppendRow(player.RowCount() + 1, "Fourth", "Band", "/music/4.mp3");
    player.SavePlayList();
    unlink(player.PlaylistPath().c_str());

    const bool realFault = std::strcmp(argv[2], "access") == 0;
    std::thread worker([realFault] {
        if (realFault) {
            void *page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            *static_cast<volatile char *>(page) = 1;
        } else {
            raise(SIGSEGV);
        }
    });
    worker.join();
    return 3; // not reached: the fault handler ends the process
}
