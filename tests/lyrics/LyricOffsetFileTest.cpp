// Timing shifts kept in the lyric file: the [offset:] tag is replaced or added, every other byte
// stays, in GBK, UTF-8 and UTF-16 files with their own line ends; the write is atomic and the
// next load shows the lines at the shifted times.
#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricOffsetFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <iterator>

namespace lirvo::lyrics {
namespace {

struct OffsetCase {
    const char *name;
    std::string before;
    int32_t offset;
    std::string after;
};

// "你好" in GBK is C4 E3 BA C3; the GBK character C4 5B has "[" as its trail byte.
const std::string kGbkHello = "\xC4\xE3\xBA\xC3";
const std::string kGbkTrailBracket = "\xC4\x5B";

TEST(LyricsOffsetTag, ReplacesOrAddsOnlyTheTag) {
    const OffsetCase cases[] = {
        {"gbk_added_first_with_crlf", "[ti:" + kGbkHello + "]\r\n[00:01.00]" + kGbkHello + "\r\n", 500,
         "[offset:500]\r\n[ti:" + kGbkHello + "]\r\n[00:01.00]" + kGbkHello + "\r\n"},
        {"gbk_replaced_in_place", "[ar:" + kGbkHello + "]\r\n[offset:-200]\r\n[00:01.00]x\r\n", 300,
         "[ar:" + kGbkHello + "]\r\n[offset:300]\r\n[00:01.00]x\r\n"},
        {"gbk_trail_byte_is_no_bracket", "[00:01.00]a" + kGbkTrailBracket + "offset:1]\r\n", 5,
         "[offset:5]\r\n[00:01.00]a" + kGbkTrailBracket + "offset:1]\r\n"},
        {"utf8_lf_line_ends_kept", "[ti:你好]\n[00:01.00]你好\n", -1000,
         "[offset:-1000]\n[ti:你好]\n[00:01.00]你好\n"},
        {"utf8_bom_stays_first", "\xEF\xBB\xBF[00:01.00]乐\r\n", 1500, "\xEF\xBB\xBF[offset:1500]\r\n[00:01.00]乐\r\n"},
        {"the_tag_that_counts_is_replaced", "[offset:100][Offset : +200][offset:abc][offset:+-9]\r\n[00:01.00]x", 700,
         "[offset:100][Offset :700][offset:abc][offset:+-9]\r\n[00:01.00]x"},
        {"blank_value_kept_around", "[offset: 40 ]\r\n[00:01.00]x", 0, "[offset:0]\r\n[00:01.00]x"},
        {"no_line_end_anywhere", "[00:01.00]x", 500, "[offset:500]\r\n[00:01.00]x"},
        {"empty_file", "", 500, "[offset:500]\r\n"},
    };
    for (const OffsetCase &c : cases) {
        const std::optional<std::string> after = SetOffsetTag(c.before, c.offset);
        ASSERT_TRUE(after.has_value()) << c.name;
        EXPECT_EQ(*after, c.after) << c.name;
        TLrcClass timeline;
        timeline.LoadText(JoinLyricLines(DecodeLyricBytes(*after)));
        EXPECT_EQ(timeline.Offset(), c.offset) << c.name;
    }
}

TEST(LyricsOffsetTag, Utf16FilesGetUtf16Tags) {
    auto utf16le = [](std::string_view ascii) {
        std::string out;
        for (char c : ascii) {
            out.push_back(c);
            out.push_back('\0');
        }
        return out;
    };
    const std::string before = "\xFF\xFE" + utf16le("[00:01.00]a\r\n");
    const std::optional<std::string> after = SetOffsetTag(before, 250);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(*after, "\xFF\xFE" + utf16le("[offset:250]\r\n[00:01.00]a\r\n"));
}

TEST(LyricsOffsetTag, UnclosedTagIsRewrittenUpToTheLineEnd) {
    // The reader takes the value of "[offset:100" up to the line end; so does the rewrite.
    EXPECT_EQ(SetOffsetTag("[offset:100\r\n[00:01.00]x\r\n", 900), "[offset:900\r\n[00:01.00]x\r\n");
}

class LyricsOffsetWrite : public ::testing::Test {
protected:
    std::string Path(const char *name) const { return dir.filePath(name).toStdString(); }
    static std::string Read(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void Write(const std::string &path, const std::string &bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    QTemporaryDir dir;
};

TEST_F(LyricsOffsetWrite, WriterKeepsTheLastShiftAndTheNextLoadUsesIt) {
    const std::string gbk = Path("gbk.lrc"), utf8 = Path("utf8.lrc");
    Write(gbk, "[ti:" + kGbkHello + "]\r\n[00:01.00]" + kGbkHello + "\r\n[00:05.00]two\r\n");
    Write(utf8, "[00:01.00]你好\n[00:05.00]two\n");
    {
        TLyricOffsetWriter writer;
        for (int32_t offset : {500, 1000, 1500})
            writer.Write(gbk, offset);
        writer.Write(utf8, -500);
        writer.WaitIdle();
        EXPECT_EQ(writer.Failures(), 0);
        writer.Write(Path("missing.lrc"), 500);
        writer.WaitIdle();
        EXPECT_EQ(writer.Failures(), 1);
        EXPECT_FALSE(QFile::exists(dir.filePath("missing.lrc")));
    }
    EXPECT_EQ(Read(gbk), "[offset:1500]\r\n[ti:" + kGbkHello + "]\r\n[00:01.00]" + kGbkHello + "\r\n[00:05.00]two\r\n");
    EXPECT_EQ(Read(utf8), "[offset:-500]\n[00:01.00]你好\n[00:05.00]two\n");
    // Nothing but the lyric itself is left in the folder (the write went through a rename).
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    TLrcClass timeline;
    timeline.LoadText(ReadLyricFile(gbk).value_or(""));
    timeline.SetPosition(3600); // the second line's time less 1.5 s has passed
    EXPECT_EQ(timeline.CurrentLine(), "two");
}

TEST_F(LyricsOffsetWrite, UnreadableOrFolderPathsFailWithoutWriting) {
    std::string error;
    EXPECT_FALSE(WriteLyricOffset(dir.path().toStdString(), 500, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteLyricOffset(Path("absent.lrc"), 500));
}

} // namespace
} // namespace lirvo::lyrics
