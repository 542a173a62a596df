// The follower on a private bus against scripted players served from this process: the value
// types players really send, which names are followed, the pin across a restart, players that
// give no position or do not answer, seeks and loops.

#include "follow/MprisFollower.h"

#include "FollowTestBus.h"

#include <QDBusObjectPath>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace lirvo::follow {
namespace {

using testing::RunFor;
using testing::ScriptedPlayer;
using testing::WaitUntil;

const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");

QVariantMap Metadata(const QString &title, const QString &artist, const QString &id = "/org/mpris/MediaPlayer2/1") {
    return {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath(id))},
            {"xesam:title", title},
            {"xesam:artist", QStringList{artist}},
            {"mpris:length", QVariant::fromValue(qlonglong(240'000'000))}};
}

class FollowerBus : public ::testing::Test {
protected:
    void SetUp() override {
        testing::App();
        ASSERT_TRUE(bus_.Start()) << "dbus-daemon did not start";
        follower_ = std::make_unique<TMprisFollower>(bus_.Connect("follower"));
        QObject::connect(follower_.get(), &TMprisFollower::followedChanged, follower_.get(),
                         [this](const QString &name, const QString &) { followed_.push_back(name); });
        QObject::connect(follower_.get(), &TMprisFollower::trackChanged, follower_.get(),
                         [this](const TFollowedTrack &track) { tracks_.push_back(track); });
        QObject::connect(follower_.get(), &TMprisFollower::trackRestarted, follower_.get(), [this] { ++restarts_; });
        QObject::connect(follower_.get(), &TMprisFollower::progressUnavailable, follower_.get(),
                         [this](bool unavailable) { progressFlags_.push_back(unavailable); });
    }

    void TearDown() override {
        follower_.reset();
        players_.clear();
    }

    // A player on a connection of its own, registered under org.mpris.MediaPlayer2.<suffix>.
    ScriptedPlayer &AddPlayer(const QString &suffix, const QString &status, const QVariantMap &metadata,
                              const QString &desktopEntry = QString()) {
        auto player = std::make_unique<ScriptedPlayer>(bus_.Connect("player"), kPrefix + suffix);
        player->root["Identity"] = suffix;
        if (!desktopEntry.isEmpty())
            player->root["DesktopEntry"] = desktopEntry;
        player->player["PlaybackStatus"] = status;
        player->player["Metadata"] = metadata;
        EXPECT_TRUE(player->Register()) << qPrintable(suffix);
        players_.push_back(std::move(player));
        return *players_.back();
    }

    bool FollowsSoon(const QString &suffix) {
        return WaitUntil([&] { return follower_->FollowedName() == (suffix.isEmpty() ? QString() : kPrefix + suffix); });
    }

    QStringList CandidateNames() const {
        QStringList names;
        for (const TFollowCandidate &candidate : follower_->Candidates())
            names << candidate.BusName.mid(kPrefix.size());
        return names;
    }

    testing::PrivateBus bus_;
    std::unique_ptr<TMprisFollower> follower_;
    std::vector<std::unique_ptr<ScriptedPlayer>> players_;
    std::vector<QString> followed_;
    std::vector<TFollowedTrack> tracks_;
    std::vector<bool> progressFlags_;
    int restarts_ = 0;
};

