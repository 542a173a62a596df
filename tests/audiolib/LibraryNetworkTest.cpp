// Network streams of the real library against HTTP servers on 127.0.0.1.

#include "LibraryFixture.h"
#include "LocalHttpServer.h"

#include <atomic>

namespace lirvo::audio::testing {
namespace {

using namespace std::chrono_literals;

// Collects what the download procedure receives.
struct Received {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint8_t> bytes;
    int blocks = 0;
    int finalCalls = 0;
    bool callAfterFinal = false;
    std::thread::id thread;

    static void Proc(const void *buffer, std::uint32_t length, void *user) {
        auto *self = static_cast<Received *>(user);
        std::lock_guard lock(self->mutex);
        self->thread = std::this_thread::get_id();
        if (self->finalCalls > 0) {
            self->callAfterFinal = true;
        }
        if (buffer == nullptr) {
            EXPECT_EQ(length, 0u);
            ++self->finalCalls;
        } else {
            ++self->blocks;
            const auto *data = static_cast<const uint8_t *>(buffer);
            self->bytes.insert(self->bytes.end(), data, data + length);
        }
        self->changed.notify_all();
    }
    bool WaitForFinal(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return finalCalls > 0; });
    }
    bool WaitForBlocks(int count, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return blocks >= count; });
    }
    int Blocks() {
        std::lock_guard lock(mutex);
        return blocks;
    }
};

class AudioLibraryNetworkTest : public AudioLibraryTest {
protected:
    void SetUp() override {
        AudioLibraryTest::SetUp();
        const std::string path = folder.File("song.mp3");
        ASSERT_TRUE(MakeTone(path, 5, 440, "-b:a 128k"));
        song = ReadAll(path);
        ASSERT_GT(song.size(), 50000u);
    }

    void ServeSong(const std::string &route) {
        http.server.Get(route, [this](const httplib::Request &, httplib::Response &response) {
            response.set_content(reinterpret_cast<const char *>(song.data()), song.size(), "audio/mpeg");
        });
    }

    TempFolder folder;
    std::vector<uint8_t> song;
    LocalHttpServer http;
};

TEST_F(AudioLibraryNetworkTest, EveryBlockArrivesInOrderThenOneFinalCall) {
    ServeSong("/song.mp3");
    http.Start();
    Received received;
    const Handle stream =
        library->StreamCreateURL(http.Url("/song.mp3").c_str(), 0, 0, &Received::Proc, &received);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), song.size());
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(received.WaitForFinal(10s));
    std::this_thread::sleep_for(200ms);
    {
        std::lock_guard lock(received.mutex);
        EXPECT_EQ(received.finalCalls, 1);
        EXPECT_FALSE(received.callAfterFinal);
        EXPECT_TRUE(received.bytes == song);
        EXPECT_GT(received.blocks, 1);
        EXPECT_NE(received.thread, std::this_thread::get_id());
    }
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosDownload), song.size());
    EXPECT_NEAR(LengthSeconds(stream), 5.0, 0.2);
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(PositionSeconds(stream), 0.1); // it plays from the downloaded bytes
    // Seeking within the downloaded part works like a local file.
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 4.0), kPosByte));
    // The seek runs on the feeder, which may already have played a block or two from there.
    EXPECT_GE(PositionSeconds(stream), 4.0);
    EXPECT_LT(PositionSeconds(stream), 4.1);
    EXPECT_TRUE(library->StreamFree(stream));
}

TEST_F(AudioLibraryNetworkTest, UnknownSizeIsAllOnes) {
    http.server.Get("/live", [this](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("audio/mpeg", [this](size_t offset, httplib::DataSink &sink) {
            if (offset >= song.size()) {
                sink.done();
                return true;
            }
            const size_t count = std::min<size_t>(8192, song.size() - offset);
            return sink.write(reinterpret_cast<const char *>(song.data()) + offset, count);
        });
    });
    http.Start();
    Received received;
    const Handle stream =
        library->StreamCreateURL(http.Url("/live").c_str(), 0, 0, &Received::Proc, &received);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), kErrorValue);
    ASSERT_TRUE(received.WaitForFinal(10s));
    std::lock_guard lock(received.mutex);
    EXPECT_TRUE(received.bytes == song);
}

