// The update description comes from a web server; the version note from a program file.
#include "update/UDDGetFileInfo.h"
#include "update/UpdateDescription.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    using namespace lirvo::update;
    if (HasRootWord(text)) {
        const UpdateDescription d = ParseUpdateDescription(text);
        (void)IsNewerVersion("100", d.Ver.value_or(""));
    }
    TFixedFileInfo info;
    (void)ReadVersionNote(text, info);
    return 0;
}
