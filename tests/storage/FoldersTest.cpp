#include "storage/Folders.h"

#include "TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>

using namespace lirvo::storage;
using lirvo::testing::TempFolder;
using lirvo::testing::WriteWholeFile;
namespace fs = std::filesystem;

namespace {

// Points HOME and the XDG variables at a private folder and restores them afterwards.
class Folders : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR",
                                 "XDG_DOCUMENTS_DIR", "XDG_MUSIC_DIR"}) {
            const char *value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
        home = dir.Path() + "home";
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
    }
    void TearDown() override {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void WriteUserDirs(const std::string &content) {
        fs::create_directories(home + "/.config");
        WriteWholeFile(home + "/.config/user-dirs.dirs", content);
    }

    TempFolder dir;
    std::string home;

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace

TEST_F(Folders, DocumentsComeFromUserDirsOrFallBackToHome) {
    EXPECT_EQ(GetSpecialFolder(0x85), home + "/Documents/");
    EXPECT_EQ(GetSpecialFolder(0x05), home + "/Documents/");

    WriteUserDirs("# written by xdg-user-dirs-update\n"
                  "XDG_DESKTOP_DIR=\"$HOME/\xE6\xA1\x8C\xE9\x9D\xA2\"\n"
                  "XDG_DOCUMENTS_DIR=\"$HOME/My Files\"\n"
                  "XDG_MUSIC_DIR=\"/srv/music/\"\n"
                  "XDG_VIDEOS_DIR=\"${HOME}/Films\"\n");
    EXPECT_EQ(GetSpecialFolder(0x85), home + "/My Files/");
    EXPECT_EQ(GetSpecialFolder(0x0E), home + "/Films/");
    EXPECT_EQ(GetSpecialFolder(0x80), home + "/\xE6\xA1\x8C\xE9\x9D\xA2/");
    EXPECT_EQ(GetSpecialFolder(0x8D), "/srv/music/");
    EXPECT_EQ(GetSpecialFolder(0x27), home + "/Pictures/"); // not listed: the fallback

    // XDG_CONFIG_HOME moves the user-dirs file too.
    const std::string config = dir.Path() + "cfg";
    fs::create_directories(config);
    WriteWholeFile(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/data/docs\"\n");
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(GetSpecialFolder(0x85), "/data/docs/");
    EXPECT_EQ(GetSpecialFolder(0x9A), config + "/");

    // The variable set in the environment comes first; a relative one is ignored.
    setenv("XDG_DOCUMENTS_DIR", "/from/environment", 1);
    EXPECT_EQ(GetSpecialFolder(0x85), "/from/environment/");
    setenv("XDG_DOCUMENTS_DIR", "relative/docs", 1);
    EXPECT_EQ(GetSpecialFolder(0x85), "/data/docs/");
}

TEST_F(Folders, TemporaryFolderHasExactlyOneTrailingSlash) {
    EXPECT_EQ(GetSpecialFolder(0xA3), "/tmp/");
    setenv("TMPDIR", "/var/tmp//", 1);
    EXPECT_EQ(GetSpecialFolder(0xA3), "/var/tmp/");
    setenv("TMPDIR", "/scratch", 1);
    EXPECT_EQ(GetSpecialFolder(0xA3, true), "/scratch/");
}

TEST_F(Folders, CodesWithoutAnEquivalentGiveTheEmptyString) {
    for (unsigned code : {0xA0u, 0xA1u, 0xA2u, 0xA4u, 0xFFu, 0x01u, 0x0Au, 0x91u})
        EXPECT_EQ(GetSpecialFolder(static_cast<std::uint8_t>(code)), "") << std::hex << code;
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(GetSpecialFolder(0x1C), "/xdg/data/");
    EXPECT_EQ(GetSpecialFolder(0x28), home + "/");
}

TEST_F(Folders, ShortPathsAreTheSamePaths) {
    std::string path = "/home/u/\xE9\x9F\xB3\xE4\xB9\x90/"; // 音乐
    EXPECT_EQ(ToShortPath(path), static_cast<int>(path.size()));
    EXPECT_EQ(path, "/home/u/\xE9\x9F\xB3\xE4\xB9\x90/");
    EXPECT_EQ(ToShortPath(path, 10), 8); // not inside 音
    EXPECT_EQ(path, "/home/u/");
    std::string empty;
    EXPECT_EQ(ToShortPath(empty), 0);
}

TEST_F(Folders, ForceFolderMakesComponentsFollowedByASlash) {
    const std::string base = dir.Path();
    EXPECT_TRUE(ForceFolder(base + "a/b/c/", true));
    EXPECT_TRUE(fs::is_directory(base + "a/b/c"));

    EXPECT_TRUE(ForceFolder(base + "x/y", true));
    EXPECT_TRUE(fs::is_directory(base + "x"));
    EXPECT_FALSE(fs::exists(base + "x/y"));

    EXPECT_TRUE(ForceFolder(base + "a/b", false)); // exists, with or without a slash
    EXPECT_FALSE(ForceFolder(base + "m/n/", false));
    EXPECT_FALSE(fs::exists(base + "m"));

    // A file standing where a folder should be: the pass runs, fails silently, reports true.
    WriteWholeFile(base + "blocker", "x");
    EXPECT_TRUE(ForceFolder(base + "blocker/inner/", true));
    EXPECT_TRUE(fs::is_regular_file(base + "blocker"));
    EXPECT_FALSE(fs::exists(base + "blocker/inner"));
}

TEST_F(Folders, FolderCodePathsAreRelativeToTheCodedFolder) {
    setenv("TMPDIR", dir.Path().c_str(), 1);
    EXPECT_TRUE(ForceFolder("\xA3lirvo-cache/songs/", true));
    EXPECT_TRUE(fs::is_directory(dir.Path() + "lirvo-cache/songs"));
    EXPECT_TRUE(ForceFolder("\x85lirvo/", true));
    EXPECT_TRUE(fs::is_directory(home + "/Documents/lirvo"));

    // A relative path starting with a UTF-8 character is an ordinary path, not a code.
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_TRUE(ForceFolder("\xE9\x9F\xB3\xE4\xB9\x90/", true));
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_directory(dir.Path() + "\xE9\x9F\xB3\xE4\xB9\x90"));
}
