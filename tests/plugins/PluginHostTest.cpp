#include "plugins/UPluginFramework.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>

namespace lirvo::plugins {
namespace {

namespace fs = std::filesystem;

class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lirvo-plug-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        folder = root + "/plugins";
        fs::create_directory(folder);
        log = root + "/log.txt";
        setenv("LIRVO_PLUGIN_LOG", log.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Copies a built test plug-in into the folder under `name`.
    void Install(const std::string &fixture, const std::string &name) {
        fs::copy_file(std::string(LIRVO_PLUGIN_FIXTURES) + "/" + fixture + ".so", folder + "/" + name);
    }

    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    static bool IsLoaded(const std::string &path) {
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr)
            dlclose(handle);
        return handle != nullptr;
    }

    std::string root, folder, log;
};

using Lines = std::vector<std::string>;

TEST_F(PluginHostTest, PluginSeesLoadTrackMessagesAndUnloadInOrder) {
    Install("valid", "valid.so");
    fs::create_directory(folder + "/folder.so"); // a directory named like a library
    std::ofstream(folder + "/notes.txt") << "not a plug-in";
    {
        TUSGeneralPurpose host(1234, folder);
        ASSERT_EQ(host.PluginCount(), 1);
        EXPECT_FALSE(host.LoadPlugin(folder + "/folder.so"));
        const std::string path = "/music/歌.mp3", title = "Title", artist = "艺人";
        TSongInfo song{};
        song.PathText = path.c_str();
        song.Duration = 90.5 / 86400.0;
        song.TitleText = title.c_str();
        song.TitleLength = static_cast<int32_t>(title.size());
        song.ArtistText = artist.c_str();
        song.ArtistLength = static_cast<int32_t>(artist.size());
        EXPECT_EQ(host.SendToPlugins(108, &song, 0), 1);
        EXPECT_EQ(host.SendToPlugins(109, &song, 0), 1);
    }
    EXPECT_EQ(Log(), (Lines{"valid.so info 256", "valid.so 100 0",
                            "valid.so 108 /music/歌.mp3 Title/5 艺人/6 90.500",
                            "valid.so 109 /music/歌.mp3 Title/5 艺人/6 90.500", "valid.so 101 0"}));
    EXPECT_FALSE(IsLoaded(folder + "/valid.so"));
}

TEST_F(PluginHostTest, UnfitLibrariesAreRejectedAndFreed) {
    Install("wrong_type", "wrong_type.so");
    Install("wrong_version", "wrong_version.so");
    Install("no_export", "no_export.so");
    Install("throw_in_info", "throw_in_info.so");
    std::ofstream(folder + "/broken.so") << "not an ELF file";

    TUSGeneralPurpose host(0, folder);

    EXPECT_EQ(host.PluginCount(), 0);
    EXPECT_EQ(host.SendToPlugins(108, nullptr, 0), 1);
    for (const char *name : {"wrong_type.so", "wrong_version.so", "no_export.so", "throw_in_info.so"})
        EXPECT_FALSE(IsLoaded(folder + "/" + name)) << name;
    for (const auto &line : Log())
        EXPECT_NE(line.find(" info 256"), std::string::npos) << "got a message: " << line;
}

TEST_F(PluginHostTest, ThrowingAndSilentPluginsStayLoaded) {
    Install("answer5", "a_answer5.so");
    Install("throw_on_108", "b_throw_on_108.so");
    Install("throw_on_100", "c_throw_on_100.so");
    Install("null_proc", "d_null_proc.so");
    TUSGeneralPurpose host(0, folder);
    ASSERT_EQ(host.PluginCount(), 4);

    // c answers 1 after b threw; b's failure leaves the answer of a.
    EXPECT_EQ(host.SendToPlugins(108, nullptr, 0), 1);
    host.UnloadPlugin(2);
    EXPECT_EQ(host.SendToPlugins(108, nullptr, 0), 5);
    EXPECT_EQ(host.PluginCount(), 4); // unloading a slot keeps the count

    const Lines log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "c_throw_on_100.so 108 0"), log.end());
    for (const auto &line : log)
        EXPECT_TRUE(line.rfind("d_null_proc.so", 0) != 0 || line == "d_null_proc.so info 256") << line;
}

TEST_F(PluginHostTest, LastAnswerWinsAndNoPluginAnswersOne) {
    {
        TUSGeneralPurpose empty(0, folder);
        EXPECT_EQ(empty.SendToPlugins(108, nullptr, 0), 1);
        TUSGeneralPurpose missing(0, root + "/nowhere");
        EXPECT_EQ(missing.PluginCount(), 0);
        TUSGeneralPurpose none(0, "");
        EXPECT_EQ(none.PluginCount(), 0);
    }
    Install("answer5", "1.so");
    Install("answer7", "2.so");
    TUSGeneralPurpose host(0, folder);
    EXPECT_EQ(host.SendToPlugins(109, nullptr, 0), 7);
}

TEST_F(PluginHostTest, OneLibraryUnderTwoNamesIsRegisteredOnce) {
    Install("valid", "a.so");
    fs::create_symlink(folder + "/a.so", folder + "/b.so");
    TUSGeneralPurpose host(0, folder);
    EXPECT_EQ(host.PluginCount(), 1);
    host.UnloadAll();
    EXPECT_FALSE(IsLoaded(folder + "/a.so")); // the second name's reference was dropped
}

TEST_F(PluginHostTest, AtMostSixtyFourPluginsAndTheRestAreNeverOpened) {
    for (int i = 0; i < 70; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d.so", i);
        Install("valid", name);
    }
    {
        TUSGeneralPurpose host(0, folder);
        EXPECT_EQ(host.PluginCount(), 64);
        EXPECT_FALSE(host.LoadPlugin(folder + "/p69.so"));
    }
    Lines opened, unloaded;
    for (const auto &line : Log()) {
        if (line.find(" info ") != std::string::npos)
            opened.push_back(line.substr(0, 3));
        if (line.find(" 101 ") != std::string::npos)
            unloaded.push_back(line.substr(0, 3));
    }
    ASSERT_EQ(opened.size(), 64u);
    EXPECT_EQ(opened.back(), "p63");
    EXPECT_EQ(unloaded, opened); // unloaded in load order
}

#ifdef LIRVO_SAMPLE_PLUGIN
TEST_F(PluginHostTest, SamplePluginWritesEveryMessage) {
    const std::string sampleLog = root + "/sample.log";
    setenv("LIRVO_SAMPLE_PLUGIN_LOG", sampleLog.c_str(), 1);
    fs::copy_file(LIRVO_SAMPLE_PLUGIN, folder + "/sample.so");
    {
        TUSGeneralPurpose host(0, folder);
        ASSERT_EQ(host.PluginCount(), 1);
        const std::string path = "/m/a.mp3", title = "A", artist = "B";
        TSongInfo song{};
        song.PathText = path.c_str();
        song.TitleText = title.c_str();
        song.TitleLength = 1;
        song.ArtistText = artist.c_str();
        song.ArtistLength = 1;
        song.Duration = 60.0 / 86400.0;
        host.SendToPlugins(108, &song, 0);
    }
    std::ifstream in(sampleLog);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("100"), std::string::npos) << text;
    EXPECT_NE(text.find("108 path=/m/a.mp3 title=A artist=B seconds=60"), std::string::npos) << text;
    EXPECT_NE(text.find("101"), std::string::npos) << text;
}
#endif

} // namespace
} // namespace lirvo::plugins
