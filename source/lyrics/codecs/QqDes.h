#pragma once
// DES (FIPS 46-3) and the variant of it that QQ Music encrypts its lyrics with, plus the
// whole QQ lyric decoding: hex text -> Triple-DES (ECB) -> zlib -> UTF-8 text.
//
// The QQ Music variant differs from standard DES in three places:
//  - key, input and output blocks are taken as two little-endian 32-bit words, so bytes 0-3
//    and 4-7 are each reversed on the way in and on the way out;
//  - in the key schedule, a round-key bit that standard DES takes from bit n-28 of the D half
//    (n being the 0-based position in C||D that PC-2 selects, 28 <= n <= 55) is taken from
//    bit n-27 instead, and from a 0 bit for n = 55, which points past the 28-bit D half;
//  - two S-box entries (0-based row, column): S2[1][7] is 15 and S4[3][5] is 10.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lirvo::lyrics::codecs {

enum class TDesVariant { Standard, QqMusic };
enum class TDesDirection { Encrypt, Decrypt };

// The sixteen round keys of one DES key for one direction, laid out for DesCryptBlock.
class TDesSchedule {
public:
    // One round key as the round function applies it: the even-numbered 6-bit subkeys
    // (S1, S3, S5, S7) in `even`, the others in `odd`, each in the top six bits of a byte.
    struct TRoundKey {
        std::uint32_t even = 0;
        std::uint32_t odd = 0;
    };

    TDesSchedule(const std::uint8_t key[8], TDesVariant variant, TDesDirection direction);

    TDesVariant Variant() const { return variant_; }
    // Round keys in the order the rounds use them (reversed for decryption).
    const std::array<TRoundKey, 16> &Rounds() const { return rounds_; }

private:
    TDesVariant variant_;
    std::array<TRoundKey, 16> rounds_{};
};

// Encrypts or decrypts (as the schedule says) one 8-byte block. `in` and `out` may be the same.
void DesCryptBlock(const TDesSchedule &schedule, const std::uint8_t in[8], std::uint8_t out[8]);

// A QQ Music lyric field sent with crypt=1: hex digits of Triple-DES (ECB, QQ variant) over a
// zlib stream that is followed by zero padding. Answers the UTF-8 text without a byte order
// mark, or nullopt for bad hex, a length that is not a non-zero multiple of 8 bytes, or a
// stream that does not inflate.
std::optional<std::string> DecryptQqLyric(std::string_view hexText);

// Only the Triple-DES step of DecryptQqLyric on raw bytes (a non-zero multiple of 8 long,
// otherwise nullopt): each block C becomes D(K1, E(K2, D(K3, C))) with the QQ lyric key.
std::optional<std::string> DecryptQqTripleDes(std::string_view bytes);

} // namespace lirvo::lyrics::codecs
