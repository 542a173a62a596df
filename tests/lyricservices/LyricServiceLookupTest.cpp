// The online lookup over every service at once, against local stand-ins that answer as the real
// services do: which lyric is chosen, how refusals, silence and misses are handled, what the
// search window lists, and what is saved into the lyric folder.
#include "LyricStandIns.h"

#include "lyrics/core/LrcClass.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricLookup.h"
#include "lyrics/core/uLRCHandle.h"
#include "lyrics/services/ServiceLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace lirvo::lyrics::testing {
namespace {

using services::TServiceLookup;

const std::string kYrc = "[1000,2000](1000,500,0)晚(1500,500,0)风(2000,1000,0)吹\n"
                         "[3000,2000](3000,1000,0)小(4000,1000,0)巷\n";
const std::string kYtlrc = "[00:01.000]The evening wind\n[00:03.00]The lane\n";
const std::string kLrc = "[00:01.00]晚风吹\n[00:03.00]小巷\n";

std::string QrcDocument(const std::string &content) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<QrcInfos>\n<QrcHeadInfo SaveTime=\"12\" Version=\"100\"/>\n"
           "<LyricInfo LyricCount=\"1\">\n<Lyric_1 LyricType=\"1\" LyricContent=\"" +
           content + "\"/>\n</LyricInfo>\n</QrcInfos>\n";
}
const std::string kQrc = QrcDocument("[ti:晚风]\n[ar:林某]\n[1000,2000]晚(1000,500)风(1500,500)吹(2000,1000)\n"
                                     "[3000,2000]小(3000,1000)巷(4000,1000)\n");
const std::string kKrc = "[ar:林某]\n[ti:晚风]\n[1000,2000]<0,500,0>晚<500,500,0>风<1000,1000,0>吹\n"
                         "[3000,2000]<0,1000,0>小<1000,1000,0>巷\n";

class ServiceLookup : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("lirvo-services-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(dir / "lrc");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    LrcServiceOptions Options(std::vector<std::string> sources = {"netease", "qq", "kugou", "lrclib"}) {
        LrcServiceOptions options;
        options.BaseUrl = lrclib.Url();
        options.NeteaseUrl = netease.Url();
        options.QqMusicUrl = qq.Url();
        options.KugouUrl = kugou.Url();
        options.Sources = std::move(sources);
        options.ServiceDeadlineMs = 1500;
        options.RequestTimeoutMs = 3000;
        options.NoLyricFile = (dir / "nolyric.lst").string();
        return options;
    }
    std::shared_ptr<TServiceLookup> Lookup(std::vector<std::string> sources = {"netease", "qq", "kugou", "lrclib"}) {
        return std::make_shared<TServiceLookup>(Options(std::move(sources)));
    }
    int AllRequests() {
        return netease.RequestCount() + qq.RequestCount() + kugou.RequestCount() + lrclib.RequestCount();
    }

    static inline int counter = 0;
    std::filesystem::path dir;
    NeteaseStandIn netease;
    QqStandIn qq;
    KugouStandIn kugou;
    LrclibStandIn lrclib;
    const TSongQuery song{"晚风", "林某", "夏天", 5000};
};

// The lines of a lyric text as the band reads them, with their translations.
struct Read {
    TLrcClass timeline;
    explicit Read(const std::string &text) { timeline.LoadText(text); }
    const TLyricItem *At(int32_t ms) {
        timeline.SetPosition(ms);
        return timeline.CurrentItem();
    }
};

