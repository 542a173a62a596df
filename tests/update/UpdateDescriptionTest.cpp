#include "update/UpdateDescription.h"
#include "update/UDDGetFileInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace lirvo::update {
namespace {

TEST(UpdateDescriptionTest, ValuesComeFromTheValueAttributeOfNamesInAnyCase) {
    const auto d = ParseUpdateDescription(
        R"(<?xml version="1.0" encoding="UTF-8"?><zylvan><VER value="7"/><Ver value="40124"/>)"
        R"(<group><File value="x.zip"/></group><musicpath Value="ignored"/><other value="1"/></zylvan>)");
    EXPECT_TRUE(d.Complete);
    EXPECT_EQ(d.Ver, "40124"); // the later element wins
    EXPECT_EQ(d.File, "x.zip");
    EXPECT_EQ(d.MusicPath, ""); // "Value" is not "value"
}

TEST(UpdateDescriptionTest, EndTagEmptiesTheValue) {
    const auto d = ParseUpdateDescription(R"(<zylvan><ver value="99999"></ver><file value="f"/></zylvan>)");
    EXPECT_EQ(d.Ver, "");
    EXPECT_EQ(d.File, "f");
    EXPECT_FALSE(d.MusicPath.has_value());
}

TEST(UpdateDescriptionTest, DeclaredEncodingIsConvertedAndBrokenDocumentsKeepEarlierValues) {
    // "歌" in GBK under a GB2312 declaration arrives as UTF-8.
    auto d = ParseUpdateDescription(
        "<?xml version=\"1.0\" encoding=\"GB2312\"?><zylvan><file value=\"\xB8\xE8\"/></zylvan>");
    EXPECT_EQ(d.File, "歌");
    // The fault lies well past the reader's first chunk, so the value before it is delivered.
    d = ParseUpdateDescription(R"(<zylvan><musicpath value="http://m/"/>)" + std::string(20000, ' ') +
                               R"(<ver value="5"<<</zylvan>)");
    EXPECT_FALSE(d.Complete);
    EXPECT_EQ(d.MusicPath, "http://m/");
    EXPECT_FALSE(d.Ver.has_value());
}

TEST(UpdateDescriptionTest, RootWordIsCaseSensitive) {
    EXPECT_TRUE(HasRootWord("<zylvan/>"));
    EXPECT_TRUE(HasRootWord("xxzylvan"));
    EXPECT_FALSE(HasRootWord("<Zylvan/>"));
    EXPECT_FALSE(HasRootWord(""));
}

TEST(VersionCompareTest, DigitsOfTheFourPartsComparedUnsigned) {
    TFixedFileInfo info;
    info.dwFileVersionMS = (4u << 16) | 0u;
    info.dwFileVersionLS = (1u << 16) | 23u;
    EXPECT_EQ(LocalVersionDigits(info), "40123");
    EXPECT_EQ(LocalVersionDigits(TFixedFileInfo{}), "0000");

    EXPECT_EQ(IsNewerVersion("40123", "40123"), false);
    EXPECT_EQ(IsNewerVersion("40123", "40124"), true);
    EXPECT_EQ(IsNewerVersion("40123", "4012"), false);
    EXPECT_EQ(IsNewerVersion("40123", "-1"), true); // 0xFFFFFFFF as an unsigned value
    EXPECT_EQ(IsNewerVersion("40123", ""), std::nullopt);
    EXPECT_EQ(IsNewerVersion("40123", "4.1"), std::nullopt);
    EXPECT_EQ(IsNewerVersion("40123", "2147483648"), std::nullopt);
    EXPECT_EQ(IsNewerVersion("6553565535655356553", "1"), std::nullopt); // too long to be a version
}

TEST(VersionNoteTest, ProgramsLinkingTheNoteCarryTheProjectVersion) {
    TFixedFileInfo info;
    GetFixedVersion("/proc/self/exe", info);
    EXPECT_EQ(info.dwSignature, FixedFileInfoSignature);
    EXPECT_EQ(info.dwFileVersionMS, (std::uint32_t(LIRVO_VERSION_MAJOR) << 16) | LIRVO_VERSION_MINOR);
    EXPECT_EQ(info.dwFileVersionLS, std::uint32_t(LIRVO_VERSION_PATCH) << 16);
}

TEST(VersionNoteTest, FilesWithoutTheNoteLeaveTheRecordAlone) {
    TFixedFileInfo info;
    info.dwFileVersionMS = 77;
    GetFixedVersion("/bin/sh", info);
    GetFixedVersion("/nonexistent/file", info);
    GetFixedVersion("/proc/self", info);
    EXPECT_EQ(info.dwFileVersionMS, 77u);

    // Cut copies of a real program: no read past the end, no note found in the remains.
    std::ifstream in("/proc/self/exe", std::ios::binary);
    std::string image(std::filesystem::file_size("/proc/self/exe"), '\0');
    in.read(image.data(), static_cast<std::streamsize>(image.size()));
    for (std::size_t size : {std::size_t(0), std::size_t(16), std::size_t(64), std::size_t(200)})
        EXPECT_FALSE(ReadVersionNote(std::string_view(image).substr(0, size), info)) << size;
    EXPECT_TRUE(ReadVersionNote(image, info));
}

} // namespace
} // namespace lirvo::update
