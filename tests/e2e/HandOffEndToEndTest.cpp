// Every file opened arrives in the real player: several starts at once each hand over their
// file and exactly one of them plays; a start with several files hands over all of them;
// local playlists on the command line add their entries.

#include "DesktopSessionFixture.h"

#include <QUrl>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

using namespace lirvo::e2e;

TEST_F(DesktopSession, SixStartsAtOnceGiveSixRowsAndOnePlays) {
    std::vector<std::string> songs;
    for (int i = 1; i <= 6; ++i) {
        const QString name = QString("同时%1.ogg").arg(i);
        ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), Song(name)));
        songs.push_back(Song(name).toStdString());
    }
    // As a file manager does with one process per file.
    std::vector<std::unique_ptr<QProcess>> starts;
    for (const std::string &song : songs) {
        auto start = std::make_unique<QProcess>();
        start->setProcessEnvironment(env_);
        start->setProcessChannelMode(QProcess::ForwardedChannels);
        start->start(bin_ + "/lirvo", {QString::fromStdString(song)});
        starts.push_back(std::move(start));
    }
    for (auto &start : starts)
        ASSERT_TRUE(start->waitForStarted(10000));
    // Five of them hand over and end; the sixth is the player.
    QProcess *player = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            int running = 0;
            for (auto &start : starts) {
                start->waitForFinished(20); // lets QProcess notice an end
                if (start->state() == QProcess::Running) {
                    ++running;
                    player = start.get();
                }
            }
            return running == 1;
        },
        120000))
        << "the five later starts should have ended";
    for (auto &start : starts) {
        if (start.get() != player) {
            EXPECT_EQ(start->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(start->exitCode(), 0);
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "6"; }, 30000)) << Send({"cmd", "50"}).toStdString();
    ASSERT_TRUE(CtlSays({"status"}, "Playing"));
    const int current = Send({"cmd", "51"}).toInt();
    const QString playingUrl = Ctl({"metadata", "xesam:url"});

    ::kill(static_cast<pid_t>(player->processId()), SIGTERM);
    ASSERT_TRUE(player->waitForFinished(30000));
    EXPECT_EQ(player->exitCode(), 0);
    std::vector<std::string> saved = SavedPaths();
    ASSERT_EQ(saved.size(), 6u);
    ASSERT_GE(current, 0);
    ASSERT_LT(current, 6);
    // The row that plays is the current row.
    EXPECT_EQ(playingUrl.toStdString(),
              QUrl::fromLocalFile(QString::fromStdString(saved[static_cast<std::size_t>(current)]))
                  .toString(QUrl::FullyEncoded)
                  .toStdString());
    std::sort(saved.begin(), saved.end());
    std::sort(songs.begin(), songs.end());
    EXPECT_EQ(saved, songs) << "every file arrives exactly once";
}

TEST_F(DesktopSession, EveryFileOfAStartAndEveryPlaylistEntryArrives) {
    for (const char *name : {"a.ogg", "b.ogg", "c.ogg", "d.ogg"})
        ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), Song(name)));
    QDir().mkpath(Song("专辑"));
    TaggedCopy("专辑/一.ogg", "标签名", "标签歌手", "集");
    ASSERT_TRUE(QFile::copy(Song("lirvo-demo.ogg"), Song("专辑/二.ogg")));
    // m3u: a relative entry with #EXTINF, an absolute one, a missing file.
    QFile m3u(Song("lists/mix.m3u"));
    QDir().mkpath(Song("lists"));
    ASSERT_TRUE(m3u.open(QIODevice::WriteOnly));
    m3u.write(("#EXTM3U\r\n#EXTINF:30,歌手乙 - 第二首\r\n../专辑/二.ogg\r\n" + Song("a.ogg") +
               "\r\n../gone.ogg\r\n")
                  .toUtf8());
    m3u.close();
    // pls with a title, and an m3u8 whose entry has no title (the tags give it).
    QFile pls(Song("专辑/list.pls"));
    ASSERT_TRUE(pls.open(QIODevice::WriteOnly));
    pls.write("[playlist]\nFile1=../b.ogg\nTitle1=PLS 标题\nNumberOfEntries=1\n");
    pls.close();
    QFile m3u8(Song("专辑/list.m3u8"));
    ASSERT_TRUE(m3u8.open(QIODevice::WriteOnly));
    m3u8.write("一.ogg\n");
    m3u8.close();

    // The first start with three files: the first plays, the others follow it.
    StartPlayerWith({Song("a.ogg"), Song("b.ogg"), Song("c.ogg")});
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "3"; }, 20000));
    EXPECT_EQ(Send({"cmd", "51"}), "0");
    EXPECT_TRUE(CtlSays({"metadata", "xesam:url"}, QUrl::fromLocalFile(Song("a.ogg")).toString(QUrl::FullyEncoded)));

    // A later start: d plays, then the playlists add their entries; relative arguments come
    // from the starting process's folder.
    QProcess later;
    later.setProcessEnvironment(env_);
    later.setWorkingDirectory(Song("专辑"));
    later.start(bin_ + "/lirvo", {Song("d.ogg"), Song("lists/mix.m3u"), "list.pls", "list.m3u8"});
    ASSERT_TRUE(later.waitForFinished(90000));
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "8"; }, 20000)) << Send({"cmd", "50"}).toStdString();
    EXPECT_EQ(Send({"cmd", "51"}), "3");
    // And a playlist as the file to play: its first entry plays.
    EXPECT_EQ(StartAnother({Song("专辑/list.m3u8")}), 0);
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "51"}) == "8"; }, 20000));
    EXPECT_TRUE(CtlSays({"metadata", "xesam:title"}, "标签名"));

    QuitPlayer();
    lirvo::storage::TDKPlist list(DataFile("Default.pls").toStdString(), "DefaultList");
    list.LoadList("PlayerList");
    std::vector<std::string> rows;
    for (const auto &entry : list.Entries())
        rows.push_back(entry.Path + " | " + entry.Title + " | " + entry.Artist);
    const auto row = [&](const QString &path, const char *title, const char *artist) {
        return path.toStdString() + " | " + title + " | " + artist;
    };
    EXPECT_EQ(rows, (std::vector<std::string>{
                        row(Song("a.ogg"), "晨光", "Lirvo"), row(Song("b.ogg"), "晨光", "Lirvo"),
                        row(Song("c.ogg"), "晨光", "Lirvo"), row(Song("d.ogg"), "晨光", "Lirvo"),
                        row(Song("lists/../专辑/二.ogg"), "第二首", "歌手乙"), row(Song("a.ogg"), "晨光", "Lirvo"),
                        row(Song("专辑/../b.ogg"), "PLS 标题", ""), row(Song("专辑/一.ogg"), "标签名", "标签歌手"),
                        row(Song("专辑/一.ogg"), "标签名", "标签歌手")}));
}

} // namespace
