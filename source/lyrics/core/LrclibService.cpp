#include "lyrics/core/LrclibService.h"

#include "lyrics/core/HttpTransport.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace lirvo::lyrics {

namespace {

// GET `url`; the body of a 2xx answer, nullopt on any failure (including HTTP errors), with
// the reason in `error`.
std::optional<std::string> HttpGet(const std::string &url, const LrcServiceOptions &options, std::string &error,
                                   long *statusOut = nullptr) {
    THttpRequest request;
    request.Url = url;
    request.UserAgent = LrclibUserAgent();
    request.TimeoutMs = options.RequestTimeoutMs;
    request.ConnectTimeoutMs = options.ConnectTimeoutMs;
    THttpAnswer answer = HttpFetch(request);
    if (!answer.Answered()) {
        error = answer.Error;
        return std::nullopt;
    }
    if (statusOut)
        *statusOut = answer.Status;
    if (!answer.Ok()) {
        error = "HTTP status " + std::to_string(answer.Status);
        return std::nullopt;
    }
    return std::move(answer.Body);
}

std::string TextField(const nlohmann::json &object, const char *key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Error answers carry "code" or "statusCode" (and a message) instead of data.
bool IsErrorAnswer(const nlohmann::json &object) {
    return object.contains("code") || object.contains("statusCode");
}

// Why an answer that gave nothing was not usable; "" when it was well-formed (nothing found).
std::string DescribeUnusableAnswer(std::string_view body, bool wantList) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded())
        return "malformed answer";
    if (answer.is_object() && IsErrorAnswer(answer)) {
        std::string message = TextField(answer, "message");
        return "server error" + (message.empty() ? std::string() : ": " + message);
    }
    if (wantList != answer.is_array())
        return "unexpected answer";
    return {};
}

} // namespace

std::string LrclibUserAgent() {
    return std::string("Lirvo/") + LIRVO_VERSION_TEXT + " (" + kLirvoProjectAddress + ")";
}

// One track object; nullopt when it has no usable id or is an error answer.
static std::optional<TLrcResult> ParseLrclibTrack(const nlohmann::json &track) {
    if (!track.is_object() || IsErrorAnswer(track))
        return std::nullopt;
    auto id = track.find("id");
    if (id == track.end() || !id->is_number_integer())
        return std::nullopt;
    // Ids are 32-bit in the service interface; larger ones cannot be asked for.
    const auto value = id->get<int64_t>();
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    TLrcResult result;
    result.Title = TextField(track, "trackName");
    result.Singer = TextField(track, "artistName");
    result.Extra = TextField(track, "albumName");
    result.Id = static_cast<int32_t>(value);
    if (auto duration = track.find("duration"); duration != track.end() && duration->is_number()) {
        const double seconds = duration->get<double>();
        // Only plausible lengths: a negative, endless or absurd value means "unknown".
        if (seconds > 0 && seconds < 1e7)
            result.Duration = seconds;
    }
    if (auto instrumental = track.find("instrumental");
        instrumental != track.end() && instrumental->is_boolean())
        result.Instrumental = instrumental->get<bool>();
    result.SyncedLyrics = TextField(track, "syncedLyrics");
    result.HasPlainLyrics = !TextField(track, "plainLyrics").empty();
    return result;
}

std::vector<TLrcResult> ParseLrclibSearchAnswer(std::string_view body) {
    std::vector<TLrcResult> results;
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_array())
        return results;
    for (const nlohmann::json &track : answer)
        if (std::optional<TLrcResult> result = ParseLrclibTrack(track))
            results.push_back(std::move(*result));
    return results;
}

std::optional<TLrcResult> ParseLrclibGetAnswer(std::string_view body) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded())
        return std::nullopt;
    return ParseLrclibTrack(answer);
}

std::string ParseLrclibLyricAnswer(std::string_view body) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object() || IsErrorAnswer(answer))
        return {};
    return TextField(answer, "syncedLyrics");
}

TLrclibService::TLrclibService(LrcServiceOptions options) : m_options(std::move(options)) {}

std::optional<TLrcResult> TLrclibService::GetResult(int32_t index) {
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_results.size())
        return std::nullopt;
    return m_results[static_cast<std::size_t>(index)];
}

int32_t TLrclibService::GetCount() {
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    return static_cast<int32_t>(m_results.size());
}

void TLrclibService::Reset() {
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    m_results.clear();
}

void TLrclibService::Search(const std::string &title, const std::string &singer, const std::string &extra,
                            int32_t /*flag*/) {
    std::vector<TLrcResult> results;
    std::string error;
    try {
        std::string url = TrimBase(m_options.BaseUrl) + "/api/search?track_name=" + UrlEncode(title);
        if (!singer.empty())
            url += "&artist_name=" + UrlEncode(singer);
        if (!extra.empty())
            url += "&album_name=" + UrlEncode(extra);
        if (std::optional<std::string> body = HttpGet(url, m_options, error)) {
            results = ParseLrclibSearchAnswer(*body);
            if (results.empty())
                error = DescribeUnusableAnswer(*body, true);
        }
    } catch (...) {
        results.clear(); // out of memory and the like: no results rather than a crash
        error = "internal error";
    }
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    m_results = std::move(results);
    m_lastError = std::move(error);
}

std::string TLrclibService::Download(int32_t id) {
    std::string text, error;
    try {
        const std::string url = TrimBase(m_options.BaseUrl) + "/api/get/" + std::to_string(id);
        if (std::optional<std::string> body = HttpGet(url, m_options, error)) {
            text = ParseLrclibLyricAnswer(*body);
            if (text.empty())
                error = DescribeUnusableAnswer(*body, false);
        }
    } catch (...) {
        text.clear();
        error = "internal error";
    }
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    m_lastError = std::move(error);
    return text;
}

std::optional<TLrcResult> TLrclibService::Get(const std::string &title, const std::string &artist,
                                              const std::string &album, int32_t durationSec) {
    std::optional<TLrcResult> result;
    std::string error;
    try {
        std::string url = TrimBase(m_options.BaseUrl) + "/api/get?track_name=" + UrlEncode(title) +
                          "&artist_name=" + UrlEncode(artist);
        if (!album.empty())
            url += "&album_name=" + UrlEncode(album);
        if (durationSec > 0)
            url += "&duration=" + std::to_string(durationSec);
        long status = 0;
        if (std::optional<std::string> body = HttpGet(url, m_options, error, &status)) {
            result = ParseLrclibGetAnswer(*body);
            if (!result)
                error = DescribeUnusableAnswer(*body, false);
        } else if (status == 404) {
            error.clear(); // no such track: nothing failed
        }
    } catch (...) {
        result.reset();
        error = "internal error";
    }
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    m_lastError = std::move(error);
    return result;
}

std::string TLrclibService::LastError() {
    std::lock_guard<std::mutex> lock(m_resultsMutex);
    return m_lastError;
}

} // namespace lirvo::lyrics
