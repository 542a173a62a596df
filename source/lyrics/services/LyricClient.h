#pragma once
// One online lyric service behind one interface: a search for a track gives candidates, and
// fetching a candidate gives the lyric as timed lines with their words and translations.
// Clients keep no state between calls, so one client may serve several threads at once.
// Every call blocks for up to its time limit: worker threads only.

#include "lyrics/core/HttpTransport.h"
#include "lyrics/formats/ServiceLyric.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

struct TTrack {
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t DurationMs = 0; // 0 when unknown
    // A search for the search window's list rather than for this one track: services that can
    // ask for the exact entry list everything instead.
    bool ForListing = false;
};

// What a candidate carries. Most services tell only when the lyric is fetched: Known is then
// false and the flags are what fetching found, once it has.
struct TCarriage {
    bool Known = false;
    bool Synced = false;
    bool WordTimed = false;
    bool Translated = false;
    bool Instrumental = false;
};

struct TCandidate {
    std::string Service; // "netease", "qq", "kugou", "lrclib"
    std::string Id;      // the service's id (QQ's numeric id, Kugou's candidate id)
    std::string Key;     // what fetching needs besides the id: QQ's mid, Kugou's access key
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t DurationMs = 0;
    TCarriage Has;
    std::string CarriedLyric; // a lyric that came with the search answer (LRCLIB), else ""
};

enum class TFailureKind {
    None,
    Unreachable, // no answer: no network, refused connection, time-out
    Refused,     // the service answered that it will not serve us now (captcha, rate limit, login)
    Malformed,   // an answer we cannot read
};

struct TServiceFailure {
    TFailureKind Kind = TFailureKind::None;
    std::string Reason; // for users, in Chinese ("需要登录"); "" when nothing failed

    explicit operator bool() const { return Kind != TFailureKind::None; }
};

struct TSearchAnswer {
    std::vector<TCandidate> Candidates;
    TServiceFailure Failure;
};

struct TFetchAnswer {
    // The lyric; nullopt when the candidate has none (or on failure). An instrumental piece
    // comes as a lyric without lines with Instrumental set.
    std::optional<TServiceLyric> Lyric;
    // The LRC text to keep, when the service gives LRC we keep as it is (LRCLIB); else "" and
    // the lyric is written out from Lyric.
    std::string Lrc;
    TServiceFailure Failure;
};

class ILyricClient {
public:
    virtual ~ILyricClient() = default;
    // "netease", "qq", "kugou" or "lrclib".
    virtual std::string_view Key() const = 0;
    virtual TSearchAnswer Search(const TTrack &track, long timeoutMs) const = 0;
    virtual TFetchAnswer Fetch(const TCandidate &candidate, long timeoutMs) const = 0;
};

// The service's name as users see it: "网易云音乐", "QQ音乐", "酷狗音乐", "LRCLIB"; the key
// itself for an unknown one.
std::string ServiceDisplayName(std::string_view key);

// The keys of every service we have, in the default order.
const std::vector<std::string> &KnownServiceKeys();

// Failure helpers shared by the clients.
TServiceFailure TransportFailure(const THttpAnswer &answer);
TServiceFailure MalformedAnswer();

} // namespace lirvo::lyrics::services
