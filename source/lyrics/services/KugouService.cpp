#include "lyrics/services/KugouService.h"

#include "function/text/FastStrings.h"
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/KrcCodec.h"
#include "lyrics/formats/KrcFormat.h"
#include "lyrics/formats/LineTimedLrc.h"
#include "lyrics/core/HttpTransport.h"
#include "lyrics/services/ServiceAnswers.h"

#include <nlohmann/json.hpp>

namespace lirvo::lyrics::services {

namespace {

// Kugou answers carry "status" 200 on success (and "errcode" 200 in searches).
std::optional<TServiceFailure> StatusFailure(const nlohmann::json &answer) {
    if (!answer.is_object())
        return MalformedAnswer();
    const int64_t status = IntegerField(answer, "status").value_or(200);
    if (status != 200 && status != 1)
        return TServiceFailure{TFailureKind::Refused, "服务器拒绝（代码 " + std::to_string(status) + "）"};
    return std::nullopt;
}

TServiceLyric LyricFromText(const std::string &text) {
    TServiceLyric lyric;
    lyric.Lines = ParseKrc(text);
    if (!lyric.HasWords()) {
        std::vector<TTimedLine> lrc = ParseLineTimedLrc(text);
        if (!lrc.empty())
            lyric.Lines = std::move(lrc);
    }
    if (IsInstrumentalNotice(lyric.Lines)) {
        lyric.Lines.clear();
        lyric.Instrumental = true;
    }
    return lyric;
}

} // namespace

TSearchAnswer ParseKugouSearchAnswer(std::string_view body) {
    TSearchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    if (std::optional<TServiceFailure> failure = StatusFailure(answer)) {
        out.Failure = *failure;
        return out;
    }
    const nlohmann::json *candidates = MemberOf(answer, "candidates");
    if (!candidates || !candidates->is_array())
        return out;
    for (const nlohmann::json &entry : *candidates) {
        if (!entry.is_object())
            continue;
        std::string id = TextField(entry, "id");
        if (id.empty())
            if (std::optional<int64_t> number = IntegerField(entry, "id"))
                id = std::to_string(*number);
        const std::string key = TextField(entry, "accesskey");
        if (id.empty() || key.empty())
            continue;
        TCandidate candidate;
        candidate.Service = "kugou";
        candidate.Id = std::move(id);
        candidate.Key = key;
        candidate.Title = TextField(entry, "song");
        candidate.Artist = TextField(entry, "singer");
        candidate.DurationMs = PlausibleDurationMs(IntegerField(entry, "duration").value_or(0));
        out.Candidates.push_back(std::move(candidate));
    }
    return out;
}

TFetchAnswer ParseKugouDownloadAnswer(std::string_view body) {
    TFetchAnswer out;
    const nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
        out.Failure = MalformedAnswer();
        return out;
    }
    if (std::optional<TServiceFailure> failure = StatusFailure(answer)) {
        out.Failure = *failure;
        return out;
    }
    const std::string content = TextField(answer, "content");
    if (content.empty())
        return out;
    // Content type 0 is an encrypted KRC; any other is base64 of plain text.
    std::optional<std::string> text = IntegerField(answer, "contenttype").value_or(0) == 0
                                          ? codecs::DecryptKrc(content)
                                          : codecs::DecodeBase64(content);
    if (!text) {
        out.Failure = MalformedAnswer();
        return out;
    }
    TServiceLyric lyric = LyricFromText(*text);
    if (lyric.Lines.empty() && !lyric.Instrumental)
        return out;
    out.Lyric = std::move(lyric);
    return out;
}

TKugouService::TKugouService(std::string baseUrl)
    : m_base(baseUrl.empty() ? std::string("https://lyrics.kugou.com") : TrimBase(baseUrl)) {}

TSearchAnswer TKugouService::Search(const TTrack &track, long timeoutMs) const {
    const std::string title(text::TrimBlank(track.Title)), artist(text::TrimBlank(track.Artist));
    const std::string keyword = artist.empty() ? title : artist + " - " + title;
    THttpRequest request;
    request.Url = m_base + "/search?ver=1&man=yes&client=pc&keyword=" + UrlEncode(keyword) +
                  "&duration=" + std::to_string(track.DurationMs > 0 ? track.DurationMs : 0) + "&hash=";
    request.TimeoutMs = timeoutMs;
    const THttpAnswer answer = HttpFetch(request);
    if (!answer.Ok())
        return {{}, TransportFailure(answer)};
    return ParseKugouSearchAnswer(answer.Body);
}

TFetchAnswer TKugouService::Fetch(const TCandidate &candidate, long timeoutMs) const {
    THttpRequest request;
    request.Url = m_base + "/download?ver=1&client=pc&id=" + UrlEncode(candidate.Id) +
                  "&accesskey=" + UrlEncode(candidate.Key) + "&fmt=krc&charset=utf8";
    request.TimeoutMs = timeoutMs;
    const THttpAnswer answer = HttpFetch(request);
    if (!answer.Ok()) {
        TFetchAnswer out;
        out.Failure = TransportFailure(answer);
        return out;
    }
    return ParseKugouDownloadAnswer(answer.Body);
}

} // namespace lirvo::lyrics::services
