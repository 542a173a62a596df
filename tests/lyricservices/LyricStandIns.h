#pragma once
// Local stand-ins of the four lyric services, answering as the real ones do: NetEase's eapi
// (requests sealed and checked, the plain search beside it), QQ Music's musicu and fcg
// addresses (lyrics encrypted with its DES variant), Kugou's search and KRC download, LRCLIB.
// Each holds a small catalogue that every search lists (a real search also lists near misses);
// tests script refusals and delays and count the requests.

#include "LyricSeals.h"

#include "function/text/FastStrings.h"
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/EapiCodec.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lirvo::lyrics::testing {

// A catalogue that tests fill while the stand-in's threads read it.
template <typename Song> class TCatalogue {
public:
    TCatalogue &operator=(std::vector<Song> songs) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_songs = std::move(songs);
        return *this;
    }
    template <typename Change> void Edit(Change &&change) {
        std::lock_guard<std::mutex> lock(m_mutex);
        change(m_songs);
    }
    std::vector<Song> Get() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_songs;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Song> m_songs;
};

class StandInServer {
public:
    StandInServer() = default;
    virtual ~StandInServer() { Stop(); }
    StandInServer(const StandInServer &) = delete;
    StandInServer &operator=(const StandInServer &) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // Every request's path, in order.
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int RequestCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(m_requests.size());
    }
    std::atomic<int> DelayMs{0}; // before every answer

protected:
    void Start() {
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Stop() {
        if (m_thread.joinable()) {
            m_stopping = true;
            m_server.stop();
            m_thread.join();
        }
    }
    void Note(const httplib::Request &req) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(req.path);
        }
        // A delay that ends early when the server stops, so a test never waits it out.
        for (int waited = 0; waited < DelayMs.load() && !m_stopping; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    static void Json(httplib::Response &res, const nlohmann::json &body) {
        res.set_content(body.dump(), "application/json;charset=utf-8");
    }

    httplib::Server m_server;
    std::mutex m_mutex;

private:
    int m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_requests;
    std::atomic<bool> m_stopping{false};
};

// ---- NetEase Cloud Music ----
struct NeteaseSong {
    int64_t Id = 0;
    std::string Name, Artist, Album;
    int64_t DurationMs = 0;
    std::string Lrc, Tlyric, Yrc, Ytlrc;
    bool NoLyric = false;
};

class NeteaseStandIn : public StandInServer {
public:
    TCatalogue<NeteaseSong> Songs;
    std::atomic<int> EapiSearchCode{200}; // e.g. -460: the eapi search refuses
    std::atomic<int> PlainSearchCode{200};
    std::atomic<int> LyricCode{200};
    std::atomic<int> BadSeals{0}; // eapi requests whose sealing did not check out

    NeteaseStandIn() {
        m_server.Post("/eapi/cloudsearch/pc", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            std::optional<nlohmann::json> params = Unseal(req, "/api/cloudsearch/pc");
            if (!params)
                return Json(res, {{"code", 400}, {"msg", "bad params"}});
            if (EapiSearchCode != 200)
                return Json(res, {{"code", EapiSearchCode.load()}, {"msg", "Cheating"}});
            nlohmann::json songs = nlohmann::json::array();
            for (const NeteaseSong &song : Catalogue())
                songs.push_back({{"id", song.Id},
                                 {"name", song.Name},
                                 {"alia", nlohmann::json::array()},
                                 {"ar", {{{"id", 1}, {"name", song.Artist}}}},
                                 {"al", {{"id", 2}, {"name", song.Album}}},
                                 {"dt", song.DurationMs}});
            nlohmann::json result = {{"songCount", songs.size()}};
            if (!songs.empty())
                result["songs"] = songs;
            Json(res, {{"code", 200}, {"result", result}});
        });
        m_server.Post("/api/search/get/web", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            if (PlainSearchCode != 200)
                return Json(res, {{"code", PlainSearchCode.load()}, {"msg", "Cheating"}});
            nlohmann::json songs = nlohmann::json::array();
            for (const NeteaseSong &song : Catalogue())
                songs.push_back({{"id", song.Id},
                                 {"name", song.Name},
                                 {"artists", {{{"name", song.Artist}}}},
                                 {"album", {{"name", song.Album}}},
                                 {"duration", song.DurationMs}});
            Json(res, {{"code", 200}, {"result", {{"songs", songs}, {"songCount", songs.size()}}}});
        });
        m_server.Post("/eapi/song/lyric/v1", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            std::optional<nlohmann::json> params = Unseal(req, "/api/song/lyric/v1");
            if (!params || !(*params)["id"].is_string())
                return Json(res, {{"code", 400}});
            if (LyricCode != 200)
                return Json(res, {{"code", LyricCode.load()}, {"msg", "操作频繁，请稍候再试"}});
            for (const NeteaseSong &song : Catalogue()) {
                if (std::to_string(song.Id) != (*params)["id"].get<std::string>())
                    continue;
                if (song.NoLyric)
                    return Json(res, {{"code", 200}, {"nolyric", true}, {"sgc", false}});
                nlohmann::json answer = {{"code", 200}, {"sgc", false}, {"qfy", false}};
                auto member = [&](const char *key, const std::string &text) {
                    answer[key] = {{"version", 3}, {"lyric", text}};
                };
                member("lrc", song.Lrc);
                member("tlyric", song.Tlyric);
                member("romalrc", "");
                if (!song.Yrc.empty()) {
                    member("yrc", song.Yrc);
                    member("ytlrc", song.Ytlrc);
                }
                return Json(res, answer);
            }
            Json(res, {{"code", 200}, {"uncollected", true}});
        });
        Start();
    }
    ~NeteaseStandIn() override { Stop(); }

