// The real library on local files: lengths, tags, transport, the end sync, effects, sample
// data, broken input, add-on decoders and per-thread error codes.

#include "LibraryFixture.h"

#include "function/text/TextCodec.h"

#include <cstring>
#include <random>

namespace lirvo::audio::testing {
namespace {

using namespace std::chrono_literals;

// A 128-byte ID3v1 tag with the raw bytes given (e.g. GBK text).
std::vector<uint8_t> Id3v1(const std::string &title, const std::string &artist, const std::string &album) {
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.data(), std::min<size_t>(30, title.size()));
    std::memcpy(tag.data() + 33, artist.data(), std::min<size_t>(30, artist.size()));
    std::memcpy(tag.data() + 63, album.data(), std::min<size_t>(30, album.size()));
    tag[127] = 255;
    return tag;
}

// An ID3v2.3 tag whose text frames declare ISO-8859-1 (encoding byte 0) but hold `raw` bytes.
std::vector<uint8_t> Id3v23Latin1(const std::string &title, const std::string &artist) {
    std::vector<uint8_t> frames;
    auto addFrame = [&](const char *id, const std::string &raw) {
        const uint32_t size = static_cast<uint32_t>(raw.size() + 1);
        frames.insert(frames.end(), id, id + 4);
        for (int shift : {24, 16, 8, 0}) {
            frames.push_back(static_cast<uint8_t>(size >> shift));
        }
        frames.push_back(0);
        frames.push_back(0);
        frames.push_back(0); // encoding: ISO-8859-1
        frames.insert(frames.end(), raw.begin(), raw.end());
    };
    addFrame("TIT2", title);
    addFrame("TPE1", artist);
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    const uint32_t size = static_cast<uint32_t>(frames.size());
    for (int shift : {21, 14, 7, 0}) {
        tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F)); // synchsafe
    }
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

TEST_F(AudioLibraryTest, VersionAndSecondInitialisation) {
    EXPECT_EQ(library->GetVersion() >> 16, kInterfaceVersionHigh);
    EXPECT_FALSE(library->Init(kDefaultDevice, 44100, 0, 0, nullptr));
    EXPECT_EQ(library->ErrorGetCode(), kErrorAlready);
    EXPECT_TRUE(library->Stop());
    EXPECT_TRUE(library->Start());
    EXPECT_FALSE(library->SetConfig(99, 1));
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalType);
}

TEST(AudioLibNoDevice, PlayFailsWithoutADeviceAndALaterDeviceIsUsedWithoutARestart) {
    TempFolder folder;
    const std::string path = folder.File("tone.wav");
    ASSERT_TRUE(MakeTone(path, 2, 440));
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    auto library = CreateAudioLibrary();
    ASSERT_TRUE(library->Init(kDefaultDevice, 44100, 0, 0, nullptr));
    const Handle stream = library->StreamCreateFile(false, path.c_str(), 0, 0, 0);
    ASSERT_NE(stream, 0u);
    EXPECT_FALSE(library->OutputPrepare(stream));
    EXPECT_EQ(library->ErrorGetCode(), kErrorDriver);
    EXPECT_FALSE(library->ChannelPlay(stream, false));
    EXPECT_EQ(library->ErrorGetCode(), kErrorDriver);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(library->ChannelGetPosition(stream, kPosByte), 0u); // not "playing" into nothing

    setenv("SDL_AUDIODRIVER", "dummy", 1); // the output appears; what every other test runs on
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(library->ChannelGetPosition(stream, kPosByte), 0u);
    EXPECT_TRUE(library->Free());
}

