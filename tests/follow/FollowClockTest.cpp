// The lyric clock against simulated players: a true position that runs with time, reported
// continuously or in steps, read over a bus with a few milliseconds of varying delay, on the
// clock's own reading plan. Time is simulated millisecond by millisecond.

#include "follow/FollowClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

namespace lirvo::follow {
namespace {

// A player as the clock sees it from outside.
struct SimulatedPlayer {
    std::int64_t stepMs = 0; // 0: continuous
    double rate = 1.0;
    bool playing = true;
    bool frozen = false; // playing, but the position stands (buffering, or no progress at all)
    std::int64_t originAt = 0;
    double originPos = 0;

    double TrueAt(std::int64_t t) const {
        return playing && !frozen ? originPos + static_cast<double>(t - originAt) * rate : originPos;
    }
    std::int64_t ReportedAt(std::int64_t t) const {
        const auto position = static_cast<std::int64_t>(TrueAt(t));
        return stepMs > 0 ? position / stepMs * stepMs : position;
    }
    void MoveTo(double position, std::int64_t t) {
        originPos = position;
        originAt = t;
    }
};

// Runs the clock's reading plan against the player: a reading is answered 1 to 6 ms after it
// was sent, with the player's value at some moment in between.
class Bus {
public:
    Bus(FollowClock &clock, SimulatedPlayer &player) : clock_(clock), player_(player) {}

    void RunUntil(std::int64_t until, const std::function<void(std::int64_t)> &eachMs = {}) {
        for (; now < until; ++now) {
            if (pending_ && now >= pending_->answerAt) {
                clock_.OnPosition(player_.ReportedAt(pending_->sampleAt), pending_->sentAt, now);
                pending_.reset();
            }
            if (!pending_) {
                const std::optional<std::int64_t> at = clock_.NextReadAt();
                if (at && now >= *at) {
                    clock_.OnReadSent(now);
                    const std::int64_t delay = 1 + static_cast<std::int64_t>(Next() % 6);
                    pending_ = Pending{now, now + delay, now + static_cast<std::int64_t>(Next() % delay)};
                    ++reads;
                }
            }
            if (eachMs)
                eachMs(now);
        }
    }

    std::int64_t now = 0;
    int reads = 0;

private:
    struct Pending {
        std::int64_t sentAt, answerAt, sampleAt;
    };
    std::uint32_t Next() {
        seed_ = seed_ * 1664525u + 1013904223u;
        return seed_ >> 8;
    }

    FollowClock &clock_;
    SimulatedPlayer &player_;
    std::optional<Pending> pending_;
    std::uint32_t seed_ = 12345;
};

// Samples PositionMs every 10 ms: whether it ever went back, and the largest error once
// `settledAfter` has passed.
struct Samples {
    bool wentBack = false;
    double worstError = 0;
    std::int64_t last = -1;
    int count = 0;

