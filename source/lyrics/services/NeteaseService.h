#pragma once
// NetEase Cloud Music. Searches and lyrics go through the desktop client's encrypted "eapi"
// (EapiCodec.h); a search that fails there is asked once more through the older plain api.
// Lyrics: "yrc" (word-timed, with "ytlrc" as its translation) when there is one, else "lrc"
// (with "tlyric"). The real service has two hosts; a configured base address replaces both.

#include "lyrics/services/LyricClient.h"

#include <string>
#include <string_view>

namespace lirvo::lyrics::services {

// Answer parsing, apart from the transport so that it can be tested and fuzzed.
TSearchAnswer ParseNeteaseSearchAnswer(std::string_view body);
TFetchAnswer ParseNeteaseLyricAnswer(std::string_view body);

class TNeteaseService final : public ILyricClient {
public:
    explicit TNeteaseService(std::string baseUrl = {});
    std::string_view Key() const override { return "netease"; }
    TSearchAnswer Search(const TTrack &track, long timeoutMs) const override;
    TFetchAnswer Fetch(const TCandidate &candidate, long timeoutMs) const override;

private:
    struct TAnswer;
    TSearchAnswer PlainSearch(const std::string &keywords, long timeoutMs) const;

    std::string m_eapiBase;
    std::string m_plainBase;
    std::string m_header;    // the client fields as the JSON text sent inside each request
    std::string m_cookie;    // the same fields as a Cookie header
};

} // namespace lirvo::lyrics::services
