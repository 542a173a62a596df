// The lyric services' codecs: the recorded samples of every service decode to their text,
// DES matches the FIPS known answers, and damaged input of every kind is refused cleanly.
#include "function/text/FastStrings.h"
#include "lyrics/codecs/ByteCoding.h"
#include "lyrics/codecs/EapiCodec.h"
#include "lyrics/codecs/KrcCodec.h"
#include "lyrics/codecs/QqDes.h"
#include "lyrics/codecs/ZlibInflate.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zlib.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

using namespace lirvo::lyrics::codecs;
namespace fs = std::filesystem;

// The shared samples beside the repository, else the copy kept with this test.
const nlohmann::json &vectors() {
    static const nlohmann::json loaded = [] {
        const char *root = std::getenv("LIRVO_SOURCE_DIR");
        if (!root)
            return nlohmann::json();
        for (const fs::path &candidate : {fs::path(root) / ".." / "shared" / "lyric-sources" / "vectors.json",
                                          fs::path(root) / "tests" / "lyriccodecs" / "vectors.json"}) {
            std::ifstream in(candidate);
            if (in)
                return nlohmann::json::parse(in);
        }
        return nlohmann::json();
    }();
    return loaded;
}

std::string sample(const char *name, const char *field) {
    return vectors().at(name).at(field).get<std::string>();
}

std::string hexBytes(std::string_view hex) {
    std::optional<std::string> bytes = DecodeHex(hex);
    EXPECT_TRUE(bytes) << hex;
    return bytes.value_or("");
}

std::string deflateZlib(std::string_view text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(text.data()),
                        static_cast<uLong>(text.size()), 9),
              Z_OK);
    out.resize(size);
    return out;
}

std::string randomBytes(std::mt19937 &rng, std::size_t n) {
    std::string out(n, '\0');
    for (char &c : out)
        c = static_cast<char>(rng());
    return out;
}

