// Any bytes as a preset file: listing names and looking up presets never crash or hang; the only
// error is the documented one for values that are not integers.

#include "shell/controller/PresetFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string document(reinterpret_cast<const char *>(data), size);
    auto names = lirvo::shell::ReadPresetNamesFromText(document);
    for (std::int32_t id : {0, 1, static_cast<std::int32_t>(names.size()) - 1}) {
        try {
            lirvo::shell::FindPresetGainsInText(document, id);
        } catch (const lirvo::shell::PresetValueError &) {
        }
    }
    return 0;
}