TEST_F(ServiceLookup, WordTimingWinsOverLineTimingAndOrderDecidesBetweenEquals) {
    netease.Songs = {{101, "晚风", "林某", "夏天", 5000, kLrc, "", "", "", false}};
    qq.Songs = {{202, "0039MnYb0qxYhV", "晚风", "林某", "夏天", 5, kQrc, "", "", ""}};
    kugou.Songs = {{"303", "AK303", "晚风", "林某", 5000, kKrc}};

    std::optional<TOnlineLyric> found = Lookup()->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "qq:202") << "NetEase is first, but has only line timing";
    EXPECT_EQ(netease.BadSeals.load(), 0);

    // QQ and Kugou both time words: the order of the services decides.
    found = Lookup({"kugou", "qq"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "kugou:303");
    found = Lookup({"qq", "kugou"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "qq:202");

    // A translation lifts NetEase's word timing above both.
    netease.Songs.Edit([](std::vector<NeteaseSong> &songs) {
        songs[0].Yrc = kYrc;
        songs[0].Ytlrc = kYtlrc;
    });
    found = Lookup({"kugou", "qq", "netease"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "netease:101");
    Read lyric(found->Text);
    const TLyricItem *line = lyric.At(1600);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->Text, "晚风吹");
    ASSERT_EQ(line->Words.size(), 3u);
    EXPECT_EQ(line->Words[1].Start, 1500);
    EXPECT_EQ(line->WordsEnd, 3000);
    EXPECT_EQ(lyric.timeline.CurrentTranslation(), "The evening wind");
}

TEST_F(ServiceLookup, NamesMatchAcrossScriptsAndLengthsTellVersionsApart) {
    // The service lists the song in traditional characters, twice: a live take and the record.
    kugou.Songs = {{"1", "K1", "晚風", "林某", 245000, kKrc}, {"2", "K2", "晚風", "林某", 5200, kKrc}};
    std::optional<TOnlineLyric> found = Lookup({"kugou"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "kugou:2");

    // Full-width letters and highlight tags are read as plain ones.
    kugou.Songs = {{"3", "K3", "Ｎｉｇｈｔ <em>Wind</em>", "Ｌｉｎ", 5000, kKrc}};
    found = Lookup({"kugou"})->FindSongLyric(TSongQuery{"night wind", "lin", "", 5000});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "kugou:3");

    // More than 2 s apart is another recording.
    kugou.Songs = {{"4", "K4", "晚风", "林某", 8000, kKrc}};
    EXPECT_FALSE(Lookup({"kugou"})->FindSongLyric(song));
}

TEST_F(ServiceLookup, OnlyOtherSongsMeanNoLyricAndTheSongIsNotAskedAgainForAWeek) {
    netease.Songs = {{7, "别的歌", "别人", "", 5000, kLrc, "", "", "", false}};
    qq.Songs = {{8, "000x", "另一首", "林某", "", 5, kQrc, "", "", ""}};
    kugou.Songs = {{"9", "K9", "晚风 (伴奏)", "某乐队", 5000, kKrc}};
    std::shared_ptr<TServiceLookup> lookup = Lookup();
    int64_t now = 1'800'000'000;
    lookup->SetClocks([] { return std::chrono::steady_clock::now(); }, [&] { return now; });

    TLyricLookupRequest request{"/nowhere/晚风.mp3", song, (dir / "lrc").string(), true};
    TLyricLookupResult result = LookupLyric(request, lookup.get());
    EXPECT_EQ(result.Source, TLyricSource::None);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "lrc")) << "nothing saved";

    const int asked = AllRequests();
    now += 6 * 24 * 3600;
    EXPECT_FALSE(lookup->FindSongLyric(song));
    EXPECT_EQ(AllRequests(), asked) << "not asked again within the week";
    // The memory is on disk: a new start remembers it too.
    std::shared_ptr<TServiceLookup> restarted = Lookup();
    restarted->SetClocks([] { return std::chrono::steady_clock::now(); }, [&] { return now; });
    EXPECT_FALSE(restarted->FindSongLyric(song));
    EXPECT_EQ(AllRequests(), asked);

    // The search window always asks, and a lyric taken by hand clears the mark.
    restarted->Search("晚风", "林某", "", 0);
    EXPECT_GT(AllRequests(), asked);
    restarted->ForgetNoLyric(song);
    const int beforeRetry = AllRequests();
    EXPECT_FALSE(restarted->FindSongLyric(song));
    EXPECT_GT(AllRequests(), beforeRetry);

    // After a week it is asked again.
    now += 8 * 24 * 3600;
    const int beforeWeek = AllRequests();
    EXPECT_FALSE(lookup->FindSongLyric(song));
    EXPECT_GT(AllRequests(), beforeWeek);
}

