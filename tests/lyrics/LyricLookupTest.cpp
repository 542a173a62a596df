// Name similarity and the lyric files a lookup picks on disk.
#include "lyrics/core/LyricLookup.h"
#include "lyrics/core/UntLrcThread.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace lirvo::lyrics {
namespace {

struct ScoreCase {
    const char *a;
    const char *b;
    int score;
};
void PrintTo(const ScoreCase &c, std::ostream *os) {
    *os << "'" << c.a << "' vs '" << c.b << "'";
}

class LyricsSimilarity : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(LyricsSimilarity, Scores) {
    EXPECT_EQ(Similarity(GetParam().a, GetParam().b), GetParam().score);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LyricsSimilarity,
    ::testing::Values(ScoreCase{"abc", "abc", 100}, ScoreCase{"abcd", "abc", 75},
                      ScoreCase{"teh", "the", 100}, ScoreCase{"ab", "ba", 0}, ScoreCase{"dad", "tat", 100},
                      ScoreCase{"abc", "xyz", 33}, ScoreCase{"hello world", "world hello", 27},
                      ScoreCase{"ABC", "abc", 100}, ScoreCase{"", "abc", 0}, ScoreCase{"abc", "", 0},
                      ScoreCase{"IJY", "yij", 100},
                      ScoreCase{"a long song title artist", "a long song title artist2", 96},
                      ScoreCase{"my song singerx", "my song singer", 93}));

TEST(LyricsSimilarity, LongerTextIsTheReferenceWhateverTheOrder) {
    EXPECT_EQ(Similarity("abc", "abcd"), 75);
    EXPECT_EQ(Similarity("my song singer", "my song singerx"), 93);
}

TEST(LyricsSimilarity, WithoutLetterGroupsOnlyEqualBytesMatch) {
    EXPECT_EQ(Similarity("dad", "tat", false), 33);
    EXPECT_EQ(Similarity("ABC", "abc", false), 0);
    EXPECT_EQ(Similarity("abc", "abc", false), 100);
}

TEST(LyricsSimilarity, HighBytesCompareAsThemselves) {
    EXPECT_EQ(Similarity("你好", "你好"), 100);
    EXPECT_LT(Similarity("你好", "再见"), 100);
}

TEST(LyricsSiblingPath, ReplacesTheRealExtension) {
    EXPECT_EQ(SiblingLyricPath("/m/Song.flac"), "/m/Song.lrc");
    EXPECT_EQ(SiblingLyricPath("/m/a.mp3"), "/m/a.lrc");
    EXPECT_EQ(SiblingLyricPath("/m.d/song"), "/m.d/song.lrc");
    EXPECT_EQ(SiblingLyricPath("/m/.hidden"), "/m/.hidden.lrc");
    EXPECT_EQ(SiblingLyricPath("x.ogg"), "x.lrc");
}

class LyricsFolderLookup : public ::testing::Test {
protected:
    std::string Dir() const { return dir.path().toStdString(); }
    std::string Touch(const std::string &name) {
        std::string path = Dir() + "/" + name;
        std::ofstream(path) << "[00:01.00]x\r\n";
        return path;
    }
    std::string Find(const std::string &title, const std::string &singer) const {
        return FindBestLyricFile(Dir(), title, singer);
    }
    QTemporaryDir dir;
};

TEST_F(LyricsFolderLookup, ExactNameWins) {
    Touch("a long song title artist2.lrc");
    std::string exact = Touch("a long song title artist.lrc");
    Touch("something else.lrc");
    EXPECT_EQ(Find("A Long Song Title", "Artist"), exact);
}

TEST_F(LyricsFolderLookup, NearNameIsUsedWithoutExactMatch) {
    std::string near = Touch("a long song title artist2.lrc");
    Touch("a long song.lrc");
    EXPECT_EQ(Find("A Long Song Title", "Artist"), near);
}

TEST_F(LyricsFolderLookup, NamesBelowThresholdAreNotUsed) {
    Touch("my song singerx.lrc");
    EXPECT_EQ(Find("my song", "singer"), "");
}

TEST_F(LyricsFolderLookup, KeepsTheListedCaseAndAcceptsUpperExtension) {
    std::string path = Touch("My Song Singer.LRC");
    EXPECT_EQ(Find("my song", "singer"), path);
}

TEST_F(LyricsFolderLookup, OnlyLyricFilesCount) {
    Touch("my song singer.txt");
    Touch("my song singer.lrc.bak");
    ASSERT_EQ(::mkdir((Dir() + "/my song singer.lrc").c_str(), 0700), 0);
    EXPECT_EQ(Find("my song", "singer"), "");
}

TEST_F(LyricsFolderLookup, ArtistFirstNamesAndThenTheTitleAloneAreFound) {
    // The name of lyric collections, "Artist - Title".
    const std::string artistFirst = Touch("Singer - My Song.lrc");
    const std::string titleOnly = Touch("My Song.lrc");
    EXPECT_EQ(Find("My Song", "Singer"), artistFirst);
    // The title alone only when no name with the artist scores.
    ::unlink(artistFirst.c_str());
    EXPECT_EQ(Find("My Song", "Singer"), titleOnly);
    const std::string full = Touch("my song singer.lrc");
    EXPECT_EQ(Find("My Song", "Singer"), full);
    // A title-only name that is another song's does not count.
    ::unlink(full.c_str());
    ::unlink(titleOnly.c_str());
    Touch("My Song Remix.lrc");
    EXPECT_EQ(Find("My Song", "Singer"), "");
}

TEST_F(LyricsFolderLookup, MissingFolderGivesNothing) {
    EXPECT_EQ(FindBestLyricFile(Dir() + "/absent", "a", "b"), "");
}

// Names the lookup itself saves are found again at score 100; so are the names of earlier
// versions ("Title - Artist Artist").
TEST_F(LyricsFolderLookup, SavedNamesAreFoundAgain) {
    const struct {
        std::string title, artist, fileName;
    } cases[] = {
        {"晴天", "周杰伦", "晴天 - 周杰伦 周杰伦.lrc"}, // saved by earlier versions
        {"晴天", "周杰伦", OnlineLyricFileName("晴天", "周杰伦")},
        {"AC/DC: Live?", "Band", OnlineLyricFileName("AC/DC: Live?", "Band")},
        {"Solo", "", OnlineLyricFileName("Solo", "")},
        {"  Padded ", " Artist ", OnlineLyricFileName("  Padded ", " Artist ")},
    };
    for (const auto &c : cases) {
        QTemporaryDir fresh;
        dir.swap(fresh);
        Touch("晴天 - 周杰伦 周杰伦 (live).lrc");
        const std::string saved = Touch(c.fileName);
        EXPECT_EQ(Find(c.title, c.artist), saved) << c.fileName;
        if (&c == &cases[0])
            continue; // the old name matches the old name's key, not the new one
        auto trim = [](std::string t) {
            t.erase(0, t.find_first_not_of(' '));
            t.erase(t.find_last_not_of(' ') + 1);
            return t;
        };
        const std::string key = NormalizeLyricName(trim(c.title) + " " + trim(c.artist));
        EXPECT_EQ(Similarity(NormalizeLyricName(c.fileName.substr(0, c.fileName.size() - 4)), key), 100)
            << c.fileName;
    }
    EXPECT_EQ(OnlineLyricFileName("晴天", "周杰伦"), "晴天 - 周杰伦.lrc");
    EXPECT_EQ(OnlineLyricFileName("A/B", ""), "AB.lrc");
    EXPECT_EQ(NormalizeLyricName(" Title - Artist - X "), "title artist x");
    EXPECT_EQ(NormalizeLyricName("a-b"), "a-b") << "only a dash between blanks reads as a blank";
}

} // namespace
} // namespace lirvo::lyrics