TEST_F(AudioLibraryTest, LengthAndUtf8TagsOfAThreeMinuteMp3) {
    TempFolder folder;
    const std::string path = folder.File("long.mp3");
    ASSERT_TRUE(MakeTone(path, 180, 440,
                         "-ac 1 -b:a 32k -id3v2_version 4 -metadata title=晴天 -metadata artist=周杰伦 "
                         "-metadata album=叶惠美"));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    const std::uint64_t bytes = library->ChannelGetLength(stream, kPosByte);
    EXPECT_EQ(bytes % 8, 0u);
    EXPECT_NEAR(Seconds(stream, bytes), 180.0, 0.1);
    EXPECT_STREQ(library->TagsRead(stream, "%TITL"), "晴天");
    EXPECT_STREQ(library->TagsRead(stream, "%ARTI"), "周杰伦");
    EXPECT_STREQ(library->TagsRead(stream, "%ALBM"), "叶惠美");
    EXPECT_STREQ(library->TagsRead(stream, "%ARTI - %TITL (100%%)"), "周杰伦 - 晴天 (100%)");
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), std::filesystem::file_size(path));
    EXPECT_TRUE(library->StreamFree(stream));
    EXPECT_STREQ(library->TagsRead(stream, "%TITL"), "");
    EXPECT_EQ(library->ErrorGetCode(), kErrorHandle);
}

TEST_F(AudioLibraryTest, GbkBytesInLatin1TagsAreReadAsChinese) {
    TempFolder folder;
    const std::string plain = folder.File("plain.mp3");
    ASSERT_TRUE(MakeTone(plain, 1, 440, "-map_metadata -1 -id3v2_version 0 -write_id3v1 0"));
    const std::vector<uint8_t> audio = ReadAll(plain);
    const std::string gbkTitle = *text::Utf8ToGbk("七里香");
    const std::string gbkArtist = *text::Utf8ToGbk("周杰伦");
    const std::string gbkAlbum = *text::Utf8ToGbk("七里香专辑");

    std::vector<uint8_t> v1 = audio;
    const auto tag = Id3v1(gbkTitle, gbkArtist, gbkAlbum);
    v1.insert(v1.end(), tag.begin(), tag.end());
    WriteAll(folder.File("v1.mp3"), v1);

    std::vector<uint8_t> v2 = Id3v23Latin1(gbkTitle, "Mot\xF6rhead");
    v2.insert(v2.end(), audio.begin(), audio.end());
    WriteAll(folder.File("v2.mp3"), v2);

    const Handle first = Open(folder.File("v1.mp3"));
    ASSERT_NE(first, 0u);
    EXPECT_STREQ(library->TagsRead(first, "%TITL"), "七里香");
    EXPECT_STREQ(library->TagsRead(first, "%ARTI"), "周杰伦");
    EXPECT_STREQ(library->TagsRead(first, "%ALBM"), "七里香专辑");

    const Handle second = Open(folder.File("v2.mp3"));
    ASSERT_NE(second, 0u);
    EXPECT_STREQ(library->TagsRead(second, "%TITL"), "七里香");
    EXPECT_STREQ(library->TagsRead(second, "%ARTI"), "Motörhead"); // real Latin-1 stays so
    EXPECT_STREQ(library->TagsRead(second, "%ALBM"), "");

    const Handle untagged = Open(plain);
    ASSERT_NE(untagged, 0u);
    EXPECT_STREQ(library->TagsRead(untagged, "%TITL"), "");
    EXPECT_STREQ(library->TagsRead(untagged, "%ARTI"), "");
}

void CountEnd(Handle, Handle, std::uint32_t, void *user) {
    static_cast<CallCounter *>(user)->Hit();
}

TEST_F(AudioLibraryTest, EndSyncFiresOnceOnALibraryThread) {
    TempFolder folder;
    const std::string path = folder.File("short.wav");
    ASSERT_TRUE(MakeTone(path, 0.5, 440));
    const Handle stream = Open(path);
    const Handle freedEarly = Open(path);
    ASSERT_NE(stream, 0u);
    ASSERT_NE(freedEarly, 0u);
    CallCounter ends;
    CallCounter neverCalled;
    ASSERT_NE(library->ChannelSetSync(stream, kSyncEnd, 0, &CountEnd, &ends), 0u);
    ASSERT_NE(library->ChannelSetSync(freedEarly, kSyncEnd, 0, &CountEnd, &neverCalled), 0u);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(library->ChannelPlay(freedEarly, false));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(library->StreamFree(freedEarly));
    ASSERT_TRUE(ends.WaitFor(1, 10s));
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_NE(ends.Thread(), std::this_thread::get_id());
    EXPECT_EQ(neverCalled.Count(), 0);
    EXPECT_EQ(library->ChannelGetPosition(stream, kPosByte), library->ChannelGetLength(stream, kPosByte));
    // Playing an ended channel again starts over and ends (and syncs) once more.
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(ends.WaitFor(2, 10s));
    EXPECT_EQ(library->ChannelSetSync(stream, 99, 0, &CountEnd, &ends), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalType);
}

