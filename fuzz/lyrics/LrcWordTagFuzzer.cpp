// Line texts with word tags: every timed line that has words must read back as its text, and
// no valid word tag may remain in a line's text.
#include "lyrics/core/uLRCHandle.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Trimmed as the parser trims line texts.
std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics;
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    // As given, and as the text of one timed line, so that word tags are always reached.
    for (const std::string &text : {std::string(input), "[00:01.00]" + std::string(input)}) {
        TLyricHandle handle;
        handle.Parse(text);
        for (const TLyricItem &item : handle.Items()) {
            std::string joined;
            for (const TLyricWord &word : item.Words) {
                if (word.Text.empty())
                    std::abort();
                joined += word.Text;
            }
            if (!item.Words.empty() && Trim(joined) != item.Text)
                std::abort();
            if (item.Words.empty() && item.WordsEnd != -1)
                std::abort();
        }
    }
    return 0;
}
