#include "lyrics/services/ServiceAnswers.h"

#include "function/text/FastStrings.h"
#include "lyrics/core/HttpTransport.h"

#include <charconv>

namespace lirvo::lyrics::services {

std::string TextField(const nlohmann::json &object, const char *key) {
    if (!object.is_object())
        return {};
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::optional<int64_t> IntegerField(const nlohmann::json &object, const char *key) {
    if (!object.is_object())
        return std::nullopt;
    auto it = object.find(key);
    if (it == object.end())
        return std::nullopt;
    if (it->is_number_integer())
        return it->get<int64_t>();
    if (it->is_number_unsigned()) {
        const auto value = it->get<uint64_t>();
        return value <= static_cast<uint64_t>(INT64_MAX) ? std::optional<int64_t>(static_cast<int64_t>(value))
                                                          : std::nullopt;
    }
    if (it->is_number_float()) {
        const double value = it->get<double>();
        if (value > -9e15 && value < 9e15)
            return static_cast<int64_t>(value);
        return std::nullopt;
    }
    if (it->is_string()) {
        const std::string &text = it->get_ref<const std::string &>();
        int64_t value = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc() && end == text.data() + text.size() && !text.empty())
            return value;
    }
    return std::nullopt;
}

bool BoolField(const nlohmann::json &object, const char *key) {
    if (!object.is_object())
        return false;
    auto it = object.find(key);
    return it != object.end() && it->is_boolean() && it->get<bool>();
}

const nlohmann::json *MemberOf(const nlohmann::json &object, const char *key) {
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

int32_t PlausibleDurationMs(int64_t ms) {
    return ms > 0 && ms < 400'000'000 ? static_cast<int32_t>(ms) : 0;
}

std::string SearchKeywords(const TTrack &track) {
    std::string title(text::TrimBlank(track.Title)), artist(text::TrimBlank(track.Artist));
    return artist.empty() ? title : title + " " + artist;
}

bool IsInstrumentalNotice(const std::vector<TTimedLine> &lines) {
    const TTimedLine *only = nullptr;
    for (const TTimedLine &line : lines) {
        if (text::IsBlank(line.Text))
            continue;
        if (only)
            return false;
        only = &line;
    }
    return only && only->Text.find("纯音乐") != std::string::npos && only->Text.find("欣赏") != std::string::npos;
}

std::string_view StripJsonp(std::string_view body) {
    const std::string_view trimmed = text::TrimBlank(body);
    if (trimmed.empty() || trimmed.front() == '{' || trimmed.front() == '[')
        return trimmed;
    const std::size_t open = trimmed.find('(');
    const std::size_t close = trimmed.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close <= open)
        return trimmed;
    return text::TrimBlank(trimmed.substr(open + 1, close - open - 1));
}

std::string ServiceDisplayName(std::string_view key) {
    if (key == "netease")
        return "网易云音乐";
    if (key == "qq")
        return "QQ音乐";
    if (key == "kugou")
        return "酷狗音乐";
    if (key == "lrclib")
        return "LRCLIB";
    return std::string(key);
}

const std::vector<std::string> &KnownServiceKeys() {
    static const std::vector<std::string> keys = {"netease", "qq", "kugou", "lrclib"};
    return keys;
}

TServiceFailure TransportFailure(const THttpAnswer &answer) {
    if (!answer.Answered())
        return {TFailureKind::Unreachable, answer.TimedOut ? "没有应答" : "无法连接"};
    if (answer.Status == 403 || answer.Status == 429 || answer.Status == 451)
        return {TFailureKind::Refused, "拒绝访问（HTTP " + std::to_string(answer.Status) + "）"};
    return {TFailureKind::Refused, "服务器错误（HTTP " + std::to_string(answer.Status) + "）"};
}

TServiceFailure MalformedAnswer() {
    return {TFailureKind::Malformed, "应答无法识别"};
}

} // namespace lirvo::lyrics::services
