#include "lyrics/services/ServiceLookup.h"

#include "function/text/FastStrings.h"
#include "lyrics/formats/ServiceLyricLrc.h"
#include "lyrics/services/KugouService.h"
#include "lyrics/services/LrclibClient.h"
#include "lyrics/services/MatchText.h"
#include "lyrics/services/NeteaseService.h"
#include "lyrics/services/QqMusicService.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

namespace lirvo::lyrics::services {

namespace {

constexpr int kMinScore = 80;
constexpr double kMaxGapMs = 2000;
constexpr auto kBackOff = std::chrono::minutes(10);
// Fetches per service in one automatic lookup: its best candidate, and the next ones when a
// fetch gives nothing.
constexpr std::size_t kFetchTriesPerService = 3;
// Lyrics fetched with a window search, per service, so that the list shows what they have.
constexpr std::size_t kPrefetchPerService = 3;

// The best score of `name` against any one of the artists a service lists ("A/B") or all.
int ArtistScore(const std::string &wanted, const std::string &listed) {
    int best = MatchScore(listed, wanted);
    std::size_t start = 0;
    while (start <= listed.size() && best < 100) {
        std::size_t cut = listed.find_first_of("/&,", start);
        if (cut == std::string::npos)
            cut = listed.size();
        const std::string one(text::TrimBlank(std::string_view(listed).substr(start, cut - start)));
        if (!one.empty() && one.size() != listed.size())
            best = std::max(best, MatchScore(one, wanted));
        start = cut + 1;
    }
    return best;
}

// Runs `work(i)` for every i < count, each on its own thread, and waits for all of them.
// Each thread's exceptions stay in it.
void ForEachAtOnce(std::size_t count, const std::function<void(std::size_t)> &work) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        threads.emplace_back([&work, i] {
            try {
                work(i);
            } catch (...) {
                // A client that throws (out of memory) gives nothing, as a failure would.
            }
        });
    for (std::thread &thread : threads)
        thread.join();
}

TTrack TrackOf(const TSongQuery &song) {
    return TTrack{song.Title, song.Artist, song.Album, song.DurationMs, false};
}

bool UsableLyric(const TFetchAnswer &fetched) {
    return fetched.Lyric && !fetched.Lyric->Instrumental && CarriageRank(*fetched.Lyric) < 4;
}

} // namespace

TClientList MakeClients(const LrcServiceOptions &options, const std::vector<std::string> &keys) {
    TClientList clients;
    std::vector<std::string> seen;
    for (const std::string &key : keys) {
        if (std::find(seen.begin(), seen.end(), key) != seen.end())
            continue;
        seen.push_back(key);
        if (key == "netease")
            clients.push_back(std::make_shared<TNeteaseService>(options.NeteaseUrl));
        else if (key == "qq")
            clients.push_back(std::make_shared<TQqMusicService>(options.QqMusicUrl));
        else if (key == "kugou")
            clients.push_back(std::make_shared<TKugouService>(options.KugouUrl));
        else if (key == "lrclib")
            clients.push_back(std::make_shared<TLrclibClient>(options));
    }
    return clients;
}

std::vector<std::string> ParseSourceOrder(std::string_view text) {
    std::vector<std::string> keys;
    for (const std::string &part : text::SplitByChar(text, ',')) {
        std::string key = text::AsciiLower(text::TrimBlank(part));
        const auto &known = KnownServiceKeys();
        if (std::find(known.begin(), known.end(), key) != known.end() &&
            std::find(keys.begin(), keys.end(), key) == keys.end())
            keys.push_back(std::move(key));
    }
    return keys;
}

std::string JoinSourceOrder(const std::vector<std::string> &keys) {
    std::string out;
    for (const std::string &key : keys)
        out += (out.empty() ? "" : ",") + key;
    return out;
}

TCandidateMatch MatchCandidate(const TTrack &song, const TCandidate &candidate) {
    TCandidateMatch match;
    match.GapMs = std::numeric_limits<double>::infinity();
    if (text::IsBlank(song.Title))
        return match;
    match.TitleScore = MatchScore(candidate.Title, song.Title);
    match.ArtistScore = text::IsBlank(song.Artist) ? 100 : ArtistScore(song.Artist, candidate.Artist);
    if (song.DurationMs > 0 && candidate.DurationMs > 0)
        match.GapMs = std::fabs(static_cast<double>(candidate.DurationMs) - song.DurationMs);
    match.Passes = match.TitleScore >= kMinScore && match.ArtistScore >= kMinScore &&
                   (std::isinf(match.GapMs) || match.GapMs <= kMaxGapMs);
    return match;
}