private:
    std::vector<NeteaseSong> Catalogue() { return Songs.Get(); }
    // The request's parameters, when its sealing is right for this path.
    std::optional<nlohmann::json> Unseal(const httplib::Request &req, const std::string &path) {
        using namespace lirvo::lyrics::codecs;
        std::optional<std::string> sealed = DecodeHex(req.get_param_value("params"));
        std::optional<std::string> plain = sealed ? EapiOpenAnswer(*sealed) : std::nullopt;
        static const std::string kCut = "-36cd479b6b5-";
        const std::size_t first = plain ? plain->find(kCut) : std::string::npos;
        const std::size_t last = plain ? plain->rfind(kCut) : std::string::npos;
        if (first == std::string::npos || last == first || plain->substr(0, first) != path) {
            ++BadSeals;
            return std::nullopt;
        }
        const std::string json = plain->substr(first + kCut.size(), last - first - kCut.size());
        if (plain->substr(last + kCut.size()) != Md5Hex("nobody" + path + "use" + json + "md5forencrypt") ||
            req.get_header_value("Cookie").find("os=pc") == std::string::npos) {
            ++BadSeals;
            return std::nullopt;
        }
        nlohmann::json params = nlohmann::json::parse(json, nullptr, false);
        if (params.is_discarded() || !params.contains("header") || !params["header"].is_string()) {
            ++BadSeals;
            return std::nullopt;
        }
        return params;
    }
};

// ---- QQ Music ----
struct QqSong {
    int64_t Id = 0;
    std::string Mid, Name, Singer, Album;
    int Interval = 0;          // seconds
    std::string LyricText;     // what GetPlayLyricInfo's "lyric" holds before sealing ("" = none)
    std::string TransText;
    std::string FcgLyric;      // what fcg_query_lyric_new holds (LRC, entity-escaped), before base64
    std::string FcgTrans;
};

class QqStandIn : public StandInServer {
public:
    TCatalogue<QqSong> Songs;
    std::atomic<int> SearchCode{0}; // 2001: the login wall
    std::atomic<bool> Jsonp{false};
    std::atomic<int> HttpStatus{200};

    QqStandIn() {
        m_server.Post("/cgi-bin/musicu.fcg", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            if (HttpStatus != 200) {
                res.status = HttpStatus;
                return;
            }
            const nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
            if (body.is_discarded() || !body.contains("req") || !body.contains("comm"))
                return Json(res, {{"code", 500001}});
            const nlohmann::json &r = body["req"];
            const std::string module = r.value("module", "");
            if (module == "music.search.SearchCgiService") {
                if (SearchCode != 0)
                    return Json(res, {{"code", 0}, {"req", {{"code", SearchCode.load()}}}});
                nlohmann::json list = nlohmann::json::array();
                for (const QqSong &song : Catalogue())
                    list.push_back({{"id", song.Id},
                                    {"mid", song.Mid},
                                    {"name", song.Name},
                                    {"title", "<em>" + song.Name + "</em>"},
                                    {"singer", {{{"name", song.Singer}}}},
                                    {"album", {{"name", song.Album}}},
                                    {"interval", song.Interval}});
                return Json(res, {{"code", 0}, {"req", {{"code", 0}, {"data", {{"body", {{"song", {{"list", list}}}}}}}}}});
            }
            if (module == "music.musichallSong.PlayLyricInfo") {
                const int64_t id = r["param"].value("songID", int64_t{0});
                for (const QqSong &song : Catalogue())
                    if (song.Id == id)
                        return Json(res, {{"code", 0},
                                          {"req",
                                           {{"code", 0},
                                            {"data",
                                             {{"songID", id},
                                              {"lyric", song.LyricText.empty() ? "" : QqSeal(song.LyricText)},
                                              {"trans", song.TransText.empty() ? "" : QqSeal(song.TransText)},
                                              {"roma", ""},
                                              {"crypt", 1},
                                              {"qrc_t", 0}}}}}});
                return Json(res, {{"code", 0}, {"req", {{"code", 0}, {"data", {{"lyric", ""}, {"trans", ""}}}}}});
            }
            Json(res, {{"code", 500001}});
        });
        m_server.Get("/lyric/fcgi-bin/fcg_query_lyric_new.fcg", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            // Without the referrer nothing comes back, as from the real service.
            if (req.get_header_value("Referer").find("y.qq.com") == std::string::npos)
                return;
            nlohmann::json answer = {{"retcode", -1901}, {"code", -1901}, {"subcode", -1901}};
            for (const QqSong &song : Catalogue())
                if (song.Mid == req.get_param_value("songmid") && !song.FcgLyric.empty())
                    answer = {{"retcode", 0},
                              {"code", 0},
                              {"subcode", 0},
                              {"lyric", text::EncodeBase64Text(song.FcgLyric)},
                              {"trans", song.FcgTrans.empty() ? "" : text::EncodeBase64Text(song.FcgTrans)}};
            const std::string body = answer.dump();
            res.set_content(Jsonp ? "MusicJsonCallback(" + body + ")" : body, "application/json");
        });
        Start();
    }
    ~QqStandIn() override { Stop(); }

