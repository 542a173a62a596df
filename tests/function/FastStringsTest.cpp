#include "function/text/FastStrings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lirvo::text;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(FastStringsFields, CountsFieldsFromOne) {
    EXPECT_EQ(GetField("a|b|c", 1, '|'), "a");
    EXPECT_EQ(GetField("a|b|c", 3, '|'), "c");
    EXPECT_EQ(GetField("a|b|c", 4, '|'), "");
    EXPECT_EQ(GetField("a||c", 2, '|'), "");
    EXPECT_EQ(GetField("a||c", 3, '|'), "c");
    EXPECT_EQ(GetField("a|b|", 3, '|'), "");
    EXPECT_EQ(GetField("abc", 1, '|'), "abc");
    EXPECT_EQ(GetField("x|y", 2, '|'), "y");
    EXPECT_EQ(GetField("x|y", 3, '|'), "");
    EXPECT_EQ(GetField("x|y", 0, '|'), "");
    EXPECT_EQ(GetField("x|y", -1, '|'), "");
    EXPECT_EQ(GetField("", 1, '|'), "");
}

TEST(FastStringsFields, AreCutByteWiseInsideMultiByteCharacters) {
    // GBK 朶 is 0x96 0x7C: its trail byte is "|", and the byte-wise split cuts there.
    const std::string record = "a\x96|b";
    EXPECT_EQ(GetField(record, 1, '|'), "a\x96");
    EXPECT_EQ(GetField(record, 2, '|'), "b");
    EXPECT_THAT(SplitByChar(record, '|'), ElementsAre("a\x96", "b"));
}

TEST(FastStringsSplit, KeepsInnerEmptiesButNotAnEmptyLastToken) {
    EXPECT_THAT(SplitByChar("a,,b", ','), ElementsAre("a", "", "b"));
    EXPECT_THAT(SplitByChar("a,b,", ','), ElementsAre("a", "b"));
    EXPECT_THAT(SplitByChar(",a", ','), ElementsAre("", "a"));
    EXPECT_THAT(SplitByChar(",,", ','), ElementsAre("", ""));
    EXPECT_THAT(SplitByChar("", ','), IsEmpty());
    EXPECT_THAT(SplitByChar("solo", ','), ElementsAre("solo"));

    std::vector<std::string> list{"stale"};
    SplitByChar("x,y", ',', list);
    EXPECT_THAT(list, ElementsAre("x", "y"));
}

TEST(FastStringsPercent, DecodesEscapesAndBlanksUpToTheFirstAmpersand) {
    EXPECT_EQ(PercentDecode("a+b%20c&d=e"), "a b c");
    EXPECT_EQ(PercentDecode("%E4%BD%A0"), "\xE4\xBD\xA0");
    EXPECT_EQ(PercentDecode("%41%42"), "AB");
    EXPECT_EQ(PercentDecode("x%4"), std::string("x\x04", 2));
    EXPECT_EQ(PercentDecode("%zzA"), std::string("\0A", 2));
    EXPECT_EQ(PercentDecode("50%"), std::string("50\0", 3));
    EXPECT_EQ(PercentDecode("&all dropped"), "");
    EXPECT_EQ(PercentDecode("%4&gone"), "\x04");
}

TEST(FastStringsPercent, HexValueSkipsBlanksAndStopsAtOtherBytes) {
    EXPECT_EQ(HexValue("ff", 2), 255u);
    EXPECT_EQ(HexValue("Ab", 2), 0xABu);
    EXPECT_EQ(HexValue(" 7", 2), 7u);
    EXPECT_EQ(HexValue("1g", 2), 1u);
    EXPECT_EQ(HexValue("g1", 2), 0u);
    EXPECT_EQ(HexValue("123", 2), 0x12u);
    EXPECT_EQ(HexValue("12", 10), 0x12u); // count larger than the text
}

TEST(FastStringsSearch, FindsBytesAndPatternsAtBothEnds) {
    EXPECT_EQ(CharPosFrom("abcabc", 'c', 1), 3);
    EXPECT_EQ(CharPosFrom("abcabc", 'c', 4), 6);
    EXPECT_EQ(CharPosFrom("abcabc", 'c', 7), 0);
    EXPECT_EQ(CharPosFrom("", 'c', 1), 0);
    EXPECT_EQ(CharPosFrom("abc", 'z', 1), 0);

    const std::string update = "<zylvan><ver value=\"1\"/></zylvan>";
    EXPECT_EQ(TextPosFrom(update, "<zylvan>"), 1);
    EXPECT_EQ(TextPosFrom(update, "</zylvan>"), static_cast<std::ptrdiff_t>(update.size() - 8));
    EXPECT_EQ(TextPosFrom(update, "zylvan", 3), 27);
    EXPECT_EQ(TextPosFrom(update, "ZYLVAN"), 0); // case-sensitive
    EXPECT_EQ(TextPosFrom("abc", "abcd"), 0);
    EXPECT_EQ(TextPosFrom("abc", ""), 0);
    EXPECT_EQ(TextPosFrom("aaab", "aab"), 2);
    // Only the given lengths count.
    EXPECT_EQ(TextPosFrom("abcdef", "def", 5, 3, 1), 0);
    EXPECT_EQ(TextPosFrom("abcdef", "dex", 6, 2, 1), 4);
}