int CarriageRank(const TServiceLyric &lyric) {
    if (lyric.Instrumental || lyric.Lines.empty())
        return 4;
    const bool words = lyric.HasWords(), translated = lyric.HasTranslation();
    return words ? (translated ? 0 : 1) : (translated ? 2 : 3);
}

std::string SourceTag(const TCandidate &candidate) {
    return candidate.Service + ":" + candidate.Id;
}

std::string LrcForFetched(const TCandidate &candidate, const TFetchAnswer &fetched) {
    if (!fetched.Lrc.empty()) {
        if (!ReadLrcSourceTag(fetched.Lrc).empty())
            return fetched.Lrc;
        return "[lirvo-source:" + SourceTag(candidate) + "]\r\n" + fetched.Lrc;
    }
    return fetched.Lyric ? ServiceLyricToLrc(*fetched.Lyric, SourceTag(candidate)) : std::string();
}

TServiceLookup::TServiceLookup(LrcServiceOptions options)
    : TServiceLookup(options, MakeClients(options, KnownServiceKeys())) {}

TServiceLookup::TServiceLookup(LrcServiceOptions options, TClientList clients)
    : m_options(std::move(options)), m_noLyric(m_options.NoLyricFile),
      m_steadyNow([] { return std::chrono::steady_clock::now(); }), m_wallNow([] { return TNoLyricMemory::Now(); }),
      m_allClients(std::move(clients)), m_sources(m_options.Sources) {}

void TServiceLookup::SetClocks(std::function<std::chrono::steady_clock::time_point()> steady,
                               std::function<int64_t()> wallSeconds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_steadyNow = std::move(steady);
    m_wallNow = std::move(wallSeconds);
}

std::vector<std::string> TServiceLookup::Sources() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sources;
}

std::vector<std::string> TServiceLookup::AllSources() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> keys;
    for (const auto &client : m_allClients)
        keys.emplace_back(client->Key());
    return keys;
}

void TServiceLookup::SetSources(const std::vector<std::string> &keys) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sources = keys;
}

TClientList TServiceLookup::EnabledClients() {
    std::lock_guard<std::mutex> lock(m_mutex);
    TClientList enabled;
    for (const std::string &key : m_sources)
        for (const auto &client : m_allClients)
            if (client->Key() == key &&
                std::none_of(enabled.begin(), enabled.end(), [&](const auto &c) { return c->Key() == key; }))
                enabled.push_back(client);
    return enabled;
}

bool TServiceLookup::BackingOff(const std::string &key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_backOffUntil.find(key);
    return it != m_backOffUntil.end() && m_steadyNow() < it->second;
}

void TServiceLookup::NoteFailure(const std::string &key, const TServiceFailure &failure) {
    if (failure.Kind != TFailureKind::Refused)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto now = m_steadyNow();
    auto it = m_backOffUntil.find(key);
    if (it != m_backOffUntil.end() && now < it->second)
        return; // already backing off, and already logged
    m_backOffUntil[key] = now + kBackOff;
    std::fprintf(stderr, "lirvo: %s refused the lyric lookup (%s); it is not asked again for 10 minutes\n",
                 ServiceDisplayName(key).c_str(), failure.Reason.c_str());
}

std::vector<TServiceLookup::TServiceSearch> TServiceLookup::SearchAll(const TClientList &clients,
                                                                       const TTrack &track) {
    std::vector<TServiceSearch> searches(clients.size());
    ForEachAtOnce(clients.size(), [&](std::size_t i) {
        searches[i].Client = clients[i];
        searches[i].Answer = clients[i]->Search(track, m_options.ServiceDeadlineMs);
    });
    for (TServiceSearch &search : searches)
        if (!search.Client)
            search.Answer.Failure = {TFailureKind::Malformed, "内部错误"};
    return searches;
}

