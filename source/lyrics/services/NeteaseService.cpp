#include "lyrics/services/NeteaseService.h"

#include "lyrics/codecs/EapiCodec.h"
#include "lyrics/formats/LineTimedLrc.h"
#include "lyrics/formats/TranslationMatch.h"
#include "lyrics/formats/YrcFormat.h"
#include "lyrics/core/HttpTransport.h"
#include "lyrics/services/ServiceAnswers.h"

#include <nlohmann/json.hpp>

#include <random>

namespace lirvo::lyrics::services {

namespace {

constexpr int32_t kTranslationToleranceMs = 50;

// The service's refusals: a caller it takes for a robot, a captcha wall, a rate limit.
TServiceFailure FailureForCode(int64_t code) {
    switch (code) {
    case -460:
        return {TFailureKind::Refused, "拒绝访问"};
    case -462:
        return {TFailureKind::Refused, "需要验证"};
    case 405:
        return {TFailureKind::Refused, "请求过于频繁"};
    default:
        return {TFailureKind::Refused, "服务器拒绝（代码 " + std::to_string(code) + "）"};
    }
}

// nullopt when the answer says success; else why it failed.
std::optional<TServiceFailure> AnswerFailure(const nlohmann::json &answer) {
    if (!answer.is_object())
        return MalformedAnswer();
    const int64_t code = IntegerField(answer, "code").value_or(200);
    if (code != 200)
        return FailureForCode(code);
    if (auto abroad = answer.find("abroad"); abroad != answer.end() && abroad->is_boolean() && abroad->get<bool>())
        return TServiceFailure{TFailureKind::Refused, "仅限中国大陆使用"};
    return std::nullopt;
}

std::string JoinNames(const nlohmann::json *list) {
    std::string out;
    if (!list || !list->is_array())
        return out;
    for (const nlohmann::json &entry : *list) {
        const std::string name = entry.is_object() ? TextField(entry, "name") : std::string();
        if (name.empty())
            continue;
        if (!out.empty())
            out += "/";
        out += name;
    }
    return out;
}

// The "lyric" text of a member such as "yrc": {"version":N,"lyric":"..."}.
std::string LyricMemberOf(const nlohmann::json &answer, const char *key) {
    const nlohmann::json *member = MemberOf(answer, key);
    return member && member->is_object() ? TextField(*member, "lyric") : std::string();
}

std::string RandomHex(std::size_t bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::random_device device;
    std::uniform_int_distribution<int> nibble(0, 15);
    std::string out;
    for (std::size_t i = 0; i < bytes * 2; ++i)
        out.push_back(kHex[nibble(device)]);
    return out;
}

} // namespace

TSearchAnswer ParseNeteaseSearchAnswer(std::string_view body) {
    TSearchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    if (std::optional<TServiceFailure> failure = AnswerFailure(answer)) {
        out.Failure = *failure;
        return out;
    }
    const nlohmann::json *result = MemberOf(answer, "result");
    if (!result || !result->is_object())
        return out; // nothing found
    const nlohmann::json *songs = MemberOf(*result, "songs");
    if (!songs || !songs->is_array())
        return out;
    for (const nlohmann::json &song : *songs) {
        if (!song.is_object())
            continue;
        std::optional<int64_t> id = IntegerField(song, "id");
        if (!id || *id <= 0)
            continue;
        TCandidate candidate;
        candidate.Service = "netease";
        candidate.Id = std::to_string(*id);
        candidate.Title = TextField(song, "name");
        // The eapi shape names artists "ar", album "al", length "dt"; the plain one spells them out.
        const nlohmann::json *artists = MemberOf(song, "ar");
        candidate.Artist = JoinNames(artists ? artists : MemberOf(song, "artists"));
        const nlohmann::json *album = MemberOf(song, "al");
        if (!album)
            album = MemberOf(song, "album");
        if (album && album->is_object())
            candidate.Album = TextField(*album, "name");
        const int64_t ms = IntegerField(song, "dt").value_or(IntegerField(song, "duration").value_or(0));
        candidate.DurationMs = PlausibleDurationMs(ms);
        out.Candidates.push_back(std::move(candidate));
    }
    return out;
}

TFetchAnswer ParseNeteaseLyricAnswer(std::string_view body) {
    TFetchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    if (std::optional<TServiceFailure> failure = AnswerFailure(answer)) {
        out.Failure = *failure;
        return out;
    }
    if (BoolField(answer, "nolyric") || BoolField(answer, "uncollected"))
        return out;
    TServiceLyric lyric;
    if (const std::string yrc = LyricMemberOf(answer, "yrc"); !yrc.empty()) {
        lyric.Lines = ParseYrc(yrc);
        if (!lyric.Lines.empty())
            AttachTranslationsByTime(lyric.Lines, ParseLineTimedLrc(LyricMemberOf(answer, "ytlrc")),
                                     kTranslationToleranceMs);
    }
    if (lyric.Lines.empty()) {
        lyric.Lines = ParseLineTimedLrc(LyricMemberOf(answer, "lrc"));
        if (!lyric.Lines.empty())
            AttachTranslationsByTime(lyric.Lines, ParseLineTimedLrc(LyricMemberOf(answer, "tlyric")),
                                     kTranslationToleranceMs);
    }
    if (IsInstrumentalNotice(lyric.Lines)) {
        lyric.Lines.clear();
        lyric.Instrumental = true;
    }
    if (lyric.Lines.empty() && !lyric.Instrumental)
        return out;
    out.Lyric = std::move(lyric);
    return out;
}

TNeteaseService::TNeteaseService(std::string baseUrl) {
    if (baseUrl.empty()) {
        m_eapiBase = "https://interface.music.163.com";
        m_plainBase = "https://music.163.com";
    } else {
        m_eapiBase = m_plainBase = TrimBase(baseUrl);
    }
    const std::string deviceId = RandomHex(16);
    const nlohmann::json fields = {{"os", "pc"},           {"appver", "3.1.3.203419"},
                                   {"deviceId", deviceId}, {"requestId", "0"},
                                   {"osver", "Microsoft-Windows-10"}};
    m_header = fields.dump();
    for (const auto &[name, value] : fields.items()) {
        if (!m_cookie.empty())
            m_cookie += "; ";
        m_cookie += name + "=" + value.get<std::string>();
    }
}

// One eapi request: the parameters, with the client fields, sealed for `apiPath`.
static THttpAnswer EapiPost(const std::string &base, const std::string &apiPath, nlohmann::json params,
                            const std::string &header, const std::string &cookie, long timeoutMs) {
    params["header"] = header;
    THttpRequest request;
    request.Url = base + "/eapi" + apiPath.substr(4); // "/api/x" is asked at "/eapi/x"
    request.Post = true;
    request.Body = "params=" + codecs::EapiParams(apiPath, params.dump());
    request.Headers = {"Content-Type: application/x-www-form-urlencoded", "Referer: https://music.163.com/",
                       "Cookie: " + cookie};
    request.TimeoutMs = timeoutMs;
    return HttpFetch(request);
}

TSearchAnswer TNeteaseService::Search(const TTrack &track, long timeoutMs) const {
    const std::string keywords = SearchKeywords(track);
    const THttpAnswer answer =
        EapiPost(m_eapiBase, "/api/cloudsearch/pc",
                 {{"s", keywords}, {"type", "1"}, {"limit", "30"}, {"offset", "0"}, {"total", "true"}}, m_header,
                 m_cookie, timeoutMs);
    if (answer.TimedOut)
        return {{}, TransportFailure(answer)}; // the time for this service is spent
    TSearchAnswer eapi =
        answer.Ok() ? ParseNeteaseSearchAnswer(answer.Body) : TSearchAnswer{{}, TransportFailure(answer)};
    if (!eapi.Failure)
        return eapi;
    TSearchAnswer plain = PlainSearch(keywords, timeoutMs);
    return plain.Failure ? eapi : plain;
}

TSearchAnswer TNeteaseService::PlainSearch(const std::string &keywords, long timeoutMs) const {
    THttpRequest request;
    request.Url = m_plainBase + "/api/search/get/web";
    request.Post = true;
    request.Body = "s=" + UrlEncode(keywords) + "&type=1&offset=0&limit=20";
    request.Headers = {"Content-Type: application/x-www-form-urlencoded", "Referer: https://music.163.com",
                       "Cookie: appver=2.0.2"};
    request.TimeoutMs = timeoutMs;
    const THttpAnswer answer = HttpFetch(request);
    if (!answer.Ok())
        return {{}, TransportFailure(answer)};
    return ParseNeteaseSearchAnswer(answer.Body);
}

TFetchAnswer TNeteaseService::Fetch(const TCandidate &candidate, long timeoutMs) const {
    const THttpAnswer answer = EapiPost(m_eapiBase, "/api/song/lyric/v1",
                                        {{"id", candidate.Id},
                                         {"cp", "false"},
                                         {"lv", "0"},
                                         {"kv", "0"},
                                         {"tv", "0"},
                                         {"rv", "0"},
                                         {"yv", "0"},
                                         {"ytv", "0"},
                                         {"yrv", "0"}},
                                        m_header, m_cookie, timeoutMs);
    if (!answer.Ok()) {
        TFetchAnswer out;
        out.Failure = TransportFailure(answer);
        return out;
    }
    return ParseNeteaseLyricAnswer(answer.Body);
}

} // namespace lirvo::lyrics::services
