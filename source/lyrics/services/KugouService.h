#pragma once
// Kugou. A search gives lyric candidates (each an id and an access key); a download gives the
// KRC lyric, encrypted (KrcCodec.h), with its translation inside.

#include "lyrics/services/LyricClient.h"

#include <string>
#include <string_view>

namespace lirvo::lyrics::services {

TSearchAnswer ParseKugouSearchAnswer(std::string_view body);
TFetchAnswer ParseKugouDownloadAnswer(std::string_view body);

class TKugouService final : public ILyricClient {
public:
    explicit TKugouService(std::string baseUrl = {});
    std::string_view Key() const override { return "kugou"; }
    TSearchAnswer Search(const TTrack &track, long timeoutMs) const override;
    TFetchAnswer Fetch(const TCandidate &candidate, long timeoutMs) const override;

private:
    std::string m_base;
};

} // namespace lirvo::lyrics::services
