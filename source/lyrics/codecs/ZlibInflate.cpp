#include "lyrics/codecs/ZlibInflate.h"

#include <algorithm>
#include <limits>

#include <zlib.h>

namespace lirvo::lyrics::codecs {

namespace {

// Owns a z_stream set up for inflating, so every way out of InflateZlib ends it.
class TInflater {
public:
    TInflater() { ok_ = inflateInit(&stream_) == Z_OK; }
    ~TInflater() {
        if (ok_)
            inflateEnd(&stream_);
    }
    TInflater(const TInflater &) = delete;
    TInflater &operator=(const TInflater &) = delete;

    bool ok() const { return ok_; }
    z_stream &stream() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

constexpr std::size_t kChunk = std::size_t{64} << 10;
// zlib counts in uInt; larger inputs are handed over in pieces of this size.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

} // namespace

std::optional<std::string> InflateZlib(std::string_view data, std::size_t maxOutput) {
    TInflater inflater;
    if (!inflater.ok())
        return std::nullopt;
    z_stream &zs = inflater.stream();

    // One byte of room beyond the cap tells "exactly maxOutput" from "more than maxOutput".
    const std::size_t room = maxOutput == std::numeric_limits<std::size_t>::max() ? maxOutput : maxOutput + 1;
    std::string out;
    std::size_t inputUsed = 0;
    for (;;) {
        if (zs.avail_in == 0 && inputUsed < data.size()) {
            const std::size_t piece = std::min(kMaxPiece, data.size() - inputUsed);
            zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data() + inputUsed));
            zs.avail_in = static_cast<uInt>(piece);
            inputUsed += piece;
        }
        if (zs.avail_out == 0) {
            const std::size_t have = out.size();
            if (have >= room)
                return std::nullopt;
            // Doubling keeps the number of inflate calls small for large lyrics.
            const std::size_t grow = std::min({room - have, std::max(kChunk, have), kMaxPiece});
            out.resize(have + grow);
            zs.next_out = reinterpret_cast<Bytef *>(out.data() + have);
            zs.avail_out = static_cast<uInt>(grow);
        }
        const uInt outBefore = zs.avail_out;
        const uInt inBefore = zs.avail_in;
        const int rc = inflate(&zs, Z_NO_FLUSH);
        const std::size_t produced = outBefore - zs.avail_out;
        if (rc == Z_STREAM_END) {
            out.resize(out.size() - zs.avail_out);
            if (out.size() > maxOutput)
                return std::nullopt;
            return out;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return std::nullopt; // Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR, Z_STREAM_ERROR
        // inflate only returns with room left in the output when it has used up its input, so
        // room left with no input to come means the stream is cut short. The progress check
        // guards against looping should zlib ever stall with input and room on both sides.
        if (zs.avail_out != 0 && zs.avail_in == 0 && inputUsed == data.size())
            return std::nullopt;
        if (zs.avail_out != 0 && produced == 0 && zs.avail_in == inBefore)
            return std::nullopt;
    }
}

bool StripUtf8Bom(std::string &text) {
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF) {
        text.erase(0, 3);
        return true;
    }
    return false;
}

} // namespace lirvo::lyrics::codecs
