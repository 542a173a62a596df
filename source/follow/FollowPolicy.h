#pragma once
// Which player on the session bus the lyric band follows. Pure: the caller tells it what the
// players do and when (milliseconds of a monotonic clock) and asks again whenever something
// changed, or at the time ReviewAt names.
//
// The choice, first that applies:
//   1. Lirvo's own playback, while it plays or is paused: then no other player is followed;
//   2. the pinned player, when one is present (the pin names a DesktopEntry, or an Identity for
//      players without one, so it survives a restart of the player under a new bus name);
//   3. among the players that play a track with a title, the one that started playing last;
//      while the current player plays or is paused (or stopped less than a second ago), a
//      newcomer takes over only once it has played for a second, so a brief blip of another
//      player, or the stop between two tracks of this one, changes nothing;
//   4. the current player, while it is paused (or playing without a title, or stopped less
//      than a second ago);
//   5. the other paused player that paused last;
//   6. none.
// Which names count as players at all is decided by FilterPlayerNames.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::follow {

inline constexpr std::string_view kMprisPrefix = "org.mpris.MediaPlayer2.";
inline constexpr std::string_view kBrowserBridgeName = "org.mpris.MediaPlayer2.plasma-browser-integration";

// An MPRIS 2 player's bus name (org.mpris.MediaPlayer2.<something>).
bool IsMprisName(std::string_view name);
// Lirvo's own service, also with an instance suffix (org.mpris.MediaPlayer2.lirvo.instance42).
bool IsOwnName(std::string_view name);
// Services that only mirror other players: playerctld and KDE Connect's phones.
bool IsMirrorName(std::string_view name);
// A web browser's own service (Chromium and its kin, Firefox and its kin).
bool IsBrowserName(std::string_view name);
// A browser's service or the desktop's bridge to browser tabs: their titles are page titles.
bool IsWebSource(std::string_view name);

// The names among `names` that may be followed: MPRIS players that are neither Lirvo's own
// nor mirrors, and no browser's own service while the browser bridge is present (it reports
// the same playback with better metadata).
std::vector<std::string> FilterPlayerNames(const std::vector<std::string> &names);

enum class TPlayback { Stopped, Paused, Playing };
// MPRIS PlaybackStatus text; anything unknown reads as Stopped.
TPlayback PlaybackFromText(std::string_view status);
const char *PlaybackText(TPlayback playback);

// One player as the policy sees it.
struct TPlayerView {
    std::string Name;         // bus name
    std::string Identity;     // org.mpris.MediaPlayer2.Identity
    std::string DesktopEntry; // org.mpris.MediaPlayer2.DesktopEntry
    TPlayback Playback = TPlayback::Stopped;
    bool HasTitle = false;
    std::int64_t PlaybackSinceMs = 0; // when Playback last changed (for Playing: the start)
};

// The key a pin keeps for this player: its DesktopEntry, else its Identity.
std::string PinKeyOf(const TPlayerView &player);

struct TFollowChoice {
    enum class TKind { None, Own, Player };
    TKind Kind = TKind::None;
    std::string Name; // the player's bus name, for Player
    bool operator==(const TFollowChoice &) const = default;
};

class FollowPolicy {
public:
    // How long a newcomer must have played to take over, and how long a stopped current
    // player stays chosen.
    static constexpr std::int64_t kHoldMs = 1000;

    void SetOwnPlaybackActive(bool active) { m_own = active; }
    bool OwnPlaybackActive() const { return m_own; }
    // "" for the automatic choice.
    void SetPin(std::string key) { m_pin = std::move(key); }
    const std::string &Pin() const { return m_pin; }

    // Chooses among `players` (already filtered) at `nowMs` and keeps the choice as the
    // current one.
    TFollowChoice Choose(const std::vector<TPlayerView> &players, std::int64_t nowMs);
    const TFollowChoice &Current() const { return m_current; }
    // Forgets the current player (the follower was switched off).
    void ClearCurrent() { m_current = {}; }

    // The next moment at which Choose could answer otherwise without any player changing
    // (a newcomer's hold or a stopped player's grace ending); nullopt when there is none.
    std::optional<std::int64_t> ReviewAt(const std::vector<TPlayerView> &players, std::int64_t nowMs) const;

private:
    const TPlayerView *Pick(const std::vector<const TPlayerView *> &players, std::int64_t nowMs) const;
    bool Holds(const TPlayerView &current, std::int64_t nowMs) const;

    bool m_own = false;
    std::string m_pin;
    TFollowChoice m_current;
};

} // namespace lirvo::follow