private:
    std::vector<QqSong> Catalogue() { return Songs.Get(); }
};

// ---- Kugou ----
struct KugouSong {
    std::string Id, AccessKey, Song, Singer;
    int64_t DurationMs = 0;
    std::string Krc; // the plain KRC text
};

class KugouStandIn : public StandInServer {
public:
    TCatalogue<KugouSong> Songs;
    std::atomic<int> HttpStatus{200};

    KugouStandIn() {
        m_server.Get("/search", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            if (HttpStatus != 200) {
                res.status = HttpStatus;
                return res.set_content("<html>error</html>", "text/html");
            }
            nlohmann::json candidates = nlohmann::json::array();
            for (const KugouSong &song : Catalogue())
                candidates.push_back({{"id", song.Id},
                                      {"accesskey", song.AccessKey},
                                      {"song", song.Song},
                                      {"singer", song.Singer},
                                      {"duration", song.DurationMs},
                                      {"score", 60}});
            Json(res, {{"status", 200}, {"info", "OK"}, {"errcode", 200}, {"errmsg", ""},
                       {"keyword", req.get_param_value("keyword")}, {"candidates", candidates}});
        });
        m_server.Get("/download", [this](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            for (const KugouSong &song : Catalogue())
                if (song.Id == req.get_param_value("id") && song.AccessKey == req.get_param_value("accesskey"))
                    return Json(res, {{"status", 200}, {"info", "OK"}, {"error_code", 0}, {"fmt", "krc"},
                                      {"contenttype", 0}, {"charset", "utf8"}, {"content", KrcSeal(song.Krc)}});
            Json(res, {{"status", 404}, {"info", "not found"}, {"error_code", 404}});
        });
        Start();
    }
    ~KugouStandIn() override { Stop(); }

private:
    std::vector<KugouSong> Catalogue() { return Songs.Get(); }
};

// ---- LRCLIB ----
struct LrclibSong {
    int Id = 0;
    std::string Track, Artist, Album;
    double Duration = 0;
    std::string Synced;
    bool Instrumental = false;
};

class LrclibStandIn : public StandInServer {
public:
    TCatalogue<LrclibSong> Songs;

    LrclibStandIn() {
        auto track = [](const LrclibSong &song) {
            nlohmann::json synced = song.Synced.empty() ? nlohmann::json(nullptr) : nlohmann::json(song.Synced);
            return nlohmann::json{{"id", song.Id},           {"trackName", song.Track},   {"artistName", song.Artist},
                                  {"albumName", song.Album}, {"duration", song.Duration}, {"instrumental", song.Instrumental},
                                  {"plainLyrics", nullptr},  {"syncedLyrics", synced}};
        };
        m_server.Get("/api/get", [this, track](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            for (const LrclibSong &song : Catalogue())
                if (song.Track == req.get_param_value("track_name") && song.Artist == req.get_param_value("artist_name"))
                    return Json(res, track(song));
            res.status = 404;
            Json(res, {{"code", 404}, {"name", "TrackNotFound"}, {"message", "Failed to find specified track"}});
        });
        m_server.Get("/api/search", [this, track](const httplib::Request &req, httplib::Response &res) {
            Note(req);
            nlohmann::json list = nlohmann::json::array();
            for (const LrclibSong &song : Catalogue())
                list.push_back(track(song));
            Json(res, list);
        });
        Start();
    }
    ~LrclibStandIn() override { Stop(); }

private:
    std::vector<LrclibSong> Catalogue() { return Songs.Get(); }
};

} // namespace lirvo::lyrics::testing
