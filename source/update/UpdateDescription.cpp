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

std::optional<bool> IsNewerVersion(std::string_view localDigits, std::string_view remoteVer) {
    const auto local = text::ParseInt32(localDigits);
    const auto remote = text::ParseInt32(remoteVer);
    if (!local || !remote)
        return std::nullopt;
    return static_cast<std::uint32_t>(*local) < static_cast<std::uint32_t>(*remote);
}

} // namespace lirvo::update
