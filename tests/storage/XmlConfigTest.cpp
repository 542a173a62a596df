#include "storage/UDDXMLCFG.h"

#include "TempFolder.h"
#include "XmlTree.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lirvo::storage;
using lirvo::testing::ReadWholeFile;
using lirvo::testing::ReadXmlFile;
using lirvo::testing::TempFolder;
using lirvo::testing::WriteWholeFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace fs = std::filesystem;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"GB2312\"?>";

class XmlConfig : public ::testing::Test {
protected:
    TempFolder dir;
    std::string path = dir.File("Lirvo.xml");
};

} // namespace

TEST_F(XmlConfig, MissingFileGivesDefaultsAndIsNotCreatedWithoutAWrite) {
    {
        TDKConfig config(path, "MainConfig");
        EXPECT_EQ(config.ReadString("Window/LRC", "PATH", "/default/"), "/default/");
        EXPECT_EQ(config.ReadInteger("Window/Volume", "Value", 100), 100);
        EXPECT_TRUE(config.ReadBool("Window/DESKTOPLRC", "SHOW", true));
        EXPECT_FALSE(config.Modified());
        EXPECT_FALSE(config.HasNode("Window"));
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(XmlConfig, WritesOneWindowElementWithASettingElementPerKey) {
    {
        TDKConfig config(path, "MainConfig");
        config.WriteInteger("Window/Volume", "Value", 65);
        EXPECT_TRUE(config.Modified());
        config.WriteInteger("Window/PLAY", "PATTERN", 0);
        config.WriteString("Network/LYRICS", "URL", "http://127.0.0.1:8080/api");
    }
    EXPECT_THAT(ReadWholeFile(path), StartsWith(kDeclaration));
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->declaredEncoding, "GB2312");
    EXPECT_EQ(file->root.name, "MainConfig");
    ASSERT_EQ(file->root.CountChildren("Window"), 1);
    const auto *window = file->root.Child("Window");
    ASSERT_EQ(window->children.size(), 2u);
    EXPECT_EQ(window->children[0].name, "Volume");
    EXPECT_EQ(window->children[0].Attr("Value"), "65");
    EXPECT_TRUE(window->children[0].children.empty());
    EXPECT_EQ(window->children[1].name, "PLAY");
    EXPECT_EQ(window->children[1].Attr("PATTERN"), "0");
    ASSERT_NE(file->root.Child("Network"), nullptr);
    EXPECT_EQ(file->root.Child("Network")->Child("LYRICS")->Attr("URL"), "http://127.0.0.1:8080/api");

    TDKConfig again(path, "ignored");
    EXPECT_EQ(again.ReadInteger("Window/Volume", "Value", 100), 65);
    EXPECT_EQ(again.ReadString("Network/LYRICS", "URL", ""), "http://127.0.0.1:8080/api");
    EXPECT_FALSE(again.Modified());
}

TEST_F(XmlConfig, ReadsNeverChangeTheFile) {
    const std::string original = "<MainConfig><Window><PLAY PATTERN=\"2\"/></Window></MainConfig>";
    WriteWholeFile(path, original);
    {
        TDKConfig config(path, "MainConfig");
        EXPECT_EQ(config.ReadString("Window/LRC", "PATH", "dflt"), "dflt");
        EXPECT_EQ(config.ReadString("Window/PLAY", "NOPE", "dflt"), "dflt");
        EXPECT_EQ(config.ReadInteger("Window/PLAY", "PATTERN", 0), 2);
        EXPECT_FALSE(config.HasNode("Window/LRC"));
    }
    EXPECT_EQ(ReadWholeFile(path), original);
}

TEST_F(XmlConfig, NamesAreCaseSensitiveAndTheFirstOfTwinsIsUsed) {
    WriteWholeFile(path,
                   "<MainConfig><Window><PLAY PATTERN=\"2\"/><PLAY PATTERN=\"3\"/></Window></MainConfig>");
    {
        TDKConfig config(path, "MainConfig");
        EXPECT_EQ(config.ReadInteger("window/play", "PATTERN", 9), 9);
        EXPECT_EQ(config.ReadInteger("Window/PLAY", "pattern", 9), 9);
        EXPECT_EQ(config.ReadInteger("Window/PLAY", "PATTERN", 9), 2);
        config.WriteInteger("Window/PLAY", "PATTERN", 0);
        config.WriteInteger("window/play", "PATTERN", 1);
    }
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->root.children.size(), 2u);
    EXPECT_EQ(file->root.children[0].name, "Window");
    EXPECT_EQ(file->root.children[1].name, "window");
    const auto &plays = file->root.children[0].children;
    ASSERT_EQ(plays.size(), 2u);
    EXPECT_EQ(plays[0].Attr("PATTERN"), "0");
    EXPECT_EQ(plays[1].Attr("PATTERN"), "3");
    ASSERT_EQ(file->root.children[1].children.size(), 1u);
    EXPECT_EQ(file->root.children[1].children[0].name, "play");
    EXPECT_EQ(file->root.children[1].children[0].Attr("PATTERN"), "1");
}