TEST_F(ServiceLookup, RefusedEncryptedSearchIsAskedThroughThePlainOne) {
    netease.Songs = {{55, "晚风", "林某", "夏天", 5000, kLrc, "[00:01.00]Evening wind\n", kYrc, kYtlrc, false}};
    netease.EapiSearchCode = -460;
    std::optional<TOnlineLyric> found = Lookup({"netease"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "netease:55");
    const std::vector<std::string> paths = netease.Requests();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/eapi/cloudsearch/pc");
    EXPECT_EQ(paths[1], "/api/search/get/web");
    EXPECT_EQ(paths[2], "/eapi/song/lyric/v1");
}

TEST_F(ServiceLookup, ARefusingServiceIsLeftOutForTenMinutesWhileTheOthersServe) {
    netease.Songs = {{55, "晚风", "林某", "夏天", 5000, kLrc, "", kYrc, "", false}};
    netease.EapiSearchCode = -462;
    netease.PlainSearchCode = -462;
    kugou.Songs = {{"303", "AK303", "晚风", "林某", 5000, kKrc}};
    std::shared_ptr<TServiceLookup> lookup = Lookup({"netease", "kugou"});
    auto now = std::chrono::steady_clock::now();
    lookup->SetClocks([&] { return now; }, [] { return services::TNoLyricMemory::Now(); });

    std::optional<TOnlineLyric> found = lookup->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "kugou:303");
    const int neteaseAsked = netease.RequestCount();
    EXPECT_EQ(neteaseAsked, 2);

    now += std::chrono::minutes(9);
    ASSERT_TRUE(lookup->FindSongLyric(song));
    EXPECT_EQ(netease.RequestCount(), neteaseAsked) << "backing off";
    now += std::chrono::minutes(2);
    netease.EapiSearchCode = 200;
    found = lookup->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "netease:55");
}

TEST_F(ServiceLookup, AServiceThatNeverAnswersIsLeftOut) {
    qq.DelayMs = 60'000;
    qq.Songs = {{202, "000q", "晚风", "林某", "夏天", 5, kQrc, "", "", ""}};
    lrclib.Songs = {{9, "晚风", "林某", "夏天", 5.0, "[00:01.00]晚风吹\n[00:03.00]小巷\n", false}};
    std::shared_ptr<TServiceLookup> lookup = Lookup({"qq", "lrclib"});
    std::optional<TOnlineLyric> found = lookup->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "lrclib:9") << "QQ's word timing would have won, had it answered";
}

TEST_F(ServiceLookup, QqWithoutWordTimingFallsBackToItsLineTimedLyric) {
    qq.Jsonp = true;
    qq.Songs = {{202, "0039MnYb0qxYhV", "晚风", "林某", "夏天", 5, "", "",
                 "[ti:晚风]\n[00:01.00]Rock &amp; roll&#33;\n[00:03.00]It&apos;s &quot;late&quot;\n",
                 "[00:01.00]摇滚\n[00:03.00]//\n"}};
    std::optional<TOnlineLyric> found = Lookup({"qq"})->FindSongLyric(song);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Where, "qq:202");
    const std::vector<std::string> paths = qq.Requests();
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[2], "/lyric/fcgi-bin/fcg_query_lyric_new.fcg");
    Read lyric(found->Text);
    ASSERT_NE(lyric.At(1500), nullptr);
    EXPECT_EQ(lyric.At(1500)->Text, "Rock & roll!");
    EXPECT_EQ(lyric.timeline.CurrentTranslation(), "摇滚");
    ASSERT_NE(lyric.At(3500), nullptr);
    EXPECT_EQ(lyric.At(3500)->Text, "It's \"late\"");
    EXPECT_EQ(lyric.timeline.CurrentTranslation(), "") << "'//' is no translation";
}

TEST_F(ServiceLookup, AnInstrumentalHasNoLyric) {
    netease.Songs = {{77, "晚风", "林某", "夏天", 5000, "[00:00.00]纯音乐，请欣赏\n", "", "", "", false}};
    lrclib.Songs = {{5, "晚风", "林某", "夏天", 5.0, "", true}};
    TLyricLookupRequest request{"/nowhere/晚风.mp3", song, (dir / "lrc").string(), true};
    std::shared_ptr<TServiceLookup> lookup = Lookup({"netease", "lrclib"});
    TLyricLookupResult result = LookupLyric(request, lookup.get());
    EXPECT_EQ(result.Source, TLyricSource::None);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "lrc"));
}

