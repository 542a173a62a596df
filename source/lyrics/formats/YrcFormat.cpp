#include "lyrics/formats/YrcFormat.h"

#include "function/text/FastStrings.h"
#include "lyrics/formats/FormatScan.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace lirvo::lyrics::services {

namespace {

// Credit lines are a few dozen bytes; longer or deeply nested objects are not credits.
constexpr std::size_t kMaxCreditBytes = 64 * 1024;
constexpr int kMaxCreditDepth = 8;

std::optional<TTimedLine> ParseCreditLine(std::string_view line) {
    if (line.size() > kMaxCreditBytes || !detail::JsonNestingWithin(line, kMaxCreditDepth))
        return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(line, nullptr, false);
    if (!json.is_object())
        return std::nullopt;
    const auto t = json.find("t");
    if (t == json.end() || !t->is_number())
        return std::nullopt;
    // Integer or not, clamped first: a double beyond the int32 range has no int32 value.
    const double start = std::clamp(t->get<double>(), 0.0, double{INT32_MAX});
    TTimedLine credit;
    credit.StartMs = static_cast<int32_t>(start);
    const auto c = json.find("c");
    if (c != json.end() && c->is_array()) {
        for (const nlohmann::json &part : *c) {
            if (!part.is_object())
                continue;
            const auto tx = part.find("tx");
            if (tx != part.end() && tx->is_string())
                credit.Text += tx->get_ref<const std::string &>();
        }
    }
    credit.Text = std::string(text::TrimBlank(credit.Text));
    return credit;
}

// The word tag "(start,duration,n)" at `pos`; on success `pos` is past it.
bool ReadWordTag(std::string_view line, std::size_t &pos, TTimedWord &word) {
    return detail::ReadWordTimes(line, pos, '(', ')', 3, word);
}

void ParseTimedLine(std::string_view line, std::vector<TTimedLine> &lines) {
    std::size_t pos = 0;
    if (TTimedLine *result = detail::StartTimedLine(line, lines, pos))
        detail::ReadWordsAfterTags(line, pos, '(', ReadWordTag, *result);
}

} // namespace

std::vector<TTimedLine> ParseYrc(std::string_view text) {
    std::vector<TTimedLine> lines;
    detail::ForEachLine(text, [&](std::string_view raw) {
        const std::string_view line = detail::TrimLeftBlank(raw);
        if (line.starts_with('[')) {
            ParseTimedLine(line, lines);
        } else if (line.starts_with('{')) {
            if (std::optional<TTimedLine> credit = ParseCreditLine(line))
                lines.push_back(std::move(*credit));
        }
    });
    detail::SortByStart(lines);
    return lines;
}

} // namespace lirvo::lyrics::services
