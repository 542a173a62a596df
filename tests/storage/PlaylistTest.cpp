#include "storage/UDDPlayerlist.h"

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

void AppendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

struct Row {
    std::string title, artist, path;
};

class Playlist : public ::testing::Test {
protected:
    // What the main window does on every change: clear, add every row, save.
    void SaveRows(const std::vector<Row> &rows) {
        TDKPlist list(path, "DefaultList");
        list.ClearList("PlayerList");
        for (const auto &row : rows)
            list.AddEntry("PlayerList/LIST", row.title, row.artist, "0", row.path, 0);
        list.Save();
    }
    std::vector<TPList> LoadRows() {
        TDKPlist list(path, "DefaultList");
        list.LoadList("PlayerList");
        return list.Entries();
    }

    TempFolder dir;
    std::string path = dir.File("Default.pls");
};

} // namespace

TEST_F(Playlist, MissingFileLoadsNothingAndWritesNothing) {
    {
        TDKPlist list(path, "DefaultList");
        list.LoadList("PlayerList");
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.Entry(0), nullptr);
        EXPECT_FALSE(list.Modified());
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(Playlist, SavedRowsHaveTheFixedShapeAndAttributeOrder) {
    SaveRows({{"Song A", "Singer A", "/music/a.mp3"},
              {"Song B", "", "http://127.0.0.1:9/b.mp3"},
              {"", "Singer C", "/music/c.flac"}});
    EXPECT_THAT(ReadWholeFile(path), StartsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?>"));
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->root.name, "DefaultList");
    ASSERT_EQ(file->root.children.size(), 1u);
    const auto *list = file->root.Child("PlayerList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->children.size(), 3u);
    for (const auto &entry : list->children) {
        EXPECT_EQ(entry.name, "LIST");
        EXPECT_THAT(entry.AttributeNames(), ElementsAre("Path", "Title", "Artist", "Url", "Ltime"));
        EXPECT_EQ(entry.Attr("Url"), "0");
        EXPECT_EQ(entry.Attr("Ltime"), "0");
        EXPECT_TRUE(entry.children.empty());
    }
    EXPECT_EQ(list->children[0].Attr("Path"), "/music/a.mp3");
    EXPECT_EQ(list->children[0].Attr("Title"), "Song A");
    EXPECT_EQ(list->children[0].Attr("Artist"), "Singer A");
    EXPECT_EQ(list->children[1].Attr("Path"), "http://127.0.0.1:9/b.mp3");
    EXPECT_EQ(list->children[2].Attr("Artist"), "Singer C");

    const auto rows = LoadRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].Title, "Song B");
    EXPECT_EQ(rows[1].Artist, "");
    EXPECT_EQ(rows[2].Path, "/music/c.flac");
    EXPECT_EQ(rows[0].Url, "0");
    EXPECT_EQ(rows[0].Ltime, 0);
}

TEST_F(Playlist, SavingReplacesTheListAndKeepsOtherContent) {
    WriteWholeFile(path,
                   "<DefaultList><Favourites><LIST Path=\"/f.mp3\"/></Favourites>"
                   "<PlayerList><LIST Path=\"/old1.mp3\" Ltime=\"0\"/><LIST Path=\"/old2.mp3\"/></PlayerList>"
                   "</DefaultList>");
    SaveRows({{"New", "One", "/new.mp3"}});
    auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    ASSERT_EQ(file->root.children.size(), 2u);
    EXPECT_EQ(file->root.children[0].name, "Favourites");
    EXPECT_EQ(file->root.children[0].children[0].Attr("Path"), "/f.mp3");
    ASSERT_EQ(file->root.Child("PlayerList")->children.size(), 1u);
    EXPECT_EQ(file->root.Child("PlayerList")->children[0].Attr("Path"), "/new.mp3");

    // An empty playlist over an existing list leaves the list element, empty.
    SaveRows({});
    file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    ASSERT_NE(file->root.Child("PlayerList"), nullptr);
    EXPECT_TRUE(file->root.Child("PlayerList")->children.empty());
    EXPECT_NE(file->root.Child("Favourites"), nullptr);
}

