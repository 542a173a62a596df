// The copy kept of a network song: names, completeness, repointing the row.

#include "ShellTestSupport.h"

#include "shell/controller/DownloadCache.h"

#include <QDir>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

class CacheTest : public ShellTest {
protected:
    std::string music;
    const std::string url = "http://127.0.0.1:9/stream/track.mp3";

    void StartWithNetworkRow(std::uint64_t announced, std::vector<std::string> blocks) {
        lirvo::audio::testing::FakeUrl fake;
        fake.totalSize = announced;
        fake.blocks = std::move(blocks);
        library.urls[url] = fake;
        Create();
        music = main->MusicDir();
        main->AppendRow(1, "Net: Song?", "Singer/X", url);
        main->SavePlayList();
        main->lstDefaultMouseMove(0);
        main->plst_listItemDblClick();
        ASSERT_TRUE(WaitPlaying(0));
    }
};

} // namespace

TEST(CacheNames, CleanedCutAndNumberedWhenTaken) {
    QTemporaryDir dir;
    const std::string music = dir.path().toStdString();
    EXPECT_EQ(ChooseCacheTarget(music, "a/b:c?"), music + "/abc.mp3");
    const std::string longCaption(150, 'x');
    EXPECT_EQ(ChooseCacheTarget(music, longCaption), music + "/" + std::string(100, 'x') + ".mp3");
    // A cut never splits a character: 33 three-byte characters fit in 100 bytes, not 34.
    std::string wide;
    for (int i = 0; i < 40; ++i)
        wide += "歌";
    EXPECT_EQ(ChooseCacheTarget(music, wide), music + "/" + wide.substr(0, 99) + ".mp3");

    WriteFile(music + "/song.mp3", "1");
    EXPECT_EQ(ChooseCacheTarget(music, "song"), music + "/song(1).mp3");
    WriteFile(music + "/song(1).mp3", "2");
    EXPECT_EQ(ChooseCacheTarget(music, "song"), music + "/song(2).mp3");
    // A folder stored with its trailing slash gets a doubled separator, which is harmless.
    EXPECT_EQ(ChooseCacheTarget(music + "/", "other"), music + "//other.mp3");
}

TEST_F(CacheTest, CompleteDownloadIsKeptUnderTheCaptionAndTheRowRepointed) {
    StartWithNetworkRow(10, {"hello", "world"});
    const std::string kept = music + "/Net Song - SingerX.mp3";
    ASSERT_TRUE(WaitUntil([&] { return main->Records()[0].Path == kept; }));
    EXPECT_EQ(ReadFile(kept), "helloworld");
    EXPECT_EQ(main->Rows().Row(0).path, kept);
    EXPECT_FALSE(FileExists(music + "/_temp._mp"));
    // The playlist file learns the new path at the next save only.
    EXPECT_EQ(ReadFile(main->PlaylistPath()).find("Net Song - SingerX.mp3"), std::string::npos);
    main->SavePlayList();
    EXPECT_NE(ReadFile(main->PlaylistPath()).find("Net Song - SingerX.mp3"), std::string::npos);

    // The next play reads the local copy: no network open and no new cache file.
    library.files[kept] = {};
    main->plst_listItemDblClick();
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_EQ(library.StreamRecord(Engine().CurrentChannel()).source, kept);
    Spin(50);
    EXPECT_FALSE(FileExists(music + "/_temp._mp"));
}

TEST_F(CacheTest, DownloadOneByteShortOrOfUnknownSizeIsNotKept) {
    StartWithNetworkRow(11, {"hello", "world"});
    ASSERT_TRUE(WaitUntil(
        [&] { return FileExists(music + "/_temp._mp") && ReadFile(music + "/_temp._mp").size() == 10; }));
    Spin(100);
    EXPECT_EQ(main->Records()[0].Path, url);
    EXPECT_TRUE(QDir(QString::fromStdString(music)).entryList({"*.mp3"}, QDir::Files).isEmpty());
}

TEST(DownloadCache, ADownloadCutShortDoesNotLeakIntoTheNext) {
    QTemporaryDir dir;
    const std::string music = dir.path().toStdString();
    std::atomic<std::uint64_t> downloaded{0};
    DownloadCache cache;
    cache.SetPending(music, "First", "http://a/1");
    cache.Choose();
    EXPECT_FALSE(cache.Block("abc", 3, downloaded, 100));
    EXPECT_TRUE(cache.FileOpen()); // the stream was freed: no final call comes

    cache.SetPending(music, "Second", "http://a/2");
    cache.Choose();
    EXPECT_FALSE(cache.FileOpen());
    EXPECT_FALSE(cache.Block("xy", 2, downloaded, 2));
    auto kept = cache.Block(nullptr, 0, downloaded, 2);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Source, "http://a/2");
    EXPECT_EQ(kept->Target, music + "/Second.mp3");
    EXPECT_EQ(ReadFile(music + "/Second.mp3"), "xy");
    EXPECT_FALSE(FileExists(music + "/_temp._mp"));

    // Blocks with no network open behind them are ignored.
    DownloadCache idle;
    EXPECT_FALSE(idle.Block("zz", 2, downloaded, 2));
    EXPECT_FALSE(idle.Block(nullptr, 0, downloaded, 2));
}

// The name was taken while the song downloaded: nothing is kept, nothing is overwritten, and the
// downloaded bytes stay in the temporary file.
TEST(DownloadCache, NoKeptCopyMeansNoRepointAndTheTemporaryFileStays) {
    QTemporaryDir dir;
    const std::string music = dir.path().toStdString();
    std::atomic<std::uint64_t> downloaded{0};
    DownloadCache cache;
    cache.SetPending(music, "Song", "http://a/1");
    cache.Choose();
    EXPECT_FALSE(cache.Block("abc", 3, downloaded, 3));
    WriteFile(music + "/Song.mp3", "someone else's");
    EXPECT_FALSE(cache.Block(nullptr, 0, downloaded, 3));
    EXPECT_EQ(ReadFile(music + "/Song.mp3"), "someone else's");
    EXPECT_EQ(ReadFile(music + "/_temp._mp"), "abc");
}

TEST_F(CacheTest, ALocalFileNeverMakesACacheFile) {
    const auto song = AddSong("local.mp3", "Local", "");
    WritePlaylist({song});
    Create();
    main->lstDefaultMouseMove(0);
    main->plst_listItemDblClick();
    ASSERT_TRUE(WaitPlaying(0));
    Spin(50);
    EXPECT_TRUE(QDir(QString::fromStdString(main->MusicDir())).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(main->Records()[0].Path, song);
}
