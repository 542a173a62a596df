// Which bus names count as players, and which player is followed when.

#include "follow/FollowPolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lirvo::follow {
namespace {

using TKind = TFollowChoice::TKind;

TEST(PlayerNames, MirrorsOwnAndBrowsersBesideTheBridgeAreLeftOut) {
    const std::vector<std::string> bus = {
        "org.freedesktop.DBus",
        "org.mpris.MediaPlayer2.mpv",
        "org.mpris.MediaPlayer2.audacious",
        "org.mpris.MediaPlayer2.playerctld",
        "org.mpris.MediaPlayer2.kdeconnect.mpris_000001",
        "org.mpris.MediaPlayer2.lirvo",
        "org.mpris.MediaPlayer2.lirvo.instance4242",
        "org.mpris.MediaPlayer2.lirvoplayer", // someone else's
        "org.mpris.MediaPlayer2.chromium.instance1234",
        "org.mpris.MediaPlayer2.firefox.instance_1_20",
        "org.mpris.MediaPlayer2.operator", // not Opera
        "org.mpris.MediaPlayer2.",
    };
    const std::vector<std::string> without = FilterPlayerNames(bus);
    EXPECT_EQ(without, (std::vector<std::string>{"org.mpris.MediaPlayer2.mpv", "org.mpris.MediaPlayer2.audacious",
                                                 "org.mpris.MediaPlayer2.lirvoplayer",
                                                 "org.mpris.MediaPlayer2.chromium.instance1234",
                                                 "org.mpris.MediaPlayer2.firefox.instance_1_20",
                                                 "org.mpris.MediaPlayer2.operator"}));

    std::vector<std::string> withBridge = bus;
    withBridge.emplace_back(kBrowserBridgeName);
    EXPECT_EQ(FilterPlayerNames(withBridge),
              (std::vector<std::string>{"org.mpris.MediaPlayer2.mpv", "org.mpris.MediaPlayer2.audacious",
                                        "org.mpris.MediaPlayer2.lirvoplayer", "org.mpris.MediaPlayer2.operator",
                                        std::string(kBrowserBridgeName)}));
}

TEST(PlayerNames, BrowserKin) {
    for (const char *name : {"org.mpris.MediaPlayer2.chrome", "org.mpris.MediaPlayer2.brave.instance9",
                             "org.mpris.MediaPlayer2.vivaldi.instance2", "org.mpris.MediaPlayer2.opera",
                             "org.mpris.MediaPlayer2.msedge.instance77", "org.mpris.MediaPlayer2.firefox_esr"})
        EXPECT_TRUE(IsBrowserName(name)) << name;
    for (const char *name : {"org.mpris.MediaPlayer2.edgeplayer", "org.mpris.MediaPlayer2.mpv", "chromium"})
        EXPECT_FALSE(IsBrowserName(name)) << name;
    EXPECT_TRUE(IsWebSource(kBrowserBridgeName));
}

TPlayerView Player(const std::string &name, TPlayback playback, std::int64_t since, bool title = true) {
    TPlayerView view;
    view.Name = "org.mpris.MediaPlayer2." + name;
    view.Identity = name;
    view.Playback = playback;
    view.PlaybackSinceMs = since;
    view.HasTitle = title;
    return view;
}

std::string Chosen(FollowPolicy &policy, const std::vector<TPlayerView> &players, std::int64_t now) {
    const TFollowChoice choice = policy.Choose(players, now);
    if (choice.Kind == TKind::Own)
        return "own";
    if (choice.Kind == TKind::None)
        return "none";
    return choice.Name.substr(kMprisPrefix.size());
}

TEST(FollowPolicy, OwnPlaybackComesFirst) {
    FollowPolicy policy;
    const std::vector<TPlayerView> players = {Player("mpv", TPlayback::Playing, 0)};
    EXPECT_EQ(Chosen(policy, players, 5000), "mpv");
    policy.SetOwnPlaybackActive(true);
    EXPECT_EQ(Chosen(policy, players, 6000), "own");
    EXPECT_FALSE(policy.ReviewAt(players, 6000));
    policy.SetOwnPlaybackActive(false);
    EXPECT_EQ(Chosen(policy, players, 7000), "mpv") << "given back";
}

TEST(FollowPolicy, LatestStartWinsAfterItsHold) {
    FollowPolicy policy;
    std::vector<TPlayerView> players = {Player("mpv", TPlayback::Playing, 0)};
    EXPECT_EQ(Chosen(policy, players, 100), "mpv") << "nothing followed: no need to wait";
    players.push_back(Player("audacious", TPlayback::Playing, 10'000));
    EXPECT_EQ(Chosen(policy, players, 10'500), "mpv");
    EXPECT_EQ(policy.ReviewAt(players, 10'500), std::optional<std::int64_t>(10'000 + FollowPolicy::kHoldMs));
    EXPECT_EQ(Chosen(policy, players, 11'000), "audacious");
    // Pausing the newer one gives the older, still playing one back at once.
    players[1].Playback = TPlayback::Paused;
    players[1].PlaybackSinceMs = 20'000;
    EXPECT_EQ(Chosen(policy, players, 20'000), "mpv");
}

TEST(FollowPolicy, BlipsChangeNothing) {
    FollowPolicy policy;
    std::vector<TPlayerView> players = {Player("mpv", TPlayback::Playing, 0)};
    EXPECT_EQ(Chosen(policy, players, 1000), "mpv");
    players.push_back(Player("notifier", TPlayback::Playing, 5000));
    EXPECT_EQ(Chosen(policy, players, 5500), "mpv");
    players[1].Playback = TPlayback::Stopped;
    players[1].PlaybackSinceMs = 5600;
    for (std::int64_t t = 5600; t < 9000; t += 100)
        ASSERT_EQ(Chosen(policy, players, t), "mpv") << t;

    // The stop between two tracks of the current player: kept, even with a paused player by.
    players[1].Playback = TPlayback::Paused;
    players[0].Playback = TPlayback::Stopped;
    players[0].PlaybackSinceMs = 10'000;
    EXPECT_EQ(Chosen(policy, players, 10'300), "mpv");
    EXPECT_EQ(policy.ReviewAt(players, 10'300), std::optional<std::int64_t>(10'000 + FollowPolicy::kHoldMs));
    players[0].Playback = TPlayback::Playing;
    players[0].PlaybackSinceMs = 10'400;
    EXPECT_EQ(Chosen(policy, players, 10'400), "mpv");
    // A stop that lasts: the paused player is taken.
    players[0].Playback = TPlayback::Stopped;
    players[0].PlaybackSinceMs = 20'000;
    EXPECT_EQ(Chosen(policy, players, 21'000), "notifier");
}

TEST(FollowPolicy, PausedPlayers) {
    FollowPolicy policy;
    std::vector<TPlayerView> players = {Player("mpv", TPlayback::Paused, 100),
                                        Player("audacious", TPlayback::Paused, 200)};
    EXPECT_EQ(Chosen(policy, players, 1000), "audacious") << "the one paused last";
    players[0].PlaybackSinceMs = 2000; // paused again later: the current one stays
    EXPECT_EQ(Chosen(policy, players, 3000), "audacious");
    // A newcomer playing takes over from a paused current player only after its hold.
    players.push_back(Player("vlc", TPlayback::Playing, 4000));
    EXPECT_EQ(Chosen(policy, players, 4500), "audacious");
    EXPECT_EQ(Chosen(policy, players, 5000), "vlc");
    // Players playing without a title are not taken.
    FollowPolicy other;
    const std::vector<TPlayerView> untitled = {Player("browser", TPlayback::Playing, 0, false)};
    EXPECT_EQ(Chosen(other, untitled, 5000), "none");
    EXPECT_EQ(Chosen(other, {}, 5000), "none");
}

TEST(FollowPolicy, PinByDesktopEntrySurvivesARestart) {
    FollowPolicy policy;
    TPlayerView vlc = Player("vlc.instance100", TPlayback::Paused, 0);
    vlc.DesktopEntry = "vlc";
    vlc.Identity = "VLC media player";
    ASSERT_EQ(PinKeyOf(vlc), "vlc");
    policy.SetPin(PinKeyOf(vlc));
    std::vector<TPlayerView> players = {Player("mpv", TPlayback::Playing, 500), vlc};
    EXPECT_EQ(Chosen(policy, players, 1000), "vlc.instance100") << "the pin beats playing";
    // VLC quits: automatic meanwhile; it comes back under a new name and is pinned again.
    players.pop_back();
    EXPECT_EQ(Chosen(policy, players, 2000), "mpv");
    vlc.Name = "org.mpris.MediaPlayer2.vlc.instance200";
    vlc.Playback = TPlayback::Stopped;
    players.push_back(vlc);
    EXPECT_EQ(Chosen(policy, players, 3000), "vlc.instance200") << "stopped, but pinned";
    policy.SetPin("");
    EXPECT_EQ(Chosen(policy, players, 4000), "mpv");
}

TEST(FollowPolicy, PinByIdentityWithoutDesktopEntry) {
    FollowPolicy policy;
    TPlayerView tab = Player("chromium.instance7", TPlayback::Paused, 0);
    tab.Identity = "Chromium";
    policy.SetPin(PinKeyOf(tab));
    const std::vector<TPlayerView> players = {Player("mpv", TPlayback::Playing, 10), tab};
    EXPECT_EQ(Chosen(policy, players, 2000), "chromium.instance7");
}

} // namespace
} // namespace lirvo::follow
