// Which line the timeline shows for a play position, with offsets and the end-of-track line.
#include "lyrics/core/LrcClass.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace lirvo::lyrics {
namespace {

const std::string kThreeLines = "[00:01.00]one\r\n[00:05.00]two\r\n[00:09.00]three\r\n";
const std::string kSlogan(kLyricSlogan);

struct PositionCase {
    const char *name;
    std::string text;
    int32_t offset; // applied after LoadText
    int32_t length; // SetTrackLength after LoadText when >= 0
    int32_t position;
    std::string line;
};
void PrintTo(const PositionCase &c, std::ostream *os) {
    *os << c.name;
}

class LyricsTimelineLine : public ::testing::TestWithParam<PositionCase> {};

TEST_P(LyricsTimelineLine, ShowsThisLine) {
    const PositionCase &c = GetParam();
    TLrcClass timeline;
    timeline.LoadText(c.text);
    if (c.length >= 0)
        timeline.SetTrackLength(c.length);
    timeline.SetOffset(c.offset);
    timeline.SetPosition(c.position);
    EXPECT_EQ(timeline.CurrentLine(), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Positions, LyricsTimelineLine,
    ::testing::Values(
        PositionCase{"start_shows_first_line_in_advance", kThreeLines, 0, -1, 0, "one"},
        PositionCase{"just_before_second", kThreeLines, 0, -1, 4999, "one"},
        PositionCase{"at_second_line_time_still_first", kThreeLines, 0, -1, 5000, "one"},
        PositionCase{"after_second_line_time", kThreeLines, 0, -1, 5001, "two"},
        PositionCase{"past_the_end", kThreeLines, 0, -1, 20000, "three"},
        PositionCase{"positive_offset_shows_earlier", kThreeLines, 500, -1, 4600, "two"},
        PositionCase{"negative_offset_shows_later", kThreeLines, -500, -1, 5400, "one"},
        PositionCase{"negative_times_count_as_passed", "[-00:01.00]neg[00:02.00]b", 0, -1, 0, "neg"},
        PositionCase{"extreme_offset_does_not_overflow", kThreeLines, INT32_MIN, -1, INT32_MAX, "one"},
        PositionCase{"huge_offset_passes_every_line", kThreeLines, INT32_MAX, -1, 0, "three"}));

INSTANTIATE_TEST_SUITE_P(
    EndOfTrack, LyricsTimelineLine,
    ::testing::Values(PositionCase{"no_lyric_shows_slogan_at_start", "", 0, 240000, 0, kSlogan},
                      PositionCase{"no_lyric_shows_slogan_after_end", "", 0, 240000, 300000, kSlogan},
                      PositionCase{"last_line_until_track_end", kThreeLines, 0, 12000, 12000, "three"},
                      PositionCase{"slogan_after_track_end", kThreeLines, 0, 12000, 12001, kSlogan},
                      PositionCase{"offset_brings_slogan_into_last_second", kThreeLines, 1000, 12000, 11500,
                                   kSlogan}));

TEST(LyricsTimeline, LoadTakesFileOffsetAndSorts) {
    TLrcClass timeline;
    timeline.LoadText("[offset:500][00:09.00]late[00:01.00]early");
    EXPECT_EQ(timeline.Offset(), 500);
    ASSERT_EQ(timeline.Handle().Count(), 2);
    EXPECT_EQ(timeline.Handle().GetItem(0).Text, "early");
    EXPECT_EQ(timeline.LrcText(), "[offset:500][00:09.00]late[00:01.00]early");
    // A file without an offset tag resets the offset the user set before.
    timeline.SetOffset(-1500);
    timeline.LoadText(kThreeLines);
    EXPECT_EQ(timeline.Offset(), 0);
}

TEST(LyricsTimeline, OffsetTakesEffectAtTheNextPosition) {
    TLrcClass timeline;
    timeline.LoadText(kThreeLines);
    timeline.SetPosition(4600);
    EXPECT_EQ(timeline.CurrentLine(), "one");
    timeline.SetOffset(500);
    EXPECT_EQ(timeline.CurrentLine(), "one");
    timeline.SetPosition(4600);
    EXPECT_EQ(timeline.CurrentLine(), "two");
}

TEST(LyricsTimeline, EmptyTimelineKeepsItsLine) {
    TLrcClass timeline;
    timeline.SetPosition(1000);
    EXPECT_EQ(timeline.CurrentLine(), "");
    timeline.LoadText(kThreeLines);
    timeline.SetPosition(6000);
    EXPECT_EQ(timeline.CurrentLine(), "two");
    timeline.LoadText("");
    EXPECT_EQ(timeline.CurrentLine(), "");
    timeline.SetPosition(6000);
    EXPECT_EQ(timeline.CurrentLine(), "");
    EXPECT_EQ(timeline.Position(), 6000);
}

TEST(LyricsTimeline, SongStartSequenceDiscardsTheSlogan) {
    // Track start: length first, then the empty load while the lyric is looked up.
    TLrcClass timeline;
    timeline.SetTrackLength(200000);
    timeline.LoadText("");
    EXPECT_EQ(timeline.Handle().Count(), 0);
    // Lookup finished: lyric, then the slogan after the sorted lines.
    timeline.LoadText("[00:02.00]b[00:01.00]a");
    timeline.SetTrackLength(200000);
    ASSERT_EQ(timeline.Handle().Count(), 3);
    EXPECT_EQ(timeline.Handle().GetItem(2), (TLyricItem{kSlogan, "", 200000, {}, -1}));
}

// Lines that share a time after sorting: the first is the line, the second its translation,
// further ones are not shown. Downloaded files often list the translations after the lyric.
TEST(LyricsTimeline, PairsLinesWithTheirTranslations) {
    struct Step {
        int32_t position;
        const char *line;
        const char *translation;
    };
    const struct {
        const char *name;
        std::string text;
        std::vector<Step> steps;
    } cases[] = {
        {"pairs_written_together",
         "[00:01.00]one\r\n[00:01.00]eins\r\n[00:05.00]two\r\n[00:05.00]zwei\r\n",
         {{0, "one", "eins"}, {5001, "two", "zwei"}}},
        {"translations_after_the_lyric",
         "[00:01.00]one\r\n[00:05.00]two\r\n[00:01.00]eins\r\n[00:05.00]zwei\r\n",
         {{1001, "one", "eins"}, {9000, "two", "zwei"}}},
        {"three_lines_at_one_time",
         "[00:01.00]one\r\n[00:01.00]eins\r\n[00:01.00]un\r\n[00:05.00]two\r\n",
         {{0, "one", "eins"}, {4000, "one", "eins"}, {5001, "two", ""}}},
        {"no_duplicates_no_translation", kThreeLines, {{0, "one", ""}, {5001, "two", ""}, {9001, "three", ""}}},
    };
    for (const auto &c : cases) {
        TLrcClass timeline;
        timeline.LoadText(c.text);
        for (const Step &step : c.steps) {
            timeline.SetPosition(step.position);
            EXPECT_EQ(timeline.CurrentLine(), step.line) << c.name << " at " << step.position;
            EXPECT_EQ(timeline.CurrentTranslation(), step.translation) << c.name << " at " << step.position;
            ASSERT_NE(timeline.CurrentItem(), nullptr);
            EXPECT_EQ(timeline.CurrentItem()->Text, step.line);
        }
    }
}

TEST(LyricsTimeline, TheSloganIsNoTranslationAndALoadClearsTheTranslation) {
    TLrcClass timeline;
    timeline.LoadText("[00:01.00]one\r\n[00:02.00]last");
    timeline.SetTrackLength(2000);
    timeline.SetPosition(5000);
    EXPECT_EQ(timeline.CurrentLine(), "last");
    EXPECT_EQ(timeline.CurrentTranslation(), "");
    timeline.LoadText("[00:01.00]one\r\n[00:01.00]eins");
    timeline.SetPosition(2000);
    EXPECT_EQ(timeline.CurrentTranslation(), "eins");
    timeline.LoadText("");
    EXPECT_EQ(timeline.CurrentTranslation(), "");
    EXPECT_EQ(timeline.CurrentItem(), nullptr);
}

TEST(LyricsTimeline, CurrentItemCarriesWordTimingsWithoutTheOffset) {
    TLrcClass timeline;
    timeline.LoadText("[offset:300]\r\n[00:04.00]<00:04.00>one <00:04.50>two<00:05.00>");
    timeline.SetPosition(4000);
    const TLyricItem *item = timeline.CurrentItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Text, "one two");
    EXPECT_EQ(item->Words, (std::vector<TLyricWord>{{4000, "one "}, {4500, "two"}}));
    EXPECT_EQ(item->WordsEnd, 5000);
}

} // namespace
} // namespace lirvo::lyrics
