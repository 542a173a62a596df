// The controller over the real audio library: files made with ffmpeg at test time, played on
// SDL's dummy output, and a network song served by a local HTTP server.

#include "ShellTestSupport.h"

#include "audio/lib/AudioLibraryFactory.h"

#include <httplib.h>

#include <cstdlib>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;

namespace {

class RealLibraryTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        real = lirvo::audio::CreateAudioLibrary();
    }
    void TearDown() override {
        ShellTest::TearDown();
        real.reset();
    }
    TZylMainOptions RealOptions() {
        auto options = Options();
        options.Library = real.get();
        return options;
    }
    // A tone of `seconds` with optional title and artist tags. ffmpeg runs through std::system:
    // QProcess starts children in a way ThreadSanitizer builds cannot follow (`make tsan`).
    std::string MakeTone(const std::string &name, double seconds, const std::string &title,
                         const std::string &artist) {
        const std::string path = media + name;
        std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i " +
                              Quoted("sine=frequency=440:duration=" + std::to_string(seconds));
        if (!title.empty())
            command += " -metadata " + Quoted("title=" + title);
        if (!artist.empty())
            command += " -metadata " + Quoted("artist=" + artist);
        command += " -c:a libmp3lame -b:a 64k " + Quoted(path);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    static std::string Quoted(const std::string &word) {
        std::string quoted = "'";
        for (char c : word)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    }
    std::unique_ptr<lirvo::audio::IAudioLibrary> real;
};

} // namespace

TEST_F(RealLibraryTest, TaggedFilesAreAddedPlayedAndFollowedInLoopOrder) {
    const auto first = MakeTone("first.mp3", 1.0, "Real Tone", "Generator");
    const auto second = MakeTone("second.mp3", 3.0, "", "");
    Create(RealOptions());
    ASSERT_FALSE(Engine().Filter.empty());
    main->setPlayModeIndex(1);
    AddThroughDialog({first, second});
    EXPECT_EQ(main->Records()[0].Caption, "Real Tone - Generator");
    EXPECT_EQ(main->Records()[1].Caption, "second");
    ASSERT_TRUE(WaitPlaying(0));
    EXPECT_NEAR(main->ProgressMaximum(), 1000, 120);
    // The first tone ends by itself and the loop order moves on to the second.
    EXPECT_TRUE(WaitUntil([&] { return main->CurrentIndex() == 1 && WaitPlaying(1); }, 10000));
    EXPECT_NEAR(main->ProgressMaximum(), 3000, 120);
    EXPECT_EQ(main->TitleTextUtf8(), "second");
}

TEST_F(RealLibraryTest, NetworkSongFromALocalServerIsKeptInTheMusicFolder) {
    const auto tone = MakeTone("served.mp3", 2.0, "Served", "Server");
    const std::string bytes = ReadFile(tone);
    ASSERT_GT(bytes.size(), 1000u);
    httplib::Server server;
    server.Get("/song.mp3", [&](const httplib::Request &, httplib::Response &response) {
        response.set_content(bytes, "audio/mpeg");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });

    Create(RealOptions());
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/song.mp3";
    main->AppendRow(1, "Served", "Server", url);
    main->SavePlayList();
    // A song already kept under that caption: the new copy gets a number.
    WriteFile(main->MusicDir() + "Served - Server.mp3", "older copy");
    main->lstDefaultMouseMove(0);
    main->plst_listItemDblClick();
    const std::string kept = main->MusicDir() + "/Served - Server(1).mp3";
    EXPECT_TRUE(WaitUntil([&] { return main->Records()[0].Path == kept; }, 15000));
    EXPECT_EQ(ReadFile(kept), bytes);
    EXPECT_EQ(main->Rows().Row(0).path, kept);
    EXPECT_FALSE(FileExists(main->MusicDir() + "/_temp._mp"));
    EXPECT_EQ(ReadFile(main->MusicDir() + "Served - Server.mp3"), "older copy");

    main->FormDestroy();
    server.stop();
    serving.join();
}
