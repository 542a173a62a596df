#pragma once
// The lyric clock for another player. MPRIS announces no position changes, and players report
// Position in their own way: continuously (mpv), in 250 ms steps (Audacious), in whole seconds
// (Rhythmbox, cmus), or not at all. This clock runs on the caller's monotonic milliseconds
// times Rate between readings and uses the readings only to anchor itself:
//
//  - A reading is a lower bound: a stepped player's true position lies between the value and
//    the value plus one step. Two readings taken close together (kPairWindowMs) whose values
//    differ bracket the moment the value changed, which gives an accurate anchor; so after an
//    event the caller reads every kBurstIntervalMs, up to kBurstReads times, until the value
//    moves (NextReadAt plans this). Otherwise it reads once a second.
//  - Differences below kSmoothMs are absorbed by running a little faster or slower for a
//    while, never backwards; a single reading that lags (a lower bound behind the clock) is
//    ignored. A larger difference, a reading that goes back further than that, or a Seeked
//    is a seek: the clock jumps and reports the jump (TakeJump).
//  - A value that stops moving for longer than one step while the player plays (buffering)
//    holds the clock there until it moves again.
//  - Paused or stopped holds the clock. Positions are clamped to 0 and the track length.
//  - A player whose Position cannot be read, or that stays at 0 for kZeroLimitMs while
//    playing, gives no progress: PositionMs is then -1.
// Pure and single-threaded; PositionMs is cheap enough to be called for every frame.

#include "follow/FollowPolicy.h"

#include <cstdint>
#include <optional>

namespace lirvo::follow {

class FollowClock {
public:
    static constexpr std::int64_t kSmoothMs = 350;
    static constexpr std::int64_t kBurstIntervalMs = 25;
    static constexpr int kBurstReads = 20;
    // A burst that saw no change while the clock has no anchor yet is followed by up to this
    // many more: 20 readings 25 ms apart cover only half a whole-second step.
    static constexpr int kExtraBursts = 2;
    static constexpr std::int64_t kPeriodMs = 1000;
    static constexpr std::int64_t kPairWindowMs = 60;
    static constexpr std::int64_t kZeroLimitMs = 3000;
    // The step assumed before one has been seen: the coarsest players report whole seconds.
    static constexpr std::int64_t kMaxStepMs = 1000;
    // How long a small difference takes to be absorbed (longer when the clock must slow down,
    // so that it never runs at less than half its rate).
    static constexpr std::int64_t kSlewMs = 300;

    struct TJump {
        std::int64_t FromMs = 0;
        std::int64_t ToMs = 0;
    };

    // Forgets everything (another player is followed).
    void Reset();

    void SetLength(std::int64_t lengthMs); // -1 when unknown
    void SetRate(double rate, std::int64_t nowMs);
    void SetPlayback(TPlayback playback, std::int64_t nowMs);
    // The player's Seeked signal, with its new position.
    void OnSeeked(std::int64_t positionMs, std::int64_t nowMs);
    // Any other change the player announced: read until the position moves.
    void OnChange(std::int64_t nowMs);

    // ---- readings ----
    // When the next Position reading should be sent; nullopt while one is under way.
    std::optional<std::int64_t> NextReadAt() const;
    void OnReadSent(std::int64_t nowMs);
    // A reading sent at `sentMs` and answered at `receivedMs`.
    void OnPosition(std::int64_t positionMs, std::int64_t sentMs, std::int64_t receivedMs);
    // A reading that failed (the player does not provide Position, or did not answer).
    void OnPositionFailed(std::int64_t nowMs);

    // ---- what it shows ----
    // The position now, never less than an earlier answer unless a jump came between;
    // -1 when unknown or when the player gives no progress.
    std::int64_t PositionMs(std::int64_t nowMs) const;
    bool NoProgress() const { return m_failed || m_zeroTooLong; }
    TPlayback Playback() const { return m_playback; }
    double Rate() const { return m_rate; }
    std::int64_t LengthMs() const { return m_lengthMs; }
    // The last jump (a seek) since the previous call.
    std::optional<TJump> TakeJump();

private:
    bool Running() const { return m_playback == TPlayback::Playing && m_rate > 0 && !m_stalled; }
    double Shown(std::int64_t atMs) const;
    double Clamp(double positionMs) const;
    void Rebase(std::int64_t nowMs);
    void JumpTo(double positionMs, std::int64_t nowMs, bool report);
    void SlewTo(double positionMs, std::int64_t nowMs);
    void StartBurst(std::int64_t nowMs);
    void PlanNextRead();
    void Forget(std::int64_t nowMs);
    void OnPlayingPosition(double value, std::int64_t atMs, std::int64_t nowMs);

    TPlayback m_playback = TPlayback::Stopped;
    double m_rate = 1.0;
    std::int64_t m_lengthMs = -1;

    // Shown(t) = m_basePos + (t - m_baseTime) * rate, plus m_gap spread up to m_slewEnd.
    bool m_known = false;
    double m_basePos = 0;
    std::int64_t m_baseTime = 0;
    double m_gap = 0;
    std::int64_t m_slewEnd = 0;
    bool m_anchored = false; // an accurate anchor was taken since the last discontinuity
    bool m_stalled = false;

    // readings
    bool m_hasPrevious = false;
    double m_previousValue = 0;
    std::int64_t m_previousAt = 0;
    std::int64_t m_valueSince = 0; // when the current value was first read
    std::int64_t m_stepMs = -1;    // the player's step, -1 until one was seen
    std::optional<std::int64_t> m_zeroSince;
    bool m_zeroTooLong = false;
    bool m_failed = false;

    // the reading plan
    bool m_inFlight = false;
    std::int64_t m_lastSentAt = 0;
    std::int64_t m_nextReadAt = 0;
    int m_burstLeft = 0;
    int m_extraBurstsLeft = 0;

    std::optional<TJump> m_jump;
    mutable bool m_floorValid = false;
    mutable double m_floor = 0;
};

} // namespace lirvo::follow
