#include "lyrics/services/MatchText.h"

#include "function/text/FastStrings.h"
#include "lyrics/core/UntLrcThread.h"

#include <opencc.h>

#include <mutex>

namespace lirvo::lyrics::services {

namespace {

// One converter for the program, opened on first use; OpenCC's converters are not documented
// as safe to share between threads, so calls are serialised.
class TSimplifier {
public:
    static TSimplifier &Instance() {
        static TSimplifier instance;
        return instance;
    }
    std::string Convert(std::string_view text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_handle == reinterpret_cast<opencc_t>(-1))
            return std::string(text);
        char *converted = opencc_convert_utf8(m_handle, text.data(), text.size());
        if (!converted)
            return std::string(text);
        std::string out(converted);
        opencc_convert_utf8_free(converted);
        return out;
    }

private:
    TSimplifier() : m_handle(opencc_open("t2s.json")) {}
    ~TSimplifier() {
        if (m_handle != reinterpret_cast<opencc_t>(-1))
            opencc_close(m_handle);
    }
    std::mutex m_mutex;
    opencc_t m_handle;
};

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

std::string StripHighlightTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, 4) == "<em>") {
            i += 4;
        } else if (text.substr(i, 5) == "</em>") {
            i += 5;
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

std::string FullWidthToHalfWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 == 0xEF && i + 2 < text.size()) {
            // U+FF01..U+FF5E are EF BC 81..EF BD 9E.
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            const unsigned code = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
            if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && code >= 0xFF01 && code <= 0xFF5E) {
                out.push_back(static_cast<char>(code - 0xFF01 + 0x21));
                i += 2;
                continue;
            }
        }
        if (b0 == 0xE3 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            static_cast<unsigned char>(text[i + 2]) == 0x80) {
            out.push_back(' '); // U+3000 ideographic space
            i += 2;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string TraditionalToSimplified(std::string_view text) {
    if (text.empty() || IsAscii(text))
        return std::string(text);
    return TSimplifier::Instance().Convert(text);
}

std::string NormalizeForMatch(std::string_view text) {
    std::string out = TraditionalToSimplified(FullWidthToHalfWidth(StripHighlightTags(text)));
    return std::string(text::TrimBlank(AsciiLower(out)));
}

int MatchScore(std::string_view a, std::string_view b) {
    return Similarity(NormalizeForMatch(a), NormalizeForMatch(b));
}

} // namespace lirvo::lyrics::services
