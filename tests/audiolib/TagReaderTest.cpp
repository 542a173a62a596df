// Track tags as the playlist and the media-player interface read them, for WAV files whose
// title and artist stand in the RIFF INFO chunk (as ffmpeg and most WAV writers put them).
#include "audio/lib/TagReader.h"

#include <taglib/id3v2tag.h>
#include <taglib/wavfile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

TEST(TagReader, WavTitleAndArtistComeFromTheInfoChunkUnlessId3v2HasThem) {
    std::string folder = (std::filesystem::temp_directory_path() / "lirvo-tags-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string wav = folder + "/info.wav";
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' "
                             "-metadata title=晚风 -metadata artist=林某 '" + wav + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    lirvo::audio::TrackTags tags = lirvo::audio::ReadTrackTags(wav);
    EXPECT_EQ(tags.title, "晚风");
    EXPECT_EQ(tags.artist, "林某");
    EXPECT_EQ(tags.album, "");
    {
        TagLib::RIFF::WAV::File file(wav.c_str());
        file.ID3v2Tag()->setArtist(TagLib::String("Singer", TagLib::String::UTF8));
        ASSERT_TRUE(file.save());
    }
    tags = lirvo::audio::ReadTrackTags(wav);
    EXPECT_EQ(tags.title, "晚风");
    EXPECT_EQ(tags.artist, "Singer");
    std::filesystem::remove_all(folder);
}

} // namespace
