// Local playlist files: the entries of .m3u, .m3u8 and .pls files become rows with the titles
// the playlist gives, relative entries resolve against the playlist's folder, missing files
// and the playlist itself never become rows.

#include "FakeCommandTarget.h"
#include "shell/command/CommandMessages.h"
#include "shell/command/LocalPlaylist.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

namespace lirvo::command {
namespace {

using Entries = std::vector<LocalPlaylistEntry>;

class LocalPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString() + "/";
        for (const char *name : {"a.mp3", "sub/b.ogg", "歌曲/夜曲.flac", "c d.wav"})
            Write(name, "x");
    }

    std::string Write(const std::string &name, const std::string &bytes) {
        const std::string path = root + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    QTemporaryDir dir;
    std::string root;
};

TEST_F(LocalPlaylistTest, M3uResolvesRelativeAndAbsoluteEntriesTakesExtinfTitlesAndSkipsMissingFiles) {
    const std::string list = Write("lists/mix.m3u", "#EXTM3U\r\n"
                                                   "#EXTINF:215,Some Singer - A Title\r\n"
                                                   "../a.mp3\r\n"
                                                   "\r\n"
                                                   "# a comment\r\n"
                                                   "#EXTINF:10,Only Title\r\n" +
                                                       root + "sub/b.ogg\r\n"
                                                       "../missing.mp3\r\n"
                                                       "../c%20d.wav\r\n"
                                                       "file://" +
                                                       root + "c%20d.wav\r\n"
                                                       "http://radio.example/live\r\n"
                                                       "ftp://host/x.mp3\r\n"
                                                       "other.m3u\r\n");
    EXPECT_EQ(ReadLocalPlaylist(list),
              (Entries{{root + "lists/../a.mp3", "A Title", "Some Singer"},
                       {root + "sub/b.ogg", "Only Title", ""},
                       {root + "c d.wav", "", ""},
                       {"http://radio.example/live", "", ""}}));
}

TEST_F(LocalPlaylistTest, M3u8InUtf8AndM3uInGbkKeepChineseNames) {
    const std::string utf8 = Write("list.m3u8", "\xEF\xBB\xBF#EXTINF:-1,歌手 - 夜曲\n歌曲/夜曲.flac\n");
    EXPECT_EQ(ReadLocalPlaylist(utf8), (Entries{{root + "歌曲/夜曲.flac", "夜曲", "歌手"}}));
    // "歌曲/夜曲.flac" in GBK.
    const std::string gbk = Write("gbk.m3u", "\xB8\xE8\xC7\xFA/\xD2\xB9\xC7\xFA.flac\n");
    EXPECT_EQ(ReadLocalPlaylist(gbk), (Entries{{root + "歌曲/夜曲.flac", "", ""}}));
}

TEST_F(LocalPlaylistTest, PlsTakesFilesInNumberOrderWithTheirTitles) {
    const std::string list = Write("radio.PLS", "[playlist]\n"
                                                "NumberOfEntries=3\n"
                                                "File2=sub/b.ogg\n"
                                                "Title2=Band - Second\n"
                                                "File1=a.mp3\n"
                                                "Title1=First\n"
                                                "File3=gone.mp3\n"
                                                "Length1=-1\n"
                                                "Version=2\n");
    EXPECT_EQ(ReadLocalPlaylist(list),
              (Entries{{root + "a.mp3", "First", ""}, {root + "sub/b.ogg", "Second", "Band"}}));
}

TEST_F(LocalPlaylistTest, WhatCountsAsALocalPlaylist) {
    EXPECT_TRUE(IsLocalPlaylistPath("/x/y.M3U"));
    EXPECT_TRUE(IsLocalPlaylistPath("rel.m3u8"));
    EXPECT_TRUE(IsLocalPlaylistPath("file:///x/y.pls"));
    EXPECT_FALSE(IsLocalPlaylistPath("http://host/list.m3u")); // network playlists play as before
    EXPECT_FALSE(IsLocalPlaylistPath("/x.m3u/song.mp3"));
    EXPECT_FALSE(IsLocalPlaylistPath("/x/.m3u"));
    EXPECT_TRUE(ReadLocalPlaylist(root + "nothing.m3u").empty());
    EXPECT_TRUE(ReadLocalPlaylist(root).empty()); // a folder
}

TEST_F(LocalPlaylistTest, PlaylistCommandsAppendTheEntriesAndPlayTheFirst) {
    const std::string list = Write("two.m3u", "#EXTINF:1,X - Named\na.mp3\nsub/b.ogg\n");
    test::FakeCommandTarget target;
    target.AddStoredRows(2);
    target.tags[root + "sub/b.ogg"] = {"Tagged", "Artist"};
    auto block = std::make_unique<CommandBlock>();
    std::memset(block.get(), 0, sizeof *block);
    block->Command = CmdPlayFile;
    std::strcpy(block->Text, list.c_str());
    EXPECT_TRUE(WMSHARECMD(*block, 1, target, ""));
    ASSERT_EQ(target.rows.size(), 4u);
    EXPECT_EQ(target.rows[2].title, "Named");
    EXPECT_EQ(target.rows[2].artist, "X");
    EXPECT_EQ(target.rows[2].number, 3);
    EXPECT_EQ(target.rows[3].title, "Tagged");
    EXPECT_EQ(target.rows[3].path, root + "sub/b.ogg");
    EXPECT_EQ(target.currentIndex, 2);
    EXPECT_EQ(target.calls, (std::vector<std::string>{"stop", "play:" + root + "a.mp3", "save"}));

    // Added only: no playback; a playlist with no existing entry adds nothing at all.
    target.calls.clear();
    block->Command = CmdAddFile;
    std::strcpy(block->Text, list.c_str());
    WMSHARECMD(*block, 1, target, "");
    block->Command = CmdPlayFile;
    std::strcpy(block->Text, Write("empty.pls", "[playlist]\nFile1=nope.mp3\n").c_str());
    WMSHARECMD(*block, 1, target, "");
    EXPECT_EQ(target.rows.size(), 6u);
    EXPECT_EQ(target.calls, (std::vector<std::string>{"save", "save"}));
}

TEST(PlaylistFilterTest, PlaylistsJoinTheFirstGroupAndGetTheirOwn) {
    EXPECT_EQ(FilterWithPlaylists("所有音乐|*.mp3;*.ogg"),
              "所有音乐|*.mp3;*.ogg;*.m3u;*.m3u8;*.pls|播放列表|*.m3u;*.m3u8;*.pls");
    EXPECT_EQ(FilterWithPlaylists("A|*.a|B|*.b"), "A|*.a;*.m3u;*.m3u8;*.pls|B|*.b|播放列表|*.m3u;*.m3u8;*.pls");
    EXPECT_EQ(FilterWithPlaylists(""), "播放列表|*.m3u;*.m3u8;*.pls");
}

} // namespace
} // namespace lirvo::command