std::optional<TOnlineLyric> TServiceLookup::FindSongLyric(const TSongQuery &song) {
    if (text::IsBlank(song.Title))
        return std::nullopt;
    if (m_noLyric.Remembers(song.Title, song.Artist, m_wallNow()))
        return std::nullopt;
    TClientList clients;
    for (const auto &client : EnabledClients())
        if (!BackingOff(std::string(client->Key())))
            clients.push_back(client);
    const TTrack track = TrackOf(song);
    std::vector<TServiceSearch> searches = SearchAll(clients, track);

    // Per service, its passing candidates, nearest length first, then best score.
    struct TPick {
        TCandidate Candidate;
        TCandidateMatch Match;
        TFetchAnswer Fetched;
    };
    std::vector<std::vector<TPick>> passing(searches.size());
    bool everyServiceAnswered = true;
    std::vector<std::string> errors;
    for (std::size_t s = 0; s < searches.size(); ++s) {
        const TServiceFailure &failure = searches[s].Answer.Failure;
        if (failure) {
            everyServiceAnswered = false;
            errors.push_back(ServiceDisplayName(searches[s].Client->Key()) + "：" + failure.Reason);
            NoteFailure(std::string(searches[s].Client->Key()), failure);
        }
        for (const TCandidate &candidate : searches[s].Answer.Candidates) {
            TCandidateMatch match = MatchCandidate(track, candidate);
            if (!match.Passes || candidate.Has.Instrumental || (candidate.Has.Known && !candidate.Has.Synced))
                continue;
            passing[s].push_back(TPick{candidate, match, {}});
        }
        std::stable_sort(passing[s].begin(), passing[s].end(), [](const TPick &a, const TPick &b) {
            if (a.Match.GapMs != b.Match.GapMs)
                return a.Match.GapMs < b.Match.GapMs;
            return a.Match.TitleScore + a.Match.ArtistScore > b.Match.TitleScore + b.Match.ArtistScore;
        });
    }

    // Fetch each service's best, the next when one gives nothing.
    std::vector<std::optional<TPick>> fetched(searches.size());
    ForEachAtOnce(searches.size(), [&](std::size_t s) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < passing[s].size() && i < kFetchTriesPerService; ++i) {
            const long spent = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                    .count());
            const long left = m_options.ServiceDeadlineMs - spent;
            if (left <= 0)
                break;
            TPick &pick = passing[s][i];
            pick.Fetched = searches[s].Client->Fetch(pick.Candidate, left);
            if (UsableLyric(pick.Fetched)) {
                fetched[s] = std::move(pick);
                return;
            }
            if (pick.Fetched.Failure.Kind == TFailureKind::Refused || pick.Fetched.Failure.Kind == TFailureKind::Unreachable)
                return;
        }
    });
    for (std::size_t s = 0; s < searches.size(); ++s)
        for (const TPick &pick : passing[s])
            if (pick.Fetched.Failure) {
                NoteFailure(std::string(searches[s].Client->Key()), pick.Fetched.Failure);
                everyServiceAnswered = false;
                break;
            }

    // The best of what came: rank, then the nearer length, then the order of the services.
    std::optional<std::size_t> best;
    for (std::size_t s = 0; s < fetched.size(); ++s) {
        if (!fetched[s])
            continue;
        if (!best) {
            best = s;
            continue;
        }
        const TPick &a = *fetched[s], &b = *fetched[*best];
        const int rankA = CarriageRank(*a.Fetched.Lyric), rankB = CarriageRank(*b.Fetched.Lyric);
        if (rankA < rankB || (rankA == rankB && a.Match.GapMs < b.Match.GapMs))
            best = s;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError.clear();
        if (!best)
            for (const std::string &error : errors)
                m_lastError += (m_lastError.empty() ? "" : "; ") + error;
    }
    if (!best) {
        if (everyServiceAnswered && !clients.empty())
            m_noLyric.Remember(song.Title, song.Artist, m_wallNow());
        return std::nullopt;
    }
    const TPick &chosen = *fetched[*best];
    TOnlineLyric lyric;
    lyric.Text = LrcForFetched(chosen.Candidate, chosen.Fetched);
    lyric.Where = SourceTag(chosen.Candidate);
    return lyric;
}

void TServiceLookup::ForgetNoLyric(const TSongQuery &song) {
    m_noLyric.Forget(song.Title, song.Artist);
}