TEST_F(AudioLibraryTest, TransportKeepsAndMovesThePosition) {
    TempFolder folder;
    const std::string path = folder.File("tone.ogg");
    ASSERT_TRUE(MakeTone(path, 6, 440, "-c:a libvorbis"));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(library->ChannelGetPosition(stream, kPosByte), 0u);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(library->ChannelPause(stream));
    const double paused = PositionSeconds(stream);
    EXPECT_GT(paused, 0.1);
    std::this_thread::sleep_for(200ms);
    EXPECT_DOUBLE_EQ(PositionSeconds(stream), paused);
    ASSERT_TRUE(library->ChannelPlay(stream, false)); // continues, does not restart
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(library->ChannelStop(stream));
    const double stopped = PositionSeconds(stream);
    EXPECT_GT(stopped, paused + 0.1);
    EXPECT_LT(stopped, paused + 2.0);

    const std::uint64_t twoSeconds = library->ChannelSeconds2Bytes(stream, 2.0);
    EXPECT_EQ(twoSeconds, 88200u * 8);
    EXPECT_EQ(library->ChannelSeconds2Bytes(stream, 1.0 / 44100 * 1.5), 8u); // whole frames
    ASSERT_TRUE(library->ChannelSetPosition(stream, twoSeconds, kPosByte));
    EXPECT_EQ(library->ChannelGetPosition(stream, kPosByte), twoSeconds);
    EXPECT_FALSE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 60), kPosByte));
    EXPECT_EQ(library->ErrorGetCode(), kErrorPosition);
    ASSERT_TRUE(library->ChannelPlay(stream, true));
    std::this_thread::sleep_for(100ms);
    EXPECT_LT(PositionSeconds(stream), 1.0);

    EXPECT_EQ(library->ChannelSeconds2Bytes(stream, -1), kErrorValue);
    EXPECT_LT(library->ChannelBytes2Seconds(0, 100), 0.0);
    EXPECT_EQ(library->ErrorGetCode(), kErrorHandle);
    EXPECT_FALSE(library->ChannelPlay(0, false));
    EXPECT_EQ(library->ChannelGetLength(0, kPosByte), kErrorValue);
}

TEST_F(AudioLibraryTest, VolumeScalesTheSamplesSentToTheDevice) {
    TempFolder folder;
    const std::string path = folder.File("tone.wav");
    ASSERT_TRUE(MakeTone(path, 5, 1000));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    std::this_thread::sleep_for(300ms);
    const double full = OutputRms(stream, 2048, 8);
    // lavfi's sine has amplitude 1/8 and ffmpeg's mono-to-stereo upmix takes 3 dB off.
    EXPECT_NEAR(full, 0.125 / 2.0, 0.008);
    ASSERT_TRUE(library->ChannelSetAttribute(stream, kAttribVolume, 0.5f));
    std::this_thread::sleep_for(100ms);
    EXPECT_NEAR(OutputRms(stream, 2048, 8) / full, 0.5, 0.05);
    EXPECT_FALSE(library->ChannelSetAttribute(stream, 99, 0.5f));
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalType);
    EXPECT_FALSE(library->ChannelSetAttribute(stream, kAttribVolume, NAN));
}