TEST_F(XmlConfig, IntegerAndBooleanTextsFollowTheirDefaults) {
    TDKConfig config("", "MainConfig");
    const auto readInt = [&](const std::string &text, int dflt) {
        config.WriteString("Window/N", "Value", text);
        return config.ReadInteger("Window/N", "Value", dflt);
    };
    EXPECT_EQ(readInt("", 7), 7);
    EXPECT_EQ(readInt("abc", 7), 7);
    EXPECT_EQ(readInt("12x", 7), 7);
    EXPECT_EQ(readInt("12345678901", 7), 7); // beyond 32 bits
    EXPECT_EQ(readInt("2147483647", 7), 2147483647);
    EXPECT_EQ(readInt("-2147483648", 7), -2147483647 - 1);
    EXPECT_EQ(readInt("-1", 7), -1);
    EXPECT_EQ(readInt("65", 7), 65);

    const auto readBool = [&](const std::string &text, bool dflt) {
        config.WriteString("Window/B", "SHOW", text);
        return config.ReadBool("Window/B", "SHOW", dflt);
    };
    EXPECT_FALSE(readBool("0", true));
    EXPECT_TRUE(readBool("1", false));
    EXPECT_TRUE(readBool("2", false));
    EXPECT_FALSE(readBool("256", true)); // only the low 8 bits count
    EXPECT_TRUE(readBool("", true));
    EXPECT_FALSE(readBool("yes", false));
    EXPECT_TRUE(config.ReadBool("Window/Absent", "SHOW", true));
    EXPECT_FALSE(config.ReadBool("Window/Absent", "SHOW", false));

    config.WriteBool("Window/B", "SHOW", true);
    EXPECT_EQ(config.ReadString("Window/B", "SHOW", ""), "1");
    config.WriteBool("Window/B", "SHOW", false);
    EXPECT_EQ(config.ReadString("Window/B", "SHOW", ""), "0");
    config.WriteInteger("Window/N", "Value", -5);
    EXPECT_EQ(config.ReadString("Window/N", "Value", ""), "-5");
    config.WriteString("Window/S", "NAME", "");
    EXPECT_EQ(config.ReadString("Window/S", "NAME", "fallback"), "fallback");
}

TEST_F(XmlConfig, ElementTextIsAddressedByAnEmptyAttributeName) {
    {
        TDKConfig config(path, "MainConfig");
        config.WriteString("Window/Note", "", "a < b & \"c\"");
        config.WriteString("Window/Empty", "", "");
        EXPECT_EQ(config.ReadString("Window/Empty", "", "unused"), "");
    }
    TDKConfig config(path, "MainConfig");
    EXPECT_EQ(config.ReadString("Window/Note", "", ""), "a < b & \"c\"");
}

TEST_F(XmlConfig, ChineseAndCharactersBeyondGb2312SurviveAsGb2312) {
    const std::string lyricDir = "/home/用户/歌词/";
    const std::string beyond = "丟 € 🎵 café"; // not all of these exist in GB2312
    {
        TDKConfig config(path, "MainConfig");
        config.WriteString("Window/LRC", "PATH", lyricDir);
        config.WriteString("Window/Title", "NAME", beyond);
    }
    const std::string bytes = ReadWholeFile(path);
    EXPECT_THAT(bytes, HasSubstr("\xD3\xC3\xBB\xA7")); // 用户 in GB2312
    EXPECT_THAT(bytes, HasSubstr("&#"));               // the rest as character references
    TDKConfig config(path, "MainConfig");
    EXPECT_EQ(config.ReadString("Window/LRC", "PATH", ""), lyricDir);
    EXPECT_EQ(config.ReadString("Window/Title", "NAME", ""), beyond);
}

