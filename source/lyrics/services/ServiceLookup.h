#pragma once
// The online lyric lookup over every enabled service at once, and the lyric service the
// program creates through LRC_CreateObj.
//
// The automatic lookup (FindSongLyric):
//   1. every enabled service that is not backing off is searched at once; one that has not
//      answered within the deadline is left out;
//   2. candidates pass when title and artist each score at least 80 after NormalizeForMatch
//      (the artist check is skipped when the song has none) and, when both lengths are known,
//      they lie within 2 s;
//   3. most services tell what a lyric has only when it is fetched: the best passing candidate
//      of each service is fetched at once (the service's next one when that fetch gives
//      nothing);
//   4. of what was fetched, the best is taken: word-timed with translation, word-timed,
//      line-timed with translation, line-timed; then the nearer length; then the order of the
//      services.
// A service that refuses (HTTP errors, captcha, rate limit, login wall, region answers) is
// left out of automatic lookups for 10 minutes, and its error is logged once. A song that no
// service has is remembered for a week (NoLyricMemory.h); the search window always asks.
//
// The search window's calls (Search, GetResult, Download) list the candidates of every enabled
// service, best match first; the lyrics of the best few are fetched with the search so that
// the list shows what they have. Every call may block: worker threads only.

#include "lyrics/core/LRC_Header.h"
#include "lyrics/services/LyricClient.h"
#include "lyrics/services/NoLyricMemory.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::lyrics::services {

using TClientList = std::vector<std::shared_ptr<const ILyricClient>>;

// The clients for these service keys, in this order; unknown and repeated keys are skipped.
TClientList MakeClients(const LrcServiceOptions &options, const std::vector<std::string> &keys);

// "netease,qq" as keys, and back; unknown names are dropped, repeated ones kept once.
std::vector<std::string> ParseSourceOrder(std::string_view text);
std::string JoinSourceOrder(const std::vector<std::string> &keys);

// ---- choosing (pure, for tests) ----

struct TCandidateMatch {
    bool Passes = false;
    int TitleScore = 0;
    int ArtistScore = 0;
    double GapMs = 0; // length difference; infinity when a length is unknown
};
TCandidateMatch MatchCandidate(const TTrack &song, const TCandidate &candidate);

// 0 for word-timed with translation, 1 word-timed, 2 line-timed with translation, 3 line-timed;
// 4 for no usable lyric.
int CarriageRank(const TServiceLyric &lyric);

// The "SERVICE:ID" a lyric is known by.
std::string SourceTag(const TCandidate &candidate);

// The LRC text kept for a fetched lyric, naming its source in a header tag.
std::string LrcForFetched(const TCandidate &candidate, const TFetchAnswer &fetched);

class TServiceLookup final : public ILrcService {
public:
    // Clients are made from the options' Sources unless given (tests give stand-ins).
    explicit TServiceLookup(LrcServiceOptions options);
    TServiceLookup(LrcServiceOptions options, TClientList clients);

    // ILrcService: the automatic lookup.
    std::optional<TOnlineLyric> FindSongLyric(const TSongQuery &song) override;
    void ForgetNoLyric(const TSongQuery &song) override;

    // ILrcService: the search window.
    std::optional<TLrcResult> GetResult(int32_t index) override;
    int32_t GetCount() override;
    void Reset() override;
    std::string Download(int32_t id) override;
    void Search(const std::string &title, const std::string &singer, const std::string &extra,
                int32_t flag) override;
    std::string LastError() override;
    std::vector<TSourceFailure> SourceFailures() override;
    std::vector<std::string> Sources() override;
    std::vector<std::string> AllSources() override;
    void SetSources(const std::vector<std::string> &keys) override;

    // For tests: the clock the back-off reads, and the seconds clock of the no-lyric memory.
    void SetClocks(std::function<std::chrono::steady_clock::time_point()> steady,
                   std::function<int64_t()> wallSeconds);

private:
    struct TRow {
        TCandidate Candidate;
        std::optional<TFetchAnswer> Fetched;
    };
    struct TServiceSearch {
        std::shared_ptr<const ILyricClient> Client;
        TSearchAnswer Answer;
    };

    TClientList EnabledClients();
    bool BackingOff(const std::string &key);
    void NoteFailure(const std::string &key, const TServiceFailure &failure);
    std::vector<TServiceSearch> SearchAll(const TClientList &clients, const TTrack &track);

    LrcServiceOptions m_options;
    TNoLyricMemory m_noLyric;
    std::function<std::chrono::steady_clock::time_point()> m_steadyNow;
    std::function<int64_t()> m_wallNow;

    std::mutex m_mutex; // guards everything below
    TClientList m_allClients;          // every service we have, in the default order
    std::vector<std::string> m_sources; // the enabled ones, in the user's order
    std::map<std::string, std::chrono::steady_clock::time_point> m_backOffUntil;
    std::vector<TLrcResult> m_results;
    std::map<int32_t, TRow> m_rows; // by the Id the results were listed with
    int32_t m_nextId = 1;
    std::vector<TSourceFailure> m_failures;
    std::string m_lastError;
};

} // namespace lirvo::lyrics::services
