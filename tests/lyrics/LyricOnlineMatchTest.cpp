// The online step of the lookup against a local stand-in of the LRCLIB API: the exact entry,
// the filtered search, versions told apart by duration, what never counts as a lyric, failures,
// and the saved copy that the next play finds without the network.
#include "lyrics/core/LrclibService.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricLookup.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>
#include <mutex>
#include <thread>

namespace lirvo::lyrics {
namespace {

// Answers /api/get and /api/search from scripts and records every request it is sent.
class LrclibStandIn {
public:
    using Answer = std::pair<int, std::string>; // HTTP status, JSON body
    using Script = std::function<Answer(const httplib::Request &)>;

    Script onGet = [](const httplib::Request &) {
        return Answer{404, R"({"code":404,"name":"TrackNotFound","message":"Failed to find specified track"})"};
    };
    Script onSearch = [](const httplib::Request &) { return Answer{200, "[]"}; };

    LrclibStandIn() {
        auto serve = [this](Script LrclibStandIn::*script) {
            return [this, script](const httplib::Request &req, httplib::Response &res) {
                Answer answer;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_requests.push_back(req.path);
                    m_last = req;
                    answer = (this->*script)(req);
                }
                res.status = answer.first;
                res.set_content(answer.second, "application/json");
            };
        };
        m_server.Get("/api/get", serve(&LrclibStandIn::onGet));
        m_server.Get("/api/search", serve(&LrclibStandIn::onSearch));
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LrclibStandIn() {
        m_server.stop();
        m_thread.join();
    }
    std::shared_ptr<ILrcService> Service() const {
        LrcServiceOptions options;
        options.BaseUrl = "http://127.0.0.1:" + std::to_string(m_port);
        options.ConnectTimeoutMs = 1000;
        options.RequestTimeoutMs = 3000;
        options.Sources = {"lrclib"};
        return LRC_CreateObj(IID_ILrcService, options);
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    std::string Param(const char *name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last.has_param(name) ? m_last.get_param_value(name) : "<none>";
    }
    std::string UserAgent() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last.get_header_value("User-Agent");
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    httplib::Request m_last;
};

std::string Track(int id, const std::string &title, const std::string &artist, double seconds, const char *synced,
                  const char *plain = "some words", bool instrumental = false) {
    auto text = [](const char *t) { return t ? "\"" + std::string(t) + "\"" : std::string("null"); };
    return R"({"id":)" + std::to_string(id) + R"(,"trackName":")" + title + R"(","artistName":")" + artist +
           R"(","albumName":"专辑","duration":)" + std::to_string(seconds) +
           R"(,"instrumental":)" + (instrumental ? "true" : "false") + R"(,"plainLyrics":)" + text(plain) +
           R"(,"syncedLyrics":)" + text(synced) + "}";
}

class LyricsOnlineMatch : public ::testing::Test {
protected:
    TLyricLookupResult Lookup(bool online = true) {
        TLyricLookupRequest request;
        request.Path = folder.filePath("no-such-song.mp3").toStdString();
        request.Song = song;
        request.LyricDir = folder.path().toStdString();
        request.OnlineAllowed = online;
        return LookupLyric(request, service.get());
    }
    QStringList Saved() const { return QDir(folder.path()).entryList({"*.lrc"}, QDir::Files); }

