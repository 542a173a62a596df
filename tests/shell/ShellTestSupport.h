#pragma once
// Shared pieces of the controller tests: a scripted view, a scripted lyric service, a private
// home and program folder per test, and waiting on the Qt event loop.

#include "FakeAudioLibrary.h"
#include "audio/engine/AudioEngine.h"
#include "lyrics/core/LRC_Header.h"
#include "shell/controller/MainView.h"
#include "shell/controller/unt_main.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::shell::testing {

// Creates the process's QCoreApplication once.
void EnsureApplication();

// Runs the event loop until `done` holds or `ms` passed; returns `done()`.
bool WaitUntil(const std::function<bool()> &done, int ms = 5000);
// Runs the event loop for `ms`.
void Spin(int ms);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
// The source tree (LIRVO_SOURCE_DIR, or the one this test was built from).
std::string SourceDir();

class FakeView : public IMainView {
public:
    // Answers given in order; with none queued, the popup stays open until Answer().
    std::deque<int> answers;
    std::vector<std::string> asked;
    std::function<void(int)> pending;
    void Answer(int result);

    std::deque<std::optional<std::vector<std::string>>> dialogResults;
    std::vector<std::string> dialogFilters;

    std::deque<std::optional<std::string>> folderResults;
    std::vector<std::pair<std::string, std::string>> folderRequests; // title, start folder

    std::vector<std::string> texts; // every ShowText in order
    bool lyricVisible = false;
    bool controlBarVisible = false;
    int controlBarCloses = 0;

    void MsgPop1(const std::string &text, std::function<void(int)> done) override;
    bool IsConfirmationOpen() const override { return static_cast<bool>(pending); }
    void ShowOpenFileDialog(const std::string &filter,
                            std::function<void(std::optional<std::vector<std::string>>)> done) override;
    void SelectFolder(const std::string &title, const std::string &startFolder,
                      std::function<void(std::optional<std::string>)> done) override;
    void ShowText(const std::string &text) override { texts.push_back(text); }
    void SetDesktopLyricVisible(bool visible) override { lyricVisible = visible; }
    bool IsDesktopLyricVisible() const override { return lyricVisible; }
    bool IsControlBarVisible() const override { return controlBarVisible; }
    void CloseControlBar() override {
        controlBarVisible = false;
        ++controlBarCloses;
    }
    std::string LastText() const { return texts.empty() ? std::string() : texts.back(); }
};

// An online lyric service with scripted results; searches may be held at a gate.
class FakeLrcService : public lyrics::ILrcService {
public:
    struct Song {
        lyrics::TLrcResult result;
        std::string text;
    };
    void Add(const std::string &title, const std::string &singer, const std::string &text);
    void Hold();
    void Release();
    int Searches();

    std::optional<lyrics::TLrcResult> GetResult(int32_t index) override;
    int32_t GetCount() override;
    void Reset() override;
    std::string Download(int32_t id) override;
    void Search(const std::string &title, const std::string &singer, const std::string &extra,
                int32_t flag) override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int searches_ = 0;
    std::vector<Song> songs_;
    std::vector<lyrics::TLrcResult> results_;
};

// A private home, documents folder and program folder (with our effect.dat) per test, and a
// controller over the scripted view, library and lyric service.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TZylMainOptions Options();
    TZylMain &Create(TZylMainOptions options);
    TZylMain &Create() { return Create(Options()); }

    // A file the fake library plays, with tags; returns its path.
    std::string AddSong(const std::string &name, const std::string &title = {},
                        const std::string &artist = {}, std::uint64_t seconds = 180);
    // Writes the playlist file with these paths before start-up (titles and artists from the
    // songs' tags, or the file names).
    void WritePlaylist(const std::vector<std::string> &paths);
    // Adds songs through the open dialog and waits until they are in.
    void AddThroughDialog(const std::vector<std::string> &paths);
    // Waits until the engine plays and the current row is `index`.
    bool WaitPlaying(int index);
    audio::TAudioEngine &Engine() { return *main->Engine(); }
    std::int32_t State() { return main->Engine()->State.load(); }
    // Ends the current channel as the library would (on its own thread) and lets the reaction run.
    void EndTrack();
    // Delivers `count` engine ticks with the position the engine reports.
    void Ticks(int count);
    std::vector<std::string> PluginLog();

    QTemporaryDir temp;
    std::string home, appDir, dataDir, media, pluginLog;
    FakeView view;
    audio::testing::FakeAudioLibrary library;
    std::shared_ptr<FakeLrcService> service = std::make_shared<FakeLrcService>();
    std::vector<bool> autorunCalls;
    std::unique_ptr<TZylMain> main;
};

} // namespace lirvo::shell::testing
