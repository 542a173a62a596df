#include "lyrics/services/LrclibClient.h"

#include "lyrics/core/LrclibService.h"
#include "lyrics/core/uLRCHandle.h"
#include "lyrics/formats/LineTimedLrc.h"
#include "lyrics/services/ServiceAnswers.h"
#include "lyrics/services/ServiceLookup.h"

#include <cmath>

namespace lirvo::lyrics::services {

namespace {

// The lyric of an LRC text as lines, with the word timings it may carry.
TServiceLyric LyricOfLrc(const std::string &lrc) {
    TLyricHandle handle;
    handle.Parse(lrc);
    handle.Sort();
    TServiceLyric lyric;
    for (const TLyricItem &item : handle.Items()) {
        // A second line at the same time is the translation of the first.
        if (!lyric.Lines.empty() && lyric.Lines.back().StartMs == item.Time && lyric.Lines.back().Translation.empty()) {
            lyric.Lines.back().Translation = item.Text;
            continue;
        }
        TTimedLine line;
        line.StartMs = item.Time;
        line.Text = item.Text;
        for (const TLyricWord &word : item.Words)
            line.Words.push_back(TTimedWord{word.Start, 0, word.Text});
        lyric.Lines.push_back(std::move(line));
    }
    return lyric;
}

TServiceFailure FailureOf(const std::string &error) {
    if (error.empty())
        return {};
    if (error.rfind("HTTP status", 0) == 0)
        return {TFailureKind::Refused, "服务器错误（" + error + "）"};
    if (error == "malformed answer" || error == "unexpected answer")
        return MalformedAnswer();
    return {TFailureKind::Unreachable, "无法连接（" + error + "）"};
}

} // namespace

TCandidate LrclibCandidate(const TLrcResult &result) {
    TCandidate candidate;
    candidate.Service = "lrclib";
    candidate.Id = std::to_string(result.Id);
    candidate.Title = result.Title;
    candidate.Artist = result.Singer;
    candidate.Album = result.Extra;
    candidate.DurationMs = result.Duration > 0 ? static_cast<int32_t>(std::lround(result.Duration * 1000)) : 0;
    candidate.Has.Known = true;
    candidate.Has.Synced = result.Synced();
    candidate.Has.Instrumental = result.Instrumental;
    candidate.CarriedLyric = result.SyncedLyrics;
    if (candidate.Has.Synced) {
        const TServiceLyric lyric = LyricOfLrc(result.SyncedLyrics);
        candidate.Has.WordTimed = lyric.HasWords();
        candidate.Has.Translated = lyric.HasTranslation();
    }
    return candidate;
}

TLrclibClient::TLrclibClient(LrcServiceOptions options) : m_options(std::move(options)) {}

TSearchAnswer TLrclibClient::Search(const TTrack &track, long timeoutMs) const {
    LrcServiceOptions options = m_options;
    options.RequestTimeoutMs = timeoutMs;
    options.ConnectTimeoutMs = std::min(options.ConnectTimeoutMs, timeoutMs);
    TLrclibService service(options);
    TSearchAnswer out;
    const int32_t seconds = track.DurationMs > 0 ? (track.DurationMs + 500) / 1000 : 0;
    std::optional<TLrcResult> exact;
    if (!track.ForListing)
        exact = service.Get(track.Title, track.Artist, track.Album, seconds);
    if (exact) {
        out.Candidates.push_back(LrclibCandidate(*exact));
        // The entry for exactly this song settles it: it has a lyric, or says it has no words.
        if (MatchCandidate(track, out.Candidates.front()).Passes && (exact->Instrumental || exact->Synced()))
            return out;
    }
    service.Search(track.Title, track.Artist, "", 0);
    const std::string error = service.LastError();
    for (int32_t i = 0, count = service.GetCount(); i < count; ++i) {
        std::optional<TLrcResult> result = service.GetResult(i);
        if (!result || (exact && result->Id == exact->Id))
            continue;
        out.Candidates.push_back(LrclibCandidate(*result));
    }
    if (out.Candidates.empty())
        out.Failure = FailureOf(error);
    return out;
}

TFetchAnswer TLrclibClient::Fetch(const TCandidate &candidate, long timeoutMs) const {
    TFetchAnswer out;
    std::string lrc = candidate.CarriedLyric;
    if (lrc.empty()) {
        LrcServiceOptions options = m_options;
        options.RequestTimeoutMs = timeoutMs;
        TLrclibService service(options);
        int32_t id = 0;
        try {
            id = static_cast<int32_t>(std::stol(candidate.Id));
        } catch (...) {
            return out;
        }
        lrc = service.Download(id);
        if (lrc.empty()) {
            out.Failure = FailureOf(service.LastError());
            return out;
        }
    }
    TServiceLyric lyric = LyricOfLrc(lrc);
    if (lyric.Lines.empty())
        return out;
    out.Lyric = std::move(lyric);
    out.Lrc = std::move(lrc);
    return out;
}

} // namespace lirvo::lyrics::services
