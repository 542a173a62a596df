#include "ShellTestSupport.h"

#include "lyrics/core/UntLrcThread.h"
#include "update/UpdateState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace lirvo::shell::testing {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "shell_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

bool WaitUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
    QDir().mkpath(QString::fromStdString(path.substr(0, path.rfind('/'))));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string SourceDir() {
    const char *dir = std::getenv("LIRVO_SOURCE_DIR");
    return dir && *dir ? std::string(dir) : std::string(SHELL_SOURCE_DIR);
}

// ---- FakeView ----

void FakeView::Answer(int result) {
    auto done = std::move(pending);
    pending = nullptr;
    if (done)
        done(result);
}

void FakeView::MsgPop1(const std::string &text, std::function<void(int)> done) {
    asked.push_back(text);
    pending = std::move(done);
    if (!answers.empty()) {
        int result = answers.front();
        answers.pop_front();
        Answer(result);
    }
}

void FakeView::ShowOpenFileDialog(const std::string &filter,
                                  std::function<void(std::optional<std::vector<std::string>>)> done) {
    dialogFilters.push_back(filter);
    std::optional<std::vector<std::string>> result;
    if (!dialogResults.empty()) {
        result = dialogResults.front();
        dialogResults.pop_front();
    }
    done(result);
}

void FakeView::SelectFolder(const std::string &title, const std::string &startFolder,
                            std::function<void(std::optional<std::string>)> done) {
    folderRequests.emplace_back(title, startFolder);
    std::optional<std::string> result;
    if (!folderResults.empty()) {
        result = folderResults.front();
        folderResults.pop_front();
    }
    done(result);
}

// ---- FakeLrcService ----

void FakeLrcService::Add(const std::string &title, const std::string &singer, const std::string &text) {
    std::lock_guard lock(mutex_);
    lyrics::TLrcResult result;
    result.Title = title;
    result.Singer = singer;
    result.Id = static_cast<int32_t>(songs_.size() + 1);
    result.SyncedLyrics = text; // the lyric comes with the search answer
    songs_.push_back({result, text});
}

void FakeLrcService::Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void FakeLrcService::Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
}

int FakeLrcService::Searches() {
    std::lock_guard lock(mutex_);
    return searches_;
}

std::optional<lyrics::TLrcResult> FakeLrcService::GetResult(int32_t index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int32_t>(results_.size()))
        return std::nullopt;
    return results_[static_cast<std::size_t>(index)];
}

int32_t FakeLrcService::GetCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(results_.size());
}

void FakeLrcService::Reset() {
    std::lock_guard lock(mutex_);
    results_.clear();
}

std::string FakeLrcService::Download(int32_t id) {
    std::lock_guard lock(mutex_);
    for (const auto &song : songs_)
        if (song.result.Id == id)
            return song.text;
    return {};
}

void FakeLrcService::Search(const std::string &title, const std::string &singer, const std::string &,
                            int32_t) {
    std::unique_lock lock(mutex_);
    ++searches_;
    changed_.wait(lock, [this] { return !held_; });
    results_.clear();
    for (const auto &song : songs_)
        if (song.result.Title == title && song.result.Singer == singer)
            results_.push_back(song.result);
}

// ---- ShellTest ----

void ShellTest::SetUp() {
    EnsureApplication();
    ASSERT_TRUE(temp.isValid());
    const std::string root = temp.path().toStdString();
    home = root + "/home";
    appDir = root + "/app/";
    media = root + "/media/";
    dataDir = home + "/Documents/lirvo/";
    pluginLog = root + "/plugin.log";
    QDir().mkpath(QString::fromStdString(home));
    QDir().mkpath(QString::fromStdString(appDir + "plugins"));
    QDir().mkpath(QString::fromStdString(media));
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    unsetenv("XDG_DOCUMENTS_DIR");
    setenv("LIRVO_TEST_PLUGIN_LOG", pluginLog.c_str(), 1);
    WriteFile(appDir + "effect.dat", ReadFile(SourceDir() + "/resources/effect.dat"));
    QFile::copy(QStringLiteral(SHELL_TEST_PLUGIN), QString::fromStdString(appDir + "plugins/recording.so"));
    update::SetOnlineAllowed(false);
    update::SetMusicPathPrefix("");
}

void ShellTest::TearDown() {
    if (main)
        main->FormDestroy();
    // Let detached lyric workers finish before the service and the library go away.
    WaitUntil([] { return lyrics::TLyricWorker::ActiveCount() == 0; }, 3000);
    main.reset();
}

TZylMainOptions ShellTest::Options() {
    TZylMainOptions options;
    options.Library = &library;
    options.AppDir = appDir;
    options.ExePath = appDir + "lirvo";
    auto lyricService = service;
    options.CreateLrcService = [lyricService](const lyrics::TGuid &, const lyrics::LrcServiceOptions &) {
        return std::static_pointer_cast<lyrics::ILrcService>(lyricService);
    };
    options.InstallCrashGuard = false;
    options.LoadPlugins = true;
    options.StartUpdateCheck = false;
    return options;
}

TZylMain &ShellTest::Create(TZylMainOptions options) {
    main = std::make_unique<TZylMain>(view, std::move(options));
    main->FormCreate();
    return *main;
}

std::string ShellTest::AddSong(const std::string &name, const std::string &title, const std::string &artist,
                               std::uint64_t seconds) {
    const std::string path = media + name;
    audio::testing::FakeFile file;
    file.lengthBytes = seconds * audio::testing::kBytesPerSecond;
    file.title = title;
    file.artist = artist;
    library.files[path] = file;
    WriteFile(path, "not really audio");
    return path;
}

void ShellTest::WritePlaylist(const std::vector<std::string> &paths) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DefaultList><PlayerList>\n";
    for (const auto &path : paths) {
        std::string title = path.substr(path.rfind('/') + 1);
        title = title.substr(0, title.rfind('.'));
        std::string artist;
        auto known = library.files.find(path);
        if (known != library.files.end() && !known->second.title.empty()) {
            title = known->second.title;
            artist = known->second.artist;
        }
        xml += "<LIST Path=\"" + path + "\" Title=\"" + title + "\" Artist=\"" + artist +
               "\" Url=\"0\" Ltime=\"0\"/>\n";
    }
    xml += "</PlayerList></DefaultList>\n";
    WriteFile(dataDir + "Default.pls", xml);
}

void ShellTest::AddThroughDialog(const std::vector<std::string> &paths) {
    const int before = main->RowCount();
    view.dialogResults.push_back(paths);
    main->lbl_openClick();
    ASSERT_TRUE(WaitUntil([&] { return main->RowCount() == before + static_cast<int>(paths.size()); }));
}

bool ShellTest::WaitPlaying(int index) {
    return WaitUntil([&] {
        return State() == audio::kStatePlaying && main->CurrentIndex() == index && !Engine().IsOpening() &&
               main->Rows().IsRow(index) && main->Rows().Row(index).playing;
    });
}

void ShellTest::EndTrack() {
    library.EndChannel(Engine().CurrentChannel());
    Spin(20);
}

void ShellTest::Ticks(int count) {
    for (int i = 0; i < count; ++i)
        main->OnTick(State(), Engine().GetLength(), Engine().GetPosition());
}

std::vector<std::string> ShellTest::PluginLog() {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(pluginLog));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

} // namespace lirvo::shell::testing
