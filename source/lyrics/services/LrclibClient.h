#pragma once
// LRCLIB behind the client interface. Its answers carry the lyric, so a search already tells
// what each candidate has and fetching needs no request. The exact entry for the track comes
// first, then the search results, as the LRCLIB lookup has always asked.

#include "lyrics/core/LRC_Header.h"
#include "lyrics/services/LyricClient.h"

namespace lirvo::lyrics::services {

// A candidate for a result of LRCLIB's answers.
TCandidate LrclibCandidate(const TLrcResult &result);

class TLrclibClient final : public ILyricClient {
public:
    explicit TLrclibClient(LrcServiceOptions options);
    std::string_view Key() const override { return "lrclib"; }
    TSearchAnswer Search(const TTrack &track, long timeoutMs) const override;
    TFetchAnswer Fetch(const TCandidate &candidate, long timeoutMs) const override;

private:
    LrcServiceOptions m_options;
};

} // namespace lirvo::lyrics::services
