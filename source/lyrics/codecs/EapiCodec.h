#pragma once
// NetEase Cloud Music's "eapi" request sealing: the API path and JSON body are signed with an
// MD5 digest and encrypted with AES-128-ECB under a fixed key. Answers asked for with
// e_r=true come back encrypted the same way.

#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics::codecs {

// Md5Hex, EapiSeal and EapiParams throw std::runtime_error only when libcrypto cannot do MD5
// or AES at all (a FIPS-only configuration); they accept any input.

// Lower-case hex MD5 digest of `bytes`.
std::string Md5Hex(std::string_view bytes);

// AES-128-ECB with PKCS#7 padding under the eapi key (raw bytes, a multiple of 16 long).
std::string EapiSeal(std::string_view plain);

// The value of the "params" form field for a request to `apiPath` (e.g. "/api/song/lyric/v1")
// carrying `json`: upper-case hex of EapiSeal(path + sep + json + sep + digest), where sep is
// "-36cd479b6b5-" and digest = Md5Hex("nobody" + path + "use" + json + "md5forencrypt").
std::string EapiParams(std::string_view apiPath, std::string_view json);

// Reverses EapiSeal on an encrypted answer body. nullopt when the length is 0 or not a
// multiple of 16, or the PKCS#7 padding is not valid.
std::optional<std::string> EapiOpenAnswer(std::string_view sealedBytes);

} // namespace lirvo::lyrics::codecs