TEST_F(Playlist, SavingOverAnOldListWritesWhatAFreshListWould) {
    // Old entries of every odd shape: extra and reordered attributes, children, a namespace,
    // other names, comments, entity-free text; a save must not let any of it through.
    WriteWholeFile(path, "<DefaultList xmlns:p=\"urn:p\"><PlayerList>"
                         "<LIST Path=\"/same.mp3\" Title=\"Same\" Artist=\"A\" Url=\"0\" Ltime=\"0\"/>"
                         "<LIST Title=\"T\" Path=\"/order.mp3\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
                         "<LIST Path=\"/x\" Title=\"\" Artist=\"\" Url=\"0\" Ltime=\"0\" Extra=\"1\"/>"
                         "<!-- note -->text"
                         "<LIST Path=\"/kid\"><child/></LIST>"
                         "<p:LIST Path=\"/ns\"/>"
                         "<Song Path=\"/song\"/>"
                         "<LIST p:Path=\"/nsattr\" Title=\"\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
                         "<LIST Path=\"/changed.mp3\" Title=\"Old\" Artist=\"B\" Url=\"0\" Ltime=\"0\"/>"
                         "</PlayerList></DefaultList>");
    const std::vector<Row> rows = {{"Same", "A", "/same.mp3"},
                                   {"\xE6\x96\xB0", "B", "/changed.mp3"},
                                   {"T", "", "/order.mp3"},
                                   {"x", "y", "/z"},
                                   {"five", "", "/5"}};
    SaveRows(rows);
    const std::string reused = ReadWholeFile(path);

    fs::remove(path);
    WriteWholeFile(path, "<DefaultList xmlns:p=\"urn:p\"/>");
    SaveRows(rows);
    EXPECT_EQ(reused, ReadWholeFile(path));

    // Fewer rows than before, then none.
    SaveRows({{"only", "", "/only"}});
    ASSERT_EQ(LoadRows().size(), 1u);
    EXPECT_EQ(LoadRows()[0].Path, "/only");
    SaveRows({});
    EXPECT_TRUE(LoadRows().empty());
}

TEST_F(Playlist, AnEmptyPlaylistIntoANewFileWritesOnlyTheRoot) {
    SaveRows({});
    EXPECT_THAT(ReadWholeFile(path), StartsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?>"));
    const auto file = ReadXmlFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->root.name, "DefaultList");
    EXPECT_TRUE(file->root.children.empty());
}

TEST_F(Playlist, EveryChildOfTheListIsAnEntryAndDamagedOnesStillLoad) {
    WriteWholeFile(path, "<DefaultList><PlayerList>"
                         "<LIST Path=\"/a.mp3\" Title=\"A\" Artist=\"X\" Url=\"0\" Ltime=\"0\"/>"
                         "<!-- a comment is not an entry -->"
                         "<Song Path=\"/b.mp3\" Title=\"B\" Ltime=\"2.5\"/>"
                         "<LIST Path=\"/c.mp3\" Ltime=\"soon\"/>"
                         "<LIST Title=\"no path, no time\"/>"
                         "<LIST Path=\"/e.mp3\" Ltime=\"1,5\"/>"
                         "</PlayerList></DefaultList>");
    TDKPlist list(path, "DefaultList");
    list.LoadList("PlayerList");
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Entry(1)->Path, "/b.mp3");
    EXPECT_EQ(list.Entry(1)->Artist, "");
    EXPECT_DOUBLE_EQ(list.Entry(1)->Ltime, 2.5);
    EXPECT_EQ(list.Entry(2)->Path, "/c.mp3");
    EXPECT_EQ(list.Entry(2)->Ltime, 0);
    EXPECT_EQ(list.Entry(3)->Path, "");
    EXPECT_EQ(list.Entry(3)->Title, "no path, no time");
    EXPECT_DOUBLE_EQ(list.Entry(4)->Ltime, 1.5);
    EXPECT_EQ(list.Entry(-1), nullptr);
    EXPECT_EQ(list.Entry(5), nullptr);

    // A second load appends again; FreeEntries empties.
    list.LoadList("PlayerList");
    EXPECT_EQ(list.Count(), 10);
    list.FreeEntries();
    EXPECT_EQ(list.Count(), 0);
    list.LoadList("NoSuchList");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Modified());
}

