#include "storage/XmlPullReader.h"

#include "TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lirvo::storage;
using lirvo::testing::TempFolder;
using lirvo::testing::WriteWholeFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

namespace {

// "S:name", "E:name", "T:text" for each part, for compact order checks.
std::vector<std::string> Outline(const XmlScan &scan) {
    std::vector<std::string> out;
    for (const auto &p : scan.parts) {
        switch (p.kind) {
        case XmlPartKind::StartTag:
            out.push_back((p.selfClosing ? "S/:" : "S:") + p.name);
            break;
        case XmlPartKind::EndTag:
            out.push_back("E:" + p.name);
            break;
        case XmlPartKind::Text:
            out.push_back("T:" + p.text);
            break;
        }
    }
    return out;
}

// What the preset list does: the "name" of every part called eq, whatever its case.
std::vector<std::string> PresetNames(const XmlScan &scan) {
    std::vector<std::string> names;
    for (const auto &p : scan.parts)
        if (p.lowerName == "eq")
            names.push_back(p.Attribute("name"));
    return names;
}

} // namespace

TEST(XmlPullReader, YieldsTagsAndTextInDocumentOrder) {
    const auto scan =
        ScanXmlText("<?xml version=\"1.0\"?>\n<!-- presets -->\n<Root a=\"1\">\n"
                    "  <Item b=\"x &amp; y\" c='&lt;2&gt;'>hello &amp; <![CDATA[<raw>]]></Item>\n"
                    "  <Empty/>\n</Root>\n");
    EXPECT_TRUE(scan.error.empty()) << scan.error;
    EXPECT_THAT(Outline(scan),
                ElementsAre("S:Root", "S:Item", "T:hello & ", "T:<raw>", "E:Item", "S/:Empty", "E:Root"));
    const XmlPart &item = scan.parts[1];
    EXPECT_EQ(item.lowerName, "item");
    EXPECT_THAT(item.attributes, ElementsAre(Pair("b", "x & y"), Pair("c", "<2>")));
    EXPECT_EQ(item.Attribute("b"), "x & y");
    EXPECT_EQ(item.Attribute("B"), ""); // attribute names keep their case
    EXPECT_FALSE(item.HasAttribute("B"));
    EXPECT_TRUE(scan.parts[5].selfClosing);
    EXPECT_EQ(scan.parts[6].kind, XmlPartKind::EndTag);
}

TEST(XmlPullReader, PresetFileNamesMatchInAnyCaseAndEndTagsCount) {
    const auto scan = ScanXmlText("<effects>"
                                  "<eq id=\"0\" name=\"Flat\" q1=\"0\"/>"
                                  "<EQ id=\"1\" name=\"Bass\" q1=\"6\"/>"
                                  "<Eq id=\"2\" Name=\"Wrong case\"></Eq>"
                                  "</effects>");
    EXPECT_THAT(PresetNames(scan), ElementsAre("Flat", "Bass", "", ""));
    EXPECT_EQ(scan.parts[2].Attribute("q1"), "6");
    EXPECT_EQ(scan.parts[3].Attribute("name"), "");
}

TEST(XmlPullReader, UpdateDescriptionValuesAreFoundByLowerCasedName) {
    const auto scan =
        ScanXmlText("<zylvan><VER value=\"40124\"/><file Value=\"ignored\"/>"
                    "<musicpath value=\"http://127.0.0.1/m/\"/><file value=\"x.zip\"/></zylvan>");
    std::string ver, file, musicpath;
    for (const auto &p : scan.parts) {
        if (p.lowerName == "ver")
            ver = p.Attribute("value");
        else if (p.lowerName == "file")
            file = p.Attribute("value");
        else if (p.lowerName == "musicpath")
            musicpath = p.Attribute("value");
    }
    EXPECT_EQ(ver, "40124");
    EXPECT_EQ(file, "x.zip"); // the later one wins; "Value" is not "value"
    EXPECT_EQ(musicpath, "http://127.0.0.1/m/");
}

