// Network streams whose server goes quiet, and seeks that must not wait on the network.

#include "LibraryFixture.h"
#include "LocalHttpServer.h"

#include <atomic>
#include <memory>

namespace lirvo::audio::testing {
namespace {

using namespace std::chrono_literals;

// What the download procedure receives.
struct Downloaded {
    std::mutex mutex;
    std::condition_variable changed;
    size_t bytes = 0;
    int finalCalls = 0;

    static void Proc(const void *buffer, std::uint32_t length, void *user) {
        auto *self = static_cast<Downloaded *>(user);
        std::lock_guard lock(self->mutex);
        if (buffer == nullptr) {
            ++self->finalCalls;
        } else {
            self->bytes += length;
        }
        self->changed.notify_all();
    }
    bool WaitForFinal(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return finalCalls > 0; });
    }
};

void CountEnd(Handle, Handle, std::uint32_t, void *user) {
    static_cast<CallCounter *>(user)->Hit();
}

class StreamStallTest : public AudioLibraryTest {
protected:
    void SetUp() override {
        AudioLibraryTest::SetUp();
        const std::string path = folder.File("song.mp3");
        ASSERT_TRUE(MakeTone(path, 5, 440, "-b:a 128k"));
        song = std::make_shared<std::vector<uint8_t>>(ReadAll(path));
        ASSERT_GT(song->size(), 70000u);
        ASSERT_TRUE(library->SetConfig(kConfigNetPrebuf, 0)); // as the player sets it
    }
    void TearDown() override {
        *release = true; // lets the server's silent connections end
        AudioLibraryTest::TearDown();
    }

    // Serves the first `sent` bytes of `bytes` (the song by default) at `route` under a full
    // Content-Length, then holds the connection open without sending anything until the test
    // ends. The test starts the server.
    void ServeThenGoQuiet(size_t sent, std::shared_ptr<std::vector<uint8_t>> bytes = nullptr,
                          const std::string &route = "/quiet.mp3") {
        if (bytes == nullptr) {
            bytes = song;
        }
        auto quiet = release;
        http.server.Get(route, [bytes, quiet, sent](const httplib::Request &, httplib::Response &response) {
            response.set_content_provider(
                bytes->size(), "audio/mpeg", [bytes, quiet, sent](size_t offset, size_t length, httplib::DataSink &sink) {
                    if (offset >= sent) {
                        std::this_thread::sleep_for(20ms);
                        return !quiet->load();
                    }
                    const size_t count = std::min<size_t>({length, 4096, sent - offset});
                    return sink.write(reinterpret_cast<const char *>(bytes->data()) + offset, count);
                });
        });
    }

    Handle OpenQuiet(Downloaded *downloaded) {
        return library->StreamCreateURL(http.Url("/quiet.mp3").c_str(), 0, 0,
                                        downloaded != nullptr ? &Downloaded::Proc : nullptr, downloaded);
    }

    bool WaitForDownloaded(Handle stream, std::uint64_t bytes) {
        for (int i = 0; i < 500; ++i) {
            if (library->StreamGetFilePosition(stream, kFilePosDownload) >= bytes) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // Polls until the position passes `seconds` (a loaded machine may start the device late).
    bool PlaysPast(Handle stream, double seconds) {
        for (int i = 0; i < 400 && PositionSeconds(stream) <= seconds; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return PositionSeconds(stream) > seconds;
    }

    // Waits until playback has used up what arrived and stands still.
    bool StandsStill(Handle stream) {
        double last = -1;
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(100ms);
            const double now = PositionSeconds(stream);
            if (now == last) {
                return true;
            }
            last = now;
        }
        return false;
    }

    TempFolder folder;
    std::shared_ptr<std::vector<uint8_t>> song;
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    LocalHttpServer http;
};

TEST_F(StreamStallTest, StreamThatReceivesNothingForTheLimitEndsAsAFailedRead) {
    const size_t sent = song->size() * 2 / 5; // 40 %, as in the field report
    ServeThenGoQuiet(sent);
    http.Start();
    ASSERT_TRUE(library->SetConfig(kConfigNetReadTimeout, 500));
    Downloaded downloaded;
    const Handle stream = OpenQuiet(&downloaded);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosEnd), song->size());
    CallCounter ends;
    ASSERT_NE(library->ChannelSetSync(stream, kSyncEnd, 0, &CountEnd, &ends), 0u);
    ASSERT_TRUE(library->ChannelPlay(stream, false));

    // It plays what came, then ends rather than playing silence for ever; the download ends
    // short of the announced size, so a cache keeps nothing of it.
    ASSERT_TRUE(ends.WaitFor(1, 20s));
    EXPECT_GT(PositionSeconds(stream), 1.0);
    EXPECT_LT(PositionSeconds(stream), 2.5);
    ASSERT_TRUE(downloaded.WaitForFinal(5s));
    {
        std::lock_guard lock(downloaded.mutex);
        EXPECT_EQ(downloaded.bytes, sent);
        EXPECT_EQ(downloaded.finalCalls, 1);
    }
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosDownload), sent);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_TRUE(library->StreamFree(stream));
}

