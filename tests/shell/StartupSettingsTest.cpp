// Start-up, the settings file and the end of the program.

#include "ShellTestSupport.h"

#include "shell/command/CommandBlock.h"
#include "storage/XmlPullReader.h"

#include <cstring>
#include <unistd.h>
#include <QDir>
#include <filesystem>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

// Attribute `attribute` of the first element named `element` in an XML file, nullopt if absent.
std::optional<std::string> Setting(const std::string &file, const std::string &element,
                                   const std::string &attribute) {
    for (const auto &part : lirvo::storage::ScanXmlFile(file).parts)
        if (part.kind == lirvo::storage::XmlPartKind::StartTag && part.name == element) {
            if (!part.HasAttribute(attribute))
                return std::nullopt;
            return part.Attribute(attribute);
        }
    return std::nullopt;
}

std::vector<std::string> ChildrenOfWindow(const std::string &file) {
    std::vector<std::string> names;
    int depth = 0;
    bool inWindow = false;
    for (const auto &part : lirvo::storage::ScanXmlFile(file).parts) {
        if (part.kind == lirvo::storage::XmlPartKind::StartTag) {
            if (inWindow && depth == 2)
                names.push_back(part.name);
            if (part.name == "Window" && depth == 1)
                inWindow = true;
            if (!part.selfClosing)
                ++depth;
        } else if (part.kind == lirvo::storage::XmlPartKind::EndTag) {
            --depth;
            if (part.name == "Window")
                inWindow = false;
        }
    }
    return names;
}

std::string SettingsXml(const std::string &window) {
    return "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<MainConfig><Window>" + window +
           "</Window></MainConfig>\n";
}

class StartupTest : public ShellTest {
protected:
    std::string SettingsFile() { return dataDir + "Lirvo.xml"; }
};

} // namespace

TEST_F(StartupTest, FirstStartWithNothingOnDiskUsesEveryDefault) {
    TZylMain &m = Create();
    EXPECT_TRUE(FolderExists(dataDir));
    EXPECT_EQ(m.LyricDir(), dataDir + "lrc/");
    EXPECT_EQ(m.MusicDir(), dataDir + "music/");
    EXPECT_TRUE(FolderExists(dataDir + "lrc"));
    EXPECT_TRUE(FolderExists(dataDir + "music"));
    EXPECT_EQ(m.PlaylistPath(), dataDir + "Default.pls");
    EXPECT_FALSE(FileExists(dataDir + "Default.pls")); // not made at start-up
    EXPECT_EQ(m.Volume(), 65);
    EXPECT_FLOAT_EQ(Engine().CurrentVolume(), 65.0f);
    EXPECT_TRUE(m.ShowLyrics());
    EXPECT_TRUE(m.AutoRun());
    EXPECT_TRUE(FileExists(home + "/.config/autostart/runlirvo.desktop"));
    EXPECT_EQ(m.PlayMode(), kPlaySequential);
    EXPECT_EQ(m.PlayModeIndex(), 0);
    // The band shows the slogan and, with "show lyrics" ticked, is shown.
    ASSERT_FALSE(view.texts.empty());
    EXPECT_EQ(view.texts.front(), kSloganText);
    EXPECT_TRUE(view.lyricVisible);
    EXPECT_FALSE(m.PlaylistVisible());
    EXPECT_EQ(m.ProgressOpacity(), 0);
    EXPECT_EQ(m.ProgressMaximum(), 100);
    EXPECT_EQ(m.TitleTextUtf8(), kSloganText);
    ASSERT_FALSE(m.PresetNamesUtf8().empty());
    EXPECT_EQ(m.PresetIndex(), 0);
    EXPECT_FALSE(FileExists(SettingsFile())); // nothing written until a save
    // The plug-ins were loaded (message 100) and the list stays empty.
    EXPECT_EQ(PluginLog(), std::vector<std::string>{"100"});
    EXPECT_EQ(m.RowCount(), 0);
}

