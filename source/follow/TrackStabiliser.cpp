#include "follow/TrackStabiliser.h"

#include <algorithm>

namespace lirvo::follow {

bool TrackStabiliser::SameTuple(const TFollowedTrack &a, const TFollowedTrack &b) {
    return a.TrackId == b.TrackId && a.Title == b.Title && a.Artist == b.Artist && a.Album == b.Album;
}

std::int64_t TrackStabiliser::HoldFor(const TFollowedTrack &track) {
    return track.Artist.empty() ? kHoldNoArtistMs : kHoldMs;
}

void TrackStabiliser::OnMetadata(const TFollowedTrack &track, std::int64_t nowMs) {
    if (SameTuple(track, m_track)) {
        // Back to the settled tuple (a blip), or the same tuple sent again with other details.
        m_pending.reset();
        m_track = track;
        return;
    }
    if (m_pending && SameTuple(track, *m_pending)) {
        *m_pending = track;
        return;
    }
    m_pending = track;
    m_pendingSince = nowMs;
    m_restartAt.reset();
}

void TrackStabiliser::OnJump(std::int64_t fromMs, std::int64_t toMs, std::int64_t nowMs) {
    if (m_pending || m_track.Title.empty())
        return;
    if (fromMs >= kRestartFromMs && toMs <= kRestartToMs)
        m_restartAt = nowMs + kHoldMs;
}

TrackStabiliser::TEvent TrackStabiliser::Poll(std::int64_t nowMs) {
    if (m_pending && nowMs - m_pendingSince >= HoldFor(*m_pending)) {
        m_track = std::move(*m_pending);
        m_pending.reset();
        m_restartAt.reset();
        return TEvent::Changed;
    }
    if (!m_pending && m_restartAt && nowMs >= *m_restartAt) {
        m_restartAt.reset();
        return TEvent::Restarted;
    }
    return TEvent::None;
}

std::optional<std::int64_t> TrackStabiliser::Deadline() const {
    if (m_pending)
        return m_pendingSince + HoldFor(*m_pending);
    return m_restartAt;
}

} // namespace lirvo::follow
