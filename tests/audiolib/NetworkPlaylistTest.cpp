// Network playlists known by their answer's content type, and HLS locations.

#include "LibraryFixture.h"
#include "LocalHttpServer.h"

#include <filesystem>

namespace lirvo::audio::testing {
namespace {

using namespace std::chrono_literals;

struct Blocks {
    std::mutex mutex;
    std::vector<uint8_t> bytes;
    int finalCalls = 0;

    static void Proc(const void *buffer, std::uint32_t length, void *user) {
        auto *self = static_cast<Blocks *>(user);
        std::lock_guard lock(self->mutex);
        if (buffer == nullptr) {
            ++self->finalCalls;
        } else {
            const auto *data = static_cast<const uint8_t *>(buffer);
            self->bytes.insert(self->bytes.end(), data, data + length);
        }
    }
    bool WaitForFinal(std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            {
                std::lock_guard lock(mutex);
                if (finalCalls > 0) {
                    return true;
                }
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
};

class NetworkPlaylistTest : public AudioLibraryTest {
protected:
    void SetUp() override {
        AudioLibraryTest::SetUp();
        ASSERT_TRUE(MakeTone(folder.File("song.mp3"), 3, 440, "-b:a 128k"));
        song = ReadAll(folder.File("song.mp3"));
        http.server.Get("/music/song", [this](const httplib::Request &, httplib::Response &response) {
            response.set_content(reinterpret_cast<const char *>(song.data()), song.size(), "audio/mpeg");
        });
        ASSERT_TRUE(library->SetConfig(kConfigNetPlaylist, 1));
    }

    void ServeText(const std::string &route, const std::string &text, const std::string &type) {
        http.server.Get(route, [text, type](const httplib::Request &, httplib::Response &response) {
            response.set_content(text, type);
        });
    }

    TempFolder folder;
    std::vector<uint8_t> song;
    LocalHttpServer http;
};

TEST_F(NetworkPlaylistTest, PlaylistsWithoutAPlaylistNameAreKnownByTheirContentType) {
    ServeText("/radio", "#EXTM3U\nmusic/song\n", "audio/x-mpegurl");
    ServeText("/station", "[playlist]\nNumberOfEntries=1\nFile1=/music/song\n", "audio/x-scpls; charset=utf-8");
    ServeText("/listen", "#EXTM3U\nmusic/song\n", "application/vnd.apple.mpegurl");
    http.Start();
    for (const char *route : {"/radio", "/station", "/listen"}) {
        Blocks blocks;
        const Handle stream = library->StreamCreateURL(http.Url(route).c_str(), 0, 0, &Blocks::Proc, &blocks);
        ASSERT_NE(stream, 0u) << route << " " << library->ErrorGetCode();
        EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), song.size()) << route;
        EXPECT_NEAR(LengthSeconds(stream), 3.0, 0.1) << route;
        ASSERT_TRUE(blocks.WaitForFinal(10s)) << route;
        {
            // The song, every byte in order, and nothing of the playlist text.
            std::lock_guard lock(blocks.mutex);
            EXPECT_TRUE(blocks.bytes == song) << route << " " << blocks.bytes.size();
            EXPECT_EQ(blocks.finalCalls, 1) << route;
        }
        EXPECT_TRUE(library->StreamFree(stream));
    }
    // A song is not mistaken for a playlist, and with following switched off the playlist
    // answer is opened as it is (and is no audio).
    const Handle plain = library->StreamCreateURL(http.Url("/music/song").c_str(), 0, 0, nullptr, nullptr);
    EXPECT_NE(plain, 0u) << library->ErrorGetCode();
    library->StreamFree(plain);
    ASSERT_TRUE(library->SetConfig(kConfigNetPlaylist, 0));
    EXPECT_EQ(library->StreamCreateURL(http.Url("/radio").c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFormat);
}

void CountEnd(Handle, Handle, std::uint32_t, void *user) {
    static_cast<CallCounter *>(user)->Hit();
}

TEST_F(NetworkPlaylistTest, HlsPlaysThroughTheHlsDemuxerOrIsRefusedWithAFormatError) {
    // Four seconds of AAC in one-second MPEG-TS segments, as a radio's HLS stream would send.
    const std::string hls = folder.File("hls");
    std::filesystem::create_directories(hls);
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i 'sine=frequency=440:sample_rate=44100:duration=4' "
                           "-ac 2 -c:a aac -b:a 96k -f hls -hls_time 1 -hls_playlist_type vod "
                           "-hls_segment_filename '" + hls + "/part%d.ts' '" + hls + "/list.m3u8'"));
    ASSERT_TRUE(http.server.set_mount_point("/hls", hls));
    // The same list under a name that says nothing, known by its type, with its segments gone.
    ServeText("/broken", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n/hls/missing.ts\n#EXT-X-ENDLIST\n",
              "application/vnd.apple.mpegurl");
    http.Start();

    Blocks blocks;
    const Handle stream =
        library->StreamCreateURL(http.Url("/hls/list.m3u8").c_str(), 0, 0, &Blocks::Proc, &blocks);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_NEAR(LengthSeconds(stream), 4.0, 0.2);
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), kErrorValue); // no one file
    CallCounter ends;
    ASSERT_NE(library->ChannelSetSync(stream, kSyncEnd, 0, &CountEnd, &ends), 0u);
    // Seeks go through the demuxer too; then it plays on to its end.
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 2.5), kPosByte));
    EXPECT_NEAR(PositionSeconds(stream), 2.5, 0.001);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(OutputRms(stream, 4096, 4), 0.03); // the tone (amplitude 1/8), not silence
    ASSERT_TRUE(ends.WaitFor(1, 15s));
    EXPECT_GT(PositionSeconds(stream), 3.5);
    {
        std::lock_guard lock(blocks.mutex);
        EXPECT_TRUE(blocks.bytes.empty()); // neither the list nor segments reach the cache
        EXPECT_EQ(blocks.finalCalls, 0);
    }
    EXPECT_TRUE(library->StreamFree(stream));

    EXPECT_EQ(library->StreamCreateURL(http.Url("/broken").c_str(), 0, 0, &Blocks::Proc, &blocks), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFormat);
}

} // namespace
} // namespace lirvo::audio::testing
