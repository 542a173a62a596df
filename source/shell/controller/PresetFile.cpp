#include "shell/controller/PresetFile.h"

#include "storage/XmlPullReader.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace lirvo::shell {

namespace {

using storage::XmlPart;
using storage::XmlPartKind;
using storage::XmlPullReader;

// Decimal 32-bit integer, optional sign, surrounding blanks allowed; anything else throws.
std::int32_t ToInteger(const std::string &text, const char *attribute) {
    std::size_t begin = text.find_first_not_of(" \t\r\n");
    std::size_t end = text.find_last_not_of(" \t\r\n");
    if (begin != std::string::npos) {
        std::string digits = text.substr(begin, end - begin + 1);
        std::size_t at = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
        bool allDigits =
            at < digits.size() && digits.find_first_not_of("0123456789", at) == std::string::npos;
        if (allDigits) {
            errno = 0;
            long long value = std::strtoll(digits.c_str(), nullptr, 10);
            if (errno == 0 && value >= std::numeric_limits<std::int32_t>::min() &&
                value <= std::numeric_limits<std::int32_t>::max())
                return static_cast<std::int32_t>(value);
        }
    }
    std::string message;
    message.append("'").append(text).append("' is not a valid integer value for ").append(attribute);
    throw PresetValueError(message);
}

// Walks the presets as the reader yields them: every part named eq, end tags included, and a
// text part right after such a part as one more copy of it.
template <typename Visit> void ForEachPreset(XmlPullReader reader, Visit &&visit) {
    bool lastWasEq = false;
    XmlPart last;
    while (reader.Next()) {
        const XmlPart &part = reader.Part();
        if (part.kind == XmlPartKind::Text) {
            if (lastWasEq)
                visit(last);
            continue;
        }
        lastWasEq = part.lowerName == "eq";
        if (lastWasEq) {
            last = part;
            visit(part);
        }
    }
}

std::vector<std::string> Names(XmlPullReader reader) {
    std::vector<std::string> names;
    ForEachPreset(std::move(reader), [&](const XmlPart &part) { names.push_back(part.Attribute("name")); });
    return names;
}

void Scan(XmlPullReader reader, std::int32_t id, const std::function<void(const PresetGains &)> &apply) {
    ForEachPreset(std::move(reader), [&](const XmlPart &part) {
        if (ToInteger(part.Attribute("id"), "id") != id)
            return;
        PresetGains gains{};
        static const char *const kGainNames[] = {"q1", "q2", "q3", "q4", "q5", "q6", "q7", "q8", "q9", "q10"};
        for (std::size_t band = 0; band < gains.size(); ++band)
            gains[band] = ToInteger(part.Attribute(kGainNames[band]), kGainNames[band]);
        apply(gains); // the scan goes on: the last preset with this id wins
    });
}

std::optional<PresetGains> Gains(XmlPullReader reader, std::int32_t id) {
    std::optional<PresetGains> found;
    Scan(std::move(reader), id, [&](const PresetGains &gains) { found = gains; });
    return found;
}

} // namespace

std::vector<std::string> ReadPresetNames(const std::string &path) {
    return Names(XmlPullReader::FromFile(path));
}

std::optional<PresetGains> FindPresetGains(const std::string &path, std::int32_t id) {
    return Gains(XmlPullReader::FromFile(path), id);
}

void ScanPresetGains(const std::string &path, std::int32_t id,
                     const std::function<void(const PresetGains &)> &apply) {
    Scan(XmlPullReader::FromFile(path), id, apply);
}

std::vector<std::string> ReadPresetNamesFromText(const std::string &document) {
    return Names(XmlPullReader::FromText(document));
}

std::optional<PresetGains> FindPresetGainsInText(const std::string &document, std::int32_t id) {
    return Gains(XmlPullReader::FromText(document), id);
}

} // namespace lirvo::shell
