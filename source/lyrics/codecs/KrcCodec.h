#pragma once
// Kugou's KRC lyric files as its download service sends them: Base64 of "krc1" followed by
// a zlib stream XOR-ed with a fixed 16-byte key.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics::codecs {

// The UTF-8 KRC text (without byte order mark) from the service's Base64 "content" field;
// nullopt for bad Base64, a missing "krc1" header, or a stream that does not inflate.
std::optional<std::string> DecryptKrc(std::string_view base64Content);

// The same from the raw bytes of a .krc file ("krc1" + XOR-ed zlib stream).
std::optional<std::string> DecryptKrcBytes(std::string_view fileBytes);

} // namespace lirvo::lyrics::codecs