void TServiceLookup::Search(const std::string &title, const std::string &singer, const std::string &extra,
                            int32_t /*flag*/) {
    const TTrack query{title, singer, extra, 0, true};
    const TClientList clients = EnabledClients();
    std::vector<TServiceSearch> searches = SearchAll(clients, query);

    struct TListed {
        TRow Row;
        TCandidateMatch Match;
        std::size_t Service;
    };
    std::vector<TListed> listed;
    std::vector<TSourceFailure> failures;
    for (std::size_t s = 0; s < searches.size(); ++s) {
        if (searches[s].Answer.Failure)
            failures.push_back({ServiceDisplayName(searches[s].Client->Key()), searches[s].Answer.Failure.Reason});
        for (TCandidate &candidate : searches[s].Answer.Candidates) {
            TCandidateMatch match = MatchCandidate(query, candidate);
            listed.push_back(TListed{TRow{std::move(candidate), std::nullopt}, match, s});
        }
    }
    // Best match first: passing rows, then the score, then the order of the services.
    std::stable_sort(listed.begin(), listed.end(), [](const TListed &a, const TListed &b) {
        if (a.Match.Passes != b.Match.Passes)
            return a.Match.Passes;
        const int scoreA = a.Match.TitleScore + a.Match.ArtistScore, scoreB = b.Match.TitleScore + b.Match.ArtistScore;
        if (scoreA != scoreB)
            return scoreA > scoreB;
        return a.Service < b.Service;
    });

    // The best few rows of each service are fetched now, so that their kind shows.
    std::vector<std::vector<std::size_t>> prefetch(searches.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        std::vector<std::size_t> &rows = prefetch[listed[i].Service];
        if (!listed[i].Row.Candidate.Has.Known && rows.size() < kPrefetchPerService)
            rows.push_back(i);
    }
    ForEachAtOnce(searches.size(), [&](std::size_t s) {
        for (std::size_t i : prefetch[s])
            listed[i].Row.Fetched = searches[s].Client->Fetch(listed[i].Row.Candidate, m_options.ServiceDeadlineMs);
    });

    std::lock_guard<std::mutex> lock(m_mutex);
    m_results.clear();
    m_failures = std::move(failures);
    m_lastError.clear();
    if (listed.empty() && !m_failures.empty())
        for (const TSourceFailure &failure : m_failures)
            m_lastError += (m_lastError.empty() ? "" : "；") + failure.Name + "：" + failure.Reason;
    // Rows of earlier searches stay downloadable for a while (a window may still show them).
    while (m_rows.size() > 512)
        m_rows.erase(m_rows.begin());
    for (TListed &entry : listed) {
        const TCandidate &candidate = entry.Row.Candidate;
        TLrcResult result;
        result.Title = candidate.Title;
        result.Singer = candidate.Artist;
        result.Extra = candidate.Album;
        result.Duration = candidate.DurationMs / 1000.0;
        result.Source = candidate.Service;
        result.Instrumental = candidate.Has.Instrumental;
        if (candidate.Has.Known) {
            result.SyncedLyrics = candidate.Has.Synced ? LrcForFetched(candidate, TFetchAnswer{{}, candidate.CarriedLyric, {}}) : "";
            result.WordTimed = candidate.Has.WordTimed;
            result.Translated = candidate.Has.Translated;
        } else if (entry.Row.Fetched) {
            const TFetchAnswer &fetched = *entry.Row.Fetched;
            if (fetched.Lyric) {
                result.Instrumental = fetched.Lyric->Instrumental;
                if (UsableLyric(fetched))
                    result.SyncedLyrics = LrcForFetched(candidate, fetched);
                result.WordTimed = fetched.Lyric->HasWords();
                result.Translated = fetched.Lyric->HasTranslation();
            }
            // A failed fetch may succeed when the row is taken.
            result.NeedsDownload = static_cast<bool>(fetched.Failure);
        } else {
            result.NeedsDownload = true;
        }
        if (m_nextId == std::numeric_limits<int32_t>::max())
            m_nextId = 1;
        result.Id = m_nextId++;
        m_rows[result.Id] = std::move(entry.Row);
        m_results.push_back(std::move(result));
    }
}

std::string TServiceLookup::Download(int32_t id) {
    TRow row;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_rows.find(id);
        if (it == m_rows.end())
            return {};
        row = it->second;
    }
    for (const auto &client : m_allClients) {
        if (client->Key() != row.Candidate.Service)
            continue;
        const TFetchAnswer fetched = row.Fetched && UsableLyric(*row.Fetched)
                                         ? *row.Fetched
                                         : client->Fetch(row.Candidate, m_options.RequestTimeoutMs);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastError = fetched.Failure ? ServiceDisplayName(client->Key()) + "：" + fetched.Failure.Reason : "";
        return UsableLyric(fetched) ? LrcForFetched(row.Candidate, fetched) : std::string();
    }
    return {};
}

std::optional<TLrcResult> TServiceLookup::GetResult(int32_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_results.size())
        return std::nullopt;
    return m_results[static_cast<std::size_t>(index)];
}

int32_t TServiceLookup::GetCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int32_t>(m_results.size());
}

void TServiceLookup::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_results.clear();
    m_failures.clear();
}

std::string TServiceLookup::LastError() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

std::vector<TSourceFailure> TServiceLookup::SourceFailures() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

} // namespace lirvo::lyrics::services

namespace lirvo::lyrics {

std::shared_ptr<ILrcService> LRC_CreateObj(const TGuid &iid, const LrcServiceOptions &options) {
    if (!(iid == IID_ILrcService))
        return nullptr;
    return std::make_shared<services::TServiceLookup>(options);
}

} // namespace lirvo::lyrics