TEST_F(Playlist, AddEntryFindsTheListButAlwaysAppendsTheEntry) {
    TDKPlist list("", "DefaultList");
    list.AddEntry("PlayerList/LIST", "a", "", "0", "/a", 0);
    list.AddEntry("PlayerList/LIST", "b", "", "0", "/b", 0.25);
    list.AddEntry("Other/Deeper/ITEM", "c", "", "", "/c", 0);
    list.LoadList("PlayerList");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Entry(1)->Title, "b");
    EXPECT_DOUBLE_EQ(list.Entry(1)->Ltime, 0.25);
    list.FreeEntries();
    list.LoadList("Other");
    ASSERT_EQ(list.Count(), 1); // "Deeper" is the one child of "Other"
    EXPECT_THROW(list.AddEntry("PlayerList/bad name", "", "", "", "", 0), std::invalid_argument);
}

TEST_F(Playlist, ClearListAlwaysCountsAsAChange) {
    {
        TDKPlist list(path, "DefaultList");
        list.ClearList("PlayerList"); // there is none
        EXPECT_TRUE(list.Modified());
    }
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(Playlist, ChineseAndRareCharactersSurviveTheRoundTrip) {
    const Row row{"\xE5\xA4\x9C\xE6\x9B\xB2 \xF0\x9F\x8E\xB5", "\xE5\x91\xA8\xE6\x9D\xB0\xE5\x80\xAB",
                  "/home/u/\xE9\x9F\xB3\xE4\xB9\x90/\xE4\xB8\x9F & <x>.mp3"}; // 夜曲 🎵, 周杰倫, 音乐/丟
    SaveRows({row});
    const std::string bytes = ReadWholeFile(path);
    EXPECT_THAT(bytes, HasSubstr("\xD2\xB9\xC7\xFA")); // 夜曲 in GB2312
    const auto rows = LoadRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Title, row.title);
    EXPECT_EQ(rows[0].Artist, row.artist);
    EXPECT_EQ(rows[0].Path, row.path);
}

// The writer picks GB2312 codes and the reader decodes them as GBK: the two must agree on every
// character, including ・ and ―, whose GB2312 codes GBK reads as · and —.
TEST_F(Playlist, EveryCharacterOfThePlaneReadsBackAsItWasWritten) {
    std::vector<Row> rows;
    std::string chunk;
    for (char32_t cp = 0x80; cp <= 0xFFFD; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        AppendUtf8(chunk, cp);
        if (chunk.size() > 3000 || cp == 0xFFFD) {
            rows.push_back({chunk, "", "/music/" + std::to_string(rows.size())});
            chunk.clear();
        }
    }
    SaveRows(rows);
    const auto loaded = LoadRows();
    ASSERT_EQ(loaded.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(loaded[i].Title, rows[i].title) << "row " << i;
}

TEST_F(Playlist, DotAndBarSurviveInFilesTheLibraryWrites) {
    const std::string name = "/music/A\xE3\x83\xBB" "B\xE2\x80\x95" "C.mp3"; // A・B―C
    // A document type declaration sends saving through libxml2's own serialiser.
    WriteWholeFile(path, "<!DOCTYPE DefaultList><DefaultList><PlayerList/></DefaultList>");
    SaveRows({{"t", "a", name}});
    const auto rows = LoadRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Path, name);
}

TEST_F(Playlist, BrokenFilesFailCreationOrAreSetAside) {
    WriteWholeFile(path, "<DefaultList><PlayerList><LIST Path=\"/a.mp3\"></DefaultList>");
    EXPECT_THROW(TDKPlist(path, "DefaultList"), XmlParseError);

    OpenNote note;
    {
        auto list = TDKPlist::OpenRecovering(path, "DefaultList", &note);
        EXPECT_FALSE(note.problem.empty());
        list->LoadList("PlayerList");
        EXPECT_EQ(list->Count(), 0);
    }
    EXPECT_EQ(note.setAside, path + ".bad");
    EXPECT_FALSE(fs::exists(path)); // nothing was written over it

    // A second broken file gets a copy of its own; the first copy stays.
    WriteWholeFile(path, "<DefaultList>");
    (void)TDKPlist::OpenRecovering(path, "DefaultList", &note);
    EXPECT_EQ(note.setAside, path + ".bad.2");
    EXPECT_EQ(ReadWholeFile(path + ".bad.2"), "<DefaultList>");
    EXPECT_THAT(ReadWholeFile(path + ".bad"), HasSubstr("/a.mp3"));

    TDKPlist unsaved(dir.File("gone/Default.pls"), "DefaultList");
    unsaved.AddEntry("PlayerList/LIST", "t", "a", "0", "/p", 0);
    EXPECT_THROW(unsaved.Save(), XmlSaveError);
    EXPECT_TRUE(unsaved.Modified());
}