TEST(LyricCodecSamples, EveryServiceSampleDecodesToItsText) {
    ASSERT_TRUE(vectors().is_object()) << "vectors.json not found (LIRVO_SOURCE_DIR unset or file missing)";
    for (const char *name : {"qq_qrc", "qq_trans"}) {
        SCOPED_TRACE(name);
        const std::string hex = sample(name, "hex");
        EXPECT_EQ(DecryptQqLyric(hex), sample(name, "plain"));
        // The services' hex is upper case; lower case and a line end around it read the same.
        std::string lower = hex;
        for (char &c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(DecryptQqLyric(" " + lower + "\r\n"), sample(name, "plain"));
    }
    EXPECT_EQ(DecryptKrc(sample("kugou_krc", "base64")), sample("kugou_krc", "plain"));
    EXPECT_EQ(EapiParams(sample("netease_eapi_request", "path"), sample("netease_eapi_request", "json")),
              sample("netease_eapi_request", "params"));
    EXPECT_EQ(EapiOpenAnswer(hexBytes(sample("netease_eapi_sealed_answer", "hex"))),
              sample("netease_eapi_sealed_answer", "plain"));
}

TEST(LyricCodecSamples, DamagedSamplesAreRefused) {
    ASSERT_TRUE(vectors().is_object()) << "vectors.json not found";
    for (const char *name : {"qq_qrc", "qq_trans"}) {
        SCOPED_TRACE(name);
        const std::string hex = sample(name, "hex");
        const std::string cipher = hexBytes(hex);
        // One changed byte garbles its whole 8-byte block, which zlib's checks then catch.
        for (std::size_t block = 0; block < cipher.size() / 8; ++block) {
            std::string damaged = cipher;
            damaged[block * 8 + block % 8] ^= 0x20;
            EXPECT_EQ(DecryptQqLyric(EncodeHexUpper(damaged)), std::nullopt) << "block " << block;
        }
        const std::vector<std::string> bad = {
            "",
            hex.substr(0, hex.size() - 16),  // last block missing: the stream is cut short
            hex.substr(0, hex.size() - 2),   // not a whole number of blocks
            hex.substr(0, hex.size() - 1),   // odd number of digits
            hex.substr(0, 10) + "G" + hex.substr(11),
            hex.substr(0, 16) + " " + hex.substr(16),
        };
        for (const std::string &text : bad)
            EXPECT_EQ(DecryptQqLyric(text), std::nullopt) << text.size() << " digits";
    }

    const std::string krc = DecodeBase64(sample("kugou_krc", "base64")).value_or("");
    ASSERT_TRUE(krc.starts_with("krc1"));
    for (std::size_t at : {std::size_t{4}, std::size_t{5}, krc.size() / 2, krc.size() - 1}) {
        std::string damaged = krc;
        damaged[at] ^= 0x01;
        EXPECT_EQ(DecryptKrc(lirvo::text::EncodeBase64Text(damaged)), std::nullopt) << "byte " << at;
    }
    const std::string body = krc.substr(4);
    const std::vector<std::string> badKrc = {
        "",
        lirvo::text::EncodeBase64Text("krc1"),
        lirvo::text::EncodeBase64Text(krc.substr(0, krc.size() - 4)),
        lirvo::text::EncodeBase64Text("krc2" + body),
        lirvo::text::EncodeBase64Text("KRC1" + body),
        lirvo::text::EncodeBase64Text(body),
        "*" + sample("kugou_krc", "base64"),
    };
    for (const std::string &text : badKrc)
        EXPECT_EQ(DecryptKrc(text), std::nullopt) << text;

    std::string sealed = hexBytes(sample("netease_eapi_sealed_answer", "hex"));
    EXPECT_EQ(EapiOpenAnswer(sealed.substr(0, sealed.size() - 1)), std::nullopt);
    EXPECT_EQ(EapiOpenAnswer(sealed + "x"), std::nullopt);
    sealed.back() ^= 0x01; // garbles the block that holds the padding
    EXPECT_EQ(EapiOpenAnswer(sealed), std::nullopt);
}

// Padding cases built by sealing a whole block and dropping the padding block EapiSeal adds,
// so the kept block's last bytes act as the padding.
TEST(EapiCodec, SealOpensAndPaddingIsChecked) {
    for (std::size_t n : {0, 1, 15, 16, 17, 100}) {
        const std::string plain(n, static_cast<char>('a' + n % 26));
        const std::string sealed = EapiSeal(plain);
        EXPECT_EQ(sealed.size(), (n / 16 + 1) * 16);
        EXPECT_EQ(EapiOpenAnswer(sealed), plain);
    }
    struct TCase {
        std::string lastBytes;
        std::optional<std::size_t> openedSize;
    };
    const TCase cases[] = {
        {std::string("\x01", 1), 15},
        {std::string("\x03\x03\x03", 3), 13},
        {std::string(16, '\x10'), 0},
        {std::string("\x00", 1), std::nullopt},
        {std::string("\x11", 1), std::nullopt},
        {std::string("\x03\x02\x03", 3), std::nullopt},
        {std::string("\x02\x03\x03", 3), std::nullopt},
    };
    for (const TCase &c : cases) {
        const std::string block = std::string(16 - c.lastBytes.size(), 'q') + c.lastBytes;
        const std::string sealed = EapiSeal(block).substr(0, 16);
        const std::optional<std::string> opened = EapiOpenAnswer(sealed);
        ASSERT_EQ(opened.has_value(), c.openedSize.has_value()) << EncodeHexUpper(c.lastBytes);
        if (opened) {
            EXPECT_EQ(*opened, block.substr(0, *c.openedSize));
        }
    }
    EXPECT_EQ(EapiOpenAnswer(""), std::nullopt);
}

TEST(EapiCodec, Md5MatchesKnownDigests) {
    // RFC 1321 test suite.
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Des, StandardVariantMatchesKnownAnswers) {
    struct TCase {
        const char *key, *plain, *cipher;
    };
    const TCase cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"}, // FIPS worked example
        {"0000000000000000", "0000000000000000", "8CA64DE9C1B123A7"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "7359B2163E4EDC58"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.key);
        const std::string key = hexBytes(c.key);
        const auto *k = reinterpret_cast<const std::uint8_t *>(key.data());
        const TDesSchedule enc(k, TDesVariant::Standard, TDesDirection::Encrypt);
        const TDesSchedule dec(k, TDesVariant::Standard, TDesDirection::Decrypt);
        std::string block = hexBytes(c.plain);
        auto *b = reinterpret_cast<std::uint8_t *>(block.data());
        DesCryptBlock(enc, b, b); // in place
        EXPECT_EQ(EncodeHexUpper(block), c.cipher);
        DesCryptBlock(dec, b, b);
        EXPECT_EQ(EncodeHexUpper(block), c.plain);
    }
}