TEST_F(StartupTest, PlayPatternMapsToPlayModeAndBack) {
    struct Case {
        std::string stored;
        std::uint8_t mode;
        int index;
        std::string saved;
    };
    for (const Case &c : {Case{"0", kPlaySequential, 0, "0"}, Case{"1", kPlayLoopList, 1, "1"},
                          Case{"2", kPlayRepeatOne, 2, "2"}, Case{"7", kPlaySequential, -1, "0"},
                          Case{"x", kPlaySequential, 0, "0"}}) {
        WriteFile(SettingsFile(), SettingsXml("<PLAY PATTERN=\"" + c.stored + "\"/>"));
        TZylMain &m = Create();
        EXPECT_EQ(m.PlayMode(), c.mode) << c.stored;
        EXPECT_EQ(m.PlayModeIndex(), c.index) << c.stored;
        m.FormClose();
        EXPECT_EQ(Setting(SettingsFile(), "PLAY", "PATTERN"), c.saved) << c.stored;
        main->FormDestroy();
        main.reset();
    }
}

TEST_F(StartupTest, StoredFoldersAreUsedAsStoredOrFallBackToCreatedDefaults) {
    const std::string lyrics = temp.path().toStdString() + "/my lyrics"; // exists, no trailing slash
    QDir().mkpath(QString::fromStdString(lyrics));
    const std::string playlist = temp.path().toStdString() + "/other.pls";
    WriteFile(playlist, "<?xml version=\"1.0\"?><DefaultList><PlayerList/></DefaultList>");
    WriteFile(SettingsFile(), SettingsXml("<LRC PATH=\"" + lyrics +
                                          "\"/><MUSIC PATH=\"/nowhere/music\"/>"
                                          "<PLIST PATH=\"" +
                                          playlist + "\"/>"));
    TZylMain &m = Create();
    EXPECT_EQ(m.LyricDir(), lyrics);
    EXPECT_EQ(m.MusicDir(), dataDir + "music/");
    EXPECT_TRUE(FolderExists(dataDir + "music"));
    EXPECT_EQ(m.PlaylistPath(), playlist);
    m.SaveSettings();
    // The fallback folder is not written back; the folder keys stay as they were.
    EXPECT_EQ(Setting(SettingsFile(), "MUSIC", "PATH"), "/nowhere/music");
    main.reset();

    // A stored playlist path whose file vanished falls back, and the fallback is saved.
    QFile::remove(QString::fromStdString(playlist));
    TZylMain &again = Create();
    EXPECT_EQ(again.PlaylistPath(), dataDir + "Default.pls");
    again.SaveSettings();
    EXPECT_EQ(Setting(SettingsFile(), "PLIST", "PATH"), dataDir + "Default.pls");
}

TEST_F(StartupTest, VolumeReadingAndSavingRoundsHalvesToEven) {
    WriteFile(SettingsFile(), SettingsXml("<Volume Value=\"loud\"/>"));
    TZylMain &m = Create();
    EXPECT_EQ(m.Volume(), 65);
    for (auto [slider, saved] :
         {std::pair{42.5, "42"}, {43.5, "44"}, {42.49, "42"}, {0.5, "0"}, {100.0, "100"}}) {
        m.setVolume(slider);
        m.SaveSettings();
        EXPECT_EQ(Setting(SettingsFile(), "Volume", "Value"), saved) << slider;
    }
    m.setVolume(30);
    EXPECT_FLOAT_EQ(Engine().CurrentVolume(), 30.0f);
}

