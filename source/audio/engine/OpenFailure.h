#pragma once
// Why a track could not be played, in the words the title line and the tools show.

#include <cstdint>
#include <string>

namespace lirvo::audio {

// The reason for an open that failed with the library's `code`: "文件不存在", "格式不支持",
// "文件已损坏", …. `patterns` is the open dialog's filter ("所有音乐|*.mp3;*.ogg…"): a file
// whose extension is listed there and still cannot be decoded is called damaged.
std::string DescribeOpenFailure(std::int32_t code, const std::string &source, const std::string &patterns);

// "无法播放《NAME》：REASON".
std::string CannotPlayText(const std::string &name, const std::string &reason);

} // namespace lirvo::audio
