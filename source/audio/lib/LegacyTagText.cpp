#include "audio/lib/LegacyTagText.h"

#include "function/text/TextCodec.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>

#include <algorithm>
#include <mutex>

namespace lirvo::audio {

bool LooksLikeGbk(std::string_view bytes) {
    size_t pairs = 0;
    size_t gb2312Pairs = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            continue;
        }
        if (lead == 0x80 || lead == 0xFF || i + 1 >= bytes.size()) {
            return false;
        }
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) {
            return false;
        }
        ++pairs;
        if (lead >= 0xA1 && trail >= 0xA1) {
            ++gb2312Pairs;
        }
        ++i;
    }
    return pairs > 0 && gb2312Pairs * 2 >= pairs;
}

std::string DecodeLegacyTagText(std::string_view bytes) {
    // Fixed-size ID3v1 fields are padded with NULs (or spaces); the text ends at the first NUL.
    bytes = bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
    const bool ascii =
        std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        return std::string(bytes);
    }
    if (text::IsValidUtf8(bytes)) {
        return std::string(bytes);
    }
    if (LooksLikeGbk(bytes)) {
        return text::GbkToUtf8(bytes);
    }
    return text::Latin1ToUtf8(bytes);
}

namespace {

TagLib::String ToTagLibString(std::string_view bytes) {
    const std::string utf8 = DecodeLegacyTagText(bytes);
    return TagLib::String(utf8, TagLib::String::UTF8);
}

class LegacyId3v1Handler final : public TagLib::ID3v1::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override {
        return ToTagLibString(std::string_view(data.data(), data.size())).stripWhiteSpace();
    }
};

class LegacyId3v2Handler final : public TagLib::ID3v2::Latin1StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector &data) const override {
        return ToTagLibString(std::string_view(data.data(), data.size()));
    }
};

} // namespace

void InstallLegacyTagDecoders() {
    static std::once_flag once;
    std::call_once(once, [] {
        static const LegacyId3v1Handler id3v1;
        static const LegacyId3v2Handler id3v2;
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
        TagLib::ID3v2::Tag::setLatin1StringHandler(&id3v2);
    });
}

} // namespace lirvo::audio