TEST_F(StartupTest, SaveWritesEveryKeyInOrderKeepsForeignContentAndNeverWritesReadOnlyKeys) {
    TZylMain &m = Create();
    m.setShowLyrics(false);
    m.setPlayModeIndex(1);
    m.SaveSettings();
    EXPECT_EQ(ChildrenOfWindow(SettingsFile()),
              (std::vector<std::string>{"Volume", "PLIST", "PLAY", "DESKTOPLRC", "AUTORUN", "RUNJM", "EQ",
                                        "SKIN"}));
    EXPECT_EQ(Setting(SettingsFile(), "RUNJM", "Value"), "0");
    EXPECT_EQ(Setting(SettingsFile(), "SKIN", "NAME"), "");
    EXPECT_EQ(Setting(SettingsFile(), "DESKTOPLRC", "SHOW"), "0");
    EXPECT_EQ(Setting(SettingsFile(), "AUTORUN", "Value"), "1");
    EXPECT_EQ(Setting(SettingsFile(), "PLAY", "PATTERN"), "1");
    EXPECT_EQ(Setting(SettingsFile(), "EQ", "ID"), "0");
    EXPECT_EQ(ReadFile(SettingsFile()).find("Network"), std::string::npos);
    main.reset();

    // Addresses the program only reads survive saves untouched.
    std::string text = ReadFile(SettingsFile());
    text.replace(text.find("</MainConfig>"), 13,
                 "<Network><LYRICS URL=\"http://127.0.0.1:9/lrc\"/><UPDATE URL=\"http://127.0.0.1:9/u.xml\"/>"
                 "</Network><Extra keep=\"yes\"/></MainConfig>");
    WriteFile(SettingsFile(), text);
    std::string seenUrl;
    auto options = Options();
    options.CreateLrcService = [&seenUrl](const lirvo::lyrics::TGuid &,
                                          const lirvo::lyrics::LrcServiceOptions &o) {
        seenUrl = o.BaseUrl;
        return std::shared_ptr<lirvo::lyrics::ILrcService>();
    };
    TZylMain &second = Create(options);
    EXPECT_EQ(seenUrl, "http://127.0.0.1:9/lrc");
    EXPECT_EQ(second.UpdateUrl(), "http://127.0.0.1:9/u.xml");
    EXPECT_EQ(second.LrcService(), nullptr); // no service: start-up goes on
    second.FormClose();
    EXPECT_EQ(Setting(SettingsFile(), "LYRICS", "URL"), "http://127.0.0.1:9/lrc");
    EXPECT_EQ(Setting(SettingsFile(), "Extra", "keep"), "yes");
}

TEST_F(StartupTest, LyricServicesAreReadFromTheSettingsAndTheirChoiceIsWrittenAtOnce) {
    Create().FormClose();
    main.reset();
    std::string text = ReadFile(SettingsFile());
    text.replace(text.find("</MainConfig>"), 13,
                 "<Network><NETEASE URL=\"http://127.0.0.1:9/ne\"/><QQMUSIC URL=\"http://127.0.0.1:9/qq\"/>"
                 "<KUGOU URL=\"http://127.0.0.1:9/kg\"/><LYRICSOURCES ORDER=\"kugou, lrclib,nowhere\"/>"
                 "</Network></MainConfig>");
    WriteFile(SettingsFile(), text);
    lirvo::lyrics::LrcServiceOptions seen;
    auto options = Options();
    options.CreateLrcService = [&](const lirvo::lyrics::TGuid &, const lirvo::lyrics::LrcServiceOptions &o) {
        seen = o;
        return std::shared_ptr<lirvo::lyrics::ILrcService>();
    };
    TZylMain &m = Create(options);
    EXPECT_EQ(seen.NeteaseUrl, "http://127.0.0.1:9/ne");
    EXPECT_EQ(seen.QqMusicUrl, "http://127.0.0.1:9/qq");
    EXPECT_EQ(seen.KugouUrl, "http://127.0.0.1:9/kg");
    EXPECT_EQ(seen.Sources, (std::vector<std::string>{"kugou", "lrclib"}));
    EXPECT_EQ(seen.NoLyricFile, dataDir + "nolyric.lst");

    // Chosen in the search window: written at once, and every service off is kept as such.
    m.SetLyricSources({"qq", "netease"});
    EXPECT_EQ(Setting(SettingsFile(), "LYRICSOURCES", "ORDER"), "qq,netease");
    m.SetLyricSources({});
    m.FormClose();
    main.reset();
    Create(options);
    EXPECT_TRUE(seen.Sources.empty());
}

