#include "lyrics/codecs/QqDes.h"

#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/ZlibInflate.h"

#include <bit>
#include <cstddef>
#include <utility>

namespace lirvo::lyrics::codecs {

namespace {

// DES tables with FIPS 46-3's 1-based bit positions, bit 1 being the most significant.
constexpr std::uint8_t kInitialPermutation[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4, 62, 54, 46, 38, 30, 22, 14, 6,
    64, 56, 48, 40, 32, 24, 16, 8, 57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr std::uint8_t kRoundPermutation[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                                2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPermutedChoice1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                               10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                               63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                               14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPermutedChoice2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                               23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                               41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                               44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kKeyShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-boxes, each as four rows of sixteen columns.
using TSBoxes = std::array<std::array<std::uint8_t, 64>, 8>;
constexpr TSBoxes kStandardSBoxes = {{
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0,  5, 10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5,  0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7, 0,  9,  3,  4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0, 11, 1,  2,  12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5, 2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2, 8,  5,  11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7,  2,  12, 1,  10, 14, 9, 10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4,  3,  15, 0,  6,  10, 1, 13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2, 12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9, 12, 5,
     6,  3,  0, 14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8, 0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12,
     9,  5,  6,  1,  13, 14, 0,  11, 3, 8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10,
     1,  13, 11, 6,  4,  3,  2,  12, 9, 5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2, 14, 15, 0,  8,  13, 3,  12, 9,  7, 5,  10, 6, 1,  13, 0,  11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1, 4,  11, 13, 12, 3, 7,  14, 10, 15, 6,  8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4, 10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11},
}};

constexpr TSBoxes makeQqSBoxes() {
    TSBoxes boxes = kStandardSBoxes;
    boxes[1][1 * 16 + 7] = 15; // standard 14
    boxes[3][3 * 16 + 5] = 10; // standard 1
    return boxes;
}
constexpr TSBoxes kQqSBoxes = makeQqSBoxes();

// S-box i and the permutation P folded together, indexed by a whole byte: its top six bits
// are the E-expanded, key-mixed bits that enter S-box i (first bit highest) and its low two
// bits are ignored. The entry is that S-box's output already moved by P. Taking a whole byte
// saves a mask per look-up in the round function.
using TSpTable = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr std::uint32_t applyRoundPermutation(std::uint32_t value) {
    std::uint32_t out = 0;
    for (int j = 0; j < 32; ++j)
        if ((value >> (32 - kRoundPermutation[j])) & 1u)
            out |= 1u << (31 - j);
    return out;
}

constexpr TSpTable makeSpTable(const TSBoxes &boxes) {
    TSpTable table{};
    for (int box = 0; box < 8; ++box)
        for (unsigned index = 0; index < 256; ++index) {
            const unsigned v = index >> 2;
            const unsigned row = ((v >> 4) & 2u) | (v & 1u);
            const unsigned column = (v >> 1) & 15u;
            const std::uint32_t sOut = boxes[box][row * 16 + column];
            table[box][index] = applyRoundPermutation(sOut << (28 - 4 * box));
        }
    return table;
}
constexpr TSpTable kStandardSp = makeSpTable(kStandardSBoxes);
constexpr TSpTable kQqSp = makeSpTable(kQqSBoxes);

// A 64-bit permutation split by input byte: entry [k][v] is the permutation of a block whose
// byte k (0 = most significant) is v and whose other bytes are 0; OR-ing the eight entries
// of a block gives its permutation.
using TBytePermutation = std::array<std::array<std::uint64_t, 256>, 8>;

constexpr TBytePermutation makeBytePermutation(bool inverse) {
    // The inverse of IP (the final permutation) sends IP's output bit j back to bit IP[j].
    std::uint8_t from[64] = {};
    for (int j = 0; j < 64; ++j) {
        if (inverse)
            from[kInitialPermutation[j] - 1] = static_cast<std::uint8_t>(j + 1);
        else
            from[j] = kInitialPermutation[j];
    }
    TBytePermutation table{};
    for (int k = 0; k < 8; ++k)
        for (unsigned v = 0; v < 256; ++v) {
            const std::uint64_t block = std::uint64_t{v} << (56 - 8 * k);
            std::uint64_t out = 0;
            for (int j = 0; j < 64; ++j)
                if ((block >> (64 - from[j])) & 1u)
                    out |= std::uint64_t{1} << (63 - j);
            table[k][v] = out;
        }
    return table;
}
constexpr TBytePermutation kIpTable = makeBytePermutation(false);
constexpr TBytePermutation kFpTable = makeBytePermutation(true);

std::uint64_t permute(const TBytePermutation &table, std::uint64_t x) {
    std::uint64_t out = 0;
    for (int k = 0; k < 8; ++k)
        out |= table[k][(x >> (56 - 8 * k)) & 0xFF];
    return out;
}

// A block as DES numbers its bits (bit 1 = highest). The QQ variant reads both 32-bit
// halves little-endian, which is the standard reading with bytes 0-3 and 4-7 reversed.
std::uint64_t loadBlock(const std::uint8_t *p, TDesVariant variant) {
    std::uint64_t x = 0;
    if (variant == TDesVariant::Standard) {
        for (int i = 0; i < 8; ++i)
            x = (x << 8) | p[i];
    } else {
        for (int i = 3; i >= 0; --i)
            x = (x << 8) | p[i];
        for (int i = 7; i >= 4; --i)
            x = (x << 8) | p[i];
    }
    return x;
}

void storeBlock(std::uint64_t x, std::uint8_t *p, TDesVariant variant) {
    for (int i = 0; i < 8; ++i) {
        const int to = variant == TDesVariant::Standard ? i : (i < 4 ? 3 - i : 11 - i);
        p[to] = static_cast<std::uint8_t>(x >> (56 - 8 * i));
    }
}

const TSpTable &spTableFor(TDesVariant variant) {
    return variant == TDesVariant::Standard ? kStandardSp : kQqSp;
}

// The round function f(R, K). The E expansion gives S-box i the bits 4i..4i+5 of R (1-based,
// bit 0 meaning bit 32). Rotating R right by 1 puts the groups of S1, S3, S5, S7 at the top
// six bits of bytes 3, 2, 1, 0; rotating left by 3 does the same for S2, S4, S6, S8.
inline std::uint32_t roundFunction(const TSpTable &sp, std::uint32_t r, const TDesSchedule::TRoundKey &key) {
    const std::uint32_t even = std::rotr(r, 1) ^ key.even;
    const std::uint32_t odd = std::rotl(r, 3) ^ key.odd;
    return sp[0][even >> 24] ^ sp[2][(even >> 16) & 0xFF] ^ sp[4][(even >> 8) & 0xFF] ^ sp[6][even & 0xFF] ^
           sp[1][odd >> 24] ^ sp[3][(odd >> 16) & 0xFF] ^ sp[5][(odd >> 8) & 0xFF] ^ sp[7][odd & 0xFF];
}

// Sixteen rounds on N blocks side by side, so that the table look-ups of independent blocks
// overlap. On return left/right hold R16/L16, the halves in the order the output takes them.
template <std::size_t N>
inline void sixteenRounds(const TSpTable &sp, const TDesSchedule &schedule, std::uint32_t (&left)[N],
                          std::uint32_t (&right)[N]) {
    const auto &rounds = schedule.Rounds();
    for (std::size_t r = 0; r < 16; r += 2) {
        // Unrolled even at -O2, where GCC would otherwise keep the lanes in a loop.
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            left[b] ^= roundFunction(sp, right[b], rounds[r]);
#pragma GCC unroll 8
        for (std::size_t b = 0; b < N; ++b)
            right[b] ^= roundFunction(sp, left[b], rounds[r + 1]);
    }
    for (std::size_t b = 0; b < N; ++b)
        std::swap(left[b], right[b]);
}

// The 24-byte Triple-DES key of QQ Music lyrics.
constexpr std::uint8_t kQqLyricKey[24] = {'!', '@', '#', ')', '(', '*', '$', '%', '1', '2', '3', 'Z',
                                          'X', 'C', '!', '@', '!', '@', '#', ')', '(', 'N', 'H', 'L'};

// The three single-DES steps of a lyric block in the order they are applied.
struct TQqTripleSchedule {
    TDesSchedule first{kQqLyricKey + 16, TDesVariant::QqMusic, TDesDirection::Decrypt};
    TDesSchedule second{kQqLyricKey + 8, TDesVariant::QqMusic, TDesDirection::Encrypt};
    TDesSchedule third{kQqLyricKey + 0, TDesVariant::QqMusic, TDesDirection::Decrypt};
};

// D(K1, E(K2, D(K3, C))) on N blocks. One stage's final permutation and the next stage's
// initial permutation cancel out (as do the byte reversals of the QQ reading), so only the
// halves change places between stages.
template <std::size_t N>
void tripleDecryptBlocks(const TQqTripleSchedule &keys, const std::uint8_t *in, std::uint8_t *out) {
    const TSpTable &sp = kQqSp;
    std::uint32_t left[N], right[N];
    for (std::size_t b = 0; b < N; ++b) {
        const std::uint64_t x = permute(kIpTable, loadBlock(in + 8 * b, TDesVariant::QqMusic));
        left[b] = static_cast<std::uint32_t>(x >> 32);
        right[b] = static_cast<std::uint32_t>(x);
    }
    sixteenRounds(sp, keys.first, left, right);
    sixteenRounds(sp, keys.second, left, right);
    sixteenRounds(sp, keys.third, left, right);
    for (std::size_t b = 0; b < N; ++b) {
        const std::uint64_t y = (std::uint64_t{left[b]} << 32) | right[b];
        storeBlock(permute(kFpTable, y), out + 8 * b, TDesVariant::QqMusic);
    }
}

} // namespace

TDesSchedule::TDesSchedule(const std::uint8_t key[8], TDesVariant variant, TDesDirection direction)
    : variant_(variant) {
    const std::uint64_t k = loadBlock(key, variant);
    bool c[28], d[28];
    for (int i = 0; i < 28; ++i) {
        c[i] = (k >> (64 - kPermutedChoice1[i])) & 1u;
        d[i] = (k >> (64 - kPermutedChoice1[28 + i])) & 1u;
    }
    for (int round = 0; round < 16; ++round) {
        for (int s = 0; s < kKeyShifts[round]; ++s) {
            const bool c0 = c[0], d0 = d[0];
            for (int i = 0; i < 27; ++i) {
                c[i] = c[i + 1];
                d[i] = d[i + 1];
            }
            c[27] = c0;
            d[27] = d0;
        }
        TRoundKey roundKey;
        for (int group = 0; group < 8; ++group) {
            std::uint32_t bits = 0;
            for (int j = 0; j < 6; ++j) {
                const int n = kPermutedChoice2[6 * group + j] - 1; // 0-based position in C||D
                bool bit;
                if (n < 28) {
                    bit = c[n];
                } else {
                    const int inD = variant == TDesVariant::Standard ? n - 28 : n - 27;
                    bit = inD < 28 && d[inD];
                }
                bits = (bits << 1) | (bit ? 1u : 0u);
            }
            // Same places as roundFunction takes the expanded halves from.
            const int shift = 26 - 8 * (group / 2);
            (group % 2 == 0 ? roundKey.even : roundKey.odd) |= bits << shift;
        }
        const int slot = direction == TDesDirection::Encrypt ? round : 15 - round;
        rounds_[static_cast<std::size_t>(slot)] = roundKey;
    }
}

void DesCryptBlock(const TDesSchedule &schedule, const std::uint8_t in[8], std::uint8_t out[8]) {
    const std::uint64_t x = permute(kIpTable, loadBlock(in, schedule.Variant()));
    std::uint32_t left[1] = {static_cast<std::uint32_t>(x >> 32)};
    std::uint32_t right[1] = {static_cast<std::uint32_t>(x)};
    sixteenRounds(spTableFor(schedule.Variant()), schedule, left, right);
    const std::uint64_t y = (std::uint64_t{left[0]} << 32) | right[0];
    storeBlock(permute(kFpTable, y), out, schedule.Variant());
}

std::optional<std::string> DecryptQqTripleDes(std::string_view bytes) {
    if (bytes.empty() || bytes.size() % 8 != 0)
        return std::nullopt;
    static const TQqTripleSchedule keys;
    std::string out(bytes.size(), '\0');
    const auto *in = reinterpret_cast<const std::uint8_t *>(bytes.data());
    auto *dst = reinterpret_cast<std::uint8_t *>(out.data());
    constexpr std::size_t kLanes = 4;
    const std::size_t blocks = bytes.size() / 8;
    std::size_t b = 0;
    for (; b + kLanes <= blocks; b += kLanes)
        tripleDecryptBlocks<kLanes>(keys, in + 8 * b, dst + 8 * b);
    for (; b < blocks; ++b)
        tripleDecryptBlocks<1>(keys, in + 8 * b, dst + 8 * b);
    return out;
}

std::optional<std::string> DecryptQqLyric(std::string_view hexText) {
    const std::optional<std::string> cipher = DecodeHex(hexText);
    if (!cipher)
        return std::nullopt;
    const std::optional<std::string> packed = DecryptQqTripleDes(*cipher);
    if (!packed)
        return std::nullopt;
    std::optional<std::string> text = InflateZlib(*packed);
    if (text)
        StripUtf8Bom(*text);
    return text;
}

} // namespace lirvo::lyrics::codecs
