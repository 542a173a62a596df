#pragma once
// The lyric service over LRCLIB's public HTTP API (libcurl + nlohmann-json):
//   Get      = GET {base}/api/get?track_name=..&artist_name=..[&album_name=..][&duration=..]
//   Search   = GET {base}/api/search?track_name=..&artist_name=..[&album_name=..]
//   Download = GET {base}/api/get/{id}, taking "syncedLyrics".
// Get and Search answers carry each track's lyrics, kept in the results.
// Every failure (no network, HTTP error, time-out, malformed JSON, wrong types) gives zero
// results or an empty text.

#include "lyrics/core/LRC_Header.h"


#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics {

// Where the program comes from, named in the User-Agent.
inline constexpr const char *kLirvoProjectAddress = "http://www.lirvo.net";

// Answer parsing, separate from the transport so that it can be tested and fuzzed.
// A search answer is a JSON array of tracks; entries with a wrong shape are skipped.
std::vector<TLrcResult> ParseLrclibSearchAnswer(std::string_view body);
// A get answer is one track object.
std::optional<TLrcResult> ParseLrclibGetAnswer(std::string_view body);
// A track answer is an object; its "syncedLyrics" (empty when null, missing or not text).
std::string ParseLrclibLyricAnswer(std::string_view body);

// User-Agent sent with every request ("Lirvo/<version> (<project address>)").
std::string LrclibUserAgent();

class TLrclibService final : public ILrcService {
public:
    explicit TLrclibService(LrcServiceOptions options = {});

    std::optional<TLrcResult> GetResult(int32_t index) override;
    int32_t GetCount() override;
    void Reset() override;
    std::string Download(int32_t id) override;
    std::optional<TLrcResult> Get(const std::string &title, const std::string &artist, const std::string &album,
                                  int32_t durationSec) override;
    void Search(const std::string &title, const std::string &singer, const std::string &extra,
                int32_t flag) override;

    const LrcServiceOptions &Options() const { return m_options; }
    // Why the last Search or Download gave nothing ("" when it succeeded or found nothing):
    // the transfer error, the HTTP status or a malformed answer. For messages to the user.
    std::string LastError() override;

private:
    LrcServiceOptions m_options;
    std::mutex m_resultsMutex; // guards m_results against unsynchronised callers
    std::vector<TLrcResult> m_results;
    std::string m_lastError;
};

} // namespace lirvo::lyrics