TEST_F(StartupTest, FolderPicksAreWrittenAtOnceAndSurviveALaterQuit) {
    TZylMain &m = Create();
    const std::string picked = temp.path().toStdString() + "/picked";
    QDir().mkpath(QString::fromStdString(picked));
    view.folderResults.push_back(picked);
    m.pmm_setdownClick();
    ASSERT_EQ(view.folderRequests.size(), 1u);
    EXPECT_EQ(view.folderRequests[0].first, "选择歌词存放目录");
    EXPECT_EQ(view.folderRequests[0].second, dataDir + "lrc/");
    EXPECT_EQ(m.LyricDir(), picked);
    EXPECT_EQ(Setting(SettingsFile(), "LRC", "PATH"), picked);

    // Cancelled: the unchanged folder is written all the same.
    view.folderResults.push_back(std::nullopt);
    m.pmm_sdownClick();
    EXPECT_EQ(view.folderRequests.back().first, "选择歌曲缓存目录");
    EXPECT_EQ(Setting(SettingsFile(), "MUSIC", "PATH"), dataDir + "music/");

    // A folder removed meanwhile: no picker, the old path is written again.
    QDir(QString::fromStdString(picked)).removeRecursively();
    m.pmm_setdownClick();
    EXPECT_EQ(view.folderRequests.size(), 2u);
    EXPECT_EQ(Setting(SettingsFile(), "LRC", "PATH"), picked);

    m.FormClose();
    EXPECT_EQ(Setting(SettingsFile(), "LRC", "PATH"), picked);
    EXPECT_EQ(Setting(SettingsFile(), "Volume", "Value"), "65");
}

TEST_F(StartupTest, BrokenSettingsAndPlaylistFilesAreSetAsideNotOverwritten) {
    const std::string brokenSettings = "<MainConfig><Window><Volume Value=\"12\"></MainConfig";
    const std::string brokenList = "<DefaultList><PlayerList><LIST Path=\"/a.mp3\"";
    WriteFile(SettingsFile(), brokenSettings);
    WriteFile(dataDir + "Default.pls", brokenList);
    TZylMain &m = Create();
    EXPECT_EQ(m.Volume(), 65);
    EXPECT_EQ(m.RowCount(), 0);
    EXPECT_EQ(ReadFile(SettingsFile() + ".bad"), brokenSettings);
    EXPECT_EQ(ReadFile(dataDir + "Default.pls.bad"), brokenList);
    EXPECT_NE(m.TitleTextUtf8().find(dataDir + "Default.pls.bad"), std::string::npos) << m.TitleTextUtf8();
    EXPECT_NE(m.TitleTextUtf8().find(SettingsFile() + ".bad"), std::string::npos) << m.TitleTextUtf8();
    m.FormClose();
    EXPECT_EQ(Setting(SettingsFile(), "Volume", "Value"), "65");
    EXPECT_TRUE(FileExists(dataDir + "Default.pls"));
    EXPECT_EQ(ReadFile(SettingsFile() + ".bad"), brokenSettings);

    // A second broken playlist gets its own copy; the first one stays.
    main.reset();
    const std::string secondList = "<DefaultList><PlayerList><LIST Path=\"/b.mp3\"";
    WriteFile(dataDir + "Default.pls", secondList);
    TZylMain &again = Create();
    EXPECT_EQ(ReadFile(dataDir + "Default.pls.bad"), brokenList);
    EXPECT_EQ(ReadFile(dataDir + "Default.pls.bad.2"), secondList);
    EXPECT_NE(again.TitleTextUtf8().find(dataDir + "Default.pls.bad.2"), std::string::npos);
}

