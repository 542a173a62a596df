#include "follow/FollowClock.h"

#include <algorithm>
#include <cmath>

namespace lirvo::follow {

namespace {

// A step larger than the time between two paired readings by more than this (jitter of the
// bus) comes from a stepped player: the change lies somewhere between the two readings.
constexpr double kStepMarginMs = 8;
// Rates players report: 1.0 normally, some offer 0.25 to 4.
constexpr double kMaxRate = 16.0;

} // namespace

void FollowClock::Reset() {
    *this = FollowClock();
}

double FollowClock::Clamp(double positionMs) const {
    positionMs = std::max(positionMs, 0.0);
    if (m_lengthMs > 0)
        positionMs = std::min(positionMs, static_cast<double>(m_lengthMs));
    return positionMs;
}

double FollowClock::Shown(std::int64_t atMs) const {
    if (!Running())
        return m_basePos;
    const double elapsed = static_cast<double>(atMs - m_baseTime);
    double position = m_basePos + elapsed * m_rate;
    if (m_gap != 0) {
        const double span = static_cast<double>(m_slewEnd - m_baseTime);
        const double part = span > 0 ? std::clamp(elapsed / span, 0.0, 1.0) : 1.0;
        position += m_gap * part;
    }
    return position;
}

void FollowClock::Rebase(std::int64_t nowMs) {
    const double position = Shown(nowMs);
    if (m_gap != 0 && Running()) {
        const double span = static_cast<double>(m_slewEnd - m_baseTime);
        const double part = span > 0 ? std::clamp(static_cast<double>(nowMs - m_baseTime) / span, 0.0, 1.0) : 1.0;
        m_gap *= 1.0 - part;
        if (nowMs >= m_slewEnd)
            m_gap = 0;
    }
    m_basePos = Clamp(position);
    m_baseTime = nowMs;
}

void FollowClock::JumpTo(double positionMs, std::int64_t nowMs, bool report) {
    const double from = Clamp(Shown(nowMs));
    m_basePos = Clamp(positionMs);
    m_baseTime = nowMs;
    m_gap = 0;
    m_floorValid = false;
    if (report && m_known)
        m_jump = TJump{std::llround(from), std::llround(m_basePos)};
    m_known = true;
}

void FollowClock::SlewTo(double positionMs, std::int64_t nowMs) {
    Rebase(nowMs);
    m_gap = Clamp(positionMs) - m_basePos;
    std::int64_t span = kSlewMs;
    if (m_gap < 0 && m_rate > 0)
        span = std::max<std::int64_t>(kSlewMs, std::llround(-m_gap / (0.5 * m_rate)));
    m_slewEnd = nowMs + span;
}

void FollowClock::Forget(std::int64_t nowMs) {
    m_hasPrevious = false;
    m_valueSince = nowMs;
    m_anchored = false;
    m_stalled = false;
}

void FollowClock::StartBurst(std::int64_t nowMs) {
    m_burstLeft = Running() ? kBurstReads : 1;
    m_extraBurstsLeft = Running() && !m_anchored ? kExtraBursts : 0;
    m_nextReadAt = nowMs;
}

void FollowClock::PlanNextRead() {
    if (m_burstLeft == 0 && Running() && !m_anchored && m_extraBurstsLeft > 0) {
        --m_extraBurstsLeft;
        m_burstLeft = kBurstReads;
    }
    m_nextReadAt = m_lastSentAt + (m_burstLeft > 0 ? kBurstIntervalMs : kPeriodMs);
}

void FollowClock::SetLength(std::int64_t lengthMs) {
    const std::int64_t length = lengthMs > 0 ? lengthMs : -1;
    if (length == m_lengthMs)
        return;
    if (length > 0 && (m_lengthMs < 0 || length < m_lengthMs))
        m_floorValid = false;
    m_lengthMs = length;
    m_basePos = Clamp(m_basePos);
}

void FollowClock::SetRate(double rate, std::int64_t nowMs) {
    if (!std::isfinite(rate) || rate < 0)
        rate = 1.0;
    rate = std::min(rate, kMaxRate);
    if (rate == m_rate)
        return;
    Rebase(nowMs);
    if (rate == 0)
        m_gap = 0;
    m_rate = rate;
    Forget(nowMs);
    StartBurst(nowMs);
}

void FollowClock::SetPlayback(TPlayback playback, std::int64_t nowMs) {
    if (playback == m_playback)
        return;
    Rebase(nowMs);
    m_gap = 0;
    m_playback = playback;
    Forget(nowMs);
    if (playback == TPlayback::Playing && !m_zeroTooLong)
        m_zeroSince.reset();
    StartBurst(nowMs);
}

void FollowClock::OnSeeked(std::int64_t positionMs, std::int64_t nowMs) {
    JumpTo(static_cast<double>(positionMs), nowMs, true);
    if (!m_jump)
        m_jump = TJump{std::llround(m_basePos), std::llround(m_basePos)};
    Forget(nowMs);
    StartBurst(nowMs);
}

void FollowClock::OnChange(std::int64_t nowMs) {
    if (m_burstLeft == 0)
        StartBurst(nowMs);
}

std::optional<std::int64_t> FollowClock::NextReadAt() const {
    if (m_inFlight)
        return std::nullopt;
    return m_nextReadAt;
}

void FollowClock::OnReadSent(std::int64_t nowMs) {
    m_inFlight = true;
    m_lastSentAt = nowMs;
    if (m_burstLeft > 0)
        --m_burstLeft;
}

void FollowClock::OnPositionFailed(std::int64_t nowMs) {
    m_inFlight = false;
    m_failed = true;
    m_burstLeft = 0;
    m_extraBurstsLeft = 0;
    m_nextReadAt = nowMs + kPeriodMs;
}

void FollowClock::OnPosition(std::int64_t positionMs, std::int64_t sentMs, std::int64_t receivedMs) {
    m_inFlight = false;
    m_failed = false;
    if (receivedMs < sentMs)
        std::swap(receivedMs, sentMs);
    // The player took its reading somewhere between the call and the answer.
    const std::int64_t at = sentMs + (receivedMs - sentMs) / 2;
    const std::int64_t now = receivedMs;
    const double value = Clamp(static_cast<double>(positionMs));

    if (!m_known) {
        JumpTo(value + (Running() ? static_cast<double>(now - at) * m_rate : 0.0), now, false);
        m_valueSince = at;
    } else if (m_playback != TPlayback::Playing || m_rate == 0) {
        // Held: a seek while paused moves the clock; a reading a little behind changes nothing,
        // so a paused band stands still.
        const double shown = m_basePos;
        if (std::fabs(value - shown) > kSmoothMs)
            JumpTo(value, now, true);
        else if (value > shown)
            JumpTo(value, now, false);
    } else {
        OnPlayingPosition(value, at, now);
    }

    if (m_playback == TPlayback::Playing && m_rate > 0) {
        if (positionMs <= 0) {
            if (!m_zeroSince)
                m_zeroSince = at;
            if (at - *m_zeroSince >= kZeroLimitMs)
                m_zeroTooLong = true;
        } else {
            m_zeroSince.reset();
            m_zeroTooLong = false;
        }
    }
    if (!m_hasPrevious || value != m_previousValue)
        m_valueSince = at;
    m_hasPrevious = true;
    m_previousValue = value;
    m_previousAt = at;
    PlanNextRead();
}

void FollowClock::OnPlayingPosition(double value, std::int64_t at, std::int64_t now) {
    const bool moved = m_hasPrevious && value != m_previousValue;
    const bool paired = moved && at - m_previousAt <= kPairWindowMs;
    const double sinceAt = static_cast<double>(now - at) * m_rate;

    if (m_stalled) {
        if (!moved)
            return;
        // Moving again: run on from where the clock held, then anchor as below.
        m_stalled = false;
        m_baseTime = now;
        m_gap = 0;
        m_anchored = false;
    }

    const double step = value - m_previousValue;
    const double assumedStep = static_cast<double>(m_stepMs > 0 ? m_stepMs : kMaxStepMs);
    const double shownAt = Shown(at);

    if (paired) {
        const double between = static_cast<double>(at - m_previousAt) * m_rate;
        if (step > 0 && step <= kMaxStepMs)
            m_stepMs = std::llround(step);
        // A stepped player changed its value somewhere between the two readings: on average
        // half their distance ago. A continuous one reported the position of this reading.
        const double estimate = value + (step > between + kStepMarginMs ? between / 2 : 0.0);
        const double difference = estimate - shownAt;
        if (!m_anchored && difference > 0 && difference <= assumedStep + kSmoothMs)
            JumpTo(estimate + sinceAt, now, false); // the first anchor: the earlier reading was a lower bound
        else if (std::fabs(difference) > kSmoothMs)
            JumpTo(estimate + sinceAt, now, true);
        else
            SlewTo(Shown(now) + difference, now);
        m_anchored = true;
        m_burstLeft = 0;
        m_extraBurstsLeft = 0;
        return;
    }

    if (value - shownAt > kSmoothMs) {
        JumpTo(value + sinceAt, now, true); // forward seek
        m_anchored = false;
        StartBurst(now);
    } else if (shownAt - (value + assumedStep) > kSmoothMs) {
        if (!moved && m_hasPrevious) {
            // The value stood still for longer than a step: the player is not moving.
            JumpTo(value, now, true);
            m_stalled = true;
        } else {
            JumpTo(value + sinceAt, now, true); // backward seek
            m_anchored = false;
            StartBurst(now);
        }
    } else if (value > shownAt) {
        // Behind the lower bound.
        if (m_anchored)
            SlewTo(Shown(now) + (value - shownAt), now);
        else
            JumpTo(value + sinceAt, now, false);
    } else if (m_burstLeft == 0 && m_stepMs > 0 && shownAt > value + static_cast<double>(m_stepMs) + kBurstIntervalMs) {
        // Ahead of what the player's step allows: read until the value moves to re-anchor.
        m_anchored = false;
        StartBurst(now);
    }
}

std::int64_t FollowClock::PositionMs(std::int64_t nowMs) const {
    if (!m_known || NoProgress())
        return -1;
    double position = Clamp(Shown(nowMs));
    if (m_floorValid && position < m_floor)
        position = m_floor;
    m_floor = position;
    m_floorValid = true;
    return std::llround(position);
}

std::optional<FollowClock::TJump> FollowClock::TakeJump() {
    std::optional<TJump> jump = m_jump;
    m_jump.reset();
    return jump;
}

} // namespace lirvo::follow