TEST_F(AudioLibraryTest, FirstBandAtSixDecibelsLiftsAnEightyHertzTone) {
    TempFolder folder;
    const std::string path = folder.File("80.wav");
    ASSERT_TRUE(MakeTone(path, 8, 80));
    const Handle stream = Open(path);
    ASSERT_NE(stream, 0u);
    const float centres[10] = {80, 170, 310, 600, 1000, 3000, 6000, 10000, 12000, 14000};
    Handle bands[10];
    for (int i = 0; i < 10; ++i) {
        bands[i] = library->ChannelSetFX(stream, kFxParamEq, 1);
        ASSERT_NE(bands[i], 0u);
        const ParamEqParameters flat{centres[i], 5.0f, 0.0f};
        ASSERT_TRUE(library->FXSetParameters(bands[i], &flat));
    }
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    std::this_thread::sleep_for(500ms);
    const double before = OutputRms(stream, 8192u, 16);

    ParamEqParameters lifted{};
    ASSERT_TRUE(library->FXGetParameters(bands[0], &lifted));
    lifted.gain = 6.0f;
    ASSERT_TRUE(library->FXSetParameters(bands[0], &lifted));
    ParamEqParameters readBack{};
    ASSERT_TRUE(library->FXGetParameters(bands[0], &readBack));
    EXPECT_FLOAT_EQ(readBack.center, 80.0f);
    EXPECT_FLOAT_EQ(readBack.bandwidth, 5.0f);
    EXPECT_FLOAT_EQ(readBack.gain, 6.0f);
    std::this_thread::sleep_for(500ms);
    const double after = OutputRms(stream, 8192u, 16);
    EXPECT_NEAR(Decibels(after / before), 6.0, 1.0);

    const ParamEqParameters tooLoud{80.0f, 5.0f, 20.0f};
    ASSERT_TRUE(library->FXSetParameters(bands[1], &tooLoud));
    ASSERT_TRUE(library->FXGetParameters(bands[1], &readBack));
    EXPECT_FLOAT_EQ(readBack.gain, 15.0f);
    const ParamEqParameters nonsense{-5.0f, 5.0f, 0.0f};
    EXPECT_FALSE(library->FXSetParameters(bands[2], &nonsense));
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalParam);
    EXPECT_EQ(library->ChannelSetFX(stream, 3, 1), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalType);
    ASSERT_TRUE(library->StreamFree(stream));
    EXPECT_FALSE(library->FXGetParameters(bands[0], &readBack));
    EXPECT_EQ(library->ErrorGetCode(), kErrorHandle);
}

