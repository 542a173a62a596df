#include "update/UpdateDescription.h"

#include "function/text/FastStrings.h"
#include "storage/XmlPullReader.h"

#include <limits>
#include <string>

namespace lirvo::update {

bool HasRootWord(std::string_view response) {
    return text::TextPosFrom(response, "zylvan", 1) > 0;
}

UpdateDescription ParseUpdateDescription(std::string_view document) {
    UpdateDescription result;
    storage::XmlPullReader reader = storage::XmlPullReader::FromText(document);
    while (reader.Next()) {
        const storage::XmlPart &part = reader.Part();
        if (part.kind == storage::XmlPartKind::Text)
            continue;
        // An end tag counts as an element without attributes, which empties the value.
        const std::string value = part.kind == storage::XmlPartKind::StartTag ? part.Attribute("value") : "";
        if (part.lowerName == "ver")
            result.Ver = value;
        else if (part.lowerName == "file")
            result.File = value;
        else if (part.lowerName == "musicpath")
            result.MusicPath = value;
    }
    result.Complete = !reader.Failed();
    return result;
}

std::string LocalVersionDigits(const TFixedFileInfo &info) {
    return std::to_string(info.dwFileVersionMS >> 16) + std::to_string(info.dwFileVersionMS & 0xFFFF) +
           std::to_string(info.dwFileVersionLS >> 16) + std::to_string(info.dwFileVersionLS & 0xFFFF);
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<bool> IsNewerVersion(std::string_view localDigits, std::string_view remoteVer) {
    const auto local = ParseInt32(localDigits);
    const auto remote = ParseInt32(remoteVer);
    if (!local || !remote)
        return std::nullopt;
    return static_cast<std::uint32_t>(*local) < static_cast<std::uint32_t>(*remote);
}

} // namespace lirvo::update
