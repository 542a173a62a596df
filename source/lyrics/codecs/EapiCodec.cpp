#include "lyrics/codecs/EapiCodec.h"

#include "lyrics/codecs/ByteCoding.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <utility>

#include <openssl/err.h>
#include <openssl/evp.h>

namespace lirvo::lyrics::codecs {

namespace {

constexpr unsigned char kEapiKey[16] = {'e', '8', '2', 'c', 'k', 'e', 'n', 'h',
                                        '8', 'd', 'i', 'c', 'h', 'e', 'n', '8'};
constexpr std::string_view kEapiSeparator = "-36cd479b6b5-";

// EVP lengths are int; longer inputs go through in pieces of this size (a multiple of 16).
constexpr std::size_t kPiece = std::size_t{1} << 30;

struct TCipherContextFree {
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using TCipherContext = std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree>;

struct TDigestContextFree {
    void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); }
};
using TDigestContext = std::unique_ptr<EVP_MD_CTX, TDigestContextFree>;

// AES-128-ECB with PKCS#7 padding in either direction; nullopt when libcrypto refuses (for
// decryption: a length that is not a whole number of blocks, or bad padding). Leaves
// libcrypto's error queue of this thread empty either way.
std::optional<std::string> aesEcb(std::string_view input, bool encrypt) {
    TCipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, kEapiKey, nullptr, encrypt ? 1 : 0) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    std::string out(input.size() + 16, '\0');
    auto *dst = reinterpret_cast<unsigned char *>(out.data());
    std::size_t written = 0;
    for (std::size_t done = 0; done < input.size();) {
        const std::size_t piece = std::min(kPiece, input.size() - done);
        int n = 0;
        if (EVP_CipherUpdate(ctx.get(), dst + written, &n, reinterpret_cast<const unsigned char *>(input.data() + done),
                             static_cast<int>(piece)) != 1) {
            ERR_clear_error();
            return std::nullopt;
        }
        written += static_cast<std::size_t>(n);
        done += piece;
    }
    int n = 0;
    if (EVP_CipherFinal_ex(ctx.get(), dst + written, &n) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    written += static_cast<std::size_t>(n);
    out.resize(written);
    return out;
}

} // namespace

std::string Md5Hex(std::string_view bytes) {
    TDigestContext ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    bool ok = ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) == 1;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const std::size_t piece = std::min(kPiece, bytes.size() - done);
        ok = EVP_DigestUpdate(ctx.get(), bytes.data() + done, piece) == 1;
        done += piece;
    }
    ok = ok && EVP_DigestFinal_ex(ctx.get(), digest, &length) == 1;
    if (!ok) {
        // Only an unusable libcrypto (MD5 switched off by a FIPS-only configuration) gets here.
        ERR_clear_error();
        throw std::runtime_error("lyrics/codecs: MD5 is not available from libcrypto");
    }
    std::string hex = EncodeHexUpper(std::string_view(reinterpret_cast<const char *>(digest), length));
    for (char &c : hex)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return hex;
}

std::string EapiSeal(std::string_view plain) {
    std::optional<std::string> sealed = aesEcb(plain, true);
    if (!sealed)
        throw std::runtime_error("lyrics/codecs: AES-128-ECB is not available from libcrypto");
    return std::move(*sealed);
}

std::string EapiParams(std::string_view apiPath, std::string_view json) {
    std::string signedText = "nobody";
    signedText.append(apiPath).append("use").append(json).append("md5forencrypt");
    std::string plain(apiPath);
    plain.append(kEapiSeparator).append(json).append(kEapiSeparator).append(Md5Hex(signedText));
    return EncodeHexUpper(EapiSeal(plain));
}

std::optional<std::string> EapiOpenAnswer(std::string_view sealedBytes) {
    if (sealedBytes.empty() || sealedBytes.size() % 16 != 0)
        return std::nullopt;
    return aesEcb(sealedBytes, false);
}

} // namespace lirvo::lyrics::codecs
