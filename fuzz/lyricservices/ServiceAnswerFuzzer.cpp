// Answers of the three Chinese lyric services through every answer parser: the JSON shapes,
// and for QQ and Kugou the encrypted lyrics inside them.
#include "lyrics/services/KugouService.h"
#include "lyrics/services/NeteaseService.h"
#include "lyrics/services/QqMusicService.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace lirvo::lyrics::services;
    const std::string_view body(reinterpret_cast<const char *>(data), size);
    ParseNeteaseSearchAnswer(body);
    ParseNeteaseLyricAnswer(body);
    ParseQqSearchAnswer(body);
    ParseQqLyricInfoAnswer(body);
    ParseQqFcgLyricAnswer(body);
    ParseKugouSearchAnswer(body);
    ParseKugouDownloadAnswer(body);
    return 0;
}