TEST_F(XmlConfig, AFileInAnotherEncodingIsWrittenBackAsGb2312KeepingUnknownContent) {
    WriteWholeFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                         "<Settings><!-- kept --><Other keep=\"\xE4\xBD\xA0\">text</Other>"
                         "<Window><LRC PATH=\"/\xE6\xAD\x8C/\"/></Window></Settings>");
    {
        TDKConfig config(path, "MainConfig");
        EXPECT_EQ(config.ReadString("Window/LRC", "PATH", ""), "/\xE6\xAD\x8C/");
        config.WriteInteger("Window/Volume", "Value", 30);
    }
    const std::string bytes = ReadWholeFile(path);
    EXPECT_THAT(bytes, StartsWith("<?xml version=\"1.0\" encoding=\"GB2312\" standalone=\"yes\"?>"));
    EXPECT_THAT(bytes, HasSubstr("\xB8\xE8")); // 歌 in GB2312
    EXPECT_THAT(bytes, HasSubstr("<!-- kept -->"));
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->root.name, "Settings"); // an existing root keeps its name
    ASSERT_NE(file->root.Child("Other"), nullptr);
    EXPECT_EQ(file->root.Child("Other")->Attr("keep"), "\xE4\xBD\xA0");
    EXPECT_EQ(file->root.Child("Other")->text, "text");
    EXPECT_EQ(file->root.Child("Window")->Child("Volume")->Attr("Value"), "30");

    // Files from Windows label GBK text as GB2312; a GBK-only character (丟) must still load.
    WriteWholeFile(path, "<?xml version=\"1.0\" encoding=\"GB2312\"?><MainConfig><Window>"
                         "<LRC PATH=\"\xB8\xE8\x81\x47\"/></Window></MainConfig>");
    EXPECT_EQ(TDKConfig(path, "MainConfig").ReadString("Window/LRC", "PATH", ""), "\xE6\xAD\x8C\xE4\xB8\x9F");

    // A file without a declaration gets one.
    WriteWholeFile(path, "<MainConfig/>");
    {
        TDKConfig config(path, "MainConfig");
        config.WriteBool("Window/AUTORUN", "Value", false);
    }
    EXPECT_THAT(ReadWholeFile(path), StartsWith(kDeclaration));
}

TEST_F(XmlConfig, ForeignNamesBeyondGb2312FallBackToUtf8RatherThanBreakTheFile) {
    // Character references cannot stand in names or comments, so such a file keeps UTF-8.
    const std::string name = "\xE4\xB8\x9F";          // 丟, not in GB2312
    const std::string comment = " \xF0\x9F\x8E\xB5 "; // 🎵
    WriteWholeFile(path, "<MainConfig><" + name + " a=\"1\"/><!--" + comment + "--></MainConfig>");
    {
        TDKConfig config(path, "MainConfig");
        config.WriteInteger("Window/Volume", "Value", 5);
    }
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file) << ReadWholeFile(path);
    EXPECT_EQ(file->declaredEncoding, "UTF-8");
    EXPECT_THAT(ReadWholeFile(path), HasSubstr("<!--" + comment + "-->"));
    ASSERT_NE(file->root.Child(name), nullptr);
    EXPECT_EQ(TDKConfig(path, "MainConfig").ReadInteger("Window/Volume", "Value", 0), 5);
}

TEST_F(XmlConfig, WritingAnUnchangedValueStillRewritesTheFile) {
    const std::string original = "<MainConfig><Window><Volume Value=\"65\"/></Window></MainConfig>";
    WriteWholeFile(path, original);
    {
        TDKConfig config(path, "MainConfig");
        config.WriteInteger("Window/Volume", "Value", 65);
        EXPECT_TRUE(config.Modified());
        config.Save();
        EXPECT_FALSE(config.Modified());
    }
    EXPECT_NE(ReadWholeFile(path), original);
    EXPECT_THAT(ReadWholeFile(path), StartsWith(kDeclaration));
}

