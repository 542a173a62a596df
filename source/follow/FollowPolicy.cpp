#include "follow/FollowPolicy.h"

#include <algorithm>
#include <array>

namespace lirvo::follow {

namespace {

// What follows "org.mpris.MediaPlayer2." up to the next dot ("chromium" of
// "org.mpris.MediaPlayer2.chromium.instance4711").
std::string_view FirstPart(std::string_view name) {
    if (!IsMprisName(name))
        return {};
    name.remove_prefix(kMprisPrefix.size());
    return name.substr(0, name.find('.'));
}

// The services browsers register under their own name. Chromium's kin mostly use "chromium";
// the rest use the browser's name, some with a build suffix ("firefox_esr").
constexpr std::array<std::string_view, 14> kBrowsers = {
    "chromium", "chrome", "google-chrome", "brave", "vivaldi", "opera", "edge", "msedge",
    "microsoft-edge", "yandex-browser", "firefox", "librewolf", "waterfox", "floorp"};

} // namespace

bool IsMprisName(std::string_view name) {
    return name.size() > kMprisPrefix.size() && name.substr(0, kMprisPrefix.size()) == kMprisPrefix;
}

bool IsOwnName(std::string_view name) {
    return IsMprisName(name) && FirstPart(name) == "lirvo";
}

bool IsMirrorName(std::string_view name) {
    const std::string_view part = FirstPart(name);
    return part == "playerctld" || part.substr(0, 10) == "kdeconnect";
}

bool IsBrowserName(std::string_view name) {
    const std::string_view part = FirstPart(name);
    for (const std::string_view browser : kBrowsers) {
        if (part.substr(0, browser.size()) != browser)
            continue;
        // "firefox", "firefox_esr", "firefox-developer", "chrome2"; not "operator" or "edgeplayer".
        if (part.size() == browser.size())
            return true;
        const char next = part[browser.size()];
        if (next == '_' || next == '-' || (next >= '0' && next <= '9'))
            return true;
    }
    return false;
}

bool IsWebSource(std::string_view name) {
    return name == kBrowserBridgeName || IsBrowserName(name);
}

std::vector<std::string> FilterPlayerNames(const std::vector<std::string> &names) {
    const bool bridge = std::find(names.begin(), names.end(), kBrowserBridgeName) != names.end();
    std::vector<std::string> players;
    for (const std::string &name : names) {
        if (!IsMprisName(name) || IsOwnName(name) || IsMirrorName(name))
            continue;
        if (bridge && IsBrowserName(name))
            continue;
        players.push_back(name);
    }
    return players;
}

TPlayback PlaybackFromText(std::string_view status) {
    if (status == "Playing")
        return TPlayback::Playing;
    if (status == "Paused")
        return TPlayback::Paused;
    return TPlayback::Stopped;
}

const char *PlaybackText(TPlayback playback) {
    switch (playback) {
    case TPlayback::Playing:
        return "Playing";
    case TPlayback::Paused:
        return "Paused";
    case TPlayback::Stopped:
        break;
    }
    return "Stopped";
}

std::string PinKeyOf(const TPlayerView &player) {
    return player.DesktopEntry.empty() ? player.Identity : player.DesktopEntry;
}

bool FollowPolicy::Holds(const TPlayerView &current, std::int64_t nowMs) const {
    return current.Playback != TPlayback::Stopped || nowMs - current.PlaybackSinceMs < kHoldMs;
}

const TPlayerView *FollowPolicy::Pick(const std::vector<const TPlayerView *> &players, std::int64_t nowMs) const {
    const TPlayerView *current = nullptr;
    if (m_current.Kind == TFollowChoice::TKind::Player) {
        for (const TPlayerView *player : players)
            if (player->Name == m_current.Name)
                current = player;
    }
    const bool currentHolds = current && Holds(*current, nowMs);

    // 3. The player that started playing last; a newcomer needs its hold while the current
    // one holds. Ties go to the current player, then to the first name.
    const TPlayerView *best = nullptr;
    const auto later = [current](const TPlayerView *a, const TPlayerView *b) {
        if (a->PlaybackSinceMs != b->PlaybackSinceMs)
            return a->PlaybackSinceMs > b->PlaybackSinceMs;
        if ((a == current) != (b == current))
            return a == current;
        return a->Name < b->Name;
    };
    for (const TPlayerView *player : players) {
        if (player->Playback != TPlayback::Playing || !player->HasTitle)
            continue;
        if (player != current && currentHolds && nowMs - player->PlaybackSinceMs < kHoldMs)
            continue;
        if (!best || later(player, best))
            best = player;
    }
    if (best)
        return best;
    // 4. The current player while it holds.
    if (currentHolds)
        return current;
    // 5. The player that paused last.
    for (const TPlayerView *player : players) {
        if (player->Playback == TPlayback::Paused && (!best || later(player, best)))
            best = player;
    }
    return best;
}

TFollowChoice FollowPolicy::Choose(const std::vector<TPlayerView> &players, std::int64_t nowMs) {
    TFollowChoice choice;
    if (m_own) {
        choice.Kind = TFollowChoice::TKind::Own;
        m_current = choice;
        return choice;
    }
    std::vector<const TPlayerView *> all, pinned;
    for (const TPlayerView &player : players) {
        all.push_back(&player);
        if (!m_pin.empty() && (player.DesktopEntry == m_pin || player.Identity == m_pin))
            pinned.push_back(&player);
    }
    const TPlayerView *chosen = nullptr;
    if (!pinned.empty()) {
        // Among several instances of the pinned player the same rules choose; a pinned player
        // that is stopped is still followed.
        chosen = Pick(pinned, nowMs);
        if (!chosen) {
            for (const TPlayerView *player : pinned)
                if (player->Name == m_current.Name)
                    chosen = player;
            if (!chosen)
                chosen = pinned.front();
        }
    } else {
        chosen = Pick(all, nowMs);
    }
    if (chosen) {
        choice.Kind = TFollowChoice::TKind::Player;
        choice.Name = chosen->Name;
    }
    m_current = choice;
    return choice;
}

std::optional<std::int64_t> FollowPolicy::ReviewAt(const std::vector<TPlayerView> &players, std::int64_t nowMs) const {
    if (m_own)
        return std::nullopt;
    std::optional<std::int64_t> at;
    const auto consider = [&at, nowMs](std::int64_t moment) {
        if (moment > nowMs && (!at || moment < *at))
            at = moment;
    };
    for (const TPlayerView &player : players) {
        const std::int64_t holdEnds = player.PlaybackSinceMs + kHoldMs;
        if (player.Playback == TPlayback::Playing && player.HasTitle)
            consider(holdEnds);
        if (player.Playback == TPlayback::Stopped && player.Name == m_current.Name)
            consider(holdEnds);
    }
    return at;
}

} // namespace lirvo::follow
