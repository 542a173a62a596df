// MP3 seeks go through the file's seek table instead of reading every frame up to the target.

#include "MediaFixtures.h"

#include "audio/lib/FfmpegDecoder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lirvo::audio {
namespace {

using testing::RunQuietly;
using testing::TallyReader;
using testing::TempFolder;

TEST(AudioLibSeekTable, VbrMp3SeeksThroughItsTableOfContentsAndLandsNearTheTarget) {
    TempFolder folder;
    const std::string path = folder.File("long.mp3");
    // 90 s at a variable bit rate (the encoder writes a Xing header with a table of contents);
    // a 1 kHz tone joins the quiet background at 80 s.
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i "
                           "\"aevalsrc='0.05*sin(2*PI*300*t)+if(gte(t,80),0.5*sin(2*PI*1000*(t-80)),0)'"
                           ":s=44100:d=90\" -ac 2 -c:a libmp3lame -q:a 2 '" + path + "'"));
    int64_t tally = 0;
    auto decoder = FfmpegDecoder::Open(std::make_unique<TallyReader>(FileReader::Open(path), tally),
                                       BuiltInFormats(), false);
    ASSERT_NE(decoder, nullptr);
    const int64_t size = FileReader::Open(path)->Size();

    const int64_t before = tally;
    const int64_t target = 44100 * 799 / 10; // 79.9 s: the tone starts 0.1 s later
    ASSERT_TRUE(decoder->Seek(target));
    // Reading every frame up to 79.9 s would take almost nine tenths of the file.
    EXPECT_LT(tally - before, size / 10) << "of " << size;
    EXPECT_EQ(decoder->Position(), target);

    std::vector<float> samples(44100 * 2);
    ASSERT_EQ(decoder->Read(samples.data(), 44100), 44100);
    int64_t onset = -1;
    for (size_t i = 0; i < samples.size() && onset < 0; ++i) {
        if (std::fabs(samples[i]) > 0.3f) {
            onset = static_cast<int64_t>(i / 2);
        }
    }
    // The table is coarse (one entry per percent of the file); a fraction of a second is the
    // price of not reading the whole file.
    EXPECT_NEAR(onset, 4410, 44100 * 3 / 10);
}

} // namespace
} // namespace lirvo::audio
