#pragma once
// QQ Music. Searches and word-timed lyrics go through "musicu.fcg" (JSON requests); the lyric
// and its translation come encrypted (QqDes.h) and hold a QRC document or plain LRC. When no
// word-timed lyric comes, the line-timed one of "fcg_query_lyric_new" is asked (base64 of LRC
// with XML entities, sometimes wrapped as JSONP). A configured base address replaces both of
// the real service's hosts.

#include "lyrics/services/LyricClient.h"

#include <string>
#include <string_view>

namespace lirvo::lyrics::services {

TSearchAnswer ParseQqSearchAnswer(std::string_view body);
// The GetPlayLyricInfo answer; a lyric without lines when it has no usable lyric.
TFetchAnswer ParseQqLyricInfoAnswer(std::string_view body);
// The fcg_query_lyric_new answer.
TFetchAnswer ParseQqFcgLyricAnswer(std::string_view body);

class TQqMusicService final : public ILyricClient {
public:
    explicit TQqMusicService(std::string baseUrl = {});
    std::string_view Key() const override { return "qq"; }
    TSearchAnswer Search(const TTrack &track, long timeoutMs) const override;
    TFetchAnswer Fetch(const TCandidate &candidate, long timeoutMs) const override;

private:
    std::string m_musicuBase;
    std::string m_fcgBase;
};

} // namespace lirvo::lyrics::services