    LrclibStandIn server;
    std::shared_ptr<ILrcService> service = server.Service();
    QTemporaryDir folder;
    TSongQuery song{"晴天", "周杰伦", "叶惠美", 269400};
};

TEST_F(LyricsOnlineMatch, ExactEntryIsTakenFromOneRequestAndKeptUnderItsSongName) {
    server.onGet = [](const httplib::Request &) {
        return LrclibStandIn::Answer{200, Track(7, "晴天", "周杰伦", 269, "[00:01.00]故事的小黄花")};
    };
    const TLyricLookupResult found = Lookup();
    EXPECT_EQ(found.Source, TLyricSource::Online);
    EXPECT_EQ(found.Where, "lrclib:7");
    EXPECT_EQ(found.Text, "[lirvo-source:lrclib:7]\r\n[00:01.00]故事的小黄花\r\n");
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/api/get"});
    EXPECT_EQ(server.Param("track_name"), "晴天");
    EXPECT_EQ(server.Param("artist_name"), "周杰伦");
    EXPECT_EQ(server.Param("album_name"), "叶惠美");
    EXPECT_EQ(server.Param("duration"), "269");
    EXPECT_EQ(server.UserAgent(), std::string("Lirvo/") + LIRVO_VERSION_TEXT + " (http://www.lirvo.net)");
    EXPECT_EQ(Saved(), QStringList{"晴天 - 周杰伦.lrc"});
    EXPECT_EQ(found.LyricFile, folder.filePath("晴天 - 周杰伦.lrc").toStdString());
}

TEST_F(LyricsOnlineMatch, UnknownAlbumAndDurationAreLeftOutOfTheQuery) {
    EXPECT_EQ(service->Get("晴天", "周杰伦", "", 0), std::nullopt);
    EXPECT_EQ(server.Param("album_name"), "<none>");
    EXPECT_EQ(server.Param("duration"), "<none>");
}

// What the search step takes and what it refuses, each with a fresh stand-in answer.
TEST_F(LyricsOnlineMatch, SearchTakesOnlyASyncedLyricOfThisSong) {
    struct Case {
        const char *name;
        std::string getAnswer; // "" for 404
        std::string searchAnswer;
        const char *expectWhere; // nullptr: no lyric
    };
    const Case cases[] = {
        {"get_404_then_search",
         "",
         "[" + Track(1, "Sunny", "Someone", 269, "[00:01.00]other") + "," +
             Track(2, "晴天", "周杰伦", 269, "[00:01.00]right") + "]",
         "2"},
        {"exact_plain_only_then_synced_duplicate",
         Track(3, "晴天", "周杰伦", 269, nullptr),
         "[" + Track(3, "晴天", "周杰伦", 269, nullptr) + "," + Track(4, "晴天", "周杰伦", 270, "[00:01.00]synced") +
             "]",
         "4"},
        {"versions_told_apart_by_duration",
         "",
         "[" + Track(5, "晴天", "周杰伦", 200, "[00:01.00]short version") + "," +
             Track(6, "晴天", "周杰伦", 268.6, "[00:01.00]album version") + "," +
             Track(7, "晴天", "周杰伦", 270.9, "[00:01.00]live version") + "]",
         "6"},
        {"nearest_duration_beats_a_better_name",
         "",
         "[" + Track(8, "晴天", "周杰伦", 271, "[00:01.00]exact name") + "," +
             Track(9, "晴天.", "周杰伦", 269, "[00:01.00]nearest") + "]",
         "9"},
        {"loose_search_with_only_other_songs",
         "",
         "[" + Track(10, "Sunny Day", "周杰伦", 269, "[00:01.00]x") + "," +
             Track(11, "晴天", "Someone Else", 269, "[00:01.00]y") + "," +
             Track(12, "晴天 (DJ Remix Extended)", "周杰伦", 269, "[00:01.00]z") + "]",
         nullptr},
        {"every_version_too_far_in_time",
         "",
         "[" + Track(13, "晴天", "周杰伦", 266, "[00:01.00]a") + "," + Track(14, "晴天", "周杰伦", 272, "[00:01.00]b") +
             "]",
         nullptr},
        {"instrumental_search_result",
         "",
         "[" + Track(15, "晴天", "周杰伦", 269, "[00:01.00]x", nullptr, true) + "]",
         nullptr},
        {"instrumental_exact_entry", Track(16, "晴天", "周杰伦", 269, nullptr, nullptr, true),
         "[" + Track(17, "晴天", "周杰伦", 269, "[00:01.00]x") + "]", nullptr},
        {"blank_synced_lyric", "", "[" + Track(18, "晴天", "周杰伦", 269, "  ") + "]", nullptr},
    };
    for (const Case &c : cases) {
        QTemporaryDir fresh;
        folder.swap(fresh);
        server.onGet = [&c](const httplib::Request &) {
            return c.getAnswer.empty() ? LrclibStandIn::Answer{404, R"({"code":404})"}
                                       : LrclibStandIn::Answer{200, c.getAnswer};
        };
        server.onSearch = [&c](const httplib::Request &) { return LrclibStandIn::Answer{200, c.searchAnswer}; };
        const std::size_t before = server.Requests().size();
        const TLyricLookupResult found = Lookup();
        const std::size_t requests = server.Requests().size() - before;
        EXPECT_TRUE(found.AskedOnline) << c.name;
        EXPECT_EQ(found.OnlineError, "") << c.name;
        if (c.expectWhere) {
            EXPECT_EQ(found.Source, TLyricSource::Online) << c.name;
            EXPECT_EQ(found.Where, std::string("lrclib:") + c.expectWhere) << c.name;
            EXPECT_EQ(Saved(), QStringList{"晴天 - 周杰伦.lrc"}) << c.name;
            // The lyric came with the answers: the get and the search, no request per result.
            EXPECT_EQ(requests, 2u) << c.name;
        } else {
            EXPECT_EQ(found.Source, TLyricSource::None) << c.name;
            EXPECT_EQ(found.Text, "") << c.name;
            EXPECT_TRUE(Saved().isEmpty()) << c.name;
        }
    }
}

TEST_F(LyricsOnlineMatch, WithoutAnArtistTheTitleAndDurationDecide) {
    song = TSongQuery{"Track One", "", "", 180000};
    server.onSearch = [](const httplib::Request &) {
        return LrclibStandIn::Answer{200, "[" + Track(1, "Track One", "Anybody", 181, "[00:01.00]x") + "]"};
    };
    const TLyricLookupResult found = Lookup();
    EXPECT_EQ(found.Where, "lrclib:1");
    EXPECT_EQ(Saved(), QStringList{"Track One.lrc"});
}

TEST_F(LyricsOnlineMatch, ServerErrorIsNamedAndGivesNoLyric) {
    server.onGet = [](const httplib::Request &) { return LrclibStandIn::Answer{500, "oops"}; };
    server.onSearch = [](const httplib::Request &) { return LrclibStandIn::Answer{500, "oops"}; };
    const TLyricLookupResult found = Lookup();
    EXPECT_EQ(found.Source, TLyricSource::None);
    EXPECT_EQ(found.OnlineError, "LRCLIB：服务器错误（HTTP status 500）");
    EXPECT_TRUE(Saved().isEmpty());
}

TEST_F(LyricsOnlineMatch, APlayThenAnotherPlayFindTheKeptLyricWithoutTheNetwork) {
    server.onGet = [](const httplib::Request &) {
        return LrclibStandIn::Answer{200, Track(7, "晴天", "周杰伦", 269, "[00:01.00]故事的小黄花")};
    };
    const TLyricLookupResult first = Lookup();
    ASSERT_EQ(first.Source, TLyricSource::Online);
    const std::size_t requests = server.Requests().size();

    for (bool online : {false, true}) {
        const TLyricLookupResult again = Lookup(online);
        EXPECT_EQ(again.Source, TLyricSource::Folder) << online;
        EXPECT_EQ(again.Text, first.Text) << online;
        EXPECT_EQ(again.Where, first.LyricFile) << online;
        EXPECT_FALSE(again.AskedOnline) << online;
    }
    EXPECT_EQ(server.Requests().size(), requests);
}

} // namespace
} // namespace lirvo::lyrics