TEST_F(AudioLibraryTest, BrokenInputFailsToOpenWithoutHarm) {
    TempFolder folder;
    std::mt19937 random(4);
    std::vector<uint8_t> noise(64 * 1024);
    for (auto &byte : noise) {
        byte = static_cast<uint8_t>(random());
    }
    WriteAll(folder.File("noise.mp3"), noise);
    WriteAll(folder.File("empty.mp3"), {});
    WriteAll(folder.File("text.ogg"), std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'});
    const std::string good = folder.File("good.mp3");
    ASSERT_TRUE(MakeTone(good, 1, 440));
    std::vector<uint8_t> bytes = ReadAll(good);
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 300);
    WriteAll(folder.File("cut.mp3"), cut);

    for (const char *name : {"noise.mp3", "empty.mp3", "text.ogg", "cut.mp3"}) {
        EXPECT_EQ(Open(folder.File(name)), 0u) << name;
        EXPECT_EQ(library->ErrorGetCode(), kErrorFormat) << name;
    }
    EXPECT_EQ(Open(folder.File("missing.mp3")), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFileOpen);
    EXPECT_EQ(Open(folder.File("")), 0u); // the folder itself
    EXPECT_EQ(library->ErrorGetCode(), kErrorFileOpen);
    EXPECT_EQ(Open("http://127.0.0.1:1/song.mp3"), 0u); // locations are not files

    // Damage in the middle of a good file: it opens and plays to its end.
    std::copy(noise.begin(), noise.begin() + 4000,
              bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    WriteAll(folder.File("damaged.mp3"), bytes);
    const Handle damaged = Open(folder.File("damaged.mp3"));
    ASSERT_NE(damaged, 0u);
    CallCounter ends;
    library->ChannelSetSync(damaged, kSyncEnd, 0, &CountEnd, &ends);
    ASSERT_TRUE(library->ChannelPlay(damaged, false));
    EXPECT_TRUE(ends.WaitFor(1, 10s));

    // The same bytes from memory open as well.
    const std::vector<uint8_t> memory = ReadAll(good);
    const Handle fromMemory = library->StreamCreateFile(true, memory.data(), 0, memory.size(), 0);
    ASSERT_NE(fromMemory, 0u);
    EXPECT_NEAR(LengthSeconds(fromMemory), 1.0, 0.1);
    EXPECT_EQ(library->StreamCreateFile(true, memory.data(), 0, 0, 0), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorIllegalParam);
}

TEST_F(AudioLibraryTest, AddonDecodesFlacAndOtherFormats) {
    TempFolder folder;
    const std::string flac = folder.File("tone.flac");
    const std::string m4a = folder.File("tone.m4a");
    const std::string opus = folder.File("tone.opus");
    const std::string wma = folder.File("tone.wma");
    ASSERT_TRUE(MakeTone(flac, 2, 440, "-metadata title=FLAC标题"));
    ASSERT_TRUE(MakeTone(m4a, 1, 440, "-c:a aac"));
    ASSERT_TRUE(MakeTone(opus, 1, 440, "-c:a libopus"));
    ASSERT_TRUE(MakeTone(wma, 1, 440, "-c:a wmav2"));
    EXPECT_EQ(Open(flac), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFormat);

    const std::string addonPath = ProgramFolder() + "/b_more.so";
    const Handle addon = library->PluginLoad(addonPath.c_str(), 0);
    ASSERT_NE(addon, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->PluginLoad(addonPath.c_str(), 0), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorAlready);
    const PluginInfo *info = library->PluginGetInfo(addon);
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->formatCount, 5u);
    std::string extensions;
    for (std::uint32_t i = 0; i < info->formatCount; ++i) {
        extensions += std::string(";") + info->formats[i].extensions;
    }
    EXPECT_EQ(extensions, ";*.flac;*.fla;*.aac;*.m4a;*.m4b;*.mp4;*.opus;*.wma;*.ape;*.mac");

    const Handle stream = Open(flac);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_NEAR(LengthSeconds(stream), 2.0, 0.01);
    EXPECT_STREQ(library->TagsRead(stream, "%TITL"), "FLAC标题");
    for (const std::string &path : {m4a, opus, wma}) {
        const Handle other = Open(path);
        EXPECT_NE(other, 0u) << path;
        EXPECT_NEAR(LengthSeconds(other), 1.0, 0.1) << path;
    }
    // A stream keeps its add-on's code loaded after the add-on is freed.
    EXPECT_TRUE(library->PluginFree(addon));
    EXPECT_EQ(library->PluginGetInfo(addon), nullptr);
    CallCounter ends;
    library->ChannelSetSync(stream, kSyncEnd, 0, &CountEnd, &ends);
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 1.5), kPosByte));
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    EXPECT_TRUE(ends.WaitFor(1, 10s));
    EXPECT_EQ(Open(flac), 0u); // no longer offered

    WriteAll(folder.File("b_fake.so"), std::vector<uint8_t>{'n', 'o', 't'});
    EXPECT_EQ(library->PluginLoad(folder.File("b_fake.so").c_str(), 0), 0u);
    EXPECT_FALSE(library->PluginFree(0));
}

TEST_F(AudioLibraryTest, ErrorCodesBelongToTheCallingThread) {
    EXPECT_FALSE(library->StreamFree(12345));
    EXPECT_EQ(library->ErrorGetCode(), kErrorHandle);
    int otherThreadCode = -100;
    std::thread other([&] {
        library->GetVersion();
        otherThreadCode = library->ErrorGetCode();
    });
    other.join();
    EXPECT_EQ(otherThreadCode, kErrorOk);
    EXPECT_EQ(library->ErrorGetCode(), kErrorHandle);
}

} // namespace
} // namespace lirvo::audio::testing
