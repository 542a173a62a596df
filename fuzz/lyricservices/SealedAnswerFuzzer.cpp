// Lyric texts as QQ Music and Kugou send them: the input is sealed the way each service seals
// its lyrics and goes through the whole answer path, decryption, inflating and parsing (QRC or
// LRC for QQ, KRC for Kugou). Mutating plain text reaches the parsers far more often than
// mutating ciphertext would.
#include "../../tests/lyricservices/LyricSeals.h"

#include "lyrics/services/KugouService.h"
#include "lyrics/services/QqMusicService.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string half = text.substr(0, size / 2);
    const nlohmann::json qq = {
        {"code", 0},
        {"req", {{"code", 0}, {"data", {{"lyric", testing::QqSeal(text)}, {"trans", testing::QqSeal(half)}}}}}};
    services::ParseQqLyricInfoAnswer(qq.dump());
    const nlohmann::json kugou = {{"status", 200}, {"contenttype", 0}, {"content", testing::KrcSeal(text)}};
    services::ParseKugouDownloadAnswer(kugou.dump());
    return 0;
}
