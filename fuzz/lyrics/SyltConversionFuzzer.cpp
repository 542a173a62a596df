// Synchronised-lyric frames as a tag holds them: the bytes go through TagLib's SYLT frame
// parser and our conversion to LRC, whose every line must parse again; the same bytes, cut
// into entries directly, go through the conversion alone.
#include "lyrics/core/EmbeddedLyrics.h"
#include "lyrics/core/uLRCHandle.h"

#include <taglib/synchronizedlyricsframe.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void CheckLrc(const std::vector<lirvo::lyrics::TSyncedText> &entries) {
    const std::string lrc = lirvo::lyrics::SyncedTextToLrc(entries);
    // Every line starts with a time tag and ends with CR LF.
    std::size_t lines = 0;
    for (std::size_t pos = 0; pos < lrc.size(); ++lines) {
        const std::size_t end = lrc.find("\r\n", pos);
        if (end == std::string::npos || lrc[pos] != '[')
            std::abort();
        pos = end + 2;
    }
    lirvo::lyrics::TLyricHandle handle;
    handle.Parse(lrc);
    if (lines > entries.size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics;
    // 1. A whole ID3v2.4 SYLT frame: header, then the bytes as the frame's content.
    TagLib::ByteVector frame("SYLT", 4);
    const uint32_t length = static_cast<uint32_t>(size);
    frame.append(TagLib::ByteVector::fromUInt(((length & 0x0FE00000u) << 3) | ((length & 0x1FC000u) << 2) |
                                              ((length & 0x3F80u) << 1) | (length & 0x7Fu)));
    frame.append(TagLib::ByteVector(2, '\0'));
    frame.append(TagLib::ByteVector(reinterpret_cast<const char *>(data), static_cast<unsigned>(size)));
    try {
        TagLib::ID3v2::SynchronizedLyricsFrame sylt(frame);
        std::vector<TSyncedText> entries;
        for (const auto &entry : sylt.synchedText())
            entries.push_back(TSyncedText{entry.time, entry.text.to8Bit(true)});
        CheckLrc(entries);
    } catch (const std::bad_alloc &) {
    }

    // 2. Entries cut straight from the bytes: 4 bytes of time, 1 byte of length, the text.
    std::vector<TSyncedText> entries;
    for (std::size_t pos = 0; pos + 5 <= size;) {
        uint32_t time = 0;
        std::memcpy(&time, data + pos, 4);
        const std::size_t n = std::min<std::size_t>(data[pos + 4], size - pos - 5);
        entries.push_back(TSyncedText{time, std::string(reinterpret_cast<const char *>(data) + pos + 5, n)});
        pos += 5 + n;
    }
    CheckLrc(entries);
    return 0;
}