TEST(Des, QqVariantRoundTripsAndDiffersFromStandard) {
    std::mt19937 rng(20240611);
    for (int i = 0; i < 64; ++i) {
        const std::string key = randomBytes(rng, 8), plain = randomBytes(rng, 8);
        const auto *k = reinterpret_cast<const std::uint8_t *>(key.data());
        const auto *p = reinterpret_cast<const std::uint8_t *>(plain.data());
        std::uint8_t qq[8], standard[8], back[8];
        DesCryptBlock(TDesSchedule(k, TDesVariant::QqMusic, TDesDirection::Encrypt), p, qq);
        DesCryptBlock(TDesSchedule(k, TDesVariant::Standard, TDesDirection::Encrypt), p, standard);
        DesCryptBlock(TDesSchedule(k, TDesVariant::QqMusic, TDesDirection::Decrypt), qq, back);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(back), 8), plain);
        EXPECT_NE(std::string(reinterpret_cast<char *>(qq), 8), std::string(reinterpret_cast<char *>(standard), 8));
    }
}

// The multi-block path of the lyric Triple-DES against three single-block steps.
TEST(Des, QqTripleDesMatchesItsThreeSteps) {
    const std::string_view key = "!@#)(*$%123ZXC!@!@#)(NHL";
    const auto *k = reinterpret_cast<const std::uint8_t *>(key.data());
    const TDesSchedule d3(k + 16, TDesVariant::QqMusic, TDesDirection::Decrypt);
    const TDesSchedule e2(k + 8, TDesVariant::QqMusic, TDesDirection::Encrypt);
    const TDesSchedule d1(k, TDesVariant::QqMusic, TDesDirection::Decrypt);
    std::mt19937 rng(7);
    const std::string cipher = randomBytes(rng, 8 * 11); // more than two groups of four, and a rest
    const std::optional<std::string> plain = DecryptQqTripleDes(cipher);
    ASSERT_TRUE(plain);
    for (std::size_t at = 0; at < cipher.size(); at += 8) {
        std::uint8_t block[8];
        DesCryptBlock(d3, reinterpret_cast<const std::uint8_t *>(cipher.data() + at), block);
        DesCryptBlock(e2, block, block);
        DesCryptBlock(d1, block, block);
        EXPECT_EQ(plain->substr(at, 8), std::string(reinterpret_cast<char *>(block), 8)) << "block " << at / 8;
    }
}

