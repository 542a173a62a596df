// Translation matching, and the LRC text we store: it must read back through TLyricHandle with
// the same lines, word starts, word ends and translation lines.
#include "FormatTestSupport.h"
#include "lyrics/core/uLRCHandle.h"
#include "lyrics/formats/ServiceLyricLrc.h"
#include "lyrics/formats/TranslationMatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lirvo::lyrics::services {
namespace {

struct Timed {
    int32_t start;
    std::string text;
};
std::vector<TTimedLine> Lines(const std::vector<Timed> &timed) {
    std::vector<TTimedLine> lines;
    for (const Timed &t : timed)
        lines.push_back(Ln(t.start, 0, t.text));
    return lines;
}

struct MatchCase {
    const char *name;
    bool byIndexOrTime;
    std::vector<Timed> lyric;
    std::vector<Timed> translation;
    std::vector<std::string> want; // translation per lyric line
};
void PrintTo(const MatchCase &c, std::ostream *os) {
    *os << c.name;
}

class TranslationMatch : public ::testing::TestWithParam<MatchCase> {};
TEST_P(TranslationMatch, GivesTheseTranslations) {
    std::vector<TTimedLine> lines = Lines(GetParam().lyric);
    if (GetParam().byIndexOrTime)
        AttachTranslationsByIndexOrTime(lines, Lines(GetParam().translation), 50);
    else
        AttachTranslationsByTime(lines, Lines(GetParam().translation), 50);
    std::vector<std::string> got;
    for (const TTimedLine &line : lines)
        got.push_back(line.Translation);
    EXPECT_EQ(got, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranslationMatch,
    ::testing::Values(
        MatchCase{"by_time_within_tolerance", false,
                  {{1000, "a"}, {2000, "b"}, {3000, "c"}},
                  {{3051, "C"}, {1050, "A"}, {1990, " B "}},
                  {"A", "B", ""}},
        MatchCase{"untranslated_entries_and_missing_lines", false,
                  {{1000, "a"}, {2000, "b"}, {3000, "c"}, {4000, "d"}},
                  {{1000, "//"}, {2000, "  "}, {3000, "C"}},
                  {"", "", "C", ""}},
        MatchCase{"nearest_wins_earlier_on_a_tie", false,
                  {{1000, "a"}, {2000, "b"}},
                  {{960, "far"}, {1020, "near"}, {1980, "before"}, {2020, "after"}},
                  {"near", "before"}},
        MatchCase{"each_translation_used_once", false,
                  {{1000, "a"}, {1000, "again"}, {1040, "b"}},
                  {{1000, "X"}, {1030, "Y"}},
                  {"X", "Y", ""}},
        MatchCase{"blank_lyric_line_takes_none", false,
                  {{1000, ""}, {1010, "a"}},
                  {{1005, "T"}},
                  {"", "T"}},
        MatchCase{"by_index_when_counts_agree", true,
                  {{1000, "a"}, {2000, "b"}, {3000, "c"}},
                  {{0, "A"}, {0, "//"}, {9000, "C"}},
                  {"A", "", "C"}},
        MatchCase{"by_time_when_counts_differ", true,
                  {{1000, "a"}, {2000, "b"}},
                  {{2000, "B"}},
                  {"", "B"}}));

struct RoundTripCase {
    const char *name;
    std::vector<TTimedLine> lines;
    std::vector<int32_t> wordsEnd; // WordsEnd each lyric line must read back with
};
void PrintTo(const RoundTripCase &c, std::ostream *os) {
    *os << c.name;
}

class LrcRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};
TEST_P(LrcRoundTrip, ReadsBackTheSameLines) {
    TServiceLyric lyric;
    lyric.Lines = GetParam().lines;
    const std::string lrc = ServiceLyricToLrc(lyric, "netease:186016");
    EXPECT_EQ(ReadLrcSourceTag(lrc), "netease:186016");
    for (std::size_t i = lrc.find('\n'); i != std::string::npos; i = lrc.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && lrc[i - 1] == '\r') << lrc;

    TLyricHandle handle;
    handle.Parse(lrc);
    const std::vector<TLyricItem> &items = handle.Items();
    std::size_t next = 0;
    for (std::size_t l = 0; l < lyric.Lines.size(); ++l) {
        const TTimedLine &line = lyric.Lines[l];
        SCOPED_TRACE(line.Text);
        ASSERT_LT(next, items.size()) << lrc;
        const TLyricItem &item = items[next++];
        EXPECT_EQ(item.Time, line.StartMs);
        EXPECT_EQ(item.Text, line.Text);
        std::vector<TLyricWord> words;
        for (const TTimedWord &word : line.Words)
            words.push_back(TLyricWord{word.StartMs, word.Text});
        EXPECT_EQ(item.Words, words);
        EXPECT_EQ(item.WordsEnd, GetParam().wordsEnd[l]);
        if (!line.Translation.empty()) {
            ASSERT_LT(next, items.size()) << lrc;
            EXPECT_EQ(items[next].Time, line.StartMs);
            EXPECT_EQ(items[next].Text, line.Translation);
            EXPECT_TRUE(items[next].Words.empty());
            ++next;
        }
    }
    EXPECT_EQ(next, items.size()) << lrc;
}

INSTANTIATE_TEST_SUITE_P(
    Lyrics, LrcRoundTrip,
    ::testing::Values(
        RoundTripCase{"words_translations_and_empty_lines",
                      {Ln(1200, 3800, "晚风 吹", {Wd(1200, 400, "晚"), Wd(1600, 500, "风 "), Wd(2100, 450, "吹")},
                          "The wind"),
                       Ln(5200, 0, "Night wind & you"), Ln(7000, 0, "", {}, "(instrumental)"), Ln(9000, 0, "")},
                      {2550, -1, -1, -1}},
        RoundTripCase{"millisecond_times_and_hours",
                      {Ln(1, 0, "x", {Wd(1, 998, "x")}),
                       Ln(3723456, 600, "ab", {Wd(3723456, 543, "a"), Wd(3723999, 1, "b")}, "tr")},
                      {999, 3724000}},
        RoundTripCase{"blanks_kept_and_end_after_zero_length_punctuation",
                      {Ln(1000, 1500, "Go on !", {Wd(1000, 400, "Go "), Wd(1400, 500, "on "), Wd(1500, 0, "! ")}),
                       Ln(3000, 500, "Hi!", {Wd(3000, 0, "Hi"), Wd(3000, 0, "!")})},
                      {1900, -1}},
        RoundTripCase{"bracket_texts_that_survive",
                      {Ln(1000, 0, "[Chorus] <3 a < b (x) {y}",
                          {Wd(1000, 100, "[Chorus] "), Wd(1100, 100, "<3 "), Wd(1200, 100, "a < b "),
                           Wd(1300, 100, "(x) "), Wd(1400, 100, "{y}")}, "[Chorus] <3"),
                       Ln(2000, 0, "[Intro] a<b [album version] [1st] & d")},
                      {1500, -1}}));

TEST(LrcWriter, HeaderLineBreaksAndSourceTags) {
    TServiceLyric lyric;
    lyric.Lines = {Ln(1000, 0, "a\r\nb", {Wd(1000, 10, "a\r\n"), Wd(1010, 10, "b")}, "x\ny"), Ln(2000, 0, "c\nd")};
    const std::string lrc = ServiceLyricToLrc(lyric, "qq:[12]\r\n");
    EXPECT_TRUE(lrc.starts_with("[lirvo-source:qq:12]\r\n[00:01.000]<00:01.000>a  <00:01.010>b<00:01.020>\r\n"))
        << lrc;
    TLyricHandle handle;
    handle.Parse(lrc);
    ASSERT_EQ(handle.Count(), 3);
    EXPECT_EQ(handle.GetItem(0).Text, "a  b");
    EXPECT_EQ(handle.GetItem(1).Text, "x y");
    EXPECT_EQ(handle.GetItem(2).Text, "c d");
    EXPECT_EQ(ReadLrcSourceTag(lrc), "qq:12");
    EXPECT_EQ(ReadLrcSourceTag("[ti:x]\n[lirvo-source:kugou:ab]\n"), "kugou:ab");
    EXPECT_EQ(ReadLrcSourceTag("[lirvo-source:open\n]"), "");
    EXPECT_EQ(ReadLrcSourceTag("[00:01.00]x"), "");
}

} // namespace
} // namespace lirvo::lyrics::services