TEST(FastStringsSearch, SkipSearchAgreesWithANaiveSearch) {
    const std::string text = "the quick brown fox jumps over the lazy dog; the end";
    for (const std::string pattern : {"the", "he ", "dog", "d", "end", "fox jumps", "cat", "the end", " "}) {
        SkipTable table;
        BuildSkipTable(pattern, table);
        const auto found = SkipSearch(text, pattern, table);
        const auto expected = text.find(pattern);
        if (expected == std::string::npos)
            EXPECT_FALSE(found.has_value()) << pattern;
        else
            EXPECT_EQ(found, expected) << pattern;
    }
}

TEST(FastStringsSearch, SkipTableMeasuresFromTheLastByte) {
    SkipTable table;
    BuildSkipTable("abca", table);
    EXPECT_EQ(table['a'], 3u); // the last "a" is not counted, so the first one sets it
    EXPECT_EQ(table['b'], 2u);
    EXPECT_EQ(table['c'], 1u);
    EXPECT_EQ(table['z'], 4u);
    EXPECT_THROW(
        {
            try {
                BuildSkipTable("", table);
            } catch (const std::invalid_argument &e) {
                EXPECT_STREQ(e.what(), "BufferLen is 0");
                throw;
            }
        },
        std::invalid_argument);
}

TEST(FastStringsSearch, StartBelowOneIsRefusedNamingTheModule) {
    for (std::ptrdiff_t start : {0, -3}) {
        try {
            CharPosFrom("abc", 'a', start);
            ADD_FAILURE() << "CharPosFrom accepted " << start;
        } catch (const std::invalid_argument &e) {
            EXPECT_THAT(e.what(), HasSubstr("source/function/FastStrings"));
        }
        EXPECT_THROW(TextPosFrom("abc", "b", start), std::invalid_argument);
    }
}

TEST(FastStringsFileName, RemovesForbiddenBytesAndCutsAtWholeCharacters) {
    EXPECT_EQ(MakeValidFileName("a:b?c"), "abc");
    EXPECT_EQ(MakeValidFileName("\"*/:<>?\\|"), "");
    EXPECT_EQ(MakeValidFileName("Artist - Title (Live).lrc"), "Artist - Title (Live).lrc");

    const std::string ascii(300, 'x');
    EXPECT_EQ(MakeValidFileName(ascii), ascii.substr(0, 259));

    // 86 three-byte characters are 258 bytes; one more would cross 259 and is dropped whole.
    std::string chinese;
    for (int i = 0; i < 100; ++i)
        chinese += "\xE6\xAD\x8C"; // 歌
    const std::string cut = MakeValidFileName(chinese);
    EXPECT_EQ(cut.size(), 258u);
    EXPECT_EQ(cut, chinese.substr(0, 258));

    // Removal happens before the cut, so forbidden bytes do not use up the limit.
    EXPECT_EQ(MakeValidFileName(std::string(50, '?') + ascii).size(), 259u);
}

TEST(FastStringsBase64, MatchesTheStandardVectors) {
    EXPECT_EQ(EncodeBase64Text(""), "");
    EXPECT_EQ(EncodeBase64Text("f"), "Zg==");
    EXPECT_EQ(EncodeBase64Text("fo"), "Zm8=");
    EXPECT_EQ(EncodeBase64Text("foo"), "Zm9v");
    EXPECT_EQ(EncodeBase64Text("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64Text("1234|x.zip"), "MTIzNHx4LnppcA==");
    EXPECT_EQ(EncodeBase64Text(std::string("\xFF\xFE\x00", 3)), "//4A");
}

TEST(FastStringsTests, SignedIntegersFollowThe32BitRange) {
    EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseInt32("+12"), 12);
    EXPECT_EQ(ParseInt32("2147483648"), std::nullopt);
    for (const char *bad : {"", "-", "+", "+-5", " 1", "1 ", "5x", "0x10"})
        EXPECT_EQ(ParseInt32(bad), std::nullopt) << bad;
}

TEST(FastStringsTests, BlankTextAndWebAddresses) {
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank(" \t\r\n\x01"));
    EXPECT_FALSE(IsBlank("  a "));
    EXPECT_FALSE(IsBlank("\xE3\x80\x80")); // an ideographic space is text, not a control byte
    EXPECT_TRUE(HasWebScheme("HTTPS://example.org/a.mp3"));
    EXPECT_TRUE(HasWebScheme("http://x"));
    EXPECT_FALSE(HasWebScheme("ftp://x"));
    EXPECT_FALSE(HasWebScheme("http:/x"));
    EXPECT_FALSE(HasWebScheme("/home/u/http://x"));
}