    std::function<void(std::int64_t)> Sampler(const FollowClock &clock, const SimulatedPlayer &player,
                                              std::int64_t settledAfter) {
        return [this, &clock, &player, settledAfter](std::int64_t now) {
            if (now % 10 != 0)
                return;
            const std::int64_t shown = clock.PositionMs(now);
            if (shown < last)
                wentBack = true;
            last = shown;
            if (now >= settledAfter) {
                worstError = std::max(worstError, std::fabs(static_cast<double>(shown) - player.TrueAt(now)));
                ++count;
            }
        };
    }
};

struct SteppedCase {
    const char *name;
    std::int64_t stepMs;
    std::int64_t anchoredAfterMs; // by when the first change of the reading has been caught
};

void PrintTo(const SteppedCase &c, std::ostream *out) {
    *out << c.name;
}

class SteppedPlayers : public ::testing::TestWithParam<SteppedCase> {};

// Audacious (250 ms steps), Rhythmbox and cmus (whole seconds), mpv (continuous): from a
// start in the middle of a step, the clock never goes back and, once anchored, stays within
// 30 ms of the true position, on a plan that reads about once a second.
TEST_P(SteppedPlayers, NeverGoBackAndStayAccurateOnceAnchored) {
    const SteppedCase &c = GetParam();
    SimulatedPlayer player;
    player.stepMs = c.stepMs;
    player.MoveTo(61'137, 0);
    FollowClock clock;
    clock.SetLength(300'000);
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    Samples samples;
    bus.RunUntil(20'000, samples.Sampler(clock, player, c.anchoredAfterMs));
    EXPECT_FALSE(samples.wentBack);
    EXPECT_GT(samples.count, 1000);
    EXPECT_LE(samples.worstError, 30.0) << c.name;
    // After anchoring, one reading a second and a short burst now and then.
    EXPECT_LT(bus.reads, 20 * 3 + 20 * 4) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Steps, SteppedPlayers,
                         ::testing::Values(SteppedCase{"continuous", 0, 200}, SteppedCase{"quarter", 250, 600},
                                           SteppedCase{"second", 1000, 2000}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FollowClock, SeekedJumpsBothWaysAndReportsIt) {
    SimulatedPlayer player;
    player.stepMs = 250;
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(3000);
    ASSERT_FALSE(clock.TakeJump()) << "no seek yet";

    player.MoveTo(120'000, bus.now);
    clock.OnSeeked(120'000, bus.now);
    const auto forward = clock.TakeJump();
    ASSERT_TRUE(forward);
    EXPECT_NEAR(static_cast<double>(forward->FromMs), 3000, 40);
    EXPECT_EQ(forward->ToMs, 120'000);
    EXPECT_EQ(clock.PositionMs(bus.now), 120'000);

    bus.RunUntil(bus.now + 2000);
    EXPECT_NEAR(static_cast<double>(clock.PositionMs(bus.now)), player.TrueAt(bus.now), 30);
    player.MoveTo(10'000, bus.now);
    clock.OnSeeked(10'000, bus.now);
    const auto back = clock.TakeJump();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ToMs, 10'000);
    EXPECT_EQ(clock.PositionMs(bus.now), 10'000) << "a seek may go back";
}

// A player that seeks without a Seeked signal is noticed from its readings.
TEST(FollowClock, ReadingsFarOffAreSeeksAndSmallLagsAreNot) {
    SimulatedPlayer player;
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(5000);
    player.MoveTo(player.TrueAt(bus.now) - 4000, bus.now);
    bus.RunUntil(bus.now + 1100);
    const auto back = clock.TakeJump();
    ASSERT_TRUE(back) << "a reading 4 s back is a seek";
    EXPECT_NEAR(static_cast<double>(back->FromMs - back->ToMs), 4000, 60);
    EXPECT_NEAR(static_cast<double>(clock.PositionMs(bus.now)), player.TrueAt(bus.now), 30);

    // 200 ms behind: absorbed by running slower, never by going back.
    player.MoveTo(player.TrueAt(bus.now) - 200, bus.now);
    Samples samples;
    clock.OnChange(bus.now);
    bus.RunUntil(bus.now + 4000, samples.Sampler(clock, player, bus.now + 1500));
    EXPECT_FALSE(samples.wentBack);
    EXPECT_FALSE(clock.TakeJump());
    EXPECT_LE(samples.worstError, 30.0) << "the difference was absorbed";

    // 300 ms ahead: caught up with smoothly.
    player.MoveTo(player.TrueAt(bus.now) + 300, bus.now);
    clock.OnChange(bus.now);
    Samples ahead;
    bus.RunUntil(bus.now + 3000, ahead.Sampler(clock, player, bus.now + 1000));
    EXPECT_FALSE(clock.TakeJump());
    EXPECT_LE(ahead.worstError, 30.0);
}

TEST(FollowClock, PauseHoldsAndPlayRunsOn) {
    SimulatedPlayer player;
    player.stepMs = 250;
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(4000);
    player.MoveTo(player.TrueAt(bus.now), bus.now);
    player.playing = false;
    clock.SetPlayback(TPlayback::Paused, bus.now);
    const std::int64_t held = clock.PositionMs(bus.now);
    bus.RunUntil(bus.now + 5000);
    EXPECT_EQ(clock.PositionMs(bus.now), held);
    EXPECT_NEAR(static_cast<double>(held), player.TrueAt(bus.now), 30);

    player.playing = true;
    player.MoveTo(player.TrueAt(bus.now), bus.now);
    clock.SetPlayback(TPlayback::Playing, bus.now);
    Samples samples;
    bus.RunUntil(bus.now + 3000, samples.Sampler(clock, player, bus.now + 600));
    EXPECT_FALSE(samples.wentBack);
    EXPECT_LE(samples.worstError, 30.0);
}

TEST(FollowClock, RateScalesTheRun) {
    SimulatedPlayer player;
    player.rate = 2.0;
    FollowClock clock;
    clock.SetRate(2.0, 0);
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    Samples samples;
    bus.RunUntil(5000, samples.Sampler(clock, player, 300));
    EXPECT_LE(samples.worstError, 40.0);
    EXPECT_NEAR(static_cast<double>(clock.PositionMs(bus.now)), 10'000, 40);
}

TEST(FollowClock, PositionsAreClampedToTheTrack) {
    FollowClock clock;
    clock.SetLength(30'000);
    clock.SetPlayback(TPlayback::Playing, 0);
    clock.OnSeeked(-2'500, 0); // mpv on a loop
    EXPECT_EQ(clock.PositionMs(0), 0);
    clock.OnReadSent(10);
    clock.OnPosition(45'000, 10, 12);
    EXPECT_EQ(clock.PositionMs(12), 30'000);
    EXPECT_EQ(clock.PositionMs(5'000), 30'000) << "never past the end";
}

TEST(FollowClock, NoProgress) {
    SimulatedPlayer player;
    player.frozen = true;
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(2500);
    EXPECT_FALSE(clock.NoProgress()) << "too early to tell";
    bus.RunUntil(4500);
    EXPECT_TRUE(clock.NoProgress());
    EXPECT_EQ(clock.PositionMs(bus.now), -1);

    player.frozen = false;
    player.MoveTo(0, bus.now);
    bus.RunUntil(bus.now + 1500);
    EXPECT_FALSE(clock.NoProgress()) << "a position that moves gives progress again";
    EXPECT_NEAR(static_cast<double>(clock.PositionMs(bus.now)), player.TrueAt(bus.now), 30);

    // Paused at 0 is no such player.
    player.playing = false;
    clock.SetPlayback(TPlayback::Paused, bus.now);
    player.MoveTo(0, bus.now);
    clock.OnSeeked(0, bus.now);
    bus.RunUntil(bus.now + 6000);
    EXPECT_FALSE(clock.NoProgress());
    EXPECT_EQ(clock.PositionMs(bus.now), 0);

    // A position that cannot be read at all: no progress at once, asked again a second later.
    clock.OnReadSent(bus.now);
    clock.OnPositionFailed(bus.now + 3);
    EXPECT_TRUE(clock.NoProgress());
    EXPECT_EQ(clock.PositionMs(bus.now + 100), -1);
    EXPECT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(bus.now + 3 + FollowClock::kPeriodMs));
}

// A stream that buffers: Playing, but the position stands. The clock holds there (one jump
// back to the standing value) instead of running away, and runs on when the value moves.
TEST(FollowClock, StandingValueHoldsTheClock) {
    SimulatedPlayer player;
    player.stepMs = 250;
    player.MoveTo(50'000, 0);
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(3000);
    player.MoveTo(player.TrueAt(bus.now), bus.now);
    player.frozen = true;
    bus.RunUntil(bus.now + 3000);
    const std::int64_t held = clock.PositionMs(bus.now);
    EXPECT_NEAR(static_cast<double>(held), player.TrueAt(bus.now), 260);
    bus.RunUntil(bus.now + 2000);
    EXPECT_EQ(clock.PositionMs(bus.now), held);

    // Moving again is noticed at the next reading, a second later at most.
    player.frozen = false;
    player.MoveTo(player.TrueAt(bus.now), bus.now);
    Samples samples;
    bus.RunUntil(bus.now + 4000, samples.Sampler(clock, player, bus.now + 1300));
    EXPECT_FALSE(samples.wentBack);
    EXPECT_LE(samples.worstError, 30.0);
}

// The reading plan: a burst 25 ms apart after an announced change, ended by the first change
// of the value; a second apart otherwise; one reading while paused; one under way at a time.
TEST(FollowClock, ReadingPlan) {
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    ASSERT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(0));
    clock.OnReadSent(0);
    EXPECT_FALSE(clock.NextReadAt()) << "one reading at a time";
    clock.OnPosition(10'000, 0, 2);
    EXPECT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(25));
    clock.OnReadSent(25);
    clock.OnPosition(10'000, 25, 27);
    EXPECT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(50));
    clock.OnReadSent(50);
    clock.OnPosition(10'250, 50, 52); // moved: anchored
    EXPECT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(50 + FollowClock::kPeriodMs));
    EXPECT_NEAR(static_cast<double>(clock.PositionMs(52)), 10'250 + 13 + 2, 3)
        << "the change lay half-way between the two readings";

    clock.OnChange(300);
    EXPECT_EQ(clock.NextReadAt(), std::optional<std::int64_t>(300));

    FollowClock paused;
    paused.SetPlayback(TPlayback::Paused, 0);
    paused.OnReadSent(0);
    paused.OnPosition(5000, 0, 1);
    EXPECT_EQ(paused.NextReadAt(), std::optional<std::int64_t>(FollowClock::kPeriodMs));
}

TEST(FollowClock, BurstsEndAfterTheirReadings) {
    SimulatedPlayer player;
    player.frozen = true;
    player.MoveTo(7000, 0);
    FollowClock clock;
    clock.SetPlayback(TPlayback::Playing, 0);
    Bus bus(clock, player);
    bus.RunUntil(10'000);
    // Three bursts of 20 while no anchor was found, then one reading a second.
    EXPECT_LE(bus.reads, FollowClock::kBurstReads * (1 + FollowClock::kExtraBursts) + 10);
    EXPECT_GE(bus.reads, FollowClock::kBurstReads * (1 + FollowClock::kExtraBursts));
}

} // namespace
} // namespace lirvo::follow