TEST(XmlPullReader, TextArrivesAsUtf8FromTheDeclaredOrGuessedEncoding) {
    const std::string bass = "\xE9\x87\x8D\xE4\xBD\x8E\xE9\x9F\xB3"; // 重低音
    // UTF-8, declared and undeclared.
    EXPECT_THAT(PresetNames(ScanXmlText("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><eq name=\"" + bass +
                                        "\"/></r>")),
                ElementsAre(bass));
    EXPECT_THAT(PresetNames(ScanXmlText("<r><eq name=\"" + bass + "\"/></r>")), ElementsAre(bass));
    // GB2312 label, with a GBK-only character (丟, 0x81 0x47) as Windows programs write it.
    const auto gb =
        ScanXmlText("<?xml version=\"1.0\" encoding=\"GB2312\"?><r><eq name=\"\xD6\xD8\xB5\xCD\xD2\xF4"
                    "\x81\x47\"/></r>");
    EXPECT_TRUE(gb.error.empty()) << gb.error;
    EXPECT_THAT(PresetNames(gb), ElementsAre(bass + "\xE4\xB8\x9F"));
    // No declaration and not UTF-8: GBK.
    EXPECT_THAT(PresetNames(ScanXmlText("<r><eq name=\"\xD6\xD8\xB5\xCD\xD2\xF4\"/></r>")),
                ElementsAre(bass));
    // Latin-1 declared.
    EXPECT_THAT(PresetNames(ScanXmlText(
                    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><eq name=\"caf\xE9\"/></r>")),
                ElementsAre("caf\xC3\xA9"));
    // UTF-16 with a byte-order mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("<r><eq name=\"ok\"/></r>")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    EXPECT_THAT(PresetNames(ScanXmlText(utf16)), ElementsAre("ok"));
}

TEST(XmlPullReader, MalformedInputEndsTheScanKeepingWhatWasRead) {
    XmlPullReader reader = XmlPullReader::FromText("<r><eq name=\"a\"/><eq name=\"b\"/><eq name=");
    std::vector<std::string> names;
    while (reader.Next())
        names.push_back(reader.Part().Attribute("name"));
    EXPECT_THAT(names, ElementsAre("", "a", "b")); // the root, then both whole presets
    EXPECT_TRUE(reader.Failed());
    EXPECT_THAT(reader.Error(), HasSubstr("line 1"));
    EXPECT_FALSE(reader.Next()); // stays finished

    for (const std::string &bad :
         std::vector<std::string>{"", "not xml at all", "<a><b></a>", "<a>&undefined;</a>", "<?xml?>",
                                  std::string("<a>\0</a>", 8)}) {
        const auto scan = ScanXmlText(bad);
        EXPECT_FALSE(scan.error.empty()) << bad;
    }
    const auto good = ScanXmlText("<a/>");
    EXPECT_TRUE(good.error.empty());
    EXPECT_EQ(good.parts.size(), 1u);
}

TEST(XmlPullReader, ReadsFilesAndReportsMissingOnes) {
    TempFolder dir;
    WriteWholeFile(dir.File("effect.dat"), "<x><eq name=\"Pop\"/></x>");
    EXPECT_THAT(PresetNames(ScanXmlFile(dir.File("effect.dat"))), ElementsAre("Pop"));

    XmlPullReader missing = XmlPullReader::FromFile(dir.File("absent.dat"));
    EXPECT_FALSE(missing.Next());
    EXPECT_TRUE(missing.Failed());
    EXPECT_THAT(missing.Error(), HasSubstr("absent.dat"));

    // A reader can be moved mid-scan.
    XmlPullReader first = XmlPullReader::FromText("<a><b/><c/></a>");
    ASSERT_TRUE(first.Next());
    XmlPullReader second = std::move(first);
    ASSERT_TRUE(second.Next());
    EXPECT_EQ(second.Part().name, "b");
    EXPECT_FALSE(first.Next()); // a moved-from reader is finished, not broken
}