// Object-path track ids, uint64 lengths, a title as GBK bytes, then a list of artists and a
// double length; metadata sent again unchanged is no new track.
TEST_F(FollowerBus, ValueTypesAsPlayersSendThem) {
    ScriptedPlayer &player = AddPlayer("scripted", "Playing",
                                       {{"mpris:trackid", QVariant::fromValue(QDBusObjectPath("/track/7"))},
                                        {"xesam:title", QByteArray("\xba\xa3\xc0\xab\xcc\xec\xbf\xd5", 8)},
                                        {"xesam:artist", QString("Beyond")},
                                        {"mpris:length", QVariant::fromValue(qulonglong(326'000'000))},
                                        {"xesam:url", QString("file:///music/%E6%B5%B7.flac")}});
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("scripted"));
    EXPECT_EQ(follower_->FollowedIdentity(), "scripted");
    ASSERT_TRUE(WaitUntil([&] { return !tracks_.empty(); }));
    EXPECT_EQ(tracks_[0].TrackId, "/track/7");
    EXPECT_EQ(tracks_[0].Title, "海阔天空");
    EXPECT_EQ(tracks_[0].Artist, "Beyond");
    EXPECT_EQ(tracks_[0].LengthMs, 326'000);
    EXPECT_EQ(tracks_[0].LocalPath, "/music/海.flac");
    EXPECT_EQ(follower_->Status().Mode, TFollowStatus::TMode::Player);
    EXPECT_EQ(follower_->Status().Playback, TPlayback::Playing);

    QVariantMap next = {{"mpris:trackid", QString("/track/8")},
                        {"xesam:title", QString("光辉岁月")},
                        {"xesam:artist", QStringList{"Beyond", "黄家驹"}},
                        {"mpris:length", 301.5e6}};
    player.Change({{"Metadata", next}});
    ASSERT_TRUE(WaitUntil([&] { return tracks_.size() == 2; }));
    EXPECT_EQ(tracks_[1].Artist, "Beyond/黄家驹");
    EXPECT_EQ(tracks_[1].LengthMs, 301'500);
    player.Change({{"Metadata", next}}); // the cover art has loaded
    RunFor(1500);
    EXPECT_EQ(tracks_.size(), 2u);
}

TEST_F(FollowerBus, MirrorsOwnAndBrowsersBesideTheBridgeAreNeverFollowed) {
    AddPlayer("real", "Paused", Metadata("Real", "A"));
    for (const QString &mirror : {QString("playerctld"), QString("kdeconnect.mpris_000001"), QString("lirvo"),
                                  QString("lirvo.instance77")})
        AddPlayer(mirror, "Playing", Metadata("Mirrored", "B"));
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("real"));
    EXPECT_EQ(CandidateNames(), QStringList{"real"});

    AddPlayer("chromium.instance1234", "Playing", Metadata("Tab", "C"));
    ASSERT_TRUE(FollowsSoon("chromium.instance1234"))
        << "following " << qPrintable(follower_->FollowedName()) << " among " << qPrintable(CandidateNames().join(','));
    ScriptedPlayer &bridge = AddPlayer("plasma-browser-integration", "Playing",
                                       {{"xesam:title", QString("(2) 周杰伦 - 晴天 - YouTube")}});
    ASSERT_TRUE(WaitUntil([&] { return CandidateNames() == QStringList({"plasma-browser-integration", "real"}); }))
        << qPrintable(CandidateNames().join(','));
    ASSERT_TRUE(FollowsSoon("plasma-browser-integration"));
    ASSERT_TRUE(WaitUntil([&] { return !tracks_.empty() && tracks_.back().Title == "晴天"; }));
    EXPECT_EQ(tracks_.back().Artist, "周杰伦");
    bridge.Unregister();
    ASSERT_TRUE(FollowsSoon("chromium.instance1234"))
        << "the browser's own service counts again; following " << qPrintable(follower_->FollowedName())
        << " among " << qPrintable(CandidateNames().join(','));
}

TEST_F(FollowerBus, PinByDesktopEntrySurvivesARestart) {
    AddPlayer("mpv", "Playing", Metadata("Playing", "A"));
    AddPlayer("vlc.instance100", "Paused", Metadata("Pinned", "B"), "vlc");
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("mpv"));
    ASSERT_TRUE(WaitUntil([&] { return follower_->Candidates().size() == 2; }));
    QString key;
    for (const TFollowCandidate &candidate : follower_->Candidates())
        if (candidate.BusName.endsWith("vlc.instance100"))
            key = candidate.PinKey;
    EXPECT_EQ(key, "vlc");
    follower_->SetPin(key);
    EXPECT_EQ(follower_->Pin(), "vlc");
    ASSERT_TRUE(FollowsSoon("vlc.instance100"));

    players_.back()->Unregister();
    ASSERT_TRUE(FollowsSoon("mpv"));
    AddPlayer("vlc.instance200", "Stopped", Metadata("Pinned", "B"), "vlc");
    ASSERT_TRUE(FollowsSoon("vlc.instance200")) << "the pin finds it under its new name";
    follower_->SetPin(QString());
    ASSERT_TRUE(FollowsSoon("mpv"));
}

