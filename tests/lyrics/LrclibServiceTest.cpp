// The LRCLIB lyric service against a local server that speaks the same API.
#include "QtTestApp.h"

#include "lyrics/core/LrclibService.h"
#include "lyrics/core/UntLrcThread.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lirvo::lyrics {
namespace {

[[maybe_unused]] ::testing::Environment *const kQtApp =
    ::testing::AddGlobalTestEnvironment(new testing::QtAppEnvironment);

class LocalLrclib {
public:
    LocalLrclib() {
        m_server.Get("/api/search", [this](const httplib::Request &req, httplib::Response &res) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                trackName = req.get_param_value("track_name");
                artistName = req.get_param_value("artist_name");
                userAgent = req.get_header_value("User-Agent");
            }
            const std::string &t = req.get_param_value("track_name");
            if (t == "missing") {
                res.status = 404;
                res.set_content(R"({"statusCode":404,"error":"Not Found"})", "application/json");
            } else if (t == "broken") {
                res.set_content(R"([{"id":1,"trackName":"x")", "application/json");
            } else if (t == "error object") {
                res.set_content(R"({"code":400,"name":"QueryParamsInvalid","message":"bad"})",
                                "application/json");
            } else if (t == "crash") {
                res.status = 500;
                res.set_content(R"([{"id":1,"trackName":"x"}])", "application/json");
            } else {
                res.set_content(R"([
                    {"id":7,"trackName":"晴天","artistName":"Singer A","albumName":"Album","duration":269,
                     "syncedLyrics":"[00:01.00]x"},
                    {"id":8,"trackName":"Other","artistName":null,"albumName":5},
                    {"id":"9","trackName":"id is text"},
                    {"id":99999999999,"trackName":"id too large"},
                    {"trackName":"no id"},
                    42,
                    {"id":10,"trackName":"last","artistName":"B","albumName":""}
                ])",
                                "application/json");
            }
        });
        m_server.Get(R"(/api/get/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
            const std::string id = req.matches[1];
            if (id == "7")
                res.set_content(
                    R"({"id":7,"syncedLyrics":"[00:01.00]晴天\n[00:02.00]two","plainLyrics":"p"})",
                    "application/json");
            else if (id == "8")
                res.set_content(R"({"id":8,"syncedLyrics":null,"plainLyrics":"only plain"})",
                                "application/json");
            else if (id == "10")
                res.set_content(R"({"id":10,"syncedLyrics":")" + std::string(10000, 'z') + R"("})",
                                "application/json");
            else if (id == "11")
                res.set_content(R"({"id":11,"syncedLyrics":[1,2]})", "application/json");
            else {
                res.status = 404;
                res.set_content(
                    R"({"code":404,"name":"TrackNotFound","message":"Failed to find specified track"})",
                    "application/json");
            }
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~LocalLrclib() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string Seen(std::string LocalLrclib::*field) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return this->*field;
    }

    std::string trackName, artistName, userAgent;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
};

LrcServiceOptions Quick(const std::string &url) {
    LrcServiceOptions options;
    options.BaseUrl = url;
    options.ConnectTimeoutMs = 1000;
    options.RequestTimeoutMs = 2000;
    return options;
}

TEST(LyricsLrclib, SearchKeepsWellFormedTracksAndSendsTheQuery) {
    LocalLrclib server;
    TLrclibService service(Quick(server.Url() + "/"));
    service.Search("晴天 & more", "Singer A", "", 0);
    EXPECT_EQ(server.Seen(&LocalLrclib::trackName), "晴天 & more");
    EXPECT_EQ(server.Seen(&LocalLrclib::artistName), "Singer A");
    EXPECT_TRUE(server.Seen(&LocalLrclib::userAgent).starts_with("Lirvo/"))
        << server.Seen(&LocalLrclib::userAgent);

    ASSERT_EQ(service.GetCount(), 3);
    TLrcResult first{"晴天", "Singer A", "Album", 7, 269, false, "[00:01.00]x", false, "", false, false, false};
    EXPECT_EQ(service.GetResult(0), first);
    EXPECT_EQ(service.GetResult(1), (TLrcResult{"Other", "", "", 8, 0, false, "", false, "", false, false, false}));
    EXPECT_EQ(service.GetResult(2), (TLrcResult{"last", "B", "", 10, 0, false, "", false, "", false, false, false}));
    EXPECT_EQ(service.GetResult(3), std::nullopt);
    EXPECT_EQ(service.GetResult(-1), std::nullopt);

    service.Reset();
    EXPECT_EQ(service.GetCount(), 0);
}