TEST_F(ServiceLookup, TheSavedLyricReadsBackWholeWithoutTheNetwork) {
    netease.Songs = {{101, "晚风", "林某", "夏天", 5000, kLrc, "", kYrc, kYtlrc, false}};
    const std::string lyricDir = (dir / "lrc").string();
    TLyricLookupRequest request{"/nowhere/晚风.mp3", song, lyricDir, true};
    TLyricLookupResult online = LookupLyric(request, Lookup().get());
    ASSERT_EQ(online.Source, TLyricSource::Online);
    EXPECT_EQ(online.Where, "netease:101");
    EXPECT_EQ(online.LyricFile, lyricDir + "/晚风 - 林某.lrc");

    request.OnlineAllowed = false;
    TLyricLookupResult offline = LookupLyric(request, nullptr);
    ASSERT_EQ(offline.Source, TLyricSource::Folder);
    Read before(online.Text), after(offline.Text);
    for (int32_t ms : {1200, 1700, 2500, 3500}) {
        ASSERT_NE(after.At(ms), nullptr);
        EXPECT_EQ(*after.At(ms), *before.At(ms)) << ms;
        EXPECT_EQ(after.timeline.CurrentTranslation(), before.timeline.CurrentTranslation());
    }
    EXPECT_EQ(after.At(3500)->WordsEnd, 5000);
    EXPECT_NE(offline.Text.find("netease:101"), std::string::npos) << "the file names its source";
}

TEST_F(ServiceLookup, TheSearchWindowListsEveryServiceAndNamesEachFailure) {
    netease.EapiSearchCode = -462;
    netease.PlainSearchCode = -462;
    qq.SearchCode = 2001;
    kugou.HttpStatus = 500;
    lrclib.Songs = {{9, "晚风", "林某", "夏天", 5.0, "[00:01.00]晚风吹\n", false},
                    {10, "晚风 (Live)", "某人", "", 300.0, "", false}};
    std::shared_ptr<TServiceLookup> lookup = Lookup();
    lookup->Search("晚风", "林某", "", 0);
    ASSERT_EQ(lookup->GetCount(), 2);
    EXPECT_EQ(lookup->GetResult(0)->Source, "lrclib");
    EXPECT_TRUE(lookup->GetResult(0)->Synced());
    const std::vector<TSourceFailure> failures = lookup->SourceFailures();
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0], (TSourceFailure{"网易云音乐", "需要验证"}));
    EXPECT_EQ(failures[1], (TSourceFailure{"QQ音乐", "需要登录"}));
    EXPECT_EQ(failures[2], (TSourceFailure{"酷狗音乐", "服务器错误（HTTP 500）"}));

    // With every service serving: rows of all of them, best match first, each telling what it
    // has; a row whose lyric did not come with the search is downloaded when taken.
    netease.EapiSearchCode = 200;
    qq.SearchCode = 0;
    kugou.HttpStatus = 200;
    netease.Songs = {{101, "晚风", "林某", "夏天", 5000, kLrc, "", kYrc, kYtlrc, false}};
    qq.Songs = {{202, "000q", "晚风", "林某", "夏天", 5, kQrc, "", "", ""}};
    kugou.Songs = {{"303", "AK303", "晚风", "林某", 5000, kKrc}};
    lookup->Search("晚风", "林某", "", 0);
    EXPECT_TRUE(lookup->SourceFailures().empty());
    ASSERT_EQ(lookup->GetCount(), 5);
    std::vector<std::string> order;
    for (int i = 0; i < lookup->GetCount(); ++i)
        order.push_back(lookup->GetResult(i)->Source);
    EXPECT_EQ(order, (std::vector<std::string>{"netease", "qq", "kugou", "lrclib", "lrclib"}));
    const TLrcResult first = *lookup->GetResult(0);
    EXPECT_TRUE(first.WordTimed);
    EXPECT_TRUE(first.Translated);
    EXPECT_EQ(lookup->Download(first.Id), first.SyncedLyrics);
    EXPECT_FALSE(lookup->GetResult(4)->Synced()) << "the live take has no synced lyric";
}

TEST(ServiceSources, OrderTextKeepsKnownServicesOnce) {
    EXPECT_EQ(services::ParseSourceOrder(" QQ, kugou,,nowhere,qq ,lrclib"),
              (std::vector<std::string>{"qq", "kugou", "lrclib"}));
    EXPECT_EQ(services::JoinSourceOrder({"netease", "lrclib"}), "netease,lrclib");
    EXPECT_TRUE(services::ParseSourceOrder("").empty());
}

} // namespace
} // namespace lirvo::lyrics::testing