// A playlist that cannot be read (here an I/O error: /proc/self/mem read at its start) may be
// fine: it is not set aside, and neither saving nor quitting writes over it.
TEST_F(StartupTest, AnUnreadablePlaylistIsNamedOnTheTitleLineAndLeftAlone) {
    const std::string list = dataDir + "Default.pls";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dataDir)));
    ASSERT_EQ(symlink("/proc/self/mem", list.c_str()), 0);
    TZylMain &m = Create();
    EXPECT_EQ(m.RowCount(), 0);
    EXPECT_NE(m.TitleTextUtf8().find(list), std::string::npos) << m.TitleTextUtf8();
    AddThroughDialog({AddSong("a.mp3")});
    m.FormClose();
    char target[64] = {};
    ASSERT_GT(readlink(list.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/proc/self/mem");
    EXPECT_FALSE(FileExists(list + ".bad"));
}

TEST_F(StartupTest, StoredPlaylistLoadsIntoNumberedRowsAndShowsTheList) {
    const auto a = AddSong("a.mp3"), b = AddSong("b.mp3"), c = AddSong("c.mp3");
    WritePlaylist({a, b, c});
    TZylMain &m = Create();
    ASSERT_EQ(m.RowCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.Rows().Row(i).number, i + 1);
        EXPECT_EQ(m.Records()[static_cast<std::size_t>(i)].Path, m.Rows().Row(i).path);
    }
    EXPECT_EQ(m.Records()[1].Caption, "b");
    EXPECT_TRUE(m.PlaylistVisible());
    EXPECT_EQ(m.CurrentIndex(), 0);
    EXPECT_EQ(State(), lirvo::audio::kStateStopped); // nothing plays by itself
}

TEST_F(StartupTest, AutostartFollowsTheBoxAtOnceAndSaveFlipsThePanelBack) {
    WriteFile(SettingsFile(), SettingsXml("<AUTORUN Value=\"0\"/>"));
    TZylMain &m = Create();
    const std::string entry = home + "/.config/autostart/runlirvo.desktop";
    EXPECT_FALSE(m.AutoRun());
    EXPECT_FALSE(FileExists(entry)); // off: nothing registered, nothing removed
    m.chkAutoRunClick();
    EXPECT_TRUE(m.AutoRun());
    EXPECT_TRUE(FileExists(entry));
    EXPECT_NE(ReadFile(entry).find("Exec=" + appDir + "lirvo"), std::string::npos);
    m.chkAutoRunClick();
    EXPECT_FALSE(FileExists(entry));

    int flips = 0;
    QObject::connect(&m, &TZylMain::flipBackRequested, [&] { ++flips; });
    m.HudButton3Click();
    EXPECT_EQ(flips, 1);
    EXPECT_EQ(Setting(SettingsFile(), "AUTORUN", "Value"), "0");
}

TEST_F(StartupTest, ABuildRunFromItsBuildTreeNeverRegistersItselfToStart) {
    const std::string tree = temp.path().toStdString() + "/build/release";
    std::filesystem::create_directories(tree + "/bin");
    WriteFile(tree + "/CMakeCache.txt", "# CMake cache\n");
    auto options = Options();
    options.ExePath = tree + "/bin/lirvo";
    TZylMain &m = Create(options);
    const std::string entry = home + "/.config/autostart/runlirvo.desktop";
    EXPECT_TRUE(m.AutoRun()) << "the setting itself is kept";
    EXPECT_FALSE(FileExists(entry));
    m.chkAutoRunClick();
    m.chkAutoRunClick();
    EXPECT_TRUE(m.AutoRun());
    EXPECT_FALSE(FileExists(entry));
}

TEST_F(StartupTest, AutostartTurnedOffInTheDesktopStaysOffAcrossStarts) {
    WriteFile(SettingsFile(), SettingsXml("<AUTORUN Value=\"1\"/>"));
    const std::string entry = home + "/.config/autostart/runlirvo.desktop";
    std::filesystem::create_directories(home + "/.config/autostart");
    for (const char *mark : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        const std::string text = "[Desktop Entry]\nType=Application\nExec=/x/lirvo\n" + std::string(mark) + "\n";
        WriteFile(entry, text);
        TZylMain &m = Create();
        EXPECT_FALSE(m.AutoRun()) << mark;
        EXPECT_EQ(ReadFile(entry), text) << "the start must not turn the entry back on";
        m.SaveSettings();
        EXPECT_EQ(Setting(SettingsFile(), "AUTORUN", "Value"), "0");
        main.reset();
        WriteFile(SettingsFile(), SettingsXml("<AUTORUN Value=\"1\"/>"));
    }
}

