#pragma once
// ILrcService: online lyric search and download, created through LRC_CreateObj. Our
// implementation talks to LRCLIB's public HTTP API (see LrclibService.h).
//
// Every method is safe to call from any thread, but the object keeps ONE result list for all
// callers: a caller that needs a consistent Reset/Search/GetCount/GetResult/Download sequence
// holds SessionLock() for the whole sequence. The lookup workers (UntLrcThread.h) do so. Never
// take SessionLock() on the main thread: a search may hold it for up to the request time-out.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::lyrics {

struct TGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    bool operator==(const TGuid &) const = default;
};

// {14C0620A-E9D5-43E5-A409-68ECFBDDD9D0}
inline constexpr TGuid IID_ILrcService = {
    0x14C0620A, 0xE9D5, 0x43E5, {0xA4, 0x09, 0x68, 0xEC, 0xFB, 0xDD, 0xD9, 0xD0}};

// One search result. Texts are UTF-8. The lyric comes with the result, so choosing one needs
// no further request.
struct TLrcResult {
    std::string Title;
    std::string Singer;
    std::string Extra; // third text (album), shown in the search list's "ss" column
    int32_t Id = 0;
    double Duration = 0;       // track length in seconds; 0 when unknown
    bool Instrumental = false; // the entry says the track has no words
    std::string SyncedLyrics;  // the timed lyric; empty when the entry has none
    bool HasPlainLyrics = false; // an untimed lyric exists (not kept: the player cannot time it)
    std::string Source;          // the service that gave it ("netease", "qq", "kugou", "lrclib"); "" when unnamed
    bool WordTimed = false;      // the synced lyric times each word
    bool Translated = false;     // the lyric has a translation
    bool NeedsDownload = false;  // the lyric is not known yet: Download(Id) fetches it

    bool Synced() const { return !SyncedLyrics.empty(); }
    bool operator==(const TLrcResult &) const = default;
};

// The song as the online lookup sees it. DurationMs <= 0 and an empty Album mean unknown.
struct TSongQuery {
    std::string Title;
    std::string Artist;
    std::string Album;
    int32_t DurationMs = 0;
};

// The lyric the automatic lookup chose for a song.
struct TOnlineLyric {
    std::string Text; // the synced lyric, as LRC
    int32_t Id = 0;
    std::string Where; // "SERVICE:ID" when the service names itself; else empty (Id tells)
};

// A service that failed in the last search, for the search window: its name as shown to users
// and why ("QQ音乐", "需要登录").
struct TSourceFailure {
    std::string Name;
    std::string Reason;
    bool operator==(const TSourceFailure &) const = default;
};

class ILrcService {
public:
    virtual ~ILrcService() = default;

    // A copy of result `index` of the last search; nullopt outside 0..GetCount()-1.
    virtual std::optional<TLrcResult> GetResult(int32_t index) = 0;
    // Number of results of the last search; 0 when none (or after a failure).
    virtual int32_t GetCount() = 0;
    // Forgets the previous search.
    virtual void Reset() = 0;
    // Synced lyric text (UTF-8) of the result with this Id; empty when there is none or on
    // any failure. Blocks for up to the request time-out.
    virtual std::string Download(int32_t id) = 0;
    // Replaces the result list with the results for these texts (`extra` and `flag` are
    // accepted for compatibility; `extra` narrows by album when not empty). Returns when the
    // list is complete; any failure gives an empty list.
    virtual void Search(const std::string &title, const std::string &singer, const std::string &extra,
                        int32_t flag) = 0;

    // The entry that matches this song exactly (title, artist, and album and duration when
    // known: `album` empty and `durationSec` <= 0 mean unknown); nullopt when there is none or
    // on failure. Blocks for up to the request time-out. Services without such a query have none.
    virtual std::optional<TLrcResult> Get(const std::string &title, const std::string &artist,
                                          const std::string &album, int32_t durationSec) {
        (void)title, (void)artist, (void)album, (void)durationSec;
        return std::nullopt;
    }
    // Why the last call gave nothing because something failed (no network, server error,
    // malformed answer); "" when it succeeded or simply found nothing. For messages to the user.
    virtual std::string LastError() { return {}; }

    // The automatic lookup's online step for a song: the lyric to take, nullopt when there is
    // none. Blocks for up to the request time-outs. Services that know several sources answer
    // with the best of all of them; the default asks this service's Get and Search
    // (FetchSyncedLyric in LyricLookup.h).
    virtual std::optional<TOnlineLyric> FindSongLyric(const TSongQuery &song);
    // The services that failed in the last Search, each with its reason; empty when none did.
    virtual std::vector<TSourceFailure> SourceFailures() { return {}; }
    // Forgets that no service had a lyric for this song (a lyric was chosen by hand).
    virtual void ForgetNoLyric(const TSongQuery &song) { (void)song; }
    // The services asked, in their order ("netease", "qq", "kugou", "lrclib"); empty for a
    // service that is a single source. SetSources changes them for the following calls.
    virtual std::vector<std::string> Sources() { return {}; }
    // Every service this one can ask, enabled or not.
    virtual std::vector<std::string> AllSources() { return {}; }
    virtual void SetSources(const std::vector<std::string> &keys) { (void)keys; }

    std::mutex &SessionLock() { return m_session; }

private:
    std::mutex m_session;
};

// Where and how the service connects. Time-outs are in milliseconds.
struct LrcServiceOptions {
    std::string BaseUrl = "https://lrclib.net"; // settings key ("Network/LYRICS", "URL")
    long ConnectTimeoutMs = 5000;
    long RequestTimeoutMs = 15000;
    // The other services' base addresses ("Network/NETEASE", "Network/QQMUSIC",
    // "Network/KUGOU", each "URL"); empty means the service's own.
    std::string NeteaseUrl;
    std::string QqMusicUrl;
    std::string KugouUrl;
    // The services asked, in this order ("Network/LYRICSOURCES", "ORDER").
    std::vector<std::string> Sources = {"netease", "qq", "kugou", "lrclib"};
    // How long the automatic lookup waits for a service before leaving it out.
    long ServiceDeadlineMs = 5000;
    // Where songs no service has are remembered; empty: not remembered.
    std::string NoLyricFile;
};

// Creates the service when `iid` is IID_ILrcService; nullptr for any other identifier.
// The shared_ptr is the counted reference: the object lives while someone holds one.
std::shared_ptr<ILrcService> LRC_CreateObj(const TGuid &iid, const LrcServiceOptions &options = {});

} // namespace lirvo::lyrics
