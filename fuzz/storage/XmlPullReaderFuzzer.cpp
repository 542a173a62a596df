// Scans arbitrary bytes with the pull reader, the way the preset list and the update check do.

#include "storage/XmlPullReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto reader =
        lirvo::storage::XmlPullReader::FromText(std::string_view(reinterpret_cast<const char *>(data), size));
    std::size_t seen = 0;
    while (reader.Next()) {
        const auto &part = reader.Part();
        if (part.lowerName == "eq" || part.lowerName == "ver")
            seen += part.Attribute("name").size() + part.Attribute("value").size();
        seen += part.text.size();
        if (part.kind == lirvo::storage::XmlPartKind::Text && !part.name.empty())
            std::abort(); // text parts carry no name
    }
    if (reader.Failed() && reader.Error().empty())
        std::abort(); // a failure always explains itself
    if (reader.Next())
        std::abort(); // a finished scan stays finished
    return seen == static_cast<std::size_t>(-1);
}
