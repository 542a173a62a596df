// LRC grammar: time tags, line texts, metadata, tolerances and the known quirks.
#include "lyrics/core/uLRCHandle.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace lirvo::lyrics {

// Found by gtest through argument-dependent lookup, so it lives in the item's namespace.
void PrintTo(const TLyricItem &item, std::ostream *os) {
    *os << "{" << item.Time << ", '" << item.TimeTag << "', '" << item.Text << "'}";
}

namespace {

// A line without word timings.
TLyricItem L(std::string text, std::string tag, int32_t time) {
    return TLyricItem{std::move(text), std::move(tag), time, {}, -1};
}

struct ParseCase {
    const char *name;
    std::string text;
    std::vector<TLyricItem> items; // in text order, before Sort
};

void PrintTo(const ParseCase &c, std::ostream *os) {
    *os << c.name;
}

class LyricsParseItems : public ::testing::TestWithParam<ParseCase> {};

TEST_P(LyricsParseItems, YieldsTheseLines) {
    TLyricHandle handle;
    handle.Parse(GetParam().text);
    EXPECT_EQ(handle.Items(), GetParam().items);
}

// Time conversion: fields, fractions in hundredths, two-digit fields, signs.
INSTANTIATE_TEST_SUITE_P(
    TimeTags, LyricsParseItems,
    ::testing::Values(
        ParseCase{"minutes_seconds_fraction", "[00:12.34]Hello", {L("Hello", "00:12.34", 12340)}},
        ParseCase{"seconds_only", "[83]Hello", {L("Hello", "83", 83000)}},
        ParseCase{"seconds_fraction", "[83.45]Hello", {L("Hello", "83.45", 83450)}},
        ParseCase{"minutes_seconds", "[01:23]Hello", {L("Hello", "01:23", 83000)}},
        ParseCase{"hours_minutes_seconds", "[01:02:03]x", {L("x", "01:02:03", 3723000)}},
        ParseCase{"hours_with_fraction", "[00:01:23.45]x", {L("x", "00:01:23.45", 83450)}},
        ParseCase{"one_digit_fraction_is_tenths", "[1:2.3]x", {L("x", "1:2.3", 62300)}},
        ParseCase{"whole_fields_keep_last_two_digits", "[123:45.678]x", {L("x", "23:45.678", 1425678)}},
        ParseCase{"negative", "[-00:01.00]x", {L("x", "-00:01.00", -1000)}},
        ParseCase{"negative_zero_has_no_sign", "[-0]text", {L("text", "0", 0)}},
        ParseCase{"blanks_between_tokens", "[00:01 .00]x", {L("x", "00:01.00", 1000)}},
        ParseCase{"high_bytes_between_tokens_are_skipped",
                  "[00:\x80\xFF"
                  "01]x",
                  {L("x", "00:01", 1000)}},
        ParseCase{"second_fraction_keeps_tag_open", "[01:02.03.04]x", {L("x", "01:02.030", 62030)}},
        ParseCase{"tag_without_text", "[00:01.00]", {L("", "00:01.00", 1000)}}));

// Fractions as exported lyric files write them: tenths, hundredths, milliseconds; a fourth
// digit and later ones are ignored.
INSTANTIATE_TEST_SUITE_P(
    Fractions, LyricsParseItems,
    ::testing::Values(ParseCase{"one_digit", "[00:02.5]x", {L("x", "00:02.5", 2500)}},
                      ParseCase{"two_digits", "[00:02.05]x", {L("x", "00:02.05", 2050)}},
                      ParseCase{"three_digits", "[00:01.050]x", {L("x", "00:01.050", 1050)}},
                      ParseCase{"four_digits", "[00:01.0509]x", {L("x", "00:01.050", 1050)}},
                      ParseCase{"seconds_and_millis", "[83.456]x", {L("x", "83.456", 83456)}},
                      ParseCase{"hours_and_tenths", "[01:00:01.5]x", {L("x", "01:00:01.5", 3601500)}},
                      ParseCase{"negative_millis", "[-00:00.250]x", {L("x", "-00:00.250", -250)}}));

TLyricItem W(std::string text, std::string tag, int32_t time, std::vector<TLyricWord> words, int32_t end) {
    return TLyricItem{std::move(text), std::move(tag), time, std::move(words), end};
}

// Word timings inside a line's text (enhanced LRC).
INSTANTIATE_TEST_SUITE_P(
    WordTags, LyricsParseItems,
    ::testing::Values(
        ParseCase{"tags_before_words_and_end_tag",
                  "[00:04.00]<00:04.00>one <00:04.50>two<00:05.25>",
                  {W("one two", "00:04.00", 4000, {{4000, "one "}, {4500, "two"}}, 5250)}},
        ParseCase{"without_end_tag",
                  "[00:04.00]<00:04.00>one <00:04.5>two ",
                  {W("one two", "00:04.00", 4000, {{4000, "one "}, {4500, "two"}}, -1)}},
        ParseCase{"text_before_first_tag_starts_with_the_line",
                  "[00:04.00]so <00:04.50>long",
                  {W("so long", "00:04.00", 4000, {{4000, "so "}, {4500, "long"}}, -1)}},
        ParseCase{"millisecond_word_tags",
                  "[00:01.000]<00:01.000>你<00:01.250>好<00:01.5>",
                  {W("你好", "00:01.000", 1000, {{1000, "你"}, {1250, "好"}}, 1500)}},
        ParseCase{"bad_digits_stay_text",
                  "[00:04.00]<00:0x.50>one <00:05.00>two",
                  {W("<00:0x.50>one two", "00:04.00", 4000, {{4000, "<00:0x.50>one "}, {5000, "two"}}, -1)}},
        ParseCase{"no_valid_tag_keeps_plain_line", "[00:04.00]a <b> c <1:>", {L("a <b> c <1:>", "00:04.00", 4000)}},
        ParseCase{"blank_inside_tag_is_text", "[00:04.00]<00:04 .00>x", {L("<00:04 .00>x", "00:04.00", 4000)}},
        ParseCase{"tag_followed_by_tag_loses_the_empty_word",
                  "[00:04.00]<00:04.00><00:04.20>a<00:04.40>",
                  {W("a", "00:04.00", 4000, {{4200, "a"}}, 4400)}},
        ParseCase{"each_line_of_a_repeated_tag_gets_the_words",
                  "[00:01.00][00:09.00]<00:01.00>la",
                  {W("la", "00:01.00", 1000, {{1000, "la"}}, -1), W("la", "00:09.00", 9000, {{1000, "la"}}, -1)}},
        ParseCase{"only_an_end_tag",
                  "[00:04.00]<00:06.00>",
                  {L("", "00:04.00", 4000)}}));

// Which bytes form a tag, and which text belongs to which tag.
INSTANTIATE_TEST_SUITE_P(
    LinesAndTags, LyricsParseItems,
    ::testing::Values(ParseCase{"adjacent_tags_share_a_line",
                                "[00:01.00][00:05.00]Chorus",
                                {L("Chorus", "00:01.00", 1000), L("Chorus", "00:05.00", 5000)}},
                      ParseCase{"a_blank_separates_tags",
                                "[00:01.00] [00:05.00]Chorus",
                                {L("", "00:01.00", 1000), L("Chorus", "00:05.00", 5000)}},
                      ParseCase{"text_is_trimmed",
                                "[00:01.00]  a b \t\r\n[00:02.00] c ",
                                {L("a b", "00:01.00", 1000), L("c", "00:02.00", 2000)}},
                      ParseCase{"continuation_lines_are_dropped",
                                "[00:01.00]one\r\nlost\r\nalso lost\r\n[00:02.00]two\r\ntail",
                                {L("one", "00:01.00", 1000), L("two", "00:02.00", 2000)}},
                      ParseCase{"blank_after_bracket_is_no_tag", "[ 00:01.00]x", {}},
                      ParseCase{"non_tag_brackets_stay_in_text",
                                "[00:01.00]Hi [there] you",
                                {L("Hi [there] you", "00:01.00", 1000)}},
                      ParseCase{"bracketed_number_is_a_tag",
                                "[00:01.00]Hi [5] you",
                                {L("Hi", "00:01.00", 1000), L("you", "5", 5000)}},
                      ParseCase{"last_bracket_needs_five_bytes_after_it",
                                "[00:01.00]x\r\n[1]ab",
                                {L("x", "00:01.00", 1000)}},
                      ParseCase{"five_bytes_after_bracket_suffice", "[5]abcd", {L("abcd", "5", 5000)}},
                      ParseCase{"four_fields_are_no_tag", "[1:2:3:4]x", {}},
                      ParseCase{"letter_in_time_tag_abandons_it", "[00:0x1.00]x", {}},
                      ParseCase{"metadata_tag_ends_the_pending_line",
                                "[00:01.00]a[ar:B]rest\r\n[00:02.00]b",
                                {L("a", "00:01.00", 1000), L("b", "00:02.00", 2000)}},
                      ParseCase{"multibyte_text_is_kept_byte_for_byte",
                                "[00:01.00]你好，世界",
                                {L("你好，世界", "00:01.00", 1000)}},
                      ParseCase{"lf_only_line_ends",
                                "[00:01.00]a\n[00:02.00]b\n",
                                {L("a", "00:01.00", 1000), L("b", "00:02.00", 2000)}},
                      ParseCase{"unclosed_tag_then_valid_tag", "[00:01[00:02]x", {L("x", "00:02", 2000)}},
                      ParseCase{"three_bytes_or_less_is_empty", "  [1] ", {}},
                      ParseCase{"no_tags_at_all", "just some words\r\nand more", {}}));

struct InfoCase {
    const char *name;
    std::string text;
    TLRCInfo info;
};
void PrintTo(const InfoCase &c, std::ostream *os) {
    *os << c.name;
}

class LyricsParseInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(LyricsParseInfo, SetsTheseTags) {
    TLyricHandle handle;
    handle.Parse(GetParam().text);
    const TLRCInfo &got = handle.Info();
    const TLRCInfo &want = GetParam().info;
    EXPECT_EQ(got.Title, want.Title);
    EXPECT_EQ(got.Artist, want.Artist);
    EXPECT_EQ(got.Album, want.Album);
    EXPECT_EQ(got.By, want.By);
    EXPECT_EQ(got.La, want.La);
    EXPECT_EQ(got.Offset, want.Offset);
}

TLRCInfo Info(std::string title, std::string artist, std::string album, std::string by, std::string la,
              int32_t offset) {
    return TLRCInfo{std::move(title),  std::move(by),    std::move(la),
                    std::move(artist), std::move(album), offset};
}

INSTANTIATE_TEST_SUITE_P(
    Metadata, LyricsParseInfo,
    ::testing::Values(
        InfoCase{"all_keys", "[ti:T][ar:A][al:L][by:B][la:zh][offset:-250]",
                 Info("T", "A", "L", "B", "zh", -250)},
        InfoCase{"key_case_ignored_value_trimmed", "[Ti : My Song ]", Info("My Song", "", "", "", "", 0)},
        InfoCase{"offset_with_plus", "[offset:+500]", Info("", "", "", "", "", 500)},
        InfoCase{"offset_not_an_integer_keeps_value", "[offset:300][offset:abc][offset:5x][offset:+-40]",
                 Info("", "", "", "", "", 300)},
        InfoCase{"offset_out_of_range_ignored", "[offset:99999999999]", Info("", "", "", "", "", 0)},
        InfoCase{"later_tag_wins", "[ar:First][ar:Second]", Info("", "Second", "", "", "", 0)},
        InfoCase{"longer_key_is_not_a_key", "[title:x]", Info("", "", "", "", "", 0)},
        InfoCase{"missing_bracket_value_ends_at_line_end", "[ti:Song\r\n[00:01.00]x",
                 Info("Song", "", "", "", "", 0)},
        InfoCase{"no_closing_bracket_anywhere", "[ti:abc def", Info("", "", "", "", "", 0)},
        InfoCase{"value_may_hold_brackets_opening", "[ar:a[b]", Info("", "a[b", "", "", "", 0)}));

TEST(LyricsParse, MetadataAndLinesTogether) {
    TLyricHandle handle;
    handle.Parse("[ti:Song]\r\n[ar:Singer]\r\n[offset:100]\r\n[00:01.00]one\r\n[00:02.50]two\r\n");
    EXPECT_EQ(handle.Info().Title, "Song");
    EXPECT_EQ(handle.Info().Artist, "Singer");
    EXPECT_EQ(handle.Info().Offset, 100);
    ASSERT_EQ(handle.Count(), 2);
    EXPECT_EQ(handle.GetItem(1), (TLyricItem{"two", "00:02.50", 2500, {}, -1}));
}

TEST(LyricsParse, ParseStartsFromAnEmptyStore) {
    TLyricHandle handle;
    handle.Parse("[ti:Old][offset:700][00:01.00]old line");
    handle.Parse("[00:03.00]new");
    EXPECT_EQ(handle.Info(), TLRCInfo{});
    ASSERT_EQ(handle.Count(), 1);
    EXPECT_EQ(handle.GetItem(0).Text, "new");
    handle.Parse("ab");
    EXPECT_EQ(handle.Count(), 0);
}

TEST(LyricsStore, SortIsStableAscending) {
    TLyricHandle handle;
    handle.Parse("[00:05.00]b[00:01.00]a[00:05.00]c[-00:02.00]neg[00:03.00]m");
    handle.Sort();
    std::vector<std::string> texts;
    for (const TLyricItem &item : handle.Items())
        texts.push_back(item.Text);
    EXPECT_EQ(texts, (std::vector<std::string>{"neg", "a", "m", "b", "c"}));
}

TEST(LyricsStore, IndexErrorsOutsideTheList) {
    TLyricHandle handle;
    EXPECT_THROW(handle.GetItem(0), std::out_of_range);
    EXPECT_THROW(handle.Delete(0), std::out_of_range);
    EXPECT_THROW(handle.Insert(1, TLyricItem{}), std::out_of_range);
    handle.Add(TLyricItem{"b", "2", 2000, {}, -1});
    handle.Insert(0, TLyricItem{"a", "1", 1000, {}, -1});
    EXPECT_EQ(handle.GetItem(0).Text, "a");
    EXPECT_THROW(handle.GetItem(2), std::out_of_range);
    EXPECT_THROW(handle.GetItem(-1), std::out_of_range);
    handle.Delete(0);
    EXPECT_EQ(handle.GetItem(0).Text, "b");
    handle.Clear();
    EXPECT_EQ(handle.Count(), 0);
}

} // namespace
} // namespace lirvo::lyrics