TEST_F(AudioLibraryNetworkTest, PlaylistLocationIsFollowedWhenAskedTo) {
    ServeSong("/music/song.mp3");
    http.server.Get("/radio.m3u", [](const httplib::Request &, httplib::Response &response) {
        response.set_content("#EXTM3U\n#EXTINF:-1,Song\nmusic/song.mp3\nmusic/other.mp3\n",
                             "audio/x-mpegurl");
    });
    http.Start();
    Received received;
    ASSERT_TRUE(library->SetConfig(kConfigNetPlaylist, 1));
    const Handle stream =
        library->StreamCreateURL(http.Url("/radio.m3u").c_str(), 0, 0, &Received::Proc, &received);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), song.size());
    ASSERT_TRUE(received.WaitForFinal(10s));
    {
        std::lock_guard lock(received.mutex);
        EXPECT_TRUE(received.bytes == song); // the playlist text itself is not handed on
    }
    ASSERT_TRUE(library->SetConfig(kConfigNetPlaylist, 0));
    EXPECT_EQ(library->StreamCreateURL(http.Url("/radio.m3u").c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFormat);
}

TEST_F(AudioLibraryNetworkTest, AddonFormatsPlayFromTheNetworkToo) {
    const std::string flac = folder.File("tone.flac");
    ASSERT_TRUE(MakeTone(flac, 3, 440));
    const std::vector<uint8_t> bytes = ReadAll(flac);
    http.server.Get("/tone.flac", [&bytes](const httplib::Request &, httplib::Response &response) {
        response.set_content(reinterpret_cast<const char *>(bytes.data()), bytes.size(), "audio/flac");
    });
    http.Start();
    EXPECT_EQ(library->StreamCreateURL(http.Url("/tone.flac").c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorFormat);
    ASSERT_NE(library->PluginLoad((ProgramFolder() + "/b_more.so").c_str(), 0), 0u);
    Received received;
    const Handle stream =
        library->StreamCreateURL(http.Url("/tone.flac").c_str(), 0, 0, &Received::Proc, &received);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_NEAR(LengthSeconds(stream), 3.0, 0.01);
    CallCounter ends;
    library->ChannelSetSync(
        stream, kSyncEnd, 0,
        [](Handle, Handle, std::uint32_t, void *user) { static_cast<CallCounter *>(user)->Hit(); }, &ends);
    ASSERT_TRUE(received.WaitForFinal(10s));
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 2.5), kPosByte));
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    EXPECT_TRUE(ends.WaitFor(1, 10s));
    std::lock_guard lock(received.mutex);
    EXPECT_TRUE(received.bytes == bytes);
}

TEST_F(AudioLibraryNetworkTest, FailuresAreReportedByKind) {
    http.server.Get("/missing.mp3", [](const httplib::Request &, httplib::Response &response) {
        response.status = 404;
        response.set_content("not here", "text/plain");
    });
    http.Start();
    Received received;
    EXPECT_EQ(library->StreamCreateURL(http.Url("/missing.mp3").c_str(), 0, 0, &Received::Proc, &received),
              0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorHttp);

    int closedPort = 0;
    {
        SilentServer probe; // take a free port, then let it go
        closedPort = std::stoi(probe.Url("").substr(std::string("http://127.0.0.1:").size()));
    }
    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/song.mp3";
    EXPECT_EQ(library->StreamCreateURL(refused.c_str(), 0, 0, &Received::Proc, &received), 0u);
    EXPECT_EQ(library->ErrorGetCode(), kErrorNoNetwork);
    EXPECT_EQ(library->StreamCreateURL("ftp://127.0.0.1/song.mp3", 0, 0, nullptr, nullptr), 0u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(received.Blocks(), 0);
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.finalCalls, 0); // no stream, so no download to finish
}

TEST_F(AudioLibraryNetworkTest, ServerThatNeverAnswersTimesOut) {
    SilentServer silent;
    library->SetConfig(kConfigNetTimeout, 1000);
    Received received;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(library->StreamCreateURL(silent.Url("/song.mp3").c_str(), 0, 0, &Received::Proc, &received),
              0u);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(library->ErrorGetCode(), kErrorTimeout);
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 10s); // bounded by the time-out, not by the server
}