TEST_F(StreamStallTest, SeeksIntoTheMissingPartAreRefusedAtOnce) {
    ServeThenGoQuiet(30000);
    http.Start();
    // The player's own limit: a seek that waited for the network would sit here for 15 s.
    ASSERT_TRUE(library->SetConfig(kConfigNetReadTimeout, 15000));
    const Handle stream = OpenQuiet(nullptr);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    ASSERT_TRUE(WaitForDownloaded(stream, 30000));
    const auto started = std::chrono::steady_clock::now();
    for (double seconds : {2.5, 4.0, 4.9}) {
        EXPECT_FALSE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, seconds), kPosByte))
            << seconds;
        EXPECT_EQ(library->ErrorGetCode(), kErrorPosition);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(PositionSeconds(stream), 0.0); // refused seeks leave the position alone
    EXPECT_TRUE(library->StreamFree(stream));
}

TEST_F(StreamStallTest, SeekWhileTheDecoderWaitsForBytesReturnsAndPlaysOnWhileTheServerIsSilent) {
    ServeThenGoQuiet(40000); // about 2.5 s of the song
    http.Start();
    ASSERT_TRUE(library->SetConfig(kConfigNetReadTimeout, 15000));
    const Handle stream = OpenQuiet(nullptr);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    ASSERT_TRUE(WaitForDownloaded(stream, 40000));
    // Playback uses up what came; the decoder then waits for bytes the server never sends.
    ASSERT_TRUE(StandsStill(stream));
    const double stuckAt = PositionSeconds(stream);
    EXPECT_GT(stuckAt, 1.5);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 0.5), kPosByte));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    // From 0.5 on; the feeder may already have played a block or two from there.
    EXPECT_GE(PositionSeconds(stream), 0.5);
    EXPECT_LT(PositionSeconds(stream), 0.6);
    // The decoder was let go: it plays the arrived part again although nothing new came.
    EXPECT_TRUE(PlaysPast(stream, 1.0)) << PositionSeconds(stream);
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosDownload), 40000u);

    // The same with the track paused, and a seek again while the first is settling.
    ASSERT_TRUE(StandsStill(stream));
    ASSERT_TRUE(library->ChannelPause(stream));
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 1.0), kPosByte));
    ASSERT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 0.25), kPosByte));
    EXPECT_NEAR(PositionSeconds(stream), 0.25, 0.001);
    ASSERT_TRUE(library->ChannelPlay(stream, false));
    EXPECT_TRUE(PlaysPast(stream, 0.6)) << PositionSeconds(stream);
    EXPECT_TRUE(library->StreamFree(stream));
}

TEST_F(StreamStallTest, SeekIsJudgedByTheSeekTableAndNeverWaitsForTheServer) {
    // Loud noise, then silence, at a variable bit rate: the second half takes few bytes, so the
    // bytes of 3 s lie much further into the file than its time suggests. The encoder's table
    // of contents tells where they are.
    const std::string path = folder.File("vbr.mp3");
    ASSERT_TRUE(RunQuietly("ffmpeg -nostdin -y -f lavfi -i 'anoisesrc=d=2.5:a=0.5,apad=pad_dur=2.5' -ac 2 "
                           "-ar 44100 -c:a libmp3lame -q:a 0 '" + path + "'"));
    auto bytes = std::make_shared<std::vector<uint8_t>>(ReadAll(path));
    const size_t sent = bytes->size() * 3 / 4;
    ServeThenGoQuiet(sent, bytes);
    http.Start();
    ASSERT_TRUE(library->SetConfig(kConfigNetTimeout, 5000));
    const Handle stream = OpenQuiet(nullptr);
    ASSERT_NE(stream, 0u) << library->ErrorGetCode();
    ASSERT_TRUE(WaitForDownloaded(stream, sent));
    ASSERT_TRUE(library->ChannelPlay(stream, false));

    const auto started = std::chrono::steady_clock::now();
    // By time alone 3 s would be at 60 % of the file, which has arrived; by the table it has not.
    EXPECT_FALSE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 3.0), kPosByte));
    EXPECT_EQ(library->ErrorGetCode(), kErrorPosition);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s); // not the 5 s a read may wait
    // Within the noise, which has arrived, the same seek is taken.
    EXPECT_TRUE(library->ChannelSetPosition(stream, library->ChannelSeconds2Bytes(stream, 1.0), kPosByte));
    EXPECT_EQ(library->StreamGetFilePosition(stream, kFilePosDownload), sent); // still silent
    const auto freeing = std::chrono::steady_clock::now();
    EXPECT_TRUE(library->StreamFree(stream));
    EXPECT_LT(std::chrono::steady_clock::now() - freeing, 1s);
}

} // namespace
} // namespace lirvo::audio::testing