TEST(ZlibInflate, StopsAtStreamEndAndHonoursTheLimit) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + "\n";
    const std::string packed = deflateZlib(text);
    EXPECT_EQ(InflateZlib(packed), text);
    EXPECT_EQ(InflateZlib(packed + std::string(7, '\0')), text);
    EXPECT_EQ(InflateZlib(packed + "trailing junk"), text);
    EXPECT_EQ(InflateZlib(packed, text.size()), text);
    EXPECT_EQ(InflateZlib(packed, text.size() - 1), std::nullopt);
    EXPECT_EQ(InflateZlib(deflateZlib(""), 0), "");

    // Output far beyond the input (and beyond one output chunk) is cut off by the limit.
    const std::string zeros(std::size_t{3} << 20, '\0');
    const std::string bomb = deflateZlib(zeros);
    EXPECT_EQ(InflateZlib(bomb), zeros);
    EXPECT_EQ(InflateZlib(bomb, std::size_t{1} << 20), std::nullopt);

    for (std::size_t cut = 0; cut < packed.size(); ++cut)
        ASSERT_EQ(InflateZlib(packed.substr(0, cut)), std::nullopt) << "cut at " << cut;
    std::string badSum = packed;
    badSum.back() ^= 0x01;
    EXPECT_EQ(InflateZlib(badSum), std::nullopt);
    EXPECT_EQ(InflateZlib(packed.substr(2)), std::nullopt); // raw deflate, no zlib header
}

TEST(ZlibInflate, StripUtf8Bom) {
    struct TCase {
        std::string in, out;
        bool stripped;
    };
    const TCase cases[] = {
        {"\xEF\xBB\xBF" "abc", "abc", true},
        {"\xEF\xBB\xBF", "", true},
        {"\xEF\xBB\xBF\xEF\xBB\xBFx", "\xEF\xBB\xBFx", true},
        {"abc\xEF\xBB\xBF", "abc\xEF\xBB\xBF", false},
        {"\xEF\xBB", "\xEF\xBB", false},
        {"", "", false},
    };
    for (const TCase &c : cases) {
        std::string text = c.in;
        EXPECT_EQ(StripUtf8Bom(text), c.stripped);
        EXPECT_EQ(text, c.out);
    }
}

TEST(ByteCoding, DecodeHex) {
    const std::pair<const char *, std::optional<std::string>> cases[] = {
        {"", ""},
        {" \r\n", ""},
        {"00ff7F", std::string("\x00\xff\x7f", 3)},
        {"aBcD", "\xab\xcd"},
        {"\t0a0B\r\n", "\x0a\x0b"},
        {"0", std::nullopt},
        {" abc ", std::nullopt},
        {"0g", std::nullopt},
        {"0a 0b", std::nullopt},
        {"0x0a", std::nullopt},
        {"-1", std::nullopt},
    };
    for (const auto &[text, expected] : cases)
        EXPECT_EQ(DecodeHex(text), expected) << '"' << text << '"';

    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    const std::string hex = EncodeHexUpper(all);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(DecodeHex(hex), all);
}

TEST(ByteCoding, DecodeBase64) {
    // RFC 4648 section 10, padded, unpadded and broken by whitespace.
    const std::pair<const char *, const char *> rfc[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto &[plain, coded] : rfc) {
        std::string unpadded = coded;
        unpadded.erase(unpadded.find_last_not_of('=') + 1);
        std::string spaced;
        for (char c : std::string(coded))
            spaced += std::string(1, c) + "\r\n";
        EXPECT_EQ(DecodeBase64(coded), plain) << coded;
        EXPECT_EQ(DecodeBase64(unpadded), plain) << unpadded;
        EXPECT_EQ(DecodeBase64(" \t" + spaced), plain) << spaced;
    }
    for (const char *bad : {"Z", "Zm9vY", "Zg=", "Zg===", "Zm8==", "=", "====", "Zg==Zg==", "Zm=8", "Zm9v*",
                            "Zm9v-_8", "Zm9v\x80"})
        EXPECT_EQ(DecodeBase64(bad), std::nullopt) << bad;

    std::mt19937 rng(99);
    for (std::size_t n = 0; n < 40; ++n) {
        const std::string bytes = randomBytes(rng, n);
        EXPECT_EQ(DecodeBase64(lirvo::text::EncodeBase64Text(bytes)), bytes) << n << " bytes";
    }
}

} // namespace
