#include "function/text/TextCodec.h"

#include <gtest/gtest.h>

using namespace lirvo::text;

namespace {
const std::string kNiHao = "\xE4\xBD\xA0\xE5\xA5\xBD"; // 你好 in UTF-8
const std::string kNiHaoGbk = "\xC4\xE3\xBA\xC3";      // 你好 in GBK
} // namespace

TEST(TextCodec, Utf8ValidityRejectsOverlongsSurrogatesAndTruncation) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain ascii"));
    EXPECT_TRUE(IsValidUtf8(kNiHao));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9D\x84\x9E"));  // U+1D11E
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate D800
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE4\xBD"));         // cut short
    EXPECT_FALSE(IsValidUtf8("\x80"));             // stray continuation
    EXPECT_FALSE(IsValidUtf8(kNiHaoGbk));
}

TEST(TextCodec, GbkRoundTripAndReplacement) {
    EXPECT_EQ(GbkToUtf8(kNiHaoGbk), kNiHao);
    EXPECT_EQ(GbkToUtf8("abc"), "abc");
    EXPECT_EQ(Utf8ToGbk(kNiHao), kNiHaoGbk);
    EXPECT_EQ(Utf8ToGbk("a" + kNiHao + "b"), "a" + kNiHaoGbk + "b");
    // The euro sign is the single byte 0x80 in code page 936.
    EXPECT_EQ(GbkToUtf8("\x80"), "\xE2\x82\xAC");
    // A lead byte at the very end and an invalid byte both become U+FFFD; the rest survives.
    EXPECT_EQ(GbkToUtf8("a\xC4"), "a\xEF\xBF\xBD");
    EXPECT_EQ(GbkToUtf8("\xFF" + kNiHaoGbk), "\xEF\xBF\xBD" + kNiHao);
    EXPECT_TRUE(IsValidUtf8(GbkToUtf8("\x81\x20\xFE\xFF\x7F\x80\xA1")));
}

TEST(TextCodec, Utf8ToGbkRefusesWhatGbkCannotHold) {
    EXPECT_FALSE(Utf8ToGbk("\xF0\x9F\x8E\xB5").has_value()); // emoji
    EXPECT_FALSE(Utf8ToGbk("\xD7\x90").has_value());         // Hebrew alef
    EXPECT_FALSE(Utf8ToGbk("ok\xC0\xAF").has_value());       // not UTF-8
    EXPECT_EQ(Utf8ToGbk(""), std::string());
}

TEST(TextCodec, Gb2312IsStricterThanGbk) {
    EXPECT_TRUE(FitsGb2312("ascii only"));
    EXPECT_TRUE(FitsGb2312(kNiHao));
    EXPECT_FALSE(FitsGb2312("\xE4\xB8\x9F")); // 丟 exists in GBK only
    EXPECT_TRUE(Utf8ToGbk("\xE4\xB8\x9F").has_value());
    EXPECT_FALSE(FitsGb2312("\xE2\x82\xAC")); // euro sign
    EXPECT_FALSE(FitsGb2312("\xC0\xAF"));
}

TEST(TextCodec, Utf16BothOrdersWithPairsAndLoneSurrogates) {
    const std::string le("\x60\x4F\x7D\x59", 4); // 你好
    const std::string be("\x4F\x60\x59\x7D", 4);
    EXPECT_EQ(Utf16ToUtf8(le, false), kNiHao);
    EXPECT_EQ(Utf16ToUtf8(be, true), kNiHao);
    const std::string pair("\xD8\x34\xDD\x1E", 4); // U+1D11E big-endian
    EXPECT_EQ(Utf16ToUtf8(pair, true), "\xF0\x9D\x84\x9E");
    const std::string lone("\xD8\x34\x00\x41", 4); // high surrogate then "A"
    EXPECT_EQ(Utf16ToUtf8(lone, true), "\xEF\xBF\xBD"
                                       "A");
    EXPECT_EQ(Utf16ToUtf8(std::string("A\0B", 3), false), "A\xEF\xBF\xBD");
}

TEST(TextCodec, Latin1MapsBytesToCodePoints) {
    EXPECT_EQ(Latin1ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(Latin1ToUtf8(std::string("\x00\xFF", 2)), std::string("\x00\xC3\xBF", 3));
}

TEST(TextCodec, TruncationNeverSplitsACharacter) {
    const std::string text = "a" + kNiHao; // 1 + 3 + 3 bytes
    EXPECT_EQ(Utf8PrefixLength(text, 100), text.size());
    EXPECT_EQ(Utf8PrefixLength(text, 7), 7u);
    EXPECT_EQ(Utf8PrefixLength(text, 6), 4u);
    EXPECT_EQ(Utf8PrefixLength(text, 5), 4u);
    EXPECT_EQ(Utf8PrefixLength(text, 4), 4u);
    EXPECT_EQ(Utf8PrefixLength(text, 3), 1u);
    EXPECT_EQ(Utf8PrefixLength(text, 0), 0u);
    EXPECT_EQ(Utf8Truncate("\xF0\x9D\x84\x9E"
                           "x",
                           3),
              "");
    EXPECT_EQ(Utf8Truncate("abc", 2), "ab");
}
