// When a followed player's track counts as changed or restarted, with metadata as real
// players send it.

#include "follow/TrackStabiliser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lirvo::follow {
namespace {

using TEvent = TrackStabiliser::TEvent;

TFollowedTrack Track(std::string title, std::string artist = "Artist", std::string id = "/org/mpris/MediaPlayer2/CurrentTrack") {
    TFollowedTrack track;
    track.TrackId = std::move(id);
    track.Title = std::move(title);
    track.Artist = std::move(artist);
    track.Album = "Album";
    track.LengthMs = 200'000;
    return track;
}

// Polls every millisecond from `from` to `to`; the events with the times they came at.
struct Event {
    TEvent event;
    std::int64_t at;
};
std::vector<Event> PollRange(TrackStabiliser &stabiliser, std::int64_t from, std::int64_t to) {
    std::vector<Event> events;
    for (std::int64_t t = from; t <= to; ++t) {
        const TEvent event = stabiliser.Poll(t);
        if (event != TEvent::None)
            events.push_back({event, t});
    }
    return events;
}

// Audacious and the browsers keep one track id: the title tells the tracks apart.
TEST(TrackStabiliser, NewTupleCountsAfterItHeld) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("One"), 0);
    auto events = PollRange(stabiliser, 0, 1000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, TEvent::Changed);
    EXPECT_EQ(events[0].at, TrackStabiliser::kHoldMs);
    EXPECT_EQ(stabiliser.Track().Title, "One");

    stabiliser.OnMetadata(Track("Two"), 2000);
    EXPECT_EQ(stabiliser.Deadline(), std::optional<std::int64_t>(2000 + TrackStabiliser::kHoldMs));
    events = PollRange(stabiliser, 2000, 3000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].at, 2000 + TrackStabiliser::kHoldMs);
    EXPECT_EQ(stabiliser.Track().Title, "Two");
    EXPECT_FALSE(stabiliser.Deadline());
}

TEST(TrackStabiliser, WithoutArtistItHoldsLonger) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("stream.ogg", ""), 0);
    const auto events = PollRange(stabiliser, 0, 2000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].at, TrackStabiliser::kHoldNoArtistMs);
}

// mpv sends the file name as the title first and the tags about 100 ms later; also after
// `loadfile replace`, which keeps its track id (the playlist index).
TEST(TrackStabiliser, FileNameThenTagsGivesOnlyTheTags) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("Old Title", "Old Artist", "/0"), 0);
    PollRange(stabiliser, 0, 1000);
    TFollowedTrack fileName = Track("second.ogg", "", "/0");
    fileName.LengthMs = -1;
    stabiliser.OnMetadata(fileName, 5000);
    PollRange(stabiliser, 5000, 5100);
    stabiliser.OnMetadata(Track("Second Title", "Second Artist", "/0"), 5100);
    const auto events = PollRange(stabiliser, 5100, 7000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, TEvent::Changed);
    EXPECT_EQ(events[0].at, 5100 + TrackStabiliser::kHoldMs);
    EXPECT_EQ(stabiliser.Track().Title, "Second Title");
    EXPECT_EQ(stabiliser.Track().Artist, "Second Artist");
}

// Metadata sent again when the cover art has loaded, or with the length alone changed, or
// with a new address: the same track.
TEST(TrackStabiliser, ResentOrLengthOnlyIsNoChange) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("One"), 0);
    PollRange(stabiliser, 0, 500);
    stabiliser.OnMetadata(Track("One"), 1000);
    TFollowedTrack longer = Track("One");
    longer.LengthMs = 201'500;
    longer.Url = "file:///music/one.flac";
    stabiliser.OnMetadata(longer, 1200);
    EXPECT_TRUE(PollRange(stabiliser, 1000, 3000).empty());
    EXPECT_EQ(stabiliser.Track().LengthMs, 201'500) << "the details follow silently";
    EXPECT_EQ(stabiliser.Track().Url, "file:///music/one.flac");
}

TEST(TrackStabiliser, BlipBackToTheSameTrackIsNoChange) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("One"), 0);
    PollRange(stabiliser, 0, 500);
    stabiliser.OnMetadata(Track("Advert", ""), 1000);
    stabiliser.OnMetadata(Track("One"), 1200);
    EXPECT_TRUE(PollRange(stabiliser, 1000, 3000).empty());
    EXPECT_EQ(stabiliser.Track().Title, "One");
}

// mpv sends a negative Seeked when it loops a file; a repeat sends Seeked(0). The same tuple
// starting over is a restart, not a new track.
TEST(TrackStabiliser, LoopIsARestartWithoutNewTrack) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("Loop"), 0);
    PollRange(stabiliser, 0, 500);
    stabiliser.OnJump(29'950, 0, 30'000);
    stabiliser.OnMetadata(Track("Loop"), 30'020);
    const auto events = PollRange(stabiliser, 30'000, 32'000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event, TEvent::Restarted);
    EXPECT_EQ(stabiliser.Track().Title, "Loop");
}

// Audacious and cmus send Seeked(0) at every track start, before or after the new metadata.
TEST(TrackStabiliser, SeekToStartOfANewTrackIsOnlyAChange) {
    for (const bool seekFirst : {true, false}) {
        SCOPED_TRACE(seekFirst ? "Seeked(0) first" : "metadata first");
        TrackStabiliser stabiliser;
        stabiliser.OnMetadata(Track("One"), 0);
        PollRange(stabiliser, 0, 500);
        if (seekFirst)
            stabiliser.OnJump(180'000, 0, 180'000);
        stabiliser.OnMetadata(Track("Two"), 180'030);
        if (!seekFirst)
            stabiliser.OnJump(180'000, 0, 180'060);
        const auto events = PollRange(stabiliser, 180'000, 182'000);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].event, TEvent::Changed);
        EXPECT_EQ(stabiliser.Track().Title, "Two");
    }
}

TEST(TrackStabiliser, SmallJumpsBackAreNoRestart) {
    TrackStabiliser stabiliser;
    stabiliser.OnMetadata(Track("One"), 0);
    PollRange(stabiliser, 0, 500);
    stabiliser.OnJump(2000, 0, 1000);      // just started: not far enough in
    stabiliser.OnJump(60'000, 30'000, 2000); // a seek back to the middle
    EXPECT_TRUE(PollRange(stabiliser, 1000, 4000).empty());
}

} // namespace
} // namespace lirvo::follow