TEST(LyricsLrclib, FailedSearchesLeaveNoResults) {
    LocalLrclib server;
    TLrclibService service(Quick(server.Url()));
    for (const char *title : {"missing", "broken", "error object", "crash"}) {
        service.Search("good", "", "", 0);
        ASSERT_GT(service.GetCount(), 0);
        service.Search(title, "", "", 0);
        EXPECT_EQ(service.GetCount(), 0) << title;
        EXPECT_NE(service.LastError(), "") << title;
    }
    service.Search("good", "", "", 0);
    EXPECT_EQ(service.LastError(), "");
}

TEST(LyricsLrclib, DownloadTakesSyncedLyricsWhole) {
    LocalLrclib server;
    TLrclibService service(Quick(server.Url()));
    EXPECT_EQ(service.Download(7), "[00:01.00]晴天\n[00:02.00]two");
    EXPECT_EQ(service.Download(8), "") << "a track without synced lyrics";
    EXPECT_EQ(service.LastError(), "") << "nothing failed, there is just no synced lyric";
    EXPECT_EQ(service.Download(10), std::string(10000, 'z'));
    EXPECT_EQ(service.Download(11), "") << "wrong type";
    EXPECT_EQ(service.Download(404), "");
    EXPECT_EQ(service.LastError(), "HTTP status 404");
    EXPECT_EQ(service.Download(-3), "");
}

TEST(LyricsLrclib, UnreachableServerGivesNothing) {
    // A port that was free a moment ago: the connection is refused.
    int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(sock);
    TLrclibService service(Quick("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port))));
    service.Search("a", "b", "", 0);
    EXPECT_EQ(service.GetCount(), 0);
    EXPECT_EQ(service.Download(1), "");
}

TEST(LyricsLrclib, SilentServerTimesOut) {
    // Listens but never accepts: the connection is made, the answer never comes.
    int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(sock, 8), 0);
    socklen_t len = sizeof addr;
    ::getsockname(sock, reinterpret_cast<sockaddr *>(&addr), &len);
    LrcServiceOptions options = Quick("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)));
    options.RequestTimeoutMs = 300;
    TLrclibService service(options);
    service.Search("a", "b", "", 0);
    EXPECT_EQ(service.GetCount(), 0);
    EXPECT_EQ(service.Download(1), "");
    ::close(sock);
}

TEST(LyricsLrclib, CreatedOnlyForItsInterfaceId) {
    std::shared_ptr<ILrcService> service = LRC_CreateObj(IID_ILrcService);
    ASSERT_NE(service, nullptr);
    // The service asks every online service, LRCLIB at its own address among them.
    EXPECT_EQ(service->Sources(), (std::vector<std::string>{"netease", "qq", "kugou", "lrclib"}));
    TGuid other = IID_ILrcService;
    other.Data4[7] ^= 1;
    EXPECT_EQ(LRC_CreateObj(other), nullptr);
}

TEST(LyricsLrclib, AutomaticLookupFetchesTheBestResultOnline) {
    LocalLrclib server;
    LrcServiceOptions options = Quick(server.Url());
    options.Sources = {"lrclib"};
    std::shared_ptr<ILrcService> service = LRC_CreateObj(IID_ILrcService, options);
    bool finished = false;
    std::string text;
    TLrcTextThread::Start(service, {"/nowhere/song.mp3", "晴天", "Singer A", "", "/nowhere/lrc", true, "", 0},
                          nullptr, [&](TLrcTextThread &worker) {
                              finished = true;
                              text = worker.LrcText();
                          });
    ASSERT_TRUE(testing::WaitUntil([&] { return finished; }));
    // Taken from the search answer that carried it.
    EXPECT_EQ(text, "[lirvo-source:lrclib:7]\r\n[00:01.00]x\r\n");
    EXPECT_TRUE(testing::WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));
}

TEST(LyricsLrclibAnswers, OddShapesAreTolerated) {
    EXPECT_TRUE(ParseLrclibSearchAnswer("").empty());
    EXPECT_TRUE(ParseLrclibSearchAnswer("null").empty());
    EXPECT_TRUE(ParseLrclibSearchAnswer(R"({"id":1})").empty());
    EXPECT_TRUE(ParseLrclibSearchAnswer(R"([{"id":1.5,"trackName":"x"}])").empty());
    EXPECT_EQ(ParseLrclibSearchAnswer(R"([{"id":-2,"trackName":{"a":1},"duration":-5,"instrumental":"yes"}])"),
              (std::vector<TLrcResult>{{"", "", "", -2, 0, false, "", false, "", false, false, false}}));
    EXPECT_EQ(ParseLrclibLyricAnswer(R"({"syncedLyrics":"a","statusCode":200})"), "");
    EXPECT_EQ(ParseLrclibLyricAnswer(R"(["syncedLyrics"])"), "");
    EXPECT_EQ(ParseLrclibLyricAnswer("{\"syncedLyrics\":\"a\\u0000b\"}"), std::string("a\0b", 3));
}

} // namespace
} // namespace lirvo::lyrics
