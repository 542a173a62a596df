// The mapping between the player and the media-player interface: loop status and play modes,
// volume ranges, track ids that stay with their row, the metadata's D-Bus types, and the
// addresses OpenUri accepts.

#include "shell/mpris/MprisState.h"

#include <QDBusObjectPath>

#include <gtest/gtest.h>

#include <limits>

namespace lirvo::mpris {
namespace {

TEST(MprisStateTest, StatusLoopAndVolumeMapBothWays) {
    EXPECT_EQ(PlaybackStatusFor(1002), "Playing");
    EXPECT_EQ(PlaybackStatusFor(1003), "Paused");
    for (int state : {1001, 1004, 1005, 1006, 0})
        EXPECT_EQ(PlaybackStatusFor(state), "Stopped") << state;

    // Play modes 0, 2, 3 and the mode box entries 0, 1, 2 behind them.
    EXPECT_EQ(LoopStatusFor(0), "None");
    EXPECT_EQ(LoopStatusFor(2), "Playlist");
    EXPECT_EQ(LoopStatusFor(3), "Track");
    EXPECT_EQ(ModeBoxIndexFor("None"), 0);
    EXPECT_EQ(ModeBoxIndexFor("Playlist"), 1);
    EXPECT_EQ(ModeBoxIndexFor("Track"), 2);
    EXPECT_EQ(ModeBoxIndexFor("track"), std::nullopt);
    EXPECT_EQ(ModeBoxIndexFor(""), std::nullopt);

    EXPECT_DOUBLE_EQ(VolumeToBus(65), 0.65);
    EXPECT_DOUBLE_EQ(VolumeToBus(250), 1.0);
    EXPECT_DOUBLE_EQ(*VolumeFromBus(0.3), 30.0);
    EXPECT_DOUBLE_EQ(*VolumeFromBus(-2), 0.0);
    EXPECT_DOUBLE_EQ(*VolumeFromBus(7), 100.0);
    EXPECT_DOUBLE_EQ(*VolumeFromBus(std::numeric_limits<double>::infinity()), 100.0);
    EXPECT_EQ(VolumeFromBus(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

TEST(MprisStateTest, TrackIdsStayWithTheirRowAndTellEqualPathsApart) {
    const std::vector<std::string> rows{"/m/a.mp3", "/m/b.mp3", "/m/a.mp3", "http://x/c"};
    const QString b = TrackIdFor(rows, 1), secondA = TrackIdFor(rows, 2);
    EXPECT_NE(TrackIdFor(rows, 0), secondA); // the same file twice: two rows, two ids
    EXPECT_TRUE(QDBusObjectPath(b).path() == b) << b.toStdString();
    // A row above goes away: the others keep their ids.
    const std::vector<std::string> after{"/m/b.mp3", "/m/a.mp3", "http://x/c"};
    EXPECT_EQ(TrackIdFor(after, 0), b);
    EXPECT_EQ(TrackIdFor(after, 2), TrackIdFor(rows, 3));
    EXPECT_EQ(TrackIdFor(rows, -1), kNoTrack);
    EXPECT_EQ(TrackIdFor(rows, 4), kNoTrack);
}

TEST(MprisStateTest, MetadataCarriesTheInterfacesTypes) {
    TrackInfo track{"/net/lirvo/track/t1_0", "夜曲", "歌手", "专辑", "/音乐/夜 曲.mp3", "[00:01.00]词", 215000};
    const QVariantMap map = MetadataFor(track);
    EXPECT_EQ(map.value("mpris:trackid").value<QDBusObjectPath>().path(), "/net/lirvo/track/t1_0");
    EXPECT_EQ(map.value("mpris:length").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("mpris:length").toLongLong(), 215000000);
    EXPECT_EQ(map.value("xesam:artist").toStringList(), QStringList{"歌手"});
    EXPECT_EQ(map.value("xesam:title").toString(), "夜曲");
    EXPECT_EQ(map.value("xesam:album").toString(), "专辑");
    EXPECT_EQ(map.value("xesam:url").toString(), "file:///%E9%9F%B3%E4%B9%90/%E5%A4%9C%20%E6%9B%B2.mp3");
    EXPECT_EQ(map.value("xesam:asText").toString(), "[00:01.00]词");

    // Nothing known: only the track id; a network location is its own URL.
    const QVariantMap bare = MetadataFor({QString::fromLatin1(kNoTrack), {}, {}, {}, "http://h/s.mp3", {}, 0});
    EXPECT_EQ(bare.keys(), (QStringList{"mpris:trackid", "xesam:url"}));
    EXPECT_EQ(bare.value("xesam:url").toString(), "http://h/s.mp3");
}

TEST(MprisStateTest, OpenUriTakesLocalFilesAndWebAddressesOnly) {
    EXPECT_EQ(LocationForUri("file:///home/me/%E6%AD%8C.mp3"), "/home/me/歌.mp3");
    EXPECT_EQ(LocationForUri("file://localhost/x.ogg"), "/x.ogg");
    EXPECT_EQ(LocationForUri("https://h/a b.mp3"), std::nullopt); // not a valid URI (blank)
    EXPECT_EQ(LocationForUri("https://h/a%20b.mp3"), "https://h/a%20b.mp3");
    EXPECT_EQ(LocationForUri("file://otherhost/x.ogg"), std::nullopt);
    EXPECT_EQ(LocationForUri("smb://h/x.ogg"), std::nullopt);
    EXPECT_EQ(LocationForUri("/plain/path.mp3"), std::nullopt);
    EXPECT_EQ(LocationForUri(""), std::nullopt);
    EXPECT_EQ(LocationForUri("file:///a%00b.mp3"), std::nullopt);
}

TEST(MprisStateTest, SeekArithmeticSaturates) {
    constexpr auto max = std::numeric_limits<std::int64_t>::max(), min = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(AddClamped(5, 7), 12);
    EXPECT_EQ(AddClamped(max - 1, 10), max);
    EXPECT_EQ(AddClamped(-5, min), min);
}

} // namespace
} // namespace lirvo::mpris
