#include "shell/command/SongList.h"

#include <gtest/gtest.h>

namespace lirvo::command {
namespace {

// Lists as senders write them end in two characters of which the first is dropped; "~" + the
// last character of the real data keeps these texts readable.
std::string Sent(const std::string &list) {
    if (list.empty())
        return list;
    return list.substr(0, list.size() - 1) + "~" + list.back();
}

TEST(SongListTest, ItemFieldsGiveLocationTitleAndSinger) {
    const auto entries =
        DecodeSongList(Sent("#id%2F7.mp3%7C+%E5%A4%9C%E6%9B%B2+-+%E5%91%A8+%7Cignored"), "http://m/");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Location, "http://m/id/7.mp3");
    EXPECT_EQ(entries[0].Title, "夜曲");
    EXPECT_EQ(entries[0].Singer, "周");
}

TEST(SongListTest, OnlyTheFirstTwoDashPartsCountAndAmpersandEndsTheItem) {
    const auto entries = DecodeSongList(Sent("*p%7CA-B-C,*q%7CT-S&junk%7Cmore,*r%7CNoDash"), "");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Title, "A");
    EXPECT_EQ(entries[0].Singer, "B");
    EXPECT_EQ(entries[1].Location, "q");
    EXPECT_EQ(entries[1].Singer, "S");
    EXPECT_EQ(entries[2].Title, "NoDash");
    EXPECT_EQ(entries[2].Singer, "");
}

TEST(SongListTest, ItemsWithoutFieldsAndEmptyItems) {
    // An item without "|" is all location; two commas in a row give a row with the prefix alone;
    // a final comma gives no further item.
    const auto entries = DecodeSongList(Sent("*whole+item,,*x,"), "pre/");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Location, "pre/whole item");
    EXPECT_EQ(entries[0].Title, "");
    EXPECT_EQ(entries[1].Location, "pre/");
    EXPECT_EQ(entries[2].Location, "pre/x");
}

TEST(SongListTest, SecondToLastCharacterIsRemovedNotTheLast) {
    // Without the rule the comma would survive and split off a second item.
    auto entries = DecodeSongList("*a%7Ct-s,!", "");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Singer, "s!");
    // Texts shorter than two characters lose nothing.
    entries = DecodeSongList("*", "p");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Location, "p");
    EXPECT_TRUE(DecodeSongList("", "p").empty());
}

TEST(SongListTest, MarkerIsAWholeCharacterAndBadBytesNeverLeak) {
    // A multi-byte marker goes as a whole; malformed UTF-8 becomes U+FFFD; a decoded zero byte
    // ends the item.
    auto entries = DecodeSongList(Sent("%E2%98%85loc%7C%FFt-s,*a%00b%7Cx-y"), "");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Location, "loc");
    EXPECT_EQ(entries[0].Title, "\xEF\xBF\xBDt");
    EXPECT_EQ(entries[1].Location, "a");
    EXPECT_EQ(entries[1].Title, "");
}

} // namespace
} // namespace lirvo::command
