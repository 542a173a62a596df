#pragma once
// When another player has really changed its track. A track is the tuple (track id, title,
// artist, album): the track id alone tells little apart (Audacious and browsers keep one id,
// mpv's is the playlist index, which `loadfile replace` keeps), and metadata arrives in steps
// (mpv sends the file name as the title first and the tags about 100 ms later) or is sent
// again unchanged (when the cover art has loaded). So:
//  - a new tuple counts once it has held for kHoldMs (kHoldNoArtistMs when it has no artist,
//    since such a tuple is often the file name standing in for tags still to come);
//  - other fields (length, address, lyric text) changing alone make no new track;
//  - the same tuple starting over (a jump back to near the start from well into the track:
//    mpv's negative Seeked on a loop, Seeked(0) on a repeat) is a restart, reported once no
//    new tuple has followed within kHoldMs (players also send Seeked(0) at a new track's start).
// Pure; times are the caller's monotonic milliseconds.

#include "follow/FollowMetadata.h"

#include <cstdint>
#include <optional>

namespace lirvo::follow {

class TrackStabiliser {
public:
    static constexpr std::int64_t kHoldMs = 400;
    static constexpr std::int64_t kHoldNoArtistMs = 800;
    // A jump from at least kRestartFromMs to at most kRestartToMs is a start over.
    static constexpr std::int64_t kRestartFromMs = 3000;
    static constexpr std::int64_t kRestartToMs = 1500;

    enum class TEvent { None, Changed, Restarted };

    // Forgets the track (another player is followed): the next track counts as new.
    void Reset() { *this = TrackStabiliser(); }

    void OnMetadata(const TFollowedTrack &track, std::int64_t nowMs);
    // A jump of the followed player's position (from the clock).
    void OnJump(std::int64_t fromMs, std::int64_t toMs, std::int64_t nowMs);

    // What happened by `nowMs`; call it after every input and at Deadline. One event per call.
    TEvent Poll(std::int64_t nowMs);
    // When Poll may next have something to report; nullopt when nothing is pending.
    std::optional<std::int64_t> Deadline() const;

    // The settled track (empty fields before the first).
    const TFollowedTrack &Track() const { return m_track; }

private:
    static bool SameTuple(const TFollowedTrack &a, const TFollowedTrack &b);
    static std::int64_t HoldFor(const TFollowedTrack &track);

    TFollowedTrack m_track;
    std::optional<TFollowedTrack> m_pending;
    std::int64_t m_pendingSince = 0;
    std::optional<std::int64_t> m_restartAt;
};

} // namespace lirvo::follow
