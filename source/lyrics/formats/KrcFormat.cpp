#include "lyrics/formats/KrcFormat.h"

#include "function/text/FastStrings.h"
#include "lyrics/formats/FormatScan.h"
#include "lyrics/formats/TranslationMatch.h"

#include <QByteArray>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace lirvo::lyrics::services {

namespace {

constexpr std::string_view kLanguageTag = "[language:";
constexpr int kMaxLanguageDepth = 8;
constexpr int kTranslationType = 1;

// The word tag "<offset,duration,n>" at `pos`, its start made absolute; on success `pos` is past it.
bool ReadWordTag(std::string_view line, std::size_t &pos, int32_t lineStart, TTimedWord &word) {
    if (!detail::ReadWordTimes(line, pos, '<', '>', 3, word))
        return false;
    word.StartMs = detail::AddTimes(lineStart, word.StartMs);
    return true;
}

void ParseTimedLine(std::string_view line, std::vector<TTimedLine> &lines) {
    std::size_t pos = 0;
    TTimedLine *result = detail::StartTimedLine(line, lines, pos);
    if (!result)
        return;
    const int32_t lineStart = result->StartMs;
    detail::ReadWordsAfterTags(
        line, pos, '<',
        [lineStart](std::string_view text, std::size_t &at, TTimedWord &word) {
            return ReadWordTag(text, at, lineStart, word);
        },
        *result);
}

// The translation rows of the language header's value: row i belongs to the file's i-th timed
// line. Empty when the value is no valid base64 JSON or holds no translation entry.
std::vector<std::string> ReadTranslations(std::string_view base64) {
    const QByteArray encoded(base64.data(), static_cast<qsizetype>(base64.size()));
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const std::string_view json(decoded.decoded.constData(), static_cast<std::size_t>(decoded.decoded.size()));
    if (!detail::JsonNestingWithin(json, kMaxLanguageDepth))
        return {};
    const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
    if (!root.is_object())
        return {};
    const auto content = root.find("content");
    if (content == root.end() || !content->is_array())
        return {};
    for (const nlohmann::json &entry : *content) {
        if (!entry.is_object())
            continue;
        const auto type = entry.find("type");
        if (type == entry.end() || !type->is_number_integer() || type->get<int64_t>() != kTranslationType)
            continue;
        const auto rows = entry.find("lyricContent");
        if (rows == entry.end() || !rows->is_array())
            continue;
        std::vector<std::string> translations;
        translations.reserve(rows->size());
        for (const nlohmann::json &row : *rows) {
            std::string text;
            if (row.is_array()) {
                for (const nlohmann::json &part : row)
                    if (part.is_string())
                        text += part.get_ref<const std::string &>();
            } else if (row.is_string()) {
                text = row.get<std::string>();
            }
            translations.push_back(IsUntranslated(text) ? std::string() : std::string(text::TrimBlank(text)));
        }
        return translations;
    }
    return {};
}

} // namespace

std::vector<TTimedLine> ParseKrc(std::string_view text) {
    std::vector<TTimedLine> lines;
    std::string_view language;
    detail::ForEachLine(text, [&](std::string_view raw) {
        const std::string_view line = detail::TrimLeftBlank(raw);
        if (line.starts_with(kLanguageTag)) {
            std::string_view value = line.substr(kLanguageTag.size());
            const std::size_t close = value.rfind(']');
            if (close != std::string_view::npos)
                language = text::TrimBlank(value.substr(0, close));
            return;
        }
        ParseTimedLine(line, lines);
    });
    if (!language.empty()) {
        const std::vector<std::string> translations = ReadTranslations(language);
        for (std::size_t i = 0; i < lines.size() && i < translations.size(); ++i)
            lines[i].Translation = translations[i];
    }
    detail::SortByStart(lines);
    return lines;
}

} // namespace lirvo::lyrics::services
