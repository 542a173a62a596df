#pragma once
// Small readers the service clients share for their JSON answers, which differ in types from
// one answer to the next (ids as numbers or text, missing members, nulls).

#include "lyrics/formats/ServiceLyric.h"
#include "lyrics/services/LyricClient.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lirvo::lyrics::services {

// The text member `key`; "" when missing or not text.
std::string TextField(const nlohmann::json &object, const char *key);
// An integer member given as a number or as decimal text; nullopt otherwise.
std::optional<int64_t> IntegerField(const nlohmann::json &object, const char *key);
// True only for a member that is the boolean true.
bool BoolField(const nlohmann::json &object, const char *key);
// The member `key`, nullptr when missing.
const nlohmann::json *MemberOf(const nlohmann::json &object, const char *key);

// A length in ms when it is plausible (up to about four days), else 0 (unknown).
int32_t PlausibleDurationMs(int64_t ms);

// "title artist", what the services are searched with.
std::string SearchKeywords(const TTrack &track);

// True for a lyric that only says the piece is instrumental ("纯音乐，请欣赏" and its kin).
bool IsInstrumentalNotice(const std::vector<TTimedLine> &lines);

// Strips a JSONP wrapper ("Callback({...})"), leaving the JSON inside; other text unchanged.
std::string_view StripJsonp(std::string_view body);

} // namespace lirvo::lyrics::services