TEST_F(AudioLibraryNetworkTest, SeeksStayInsideTheDownloadAndFreeingEndsItAtOnce) {
    // Sends the first 70000 bytes, then holds the connection open without sending more.
    constexpr size_t kSent = 70000;
    // Shared with the server's thread, which may still look at it after the test body ends.
    auto release = std::make_shared<std::atomic<bool>>(false);
    http.server.Get("/stalled.mp3", [this, release](const httplib::Request &, httplib::Response &response) {
        response.set_content_provider(
            song.size(), "audio/mpeg",
            [this, release](size_t offset, size_t length, httplib::DataSink &sink) {
                if (offset >= kSent) {
                    std::this_thread::sleep_for(20ms);
                    return !release->load();
                }
                const size_t count = std::min<size_t>({length, 4096, kSent - offset});
                return sink.write(reinterpret_cast<const char *>(song.data()) + offset, count);
            });
    });
    http.Start();
    Received received;
    const Handle stream =
        library->StreamCreateURL(http.Url("/stalled.mp3").c_str(), 0, 0, &Received::Proc, &received);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    for (int i = 0; i < 200 && library->StreamGetFilePosition(stream, kFilePosDownload) < kSent; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(library->StreamGetFilePosition(stream, kFilePosDownload), kSent);
    // 4.5 s lies in the part that has not arrived: refused at once instead of waited for.
    EXPECT_FALSE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 4.5), kPosByte));
    EXPECT_EQ(library->ErrorGetCode(), kErrorPosition);
    EXPECT_TRUE(library->ChannelSetPosition(stream, 0, kPosByte));
    // Plays from what has arrived; polled, because a loaded machine may start the device late.
    const auto playsPast = [&](double seconds) {
        for (int i = 0; i < 300 && PositionSeconds(stream) <= seconds; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return PositionSeconds(stream) > seconds;
    };
    EXPECT_TRUE(playsPast(0.1));
    // Inside the arrived part but close to its end, where the decoder's read-ahead already
    // holds the last bytes that came: still plays on from there.
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 2.5), kPosByte));
    EXPECT_TRUE(playsPast(2.7)) << PositionSeconds(stream);

    // Asked to pre-fill its whole 5-second buffer first, a second stream waits for bytes that
    // never come.
    ASSERT_TRUE(library->SetConfig(kConfigNetPrebuf, 100));
    const Handle waiting = library->StreamCreateURL(http.Url("/stalled.mp3").c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(waiting, 0u);
    ASSERT_TRUE(library->ChannelPlay(waiting, false));
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(library->ChannelGetPosition(waiting, kPosByte), 0u);
    EXPECT_TRUE(library->StreamFree(waiting));

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(library->StreamFree(stream));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s); // not held by the silent server
    const int blocksAtFree = received.Blocks();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(received.Blocks(), blocksAtFree);
    *release = true;
    std::lock_guard lock(received.mutex);
    EXPECT_EQ(received.finalCalls, 0);
    EXPECT_EQ(received.bytes.size(), kSent);
}

TEST_F(AudioLibraryNetworkTest, LiveStreamPlaysFromThePreBufferAndGoesOnAsBytesCome) {
    // No length given (as from a radio station): about 1.9 s of the song at once, then nothing
    // until the test lets the rest come.
    constexpr size_t kFirst = 30000;
    auto resume = std::make_shared<std::atomic<bool>>(false);
    http.server.Get("/live.mp3", [this, resume](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider(
            "audio/mpeg", [this, resume](size_t offset, httplib::DataSink &sink) {
                if (offset >= song.size()) {
                    sink.done();
                    return true;
                }
                if (offset >= kFirst && !resume->load()) {
                    std::this_thread::sleep_for(20ms);
                    return true;
                }
                const size_t limit = offset < kFirst ? kFirst : song.size();
                const size_t count = std::min<size_t>(4096, limit - offset);
                return sink.write(reinterpret_cast<const char *>(song.data()) + offset, count);
            });
    });
    http.Start();
    ASSERT_TRUE(library->SetConfig(kConfigNetPrebuf, 25));
    const Handle stream = library->StreamCreateURL(http.Url("/live.mp3").c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), kErrorValue); // length unknown
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    const auto playsPast = [&](double seconds) {
        for (int i = 0; i < 400 && PositionSeconds(stream) <= seconds; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return PositionSeconds(stream) > seconds;
    };
    // What has arrived is more than the pre-buffer asks for, so it plays, although all of it
    // is already inside the decoder's read-ahead.
    EXPECT_TRUE(playsPast(0.5)) << PositionSeconds(stream);
    // Then it waits near the end of what came, and goes on once more arrives.
    *resume = true;
    EXPECT_TRUE(playsPast(2.5)) << PositionSeconds(stream);
    EXPECT_TRUE(library->StreamFree(stream));
}

} // namespace
} // namespace lirvo::audio::testing
