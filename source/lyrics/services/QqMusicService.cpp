#include "lyrics/services/QqMusicService.h"

#include "function/text/FastStrings.h"
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/QqDes.h"
#include "lyrics/formats/LineTimedLrc.h"
#include "lyrics/formats/QrcFormat.h"
#include "lyrics/formats/TranslationMatch.h"
#include "lyrics/core/HttpTransport.h"
#include "lyrics/services/MatchText.h"
#include "lyrics/services/ServiceAnswers.h"

#include <nlohmann/json.hpp>

namespace lirvo::lyrics::services {

namespace {

constexpr int32_t kTranslationToleranceMs = 50;

const nlohmann::json kComm = {{"ct", "19"}, {"cv", "1859"}, {"uin", "0"}};

TServiceFailure FailureForCode(int64_t code) {
    if (code == 2001)
        return {TFailureKind::Refused, "需要登录"};
    return {TFailureKind::Refused, "服务器拒绝（代码 " + std::to_string(code) + "）"};
}

// The "req" part of a musicu answer, or why there is none.
const nlohmann::json *RequestPart(const nlohmann::json &answer, TServiceFailure &failure) {
    if (!answer.is_object()) {
        failure = MalformedAnswer();
        return nullptr;
    }
    if (const int64_t code = IntegerField(answer, "code").value_or(0); code != 0) {
        failure = FailureForCode(code);
        return nullptr;
    }
    const nlohmann::json *req = MemberOf(answer, "req");
    if (!req || !req->is_object()) {
        failure = MalformedAnswer();
        return nullptr;
    }
    if (const int64_t code = IntegerField(*req, "code").value_or(0); code != 0) {
        failure = FailureForCode(code);
        return nullptr;
    }
    return req;
}

std::string Singers(const nlohmann::json &song) {
    std::string out;
    const nlohmann::json *singers = MemberOf(song, "singer");
    if (!singers || !singers->is_array())
        return out;
    for (const nlohmann::json &singer : *singers) {
        const std::string name = TextField(singer, "name");
        if (name.empty())
            continue;
        if (!out.empty())
            out += "/";
        out += name;
    }
    return out;
}

// The lyric and translation of one answer, each already decoded to LRC or QRC text.
TServiceLyric LyricFromTexts(const std::string &lyricText, const std::string &translationText) {
    TServiceLyric lyric;
    if (LooksLikeQrcDocument(lyricText)) {
        if (std::optional<std::string> content = ExtractQrcLyricContent(lyricText))
            lyric.Lines = ParseQrc(*content);
    } else {
        lyric.Lines = ParseLineTimedLrc(lyricText);
    }
    if (!lyric.Lines.empty() && !translationText.empty())
        AttachTranslationsByIndexOrTime(lyric.Lines, ParseLineTimedLrc(translationText), kTranslationToleranceMs);
    if (IsInstrumentalNotice(lyric.Lines)) {
        lyric.Lines.clear();
        lyric.Instrumental = true;
    }
    return lyric;
}

std::string Base64Text(const std::string &text) {
    return text::EncodeBase64Text(text);
}

} // namespace

TSearchAnswer ParseQqSearchAnswer(std::string_view body) {
    TSearchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    const nlohmann::json *req = RequestPart(answer, out.Failure);
    if (!req)
        return out;
    const nlohmann::json *list = nullptr;
    if (const nlohmann::json *data = MemberOf(*req, "data"))
        if (const nlohmann::json *body_ = MemberOf(*data, "body"))
            if (const nlohmann::json *song = MemberOf(*body_, "song"))
                list = MemberOf(*song, "list");
    if (!list || !list->is_array())
        return out;
    for (const nlohmann::json &song : *list) {
        if (!song.is_object())
            continue;
        std::optional<int64_t> id = IntegerField(song, "id");
        if (!id || *id <= 0)
            continue;
        TCandidate candidate;
        candidate.Service = "qq";
        candidate.Id = std::to_string(*id);
        candidate.Key = TextField(song, "mid");
        std::string title = TextField(song, "title");
        if (title.empty())
            title = TextField(song, "name");
        candidate.Title = StripHighlightTags(title);
        candidate.Artist = StripHighlightTags(Singers(song));
        if (const nlohmann::json *album = MemberOf(song, "album"))
            candidate.Album = StripHighlightTags(TextField(*album, "name"));
        const int64_t seconds = IntegerField(song, "interval").value_or(0);
        candidate.DurationMs = seconds > 0 && seconds < 400'000 ? static_cast<int32_t>(seconds * 1000) : 0;
        out.Candidates.push_back(std::move(candidate));
    }
    return out;
}

TFetchAnswer ParseQqLyricInfoAnswer(std::string_view body) {
    TFetchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    const nlohmann::json *req = RequestPart(answer, out.Failure);
    if (!req)
        return out;
    const nlohmann::json *data = MemberOf(*req, "data");
    if (!data || !data->is_object())
        return out;
    // Each field is empty or hex of an encrypted text; one that cannot be opened counts as empty.
    auto open = [&](const char *key) {
        const std::string hex = TextField(*data, key);
        if (hex.empty())
            return std::string();
        return codecs::DecryptQqLyric(hex).value_or(std::string());
    };
    const std::string lyricText = open("lyric");
    if (lyricText.empty())
        return out;
    TServiceLyric lyric = LyricFromTexts(lyricText, open("trans"));
    if (lyric.Lines.empty() && !lyric.Instrumental)
        return out;
    out.Lyric = std::move(lyric);
    return out;
}

TFetchAnswer ParseQqFcgLyricAnswer(std::string_view body) {
    TFetchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(StripJsonp(body), nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    const int64_t code = IntegerField(answer, "code").value_or(IntegerField(answer, "retcode").value_or(0));
    if (code == -1901)
        return out; // no lyric
    if (code != 0) {
        out.Failure = FailureForCode(code);
        return out;
    }
    auto decode = [&](const char *key) {
        std::optional<std::string> bytes = codecs::DecodeBase64(TextField(answer, key));
        return bytes ? DecodeXmlEntities(*bytes) : std::string();
    };
    const std::string lyricText = decode("lyric");
    if (lyricText.empty())
        return out;
    TServiceLyric lyric = LyricFromTexts(lyricText, decode("trans"));
    if (lyric.Lines.empty() && !lyric.Instrumental)
        return out;
    out.Lyric = std::move(lyric);
    return out;
}

TQqMusicService::TQqMusicService(std::string baseUrl) {
    if (baseUrl.empty()) {
        m_musicuBase = "https://u.y.qq.com";
        m_fcgBase = "https://c.y.qq.com";
    } else {
        m_musicuBase = m_fcgBase = TrimBase(baseUrl);
    }
}

static THttpAnswer MusicuPost(const std::string &base, const nlohmann::json &req, long timeoutMs) {
    THttpRequest request;
    request.Url = base + "/cgi-bin/musicu.fcg";
    request.Post = true;
    request.Body = nlohmann::json{{"comm", kComm}, {"req", req}}.dump();
    request.Headers = {"Content-Type: application/json", "Referer: https://y.qq.com/"};
    request.TimeoutMs = timeoutMs;
    return HttpFetch(request);
}

TSearchAnswer TQqMusicService::Search(const TTrack &track, long timeoutMs) const {
    const nlohmann::json req = {
        {"module", "music.search.SearchCgiService"},
        {"method", "DoSearchForQQMusicDesktop"},
        {"param", {{"query", SearchKeywords(track)}, {"search_type", 0}, {"num_per_page", 20}, {"page_num", 1}}}};
    const THttpAnswer answer = MusicuPost(m_musicuBase, req, timeoutMs);
    if (!answer.Ok())
        return {{}, TransportFailure(answer)};
    return ParseQqSearchAnswer(answer.Body);
}

TFetchAnswer TQqMusicService::Fetch(const TCandidate &candidate, long timeoutMs) const {
    int64_t songId = 0;
    try {
        songId = std::stoll(candidate.Id);
    } catch (...) {
        songId = 0;
    }
    TFetchAnswer wordTimed;
    if (songId > 0) {
        const nlohmann::json req = {{"module", "music.musichallSong.PlayLyricInfo"},
                                    {"method", "GetPlayLyricInfo"},
                                    {"param",
                                     {{"songID", songId},
                                      {"songName", Base64Text(candidate.Title)},
                                      {"singerName", Base64Text(candidate.Artist)},
                                      {"albumName", Base64Text(candidate.Album)},
                                      {"interval", candidate.DurationMs / 1000},
                                      {"crypt", 1},
                                      {"qrc", 1},
                                      {"trans", 1},
                                      {"roma", 0},
                                      {"ct", 19},
                                      {"cv", 1859},
                                      {"type", 0},
                                      {"lrc_t", 0},
                                      {"qrc_t", 0},
                                      {"trans_t", 0},
                                      {"roma_t", 0}}}};
        const THttpAnswer answer = MusicuPost(m_musicuBase, req, timeoutMs);
        if (answer.TimedOut) {
            wordTimed.Failure = TransportFailure(answer);
            return wordTimed;
        }
        wordTimed = answer.Ok() ? ParseQqLyricInfoAnswer(answer.Body) : TFetchAnswer{{}, {}, TransportFailure(answer)};
        if (wordTimed.Lyric && (wordTimed.Lyric->HasWords() || wordTimed.Lyric->Instrumental))
            return wordTimed;
    }
    if (candidate.Key.empty())
        return wordTimed;
    // No word-timed lyric: the line-timed one, which needs the song's mid.
    THttpRequest request;
    request.Url = m_fcgBase + "/lyric/fcgi-bin/fcg_query_lyric_new.fcg?songmid=" + UrlEncode(candidate.Key) +
                  "&g_tk=5381&format=json&inCharset=utf-8&outCharset=utf-8";
    request.Headers = {"Referer: https://y.qq.com/"};
    request.TimeoutMs = timeoutMs;
    const THttpAnswer answer = HttpFetch(request);
    TFetchAnswer lineTimed = answer.Ok() ? ParseQqFcgLyricAnswer(answer.Body) : TFetchAnswer{{}, {}, TransportFailure(answer)};
    // A line-timed lyric from the first answer beats a failed fallback.
    if (!lineTimed.Lyric && wordTimed.Lyric && !wordTimed.Lyric->Lines.empty())
        return wordTimed;
    return lineTimed;
}

} // namespace lirvo::lyrics::services
