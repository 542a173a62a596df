// The service lyric formats: YRC, QRC (with its XML wrapper), KRC (with its language header),
// plain LRC and XML entities; malformed pieces are skipped, garbage yields nothing.
#include "FormatTestSupport.h"
#include "function/text/FastStrings.h"
#include "lyrics/formats/KrcFormat.h"
#include "lyrics/formats/LineTimedLrc.h"
#include "lyrics/formats/QrcFormat.h"
#include "lyrics/formats/YrcFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace lirvo::lyrics::services {
namespace {

struct LinesCase {
    const char *name;
    std::string text;
    std::vector<TTimedLine> lines;
};
void PrintTo(const LinesCase &c, std::ostream *os) {
    *os << c.name;
}

class YrcParse : public ::testing::TestWithParam<LinesCase> {};
TEST_P(YrcParse, YieldsTheseLines) {
    EXPECT_EQ(ParseYrc(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, YrcParse,
    ::testing::Values(
        LinesCase{"absolute_word_times",
                  "[16210,3460](16210,670,0)还(16880,410,0)没(17290,590,0)好(17880,1790,0)好",
                  {Ln(16210, 3460, "还没好好",
                      {Wd(16210, 670, "还"), Wd(16880, 410, "没"), Wd(17290, 590, "好"), Wd(17880, 1790, "好")})}},
        LinesCase{"credit_lines_are_plain_lines_in_time_order",
                  "{\"t\":5000,\"c\":[{\"tx\":\"作曲: \"},{\"tx\":\"某乙\",\"li\":\"x\"}]}\n"
                  "{\"t\":0,\"c\":[{\"tx\":\"作词: \"},{\"tx\":\"某人\"}]}\n"
                  "[6000,1000](6000,1000,0)啊",
                  {Ln(0, 0, "作词: 某人"), Ln(5000, 0, "作曲: 某乙"), Ln(6000, 1000, "啊", {Wd(6000, 1000, "啊")})}},
        LinesCase{"zero_length_punctuation_and_trailing_blanks",
                  "[1000,1500](1000,400,0)Go (1400,500,0)on (1900,0,0)! ",
                  {Ln(1000, 1500, "Go on !", {Wd(1000, 400, "Go "), Wd(1400, 500, "on "), Wd(1900, 0, "! ")})}},
        LinesCase{"parentheses_that_are_no_tag_stay_text",
                  "[0,1000](0,500,0)(a)b(1,2)(500,500,0)c",
                  {Ln(0, 1000, "(a)b(1,2)c", {Wd(0, 500, "(a)b(1,2)"), Wd(500, 500, "c")})}},
        LinesCase{"words_without_text_dropped", "[0,100](0,50,0)(50,50,0)x", {Ln(0, 100, "x", {Wd(50, 50, "x")})}},
        LinesCase{"line_without_word_tags_keeps_its_text", "[100,200]  just text ", {Ln(100, 200, "just text")}},
        LinesCase{"headers_and_malformed_lines_skipped",
                  "[ti:x]\n[by:y]\n[abc,1](1,1,0)x\n[5,]\n{\"t\":\"x\"}\n{broken\n{\"c\":[]}\n(1,1,0)y\n"
                  "[100,50](100,50,0)ok",
                  {Ln(100, 50, "ok", {Wd(100, 50, "ok")})}},
        LinesCase{"bom_and_crlf",
                  "\xEF\xBB\xBF[0,10](0,10,0)a\r\n[10,10](10,10,0)b\r\n",
                  {Ln(0, 10, "a", {Wd(0, 10, "a")}), Ln(10, 10, "b", {Wd(10, 10, "b")})}},
        LinesCase{"huge_numbers_saturate",
                  "[99999999999,1](99999999999,1,0)x",
                  {Ln(INT32_MAX, 1, "x", {Wd(INT32_MAX, 1, "x")})}}));

class QrcParse : public ::testing::TestWithParam<LinesCase> {};
TEST_P(QrcParse, YieldsTheseLines) {
    EXPECT_EQ(ParseQrc(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, QrcParse,
    ::testing::Values(
        LinesCase{"parentheses_inside_words",
                  "[0,3000](Yeah)(0,1000) oh(x(1000,500)",
                  {Ln(0, 3000, "(Yeah) oh(x", {Wd(0, 1000, "(Yeah)"), Wd(1000, 500, " oh(x")})}},
        LinesCase{"untimed_tail_dropped", "[0,1000]a(0,500)tail", {Ln(0, 1000, "a", {Wd(0, 500, "a")})}},
        LinesCase{"line_without_word_tags_keeps_its_text", "[500,100]plain", {Ln(500, 100, "plain")}},
        LinesCase{"headers_skipped_and_lines_sorted",
                  "[kana:1a2b]\r\n[offset:0]\r\n[2000,10]b(2000,10)\r\n[1000,10]a(1000,10)\r\n[x,1]c(1,1)",
                  {Ln(1000, 10, "a", {Wd(1000, 10, "a")}), Ln(2000, 10, "b", {Wd(2000, 10, "b")})}}));

struct ExtractCase {
    const char *name;
    std::string document;
    std::optional<std::string> content;
};
void PrintTo(const ExtractCase &c, std::ostream *os) {
    *os << c.name;
}

class QrcExtract : public ::testing::TestWithParam<ExtractCase> {};
TEST_P(QrcExtract, FindsTheLyricContent) {
    EXPECT_EQ(ExtractQrcLyricContent(GetParam().document), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, QrcExtract,
    ::testing::Values(
        ExtractCase{"entities_decoded",
                    "<Lyric_1 LyricType=\"1\" LyricContent=\"&quot;A&quot; &amp; &lt;B&gt; &#65;&#x4E2D;\"/>",
                    "\"A\" & <B> A中"},
        ExtractCase{"stray_ampersand_and_quotes",
                    "<Lyric_1 LyricContent=\"[0,10]Rock & \"Roll\"(0,10)\"/>", "[0,10]Rock & \"Roll\"(0,10)"},
        ExtractCase{"raw_line_breaks_and_blank_before_close", "<Lyric_1\nLyricContent = \"a\r\nb\" />", "a\r\nb"},
        ExtractCase{"element_not_self_closing", "<Lyric_1 LyricContent=\"x\"></Lyric_1>", "x"},
        ExtractCase{"longer_element_name_is_another_element",
                    "<Lyric_10 LyricContent=\"no\"/><Lyric_1 LyricContent=\"yes\"/>", "yes"},
        ExtractCase{"no_lyric_1", "<QrcInfos><Lyric_2 LyricContent=\"x\"/></QrcInfos>", std::nullopt},
        ExtractCase{"no_content_attribute", "<Lyric_1 LyricType=\"1\"/>", std::nullopt},
        ExtractCase{"unterminated_value", "<Lyric_1 LyricContent=\"abc", std::nullopt}));

TEST(QrcDocument, SampleReadsWithEntitiesAndStrayCharacters) {
    const std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QrcInfos>\n"
                                 "<QrcHeadInfo SaveTime=\"5\" Version=\"100\"/>\n<LyricInfo LyricCount=\"1\">\n"
                                 "<Lyric_1 LyricType=\"1\" LyricContent=\"[ti:晚风]\n[ar:林某]\n[al:夏天]\n[by:]\n"
                                 "[offset:0]\n[0,1200]晚风 - 林某(0,600)\n"
                                 "[1200,3800]晚(1200,400)风(1600,500)吹(2100,450)过(2550,450) (3000,0)小(3000,600)"
                                 "巷(3600,1400)\n"
                                 "[5200,3000]Night (5200,700)wind (5900,800)&amp; (6700,300)you(7000,1200)\n"
                                 "[9000,800]Rock & \"Roll\"(9000,800)\n\"/>\n</LyricInfo>\n</QrcInfos>\n";
    ASSERT_TRUE(LooksLikeQrcDocument(document));
    const std::optional<std::string> content = ExtractQrcLyricContent(document);
    ASSERT_TRUE(content);
    EXPECT_FALSE(LooksLikeQrcDocument(*content));
    const std::vector<TTimedLine> want = {
        Ln(0, 1200, "晚风 - 林某", {Wd(0, 600, "晚风 - 林某")}),
        Ln(1200, 3800, "晚风吹过 小巷",
           {Wd(1200, 400, "晚"), Wd(1600, 500, "风"), Wd(2100, 450, "吹"), Wd(2550, 450, "过"), Wd(3000, 0, " "),
            Wd(3000, 600, "小"), Wd(3600, 1400, "巷")}),
        Ln(5200, 3000, "Night wind & you",
           {Wd(5200, 700, "Night "), Wd(5900, 800, "wind "), Wd(6700, 300, "& "), Wd(7000, 1200, "you")}),
        Ln(9000, 800, "Rock & \"Roll\"", {Wd(9000, 800, "Rock & \"Roll\"")})};
    EXPECT_EQ(ParseQrc(*content), want);
    EXPECT_FALSE(LooksLikeQrcDocument("[0,100]a(0,100)"));
    EXPECT_FALSE(LooksLikeQrcDocument("<html><body>Lyric_1</body></html>"));
}

// A KRC text whose language header holds `languageJson`, base64-encoded as the service sends it.
std::string Krc(const std::string &languageJson, const std::string &lines) {
    return "[id:$00000000]\n[ar:林某]\n[total:9000]\n[offset:0]\n[language:" + text::EncodeBase64Text(languageJson) +
           "]\n" + lines;
}

class KrcParse : public ::testing::TestWithParam<LinesCase> {};
TEST_P(KrcParse, YieldsTheseLines) {
    EXPECT_EQ(ParseKrc(GetParam().text), GetParam().lines);
}

const std::string kRomanisationThenTranslation =
    R"({"content":[{"language":0,"type":0,"lyricContent":[["wan ","feng"],["xiao ","xiang"]]},)"
    R"({"language":0,"type":1,"lyricContent":[["The night wind"],["The little lane"]]}],"version":1})";

INSTANTIATE_TEST_SUITE_P(
    Lines, KrcParse,
    ::testing::Values(
        LinesCase{"sample_romanisation_listed_first",
                  "[id:$00000000]\n[ar:林某]\n[ti:晚风]\n[total:9000]\n[offset:0]\n"
                  "[language:eyJjb250ZW50IjogW3sibGFuZ3VhZ2UiOiAwLCAidHlwZSI6IDAsICJseXJpY0NvbnRlbnQiOiBbWyJ3YW4gIiwg"
                  "ImZlbmciXSwgWyJ4aWFvICIsICJ4aWFuZyJdXX0sIHsibGFuZ3VhZ2UiOiAwLCAidHlwZSI6IDEsICJseXJpY0NvbnRlbnQiOiBb"
                  "WyJUaGUgbmlnaHQgd2luZCJdLCBbIlRoZSBsaXR0bGUgbGFuZSJdXX1dLCAidmVyc2lvbiI6IDF9]\n"
                  "[1200,1800]<0,800,0>晚风<800,1000,0>吹\n[3000,2400]<0,900,0>小巷<900,1500,0>深处\n",
                  {Ln(1200, 1800, "晚风吹", {Wd(1200, 800, "晚风"), Wd(2000, 1000, "吹")}, "The night wind"),
                   Ln(3000, 2400, "小巷深处", {Wd(3000, 900, "小巷"), Wd(3900, 1500, "深处")}, "The little lane")}},
        LinesCase{"unsorted_lines_take_translations_by_file_index",
                  Krc(R"({"content":[{"type":1,"lyricContent":[["Late"],["//"],["Early"],[" "]]}]})",
                      "[5000,1000]<0,1000,0>late\r\n[3000,500]<0,500,0>mid\r\n[1000,2000]<0,1000,0>early "
                      "<1000,1000,0>one\r\n[7000,10]<0,10,0>last\r\n"),
                  {Ln(1000, 2000, "early one", {Wd(1000, 1000, "early "), Wd(2000, 1000, "one")}, "Early"),
                   Ln(3000, 500, "mid", {Wd(3000, 500, "mid")}), Ln(5000, 1000, "late", {Wd(5000, 1000, "late")}, "Late"),
                   Ln(7000, 10, "last", {Wd(7000, 10, "last")})}},
        LinesCase{"romanisation_alone_gives_no_translation",
                  Krc(R"({"content":[{"type":0,"lyricContent":[["a"]]}]})", "[0,10]<0,10,0>x"),
                  {Ln(0, 10, "x", {Wd(0, 10, "x")})}},
        LinesCase{"fewer_rows_than_lines_and_headers_not_counted",
                  Krc(kRomanisationThenTranslation, "[hash:abc]\n[0,10]<0,10,0>x\n[by:y]\n[20,10]<0,10,0>y\n[40,10]z"),
                  {Ln(0, 10, "x", {Wd(0, 10, "x")}, "The night wind"), Ln(20, 10, "y", {Wd(20, 10, "y")}, "The little lane"),
                   Ln(40, 10, "z")}},
        LinesCase{"invalid_base64_gives_no_translation", "[language:@@@@]\n[0,10]<0,10,0>x",
                  {Ln(0, 10, "x", {Wd(0, 10, "x")})}},
        LinesCase{"angle_brackets_that_are_no_tag_stay_text",
                  "[0,100]<0,50,0>a<b<1,2><50,50,0>c",
                  {Ln(0, 100, "a<b<1,2>c", {Wd(0, 50, "a<b<1,2>"), Wd(50, 50, "c")})}}));

TEST(LineTimedLrc, HeadersSkippedFractionsReadAndOrderStable) {
    const std::vector<TTimedLine> want = {Ln(1050, 0, "a"), Ln(1050, 0, "a2"), Ln(2500, 0, "b"),
                                          Ln(3123, 0, "c"), Ln(62000, 0, "")};
    EXPECT_EQ(ParseLineTimedLrc("\xEF\xBB\xBF[ti:x]\n[offset:100]\n[id:abc]\n[00:02.5] b \n[00:01.05]a\n"
                                "[00:01.050]a2\n[00:03.123]c\r\n[01:02]\n"),
              want);
}

struct EntityCase {
    const char *text;
    const char *decoded;
};
class XmlEntities : public ::testing::TestWithParam<EntityCase> {};
TEST_P(XmlEntities, DecodeToThis) {
    EXPECT_EQ(DecodeXmlEntities(GetParam().text), GetParam().decoded);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, XmlEntities,
    ::testing::Values(EntityCase{"&amp;&quot;&apos;&lt;&gt;", "&\"'<>"},
                      EntityCase{"&#20013;&#x1F600;&#X41;&#10;", "中\xF0\x9F\x98\x80" "A\n"},
                      EntityCase{"a & b &&amp; c&", "a & b && c&"},
                      EntityCase{"&amp &unknown; &AMP;", "&amp &unknown; &AMP;"},
                      EntityCase{"&#xD800;&#0;&#x110000;&#;&#x;&#12a;", "&#xD800;&#0;&#x110000;&#;&#x;&#12a;"},
                      EntityCase{"&#99999999999999999999;", "&#99999999999999999999;"}));

// Garbage of many shapes: every parser yields nothing and reads no byte outside its input.
TEST(ServiceFormats, GarbageYieldsNoLines) {
    std::vector<std::string> inputs = {"", std::string("\0\0\xff\xfe", 4), "[", "[1,", "[1,2", "(1,2,0)x",
                                       "<0,1,0>x", "x(1,2)", "{\"t\":", "{\"t\":1,\"c\":[[[[[[[[[[]]]]]]]]]]",
                                       "[ti:a]\n[ar:b]", "<Lyric_1 LyricContent=", "[language:e30=]"};
    inputs.push_back("{" + std::string(200000, '[') + "\"t\":1}");
    std::mt19937 random(20240611);
    std::string noise(1 << 16, '\0');
    for (char &c : noise)
        c = static_cast<char>(random() % 256);
    inputs.push_back(noise);
    for (const std::string &input : inputs) {
        SCOPED_TRACE(testing::PrintToString(input.substr(0, 40)));
        EXPECT_TRUE(ParseYrc(input).empty());
        EXPECT_TRUE(ParseQrc(input).empty());
        EXPECT_TRUE(ParseKrc(input).empty());
        EXPECT_FALSE(ExtractQrcLyricContent(input));
    }
}

} // namespace
} // namespace lirvo::lyrics::services
