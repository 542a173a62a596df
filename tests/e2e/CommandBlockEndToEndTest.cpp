// The real player receives files and song lists through lirvo-send's command block: "add"
// appends without touching the current row, "play" appends and plays, the song-list commands
// decode their percent-encoded UTF-8 items, and every row reaches the saved playlist in order.

#include "PlayerFixture.h"

#include "storage/UDDPlayerlist.h"

#include <QUrl>

#include <string>
#include <vector>

namespace {

using namespace lirvo::e2e;

// Kept as UTF-8 so that a failure prints readable text.
struct Row {
    std::string path, title, artist;
};

// One song-list item: a marker character, then "location|title-artist", percent-encoded as
// UTF-8 with "+" for each blank.
QByteArray ListItem(const QString &marker, const QString &location, const QString &titleArtist) {
    QByteArray encoded = QUrl::toPercentEncoding(marker + location + "|" + titleArtist, " ");
    encoded.replace(' ', '+');
    return encoded;
}

std::vector<Row> SavedRows(const QString &file) {
    lirvo::storage::TDKPlist list(file.toStdString(), "DefaultList");
    list.LoadList("PlayerList");
    std::vector<Row> rows;
    for (const auto &entry : list.Entries())
        rows.push_back({entry.Path, entry.Title, entry.Artist});
    return rows;
}

void ExpectRow(const std::vector<Row> &rows, std::size_t i, const QString &path, const char *title,
               const char *artist) {
    const Row want{path.toStdString(), title, artist};
    ASSERT_LT(i, rows.size());
    EXPECT_EQ(rows[i].path, want.path) << "row " << i;
    EXPECT_EQ(rows[i].title, want.title) << "row " << i;
    EXPECT_EQ(rows[i].artist, want.artist) << "row " << i;
}

TEST_F(PlayerEndToEnd, CommandBlockAddsAndPlaysFilesAndSongLists) {
    // Copies of the tagged demo song ("晨光" by "Lirvo") under Chinese names, and one without tags.
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), Song("夜 曲.ogg")));
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), Song("春天.ogg")));
    QProcess strip;
    EndWithTest(strip);
    strip.start("ffmpeg", {"-v", "error", "-y", "-i", Song("lirvo-demo.ogg"), "-map_metadata", "-1",
                           "-map_metadata:s:a", "-1", "-c", "copy", Song("无标签.ogg")});
    ASSERT_TRUE(strip.waitForFinished(20000));
    ASSERT_EQ(strip.exitCode(), 0);

    StartPlayer(Song("lirvo-demo.ogg"));
    const auto rowsAre = [&](int n) {
        return WaitUntil([&] { return Send({"cmd", "50"}) == QString::number(n); }, kPatienceMs);
    };
    ASSERT_TRUE(rowsAre(1));
    EXPECT_EQ(Send({"cmd", "51"}), "0");
    // Request 52 brings the window back (what a start without files sends); here it is shown.
    EXPECT_EQ(Send({"cmd", "52"}), "1");
    EXPECT_EQ(Send({"cmd", "53"}), "-1") << "an unknown request";

    // "add" with a path relative to the sender's folder: titled by its file name, not played.
    int rc = -1;
    Send({"add", "无标签.ogg"}, &rc, Song(""));
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(rowsAre(2));
    EXPECT_EQ(Send({"cmd", "51"}), "0") << "adding leaves the current row alone";

    // "play" appends and makes the new row the current one.
    Send({"play", Song("second.ogg")}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(rowsAre(3));
    EXPECT_EQ(Send({"cmd", "51"}), "2");

    // A list to add: a multi-byte marker, "+" blanks, a title with two "-", a raw "&" that ends
    // an item's text, and the second-to-last character of the text dropped ("X"; "!" stays).
    const QByteArray addList = ListItem("★", Song("夜 曲.ogg"), " 夜曲 - 歌手 ") + "," +
                               ListItem("*", "/music/a.ogg", "甲-乙-丙") + "," +
                               ListItem("*", "/music/b.ogg", "名-艺人") + "&junk=1," +
                               ListItem("*", "/music/c.ogg", "歌-手") + "X!";
    Send({"list-add", QString::fromUtf8(addList)}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(rowsAre(7));
    EXPECT_EQ(Send({"cmd", "51"}), "2") << "adding a list leaves the current row alone";

    // A list to play: the first new row becomes current and plays. The text ends with a
    // character to drop and a final comma.
    const QByteArray playList = ListItem("*", Song("春天.ogg"), "春天-歌手") + "," +
                                ListItem("*", "/music/never-there.ogg", "无-人") + "Z,";
    Send({"list-play", QString::fromUtf8(playList)}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(rowsAre(9));
    EXPECT_EQ(Send({"cmd", "51"}), "7");
    // A song that could not be opened would move on to the next row after a second; this one
    // keeps playing.
    QThread::msleep(2500);
    EXPECT_EQ(Send({"cmd", "51"}), "7") << "the decoded path of the first new row plays";

    QFile::remove(DataFile("Default.pls"));
    ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal)
        << "the player did not end on SIGTERM";
    EXPECT_EQ(player_.exitCode(), 0);

    const std::vector<Row> rows = SavedRows(DataFile("Default.pls"));
    ASSERT_EQ(rows.size(), 9u);
    ExpectRow(rows, 0, Song("lirvo-demo.ogg"), "晨光", "Lirvo");
    ExpectRow(rows, 1, Song("无标签.ogg"), "无标签", "");
    ExpectRow(rows, 2, Song("second.ogg"), "晨光", "Lirvo");
    ExpectRow(rows, 3, Song("夜 曲.ogg"), "夜曲", "歌手");
    ExpectRow(rows, 4, "/music/a.ogg", "甲", "乙");
    ExpectRow(rows, 5, "/music/b.ogg", "名", "艺人");
    ExpectRow(rows, 6, "/music/c.ogg", "歌", "手!");
    ExpectRow(rows, 7, Song("春天.ogg"), "春天", "歌手");
    ExpectRow(rows, 8, "/music/never-there.ogg", "无", "人");
}

} // namespace