TEST_F(FollowerBus, UnreadablePositionIsReported) {
    ScriptedPlayer &player = AddPlayer("noposition", "Playing", Metadata("Title", "A"));
    player.failPosition = true;
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("noposition"));
    ASSERT_TRUE(WaitUntil([&] { return !follower_->ProgressAvailable(); }));
    EXPECT_EQ(progressFlags_, std::vector<bool>{true});
    EXPECT_EQ(follower_->PositionMs(), -1);
    EXPECT_STREQ(kNoProgressText, "此播放器不提供播放进度，无法同步歌词");

    player.failPosition = false;
    QElapsedTimer clock;
    clock.start();
    player.SetPosition([&clock] { return qlonglong(5'000'000 + clock.elapsed() * 1000); });
    ASSERT_TRUE(WaitUntil([&] { return follower_->ProgressAvailable(); }));
    EXPECT_EQ(progressFlags_, (std::vector<bool>{true, false}));
    EXPECT_NEAR(static_cast<double>(follower_->PositionMs()), 5000.0 + static_cast<double>(clock.elapsed()), 150);
}

// A player that never answers holds nothing up: another player is followed meanwhile, and a
// followed player that stops answering gives no progress once its reading times out.
TEST_F(FollowerBus, PlayersThatDoNotAnswer) {
    ScriptedPlayer &hung = AddPlayer("hung", "Playing", Metadata("Hung", "A"));
    hung.hang = true;
    ScriptedPlayer &good = AddPlayer("good", "Playing", Metadata("Good", "B"));
    follower_->SetEnabled(true);
    ASSERT_TRUE(FollowsSoon("good"));
    EXPECT_EQ(CandidateNames(), QStringList{"good"}) << "the hung player has not told what it is";
    good.hang = true;
    ASSERT_TRUE(WaitUntil([&] { return !follower_->ProgressAvailable(); }));
    EXPECT_EQ(follower_->PositionMs(), -1);
}

// A continuous player: the clock follows it, a Seeked moves it, and a loop (a negative
// Seeked with the same track) restarts the lyric without a new track.
TEST_F(FollowerBus, SeeksAndLoops) {
    QElapsedTimer clock;
    clock.start();
    qint64 originMs = 0, originPosMs = 2000;
    ScriptedPlayer &player = AddPlayer("mpv", "Playing", Metadata("Loop", "A"));
    player.SetPosition([&] { return qlonglong((originPosMs + clock.elapsed() - originMs) * 1000); });
    follower_->SetEnabled(true);
    ASSERT_TRUE(WaitUntil([&] { return tracks_.size() == 1 && follower_->PositionMs() >= 0; }));
    const auto truth = [&] { return static_cast<double>(originPosMs + clock.elapsed() - originMs); };
    ASSERT_TRUE(WaitUntil([&] { return std::abs(static_cast<double>(follower_->PositionMs()) - truth()) < 100; }));

    std::vector<std::pair<qint64, qint64>> jumps;
    QObject::connect(follower_.get(), &TMprisFollower::seeked, follower_.get(),
                     [&jumps](qint64 from, qint64 to) { jumps.emplace_back(from, to); });
    originMs = clock.elapsed();
    originPosMs = 100'000;
    player.Seeked(100'000'000);
    player.SetPosition([&] { return qlonglong((originPosMs + clock.elapsed() - originMs) * 1000); });
    ASSERT_TRUE(WaitUntil([&] { return !jumps.empty(); }));
    EXPECT_EQ(jumps.back().second, 100'000);
    ASSERT_TRUE(WaitUntil([&] { return std::abs(static_cast<double>(follower_->PositionMs()) - truth()) < 100; }));

    originMs = clock.elapsed();
    originPosMs = 0;
    player.Seeked(-40'000); // mpv on a loop
    player.SetPosition([&] { return qlonglong((originPosMs + clock.elapsed() - originMs) * 1000); });
    player.Change({{"Metadata", Metadata("Loop", "A")}});
    ASSERT_TRUE(WaitUntil([&] { return restarts_ == 1; }));
    EXPECT_EQ(jumps.back().second, 0);
    EXPECT_EQ(tracks_.size(), 1u) << "no new lookup";
    EXPECT_LT(follower_->PositionMs(), 3000);
}

} // namespace
} // namespace lirvo::follow
