// Reading lyric files in the encodings found in the wild, and writing them back.
#include "lyrics/core/LyricFile.h"

#include "function/text/TextCodec.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace lirvo::lyrics {
namespace {

using namespace std::string_literals;

const std::string kNihaoGbk = "\xC4\xE3\xBA\xC3"; // 你好
const std::string kNihaoUtf8 = "你好";

// A lyric of 300 characters of Chinese in UTF-8, with `stray` damaged by a lone byte after it.
std::string LongUtf8(int stray, const std::string &bad) {
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += kNihaoUtf8 + (i == stray ? bad : "");
    return text;
}
std::string LongGbk() {
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += kNihaoGbk;
    return text;
}

struct DecodeCase {
    const char *name;
    std::string bytes;
    std::string text;
};
void PrintTo(const DecodeCase &c, std::ostream *os) {
    *os << c.name;
}

class LyricsDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(LyricsDecode, GivesUtf8) {
    EXPECT_EQ(DecodeLyricBytes(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, LyricsDecode,
    ::testing::Values(DecodeCase{"ascii", "[00:01.00]hi", "[00:01.00]hi"},
                      DecodeCase{"utf8_without_bom", "[00:01.00]" + kNihaoUtf8, "[00:01.00]" + kNihaoUtf8},
                      DecodeCase{"utf8_bom_is_removed", "\xEF\xBB\xBF[ti:" + kNihaoUtf8 + "]",
                                 "[ti:" + kNihaoUtf8 + "]"},
                      DecodeCase{"gbk_when_not_utf8", "[00:01.00]" + kNihaoGbk, "[00:01.00]" + kNihaoUtf8},
                      DecodeCase{"utf16_le_bom", "\xFF\xFE[\0a\0`O}Y"s, "[a你好"},
                      DecodeCase{"utf16_be_bom", "\xFE\xFF\0[\0aO`Y}"s, "[a你好"},
                      DecodeCase{"utf16_odd_trailing_byte_dropped",
                                 "\xFF\xFE"
                                 "a\0b"s,
                                 "a"},
                      DecodeCase{"nul_ends_byte_text", "abc\0def"s, "abc"},
                      DecodeCase{"nul_ends_utf16_text",
                                 "\xFF\xFE"
                                 "a\0\0\0b\0"s,
                                 "a"},
                      DecodeCase{"nul_before_gbk_bytes_decides_on_prefix", "ok\0\xC4\xE3"s, "ok"},
                      // A bad byte or two among 300 good characters is damage, not another encoding.
                      DecodeCase{"mostly_utf8_keeps_utf8", LongUtf8(7, "\xFF"), LongUtf8(7, "\xEF\xBF\xBD")},
                      DecodeCase{"mostly_utf8_cut_sequence", LongUtf8(30, "\xE4\xBD"),
                                 LongUtf8(30, "\xEF\xBF\xBD\xEF\xBF\xBD")},
                      DecodeCase{"long_gbk_stays_gbk", LongGbk(), LongUtf8(-1, "")},

                      DecodeCase{"empty", "", ""}));

// Too few good sequences to outweigh a bad byte: read as GBK, as before.
TEST(LyricsDecodeShort, ABadByteInAShortTextMeansGbk) {
    const std::string bytes = kNihaoUtf8 + "\xFF";
    EXPECT_EQ(DecodeLyricBytes(bytes), text::GbkToUtf8(bytes));
    EXPECT_NE(DecodeLyricBytes(bytes), kNihaoUtf8 + "\xEF\xBF\xBD");
}

struct JoinCase {
    const char *name;
    std::string text;
    std::string joined;
};
void PrintTo(const JoinCase &c, std::ostream *os) {
    *os << c.name;
}

class LyricsJoinLines : public ::testing::TestWithParam<JoinCase> {};

TEST_P(LyricsJoinLines, EndsEveryLineWithCrLf) {
    EXPECT_EQ(JoinLyricLines(GetParam().text), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, LyricsJoinLines,
                         ::testing::Values(JoinCase{"lf", "a\nb", "a\r\nb\r\n"},
                                           JoinCase{"crlf_kept", "a\r\nb\r\n", "a\r\nb\r\n"},
                                           JoinCase{"lone_cr", "a\rb", "a\r\nb\r\n"},
                                           JoinCase{"lf_cr_is_two_breaks", "a\n\rb", "a\r\n\r\nb\r\n"},
                                           JoinCase{"empty_lines_kept", "a\r\n\r\nb", "a\r\n\r\nb\r\n"},
                                           JoinCase{"single_break", "\n", "\r\n"},
                                           JoinCase{"nul_ends", "a\nb\0c\nd"s, "a\r\nb\r\n"},
                                           JoinCase{"empty", "", ""}));

class LyricsFileOnDisk : public ::testing::Test {
protected:
    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }
    static std::string Bytes(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    QTemporaryDir dir;
};

TEST_F(LyricsFileOnDisk, GbkTextIsWrittenAsGbkWithCrLf) {
    const std::string path = Path("a.lrc");
    ASSERT_TRUE(WriteLyricFile(path, "[00:01.00]" + kNihaoUtf8 + "\n[00:02.00]x"));
    EXPECT_EQ(Bytes(path), "[00:01.00]" + kNihaoGbk + "\r\n[00:02.00]x\r\n");
    EXPECT_EQ(ReadLyricFile(path), "[00:01.00]" + kNihaoUtf8 + "\r\n[00:02.00]x\r\n");
}

TEST_F(LyricsFileOnDisk, TextBeyondGbkIsWrittenAsUtf8WithBom) {
    const std::string path = Path("b.lrc");
    const std::string text = "[00:01.00]🎵 " + kNihaoUtf8 + " café\r\n";
    ASSERT_TRUE(WriteLyricFile(path, text));
    EXPECT_EQ(Bytes(path), "\xEF\xBB\xBF" + text);
    EXPECT_EQ(ReadLyricFile(path), text);
}

TEST_F(LyricsFileOnDisk, GbkBytesThatLookLikeUtf8AreWrittenWithBom) {
    // 聞 is C2 84 in GBK, which is also well-formed UTF-8 (U+0084) and would read back wrongly.
    const std::string path = Path("w.lrc");
    ASSERT_TRUE(WriteLyricFile(path, "[ti:聞]"));
    EXPECT_EQ(Bytes(path), "\xEF\xBB\xBF[ti:聞]\r\n");
    EXPECT_EQ(ReadLyricFile(path), "[ti:聞]\r\n");
    // 锘 is EF BB in GBK: followed by a BF lead byte the file would start like a UTF-8 BOM.
    ASSERT_TRUE(WriteLyricFile(path, "锘緽"));
    EXPECT_EQ(ReadLyricFile(path), "锘緽\r\n");
}

TEST_F(LyricsFileOnDisk, WriteReplacesAndFailureKeepsTheOldFile) {
    const std::string path = Path("c.lrc");
    ASSERT_TRUE(WriteLyricFile(path, "old"));
    ASSERT_TRUE(WriteLyricFile(path, "new"));
    EXPECT_EQ(Bytes(path), "new\r\n");
    ASSERT_TRUE(WriteLyricFile(path, ""));
    EXPECT_EQ(Bytes(path), "");

    std::string error;
    EXPECT_FALSE(WriteLyricFile(Path("missing/d.lrc"), "x", &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(LyricsFileOnDisk, UnreadablePathsGiveNothing) {
    EXPECT_EQ(ReadLyricFile(Path("absent.lrc")), std::nullopt);
    ASSERT_EQ(::mkdir(Path("folder.lrc").c_str(), 0700), 0);
    EXPECT_EQ(ReadLyricFile(Path("folder.lrc")), std::nullopt);
}

TEST_F(LyricsFileOnDisk, ReadJoinsLinesOfAnyEnding) {
    const std::string path = Path("e.lrc");
    std::ofstream(path, std::ios::binary) << "\xFF\xFE"
                                          << "a\0\n\0b\0\r\0"s;
    EXPECT_EQ(ReadLyricFile(path), "a\r\nb\r\n");
}

} // namespace
} // namespace lirvo::lyrics