TEST_F(XmlConfig, AMalformedFileFailsCreationWithTheParserMessage) {
    const std::string broken = "<MainConfig><Window></MainConfig>";
    WriteWholeFile(path, broken);
    try {
        TDKConfig config(path, "MainConfig");
        ADD_FAILURE() << "a malformed file was accepted";
    } catch (const XmlParseError &e) {
        EXPECT_THAT(e.what(), HasSubstr(path));
        EXPECT_THAT(e.what(), HasSubstr("line 1"));
        EXPECT_THAT(e.what(), HasSubstr("Window"));
    }
    EXPECT_THROW(TDKConfig(dir.Path(), "MainConfig"), XmlParseError); // a folder is no file
    WriteWholeFile(path + "2", "");
    EXPECT_THROW(TDKConfig(path + "2", "MainConfig"), XmlParseError);
    EXPECT_EQ(ReadWholeFile(path), broken);

    OpenNote note;
    {
        auto config = TDKConfig::OpenRecovering(path, "MainConfig", &note);
        ASSERT_TRUE(config);
        EXPECT_THAT(note.problem, HasSubstr("line 1"));
        EXPECT_EQ(note.setAside, path + ".bad");
        EXPECT_FALSE(note.unreadable);
        EXPECT_EQ(config->ReadInteger("Window/Volume", "Value", 100), 100);
        config->WriteInteger("Window/Volume", "Value", 40);
    }
    EXPECT_EQ(ReadWholeFile(path + ".bad"), broken);
    EXPECT_EQ(TDKConfig(path, "MainConfig").ReadInteger("Window/Volume", "Value", 100), 40);

    auto fine = TDKConfig::OpenRecovering(path, "MainConfig", &note);
    EXPECT_TRUE(note.problem.empty());
    EXPECT_TRUE(note.setAside.empty());
    EXPECT_EQ(fine->ReadInteger("Window/Volume", "Value", 100), 40);
}

// A file that cannot be read may be perfectly good: it is neither moved nor written over.
// Reading /proc/self/mem at its start fails with an I/O error, even for root.
TEST_F(XmlConfig, AnUnreadableFileIsLeftAloneAndNeverOverwritten) {
    fs::create_symlink("/proc/self/mem", path);
    OpenNote note;
    {
        auto config = TDKConfig::OpenRecovering(path, "MainConfig", &note);
        EXPECT_TRUE(note.unreadable);
        EXPECT_TRUE(note.setAside.empty());
        EXPECT_THAT(note.problem, HasSubstr(path));
        config->WriteInteger("Window/Volume", "Value", 40);
        EXPECT_NO_THROW(config->Save());
    }
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(fs::read_symlink(path), "/proc/self/mem");
    EXPECT_FALSE(fs::exists(path + ".bad"));
}

// Nested internal entities ("billion laughs") must not make loading or saving expand without
// bound: the file is refused as broken or kept small.
TEST_F(XmlConfig, NestedInternalEntitiesDoNotExpandWithoutBound) {
    std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE MainConfig [<!ENTITY a0 \"xxxxxxxxxx\">";
    for (int i = 1; i <= 9; ++i)
        doc += "<!ENTITY a" + std::to_string(i) + " \"" +
               [&] { std::string r; for (int k = 0; k < 10; ++k) r += "&a" + std::to_string(i - 1) + ";"; return r; }() +
               "\">";
    doc += "]><MainConfig><Window><LRC PATH=\"&a9;\"/>&a9;</Window></MainConfig>";
    WriteWholeFile(path, doc);
    OpenNote note;
    {
        auto config = TDKConfig::OpenRecovering(path, "MainConfig", &note);
        EXPECT_LT(config->ReadString("Window/LRC", "PATH", "").size(), 100000u);
        config->WriteInteger("Window/Volume", "Value", 1);
    }
    EXPECT_LT(fs::file_size(path), 100000u);
}

TEST_F(XmlConfig, AFailedSaveIsReportedAndKeepsTheChanges) {
    TDKConfig config(dir.File("no-such-folder/Lirvo.xml"), "MainConfig");
    config.WriteInteger("Window/Volume", "Value", 65);
    EXPECT_THROW(config.Save(), XmlSaveError);
    EXPECT_TRUE(config.Modified());
    EXPECT_EQ(config.ReadInteger("Window/Volume", "Value", 0), 65);
    // Destruction tries again and must not throw.
}

TEST_F(XmlConfig, UnsafeNamesAreRefusedAndUnsafeValuesMadeStorable) {
    {
        TDKConfig config(path, "MainConfig");
        EXPECT_THROW(config.WriteString("Window/bad name", "Value", "x"), std::invalid_argument);
        EXPECT_THROW(config.WriteString("Window//X", "Value", "x"), std::invalid_argument);
        EXPECT_THROW(config.WriteString("Window/X", "a\"b", "x"), std::invalid_argument);
        config.WriteString("Window/X", "Value",
                           std::string("a\x01\xFF"
                                       "b\n\tc",
                                       7));
    }
    TDKConfig config(path, "MainConfig");
    EXPECT_EQ(config.ReadString("Window/X", "Value", ""), "a\xEF\xBF\xBD\xEF\xBF\xBD"
                                                          "b\n\tc");
}
