// The reasons the title line gives for a track that cannot be played.

#include "audio/engine/OpenFailure.h"
#include "audio/lib/AudioLibrary.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace lirvo::audio {
namespace {

constexpr const char *kPatterns = "所有音乐|*.mp3;*.OGG;*.flac";

TEST(OpenFailureTest, LocalFilesAreMissingDamagedOrOfAnUnknownFormat) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    auto make = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
        return folder + "/" + name;
    };
    EXPECT_EQ(DescribeOpenFailure(kErrorFileOpen, folder + "/gone.mp3", kPatterns), "文件不存在");
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, folder + "/gone.mp3", kPatterns), "文件不存在")
        << "a missing file is missing whatever the library said";
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, make("noise.mp3", "not audio at all"), kPatterns), "文件已损坏");
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, make("Noise.ogg", "x"), kPatterns), "文件已损坏")
        << "extensions compare without case";
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, make("notes.txt", "text"), kPatterns), "格式不支持");
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, make("song.mp3.bak", "x"), kPatterns), "格式不支持");
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, make("song.fla", "x"), kPatterns), "格式不支持")
        << "a prefix of a listed extension is not listed";
    EXPECT_EQ(DescribeOpenFailure(kErrorFileOpen, make("empty.mp3", ""), kPatterns), "文件已损坏");
    EXPECT_EQ(DescribeOpenFailure(kErrorFormat, folder, kPatterns), "不是音频文件");
}

TEST(OpenFailureTest, AddressesNameTheNetworkAndTheTextNamesTheSong) {
    EXPECT_EQ(DescribeOpenFailure(kErrorNoNetwork, "http://127.0.0.1:9/a.mp3", kPatterns), "无法连接服务器");
    EXPECT_EQ(DescribeOpenFailure(kErrorTimeout, "https://host/a.mp3", kPatterns), "无法连接服务器");
    EXPECT_EQ(DescribeOpenFailure(kErrorHttp, "http://host/a.mp3", kPatterns), "服务器拒绝了请求");
    EXPECT_EQ(CannotPlayText("夜曲", "格式不支持"), "无法播放《夜曲》：格式不支持");
}

} // namespace
} // namespace lirvo::audio
