// Reading other players' Metadata maps in the shapes they really send, the local file behind
// a track's address, and browser titles.

#include "follow/FollowMetadata.h"

#include "function/text/TextCodec.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <string>

namespace lirvo::follow {
namespace {

QVariant Wrapped(const QVariant &value) {
    return QVariant::fromValue(QDBusVariant(value));
}

TEST(ReadMetadata, MpvShape) {
    const QVariantMap map = {
        {"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/0"))},
        {"xesam:title", QString("海阔天空")},
        {"xesam:artist", QStringList{"Beyond"}},
        {"xesam:album", QString("乐与怒")},
        {"mpris:length", QVariant::fromValue(qlonglong(326'000'000))},
        {"xesam:url", QString("file:///music/Beyond%20-%20%E6%B5%B7.flac")},
    };
    const TFollowedTrack track = ReadMetadata(map);
    EXPECT_EQ(track.TrackId, "/0");
    EXPECT_EQ(track.Title, "海阔天空");
    EXPECT_EQ(track.Artist, "Beyond");
    EXPECT_EQ(track.Album, "乐与怒");
    EXPECT_EQ(track.LengthMs, 326'000);
    EXPECT_EQ(track.LocalPath, "/music/Beyond - 海.flac");
    EXPECT_TRUE(track.LyricText.empty());
}

// Track ids as strings or missing, lengths of every number type, an artist as one text,
// values in variants, several artists, the lyric text.
TEST(ReadMetadata, OtherTypes) {
    TFollowedTrack track = ReadMetadata({
        {"mpris:trackid", Wrapped(QString("spotify:track:4uLU6hMCjMI75M1A2tKUQC"))},
        {"xesam:title", Wrapped(Wrapped(QString("Title")))},
        {"xesam:artist", QString("Solo")},
        {"mpris:length", QVariant::fromValue(qulonglong(1'500'000))},
        {"xesam:asText", QString("[00:01.00]line")},
    });
    EXPECT_EQ(track.TrackId, "spotify:track:4uLU6hMCjMI75M1A2tKUQC");
    EXPECT_EQ(track.Title, "Title");
    EXPECT_EQ(track.Artist, "Solo");
    EXPECT_EQ(track.LengthMs, 1500);
    EXPECT_EQ(track.LyricText, "[00:01.00]line");

    track = ReadMetadata({{"xesam:artist", QStringList{"A", "", "B"}}, {"mpris:length", 2.5e6}});
    EXPECT_EQ(track.Artist, "A/B");
    EXPECT_EQ(track.LengthMs, 2500);
    EXPECT_TRUE(track.TrackId.empty());

    track = ReadMetadata({{"xesam:artist", QVariantList{Wrapped(QString("X")), QString("Y"), 7}}});
    EXPECT_EQ(track.Artist, "X/Y");
    EXPECT_EQ(ReadMetadata({{"mpris:trackid", 42}}).TrackId, "42");

    for (const QVariant &length :
         {QVariant(qlonglong(-5)), QVariant(qulonglong(std::numeric_limits<qulonglong>::max())),
          QVariant(std::nan("")), QVariant(std::numeric_limits<double>::infinity()), QVariant(QString("300")),
          QVariant(0), QVariant(999)})
        EXPECT_EQ(ReadMetadata({{"mpris:length", length}}).LengthMs, -1) << length.typeName();
}

// Raw bytes from a broken sender: kept as UTF-8 when they are, read as GBK otherwise; never
// anything but valid UTF-8 comes out. Control characters read as blanks.
TEST(ReadMetadata, BytesOfAnyEncoding) {
    const QByteArray gbk("\xba\xa3\xc0\xab\xcc\xec\xbf\xd5", 8); // 海阔天空 in GBK
    EXPECT_EQ(ReadMetadata({{"xesam:title", gbk}}).Title, "海阔天空");
    EXPECT_EQ(ReadMetadata({{"xesam:title", QByteArray("plain")}}).Title, "plain");
    const QByteArray broken("\xff\xfe\x80 end\x00x", 10);
    const TFollowedTrack track = ReadMetadata({{"xesam:title", broken}, {"xesam:album", QString("a\nb\tc ")}});
    EXPECT_TRUE(text::IsValidUtf8(track.Title));
    EXPECT_NE(track.Title.find("end x"), std::string::npos) << track.Title;
    EXPECT_EQ(track.Album, "a b c");
    const QString lone = QString(QChar(0xD800)) + "x"; // an unpaired surrogate
    EXPECT_TRUE(text::IsValidUtf8(ReadMetadata({{"xesam:title", lone}}).Title));
}

TEST(ReadMetadata, OversizedAndNestedValues) {
    const QString huge(100'000, QChar(0x6D77));
    const TFollowedTrack track = ReadMetadata({{"xesam:title", huge}, {"xesam:asText", huge}});
    EXPECT_LE(track.Title.size(), kMaxFieldBytes);
    EXPECT_TRUE(text::IsValidUtf8(track.Title));
    EXPECT_EQ(track.LyricText.size(), 300'000u);
    QVariant deep = QString("deep");
    for (int i = 0; i < 50; ++i)
        deep = Wrapped(deep);
    EXPECT_TRUE(ReadMetadata({{"xesam:title", deep}}).Title.empty());
    EXPECT_EQ(MapFromBusValue(Wrapped(QVariantMap{{"a", 1}})).value("a").toInt(), 1);
    EXPECT_TRUE(MapFromBusValue(QString("no map")).isEmpty());
}

TEST(LocalPathFromUrl, Forms) {
    EXPECT_EQ(LocalPathFromUrl("file:///home/me/a%20b%2Bc%25.mp3"), "/home/me/a b+c%.mp3");
    EXPECT_EQ(LocalPathFromUrl("file://localhost/x/y.ogg"), "/x/y.ogg");
    EXPECT_EQ(LocalPathFromUrl("FILE://LocalHost/x"), "/x");
    EXPECT_EQ(LocalPathFromUrl("file:/single/slash"), "/single/slash");
    EXPECT_EQ(LocalPathFromUrl("file:///a/b.mp3?query#frag"), "/a/b.mp3");
    EXPECT_EQ(LocalPathFromUrl("file:///odd%zzname%4"), "/odd%zzname%4");
    EXPECT_EQ(LocalPathFromUrl("file:///latin%E9.mp3"), "/latin\xe9.mp3") << "bytes as the file system holds them";
    for (const char *refused : {"file://server/share/a.mp3", "http://example.com/a.mp3", "file:relative/a.mp3",
                                "file:///a%00b", "file://", "", "/plain/path"})
        EXPECT_EQ(LocalPathFromUrl(refused), "") << refused;
}

TEST(IsReadableLocalFile, OnlySmallRegularFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string small = folder + "/small.mp3";
    const std::string big = folder + "/big.flac";
    const std::string fifo = folder + "/fifo";
    const std::string link = folder + "/link.mp3";
    {
        const int fd = ::open(small.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "ID3", 3), 3);
        ::close(fd);
        const int bigFd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(bigFd, 0);
        ASSERT_EQ(::ftruncate(bigFd, static_cast<off_t>(kMaxLyricSideFileBytes) + 1), 0);
        ::close(bigFd);
    }
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(small.c_str(), link.c_str()), 0);
    EXPECT_TRUE(IsReadableLocalFile(small));
    EXPECT_TRUE(IsReadableLocalFile(link)) << "a link to a regular file is that file";
    EXPECT_TRUE(IsReadableLocalFile(big, kMaxLyricSideFileBytes + 1));
    EXPECT_FALSE(IsReadableLocalFile(big));
    EXPECT_FALSE(IsReadableLocalFile(fifo));
    EXPECT_FALSE(IsReadableLocalFile("/dev/zero"));
    EXPECT_FALSE(IsReadableLocalFile(folder));
    EXPECT_FALSE(IsReadableLocalFile(folder + "/missing"));
    EXPECT_FALSE(IsReadableLocalFile(""));
}

TEST(CleanBrowserTitle, SitesDecorations) {
    using C = TCleanedTitle;
    EXPECT_EQ(CleanBrowserTitle("(3) Song Name - YouTube", "Channel"), (C{"Song Name", "Channel"}));
    EXPECT_EQ(CleanBrowserTitle("(99+) Beyond - 海阔天空 - YouTube", ""), (C{"海阔天空", "Beyond"}));
    EXPECT_EQ(CleanBrowserTitle("Song - YouTube Music", "Artist"), (C{"Song", "Artist"}));
    EXPECT_EQ(CleanBrowserTitle("【官方MV】晴天_哔哩哔哩_bilibili", "UP主"), (C{"【官方MV】晴天", "UP主"}));
    EXPECT_EQ(CleanBrowserTitle("周杰伦 - 晴天_哔哩哔哩_bilibili", ""), (C{"晴天", "周杰伦"}));
    // What only looks like a decoration stays.
    EXPECT_EQ(CleanBrowserTitle("(Live) Song", "A"), (C{"(Live) Song", "A"}));
    EXPECT_EQ(CleanBrowserTitle("(3)Song", "A"), (C{"(3)Song", "A"}));
    EXPECT_EQ(CleanBrowserTitle(" - YouTube", ""), (C{"- YouTube", ""}));
    EXPECT_EQ(CleanBrowserTitle("Artist - Title", "Given"), (C{"Artist - Title", "Given"})) << "an artist is given";
    EXPECT_EQ(CleanBrowserTitle("Trailing - ", ""), (C{"Trailing -", ""}));
    EXPECT_EQ(CleanBrowserTitle("", ""), (C{"", ""}));
}

} // namespace
} // namespace lirvo::follow