// The program defers the engine until its window shows. Until then the window has everything
// it shows; the engine, the plug-ins and the autostart entry come with StartEngine, or with the
// first handler that needs the engine, so nothing asked before is lost.
class DeferredEngineTest : public StartupTest {
protected:
    TZylMain &CreateDeferred() {
        TZylMainOptions options = Options();
        options.DeferEngine = true;
        options.SetAutorun = [this](bool enable) { autorunCalls.push_back(enable); };
        return Create(std::move(options));
    }
    bool LibraryInitialised() {
        for (const auto &call : library.Calls())
            if (call.rfind("Init ", 0) == 0)
                return true;
        return false;
    }
};

TEST_F(DeferredEngineTest, TheWindowsStateComesFirstTheEngineAndItsCompanionsOnceStarted) {
    const auto a = AddSong("a.mp3", "A", "X");
    WritePlaylist({a});
    TZylMain &m = CreateDeferred();
    EXPECT_EQ(m.RowCount(), 1);
    EXPECT_TRUE(m.PlaylistVisible());
    EXPECT_FALSE(m.PresetNamesUtf8().empty());
    EXPECT_EQ(m.Engine(), nullptr);
    EXPECT_FALSE(LibraryInitialised());
    EXPECT_TRUE(autorunCalls.empty());
    EXPECT_TRUE(PluginLog().empty());
    EXPECT_EQ(m.EngineState(), lirvo::audio::kStateStopped);

    m.StartEngine();
    ASSERT_NE(m.Engine(), nullptr);
    EXPECT_TRUE(LibraryInitialised());
    EXPECT_EQ(autorunCalls, std::vector<bool>{true});
    EXPECT_EQ(PluginLog(), std::vector<std::string>{"100"});
    m.StartEngine(); // once only
    EXPECT_EQ(autorunCalls.size(), 1u);
    EXPECT_EQ(PluginLog().size(), 1u);
}

TEST_F(DeferredEngineTest, CommandsBeforeTheEngineStartsItAndAreCarriedOut) {
    const auto a = AddSong("a.mp3", "A", "X"), b = AddSong("b.mp3", "B", "X");
    WritePlaylist({a, b});
    CreateDeferred();
    EXPECT_EQ(main->WMCMDPLAY(16, 0), 1); // play/pause from another process
    ASSERT_TRUE(WaitPlaying(0));

    main.reset();
    CreateDeferred();
    main->btn_nextClick();
    EXPECT_TRUE(WaitPlaying(1));

    main.reset();
    CreateDeferred();
    // A file handed over by a later start: its tags are read, its row appended, then it plays.
    const auto c = AddSong("c.mp3", "C", "Y");
    lirvo::command::CommandBlock block{};
    block.Command = lirvo::command::CmdPlayFile;
    std::strcpy(block.Text, c.c_str());
    main->WMSHARECMD(block, 1);
    ASSERT_TRUE(WaitUntil([&] { return main->RowCount() == 3; }));
    EXPECT_EQ(main->Records()[2].Caption, "C - Y");
    EXPECT_TRUE(WaitPlaying(2));
}

TEST_F(DeferredEngineTest, RowsCanBeDeletedAndClearedBeforeTheEngineExists) {
    const auto a = AddSong("a.mp3"), b = AddSong("b.mp3");
    WritePlaylist({a, b});
    TZylMain &m = CreateDeferred();
    m.lstDefaultMouseMove(0); // the current row
    view.answers.push_back(IMainView::kYes);
    m.pmdel_delselectClick();
    ASSERT_EQ(m.RowCount(), 1);
    view.answers.push_back(IMainView::kYes);
    m.pmdel_clearlistClick();
    EXPECT_EQ(m.RowCount(), 0);
    EXPECT_EQ(m.Engine(), nullptr); // nothing played, so nothing needed the engine
}
