#include "audio/engine/OpenFailure.h"

#include "audio/lib/AudioLibrary.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace lirvo::audio {
namespace {

bool IsAddress(const std::string &source) {
    return source.find("://") != std::string::npos && source.rfind("file://", 0) != 0;
}

std::string LowerExtension(const std::string &source) {
    const auto slash = source.find_last_of('/');
    const auto dot = source.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = source.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Whether "*.EXT" is one of the patterns, compared without regard to case.
bool Listed(const std::string &patterns, const std::string &extension) {
    if (extension.empty())
        return false;
    std::string lower = patterns;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string wanted = "*." + extension;
    for (std::size_t at = lower.find(wanted); at != std::string::npos; at = lower.find(wanted, at + 1)) {
        const std::size_t end = at + wanted.size();
        if (end == lower.size() || lower[end] == ';' || lower[end] == '|' || lower[end] == ' ')
            return true;
    }
    return false;
}

} // namespace

std::string DescribeOpenFailure(std::int32_t code, const std::string &source, const std::string &patterns) {
    if (IsAddress(source)) {
        switch (code) {
        case kErrorNoNetwork:
        case kErrorTimeout:
            return "无法连接服务器";
        case kErrorHttp:
            return "服务器拒绝了请求";
        case kErrorFormat:
            return "格式不支持";
        default:
            return "无法打开网络地址";
        }
    }
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0)
        return "文件不存在";
    if (!S_ISREG(info.st_mode))
        return "不是音频文件";
    switch (code) {
    case kErrorFileOpen:
        return info.st_size == 0 ? "文件已损坏" : "无法读取文件";
    case kErrorFormat:
        return Listed(patterns, LowerExtension(source)) ? "文件已损坏" : "格式不支持";
    case kErrorMemory:
        return "内存不足";
    default:
        return "无法打开（错误 " + std::to_string(code) + "）";
    }
}

std::string CannotPlayText(const std::string &name, const std::string &reason) {
    return "无法播放《" + name + "》：" + reason;
}

} // namespace lirvo::audio
