#include "lyrics/formats/FormatScan.h"

#include "function/text/FastStrings.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace lirvo::lyrics::services::detail {

std::string_view DropByteOrderMark(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text;
}

std::string_view TrimLeftBlank(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= 0x20)
        ++i;
    return text.substr(i);
}

std::optional<int32_t> ReadNumber(std::string_view text, std::size_t &pos) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    const std::size_t start = pos;
    int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = std::min(kMax, value * 10 + (text[pos] - '0'));
        ++pos;
    }
    if (pos == start)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

bool ReadNumberGroup(std::string_view text, std::size_t &pos, char close, int32_t *values, int count) {
    std::size_t p = pos;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (p >= text.size() || text[p] != ',')
                return false;
            ++p;
        }
        std::optional<int32_t> value = ReadNumber(text, p);
        if (!value)
            return false;
        values[i] = *value;
    }
    if (p >= text.size() || text[p] != close)
        return false;
    pos = p + 1;
    return true;
}

std::optional<TLineTag> ReadLineTag(std::string_view line, std::size_t &pos) {
    if (line.empty() || line[0] != '[')
        return std::nullopt;
    std::size_t p = 1;
    int32_t values[2] = {0, 0};
    if (!ReadNumberGroup(line, p, ']', values, 2))
        return std::nullopt;
    pos = p;
    return TLineTag{values[0], values[1]};
}

TTimedLine *StartTimedLine(std::string_view line, std::vector<TTimedLine> &lines, std::size_t &pos) {
    pos = 0;
    const std::optional<TLineTag> tag = ReadLineTag(line, pos);
    if (!tag)
        return nullptr;
    TTimedLine &result = lines.emplace_back();
    result.StartMs = tag->StartMs;
    result.DurationMs = tag->DurationMs;
    return &result;
}

bool ReadWordTimes(std::string_view line, std::size_t &pos, char open, char close, int count, TTimedWord &word) {
    if (pos >= line.size() || line[pos] != open || count < 2 || count > 3)
        return false;
    std::size_t p = pos + 1;
    int32_t values[3] = {0, 0, 0};
    if (!ReadNumberGroup(line, p, close, values, count))
        return false;
    word.StartMs = values[0];
    word.DurationMs = values[1];
    pos = p;
    return true;
}

int32_t AddTimes(int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + int64_t{b};
    return static_cast<int32_t>(std::clamp<int64_t>(sum, 0, std::numeric_limits<int32_t>::max()));
}

std::string JoinWords(const std::vector<TTimedWord> &words) {
    std::string text;
    for (const TTimedWord &word : words)
        text += word.Text;
    return std::string(text::TrimBlank(text));
}

void SortByStart(std::vector<TTimedLine> &lines) {
    const auto earlier = [](const TTimedLine &a, const TTimedLine &b) { return a.StartMs < b.StartMs; };
    if (std::is_sorted(lines.begin(), lines.end(), earlier))
        return;
    // Sorting (time, position) keys keeps equal times in their order and moves each line,
    // with its strings and words, only once.
    std::vector<std::pair<int32_t, std::size_t>> keys;
    keys.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        keys.emplace_back(lines[i].StartMs, i);
    std::sort(keys.begin(), keys.end());
    std::vector<TTimedLine> sorted;
    sorted.reserve(lines.size());
    for (const auto &key : keys)
        sorted.push_back(std::move(lines[key.second]));
    lines.swap(sorted);
}

bool JsonNestingWithin(std::string_view json, int maxDepth) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

} // namespace lirvo::lyrics::services::detail
