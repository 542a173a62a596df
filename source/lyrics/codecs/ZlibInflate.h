#pragma once
// zlib decompression of lyric payloads, with a cap on the output so that a small hostile
// input cannot make us allocate without bound.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics::codecs {

// The contents of one zlib-wrapped (RFC 1950) deflate stream at the start of `data`. Decoding
// stops at the end of that stream, so whatever follows it (the services pad with zero bytes)
// is ignored. A truncated or corrupt stream, a failed checksum, a stream that needs a preset
// dictionary, or more than `maxOutput` bytes of output gives nullopt.
std::optional<std::string> InflateZlib(std::string_view data, std::size_t maxOutput = std::size_t{64} << 20);

// Removes a leading UTF-8 byte order mark (EF BB BF). True when there was one.
bool StripUtf8Bom(std::string &text);

} // namespace lirvo::lyrics::codecs
