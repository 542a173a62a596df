// The lirvo-lyrics program as a user runs it: `words`, the translation column of `line`, and
// `find`, which runs the player's lookup on a real song (tags written by ffmpeg) against a
// local LRCLIB stand-in, then finds the kept lyric offline.
#include <httplib.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <thread>

namespace {

struct ToolRun {
    int code = -1;
    std::string out;
};

std::string Quote(const std::string &s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class LyricsTool : public ::testing::Test {
protected:
    void SetUp() override {
        const char *bin = std::getenv("LIRVO_BIN_DIR");
        ASSERT_NE(bin, nullptr) << "start the tests through ctest";
        tool = std::string(bin) + "/lirvo-lyrics";
        ASSERT_TRUE(dir.isValid());
        // A private documents folder, so that the player's settings of this machine are not read.
        QDir().mkpath(dir.filePath("home/Documents"));
    }
    std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    void Write(const std::string &name, const std::string &text) {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    ToolRun Lyrics(const std::string &args) {
        const std::string command = "HOME=" + Quote(Path("home")) + " XDG_CONFIG_HOME=" + Quote(Path("home")) +
                                    " XDG_DOCUMENTS_DIR=" + Quote(Path("home/Documents")) + " " + Quote(tool) +
                                    " " + args + " 2>/dev/null";
        ToolRun run;
        FILE *pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return run;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.out.append(buffer, n);
        const int status = ::pclose(pipe);
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    std::string tool;
    QTemporaryDir dir;
};

TEST_F(LyricsTool, WordsAndTranslationColumns) {
    Write("w.lrc", "[00:04.00]<00:04.00>one <00:04.50>two<00:05.00>\r\n[00:01.5]plain\r\n"
                   "[00:09.00]line\r\n[00:09.00]Zeile\r\n");
    ToolRun run = Lyrics("words " + Quote(Path("w.lrc")));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "1500\n4000\t4000:one \t4500:two\n9000\n9000\n");
    run = Lyrics("line " + Quote(Path("w.lrc")) + " 4100 9500");
    EXPECT_EQ(run.out, "4100\tone two\n9500\tline\tZeile\n");
    run = Lyrics("parse " + Quote(Path("w.lrc")));
    EXPECT_NE(run.out.find("4000\t00:04.00\tone two\n"), std::string::npos) << run.out;
}

TEST_F(LyricsTool, MatchNamesTheFileOrFailsWhenThereIsNone) {
    QDir().mkpath(dir.filePath("lrc"));
    Write("lrc/Singer - Song.lrc", "[00:01.00]x\r\n");
    ToolRun run = Lyrics("match " + Quote(Path("lrc")) + " Song Singer");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, Path("lrc") + "/Singer - Song.lrc\n");
    run = Lyrics("match " + Quote(Path("lrc")) + " Other Singer");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Lyrics("match " + Quote(Path("absent")) + " Song Singer").code, 1);
}

TEST_F(LyricsTool, FindRunsThePlayersLookupAndKeepsWhatItFoundOnline) {
    httplib::Server server;
    int requests = 0;
    std::string askedDuration;
    server.Get("/api/get", [&](const httplib::Request &req, httplib::Response &res) {
        ++requests;
        askedDuration = req.get_param_value("duration");
        if (req.get_param_value("track_name") == "晴天" && req.get_param_value("artist_name") == "周杰伦")
            res.set_content(R"({"id":42,"trackName":"晴天","artistName":"周杰伦","duration":2,)"
                            R"("instrumental":false,"syncedLyrics":"[00:00.50]刮风这天"})",
                            "application/json");
        else
            res.status = 404;
    });
    server.Get("/api/search", [&](const httplib::Request &, httplib::Response &res) {
        ++requests;
        res.set_content("[]", "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::string url = "http://127.0.0.1:" + std::to_string(port);

    // A song whose tags name it; no lyric anywhere yet.
    const std::string song = Path("music/track01.mp3");
    QDir().mkpath(dir.filePath("music"));
    QDir().mkpath(dir.filePath("lrc"));
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=2' "
                             "-metadata title=晴天 -metadata artist=周杰伦 " + Quote(song);
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string common = Quote(song) + " --lyric-dir " + Quote(Path("lrc"));

    ToolRun run = Lyrics("find " + common + " --offline");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(requests, 0);

    run = Lyrics("find " + common + " --sources lrclib --server " + Quote(url));
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.starts_with("source\tonline\tlrclib:42\n")) << run.out;
    EXPECT_NE(run.out.find("500\t00:00.50\t刮风这天\n"), std::string::npos) << run.out;
    EXPECT_EQ(askedDuration, "2");
    EXPECT_TRUE(QFile::exists(dir.filePath("lrc/晴天 - 周杰伦.lrc")));
    const int asked = requests;

    run = Lyrics("find " + common + " --offline");
    EXPECT_EQ(run.code, 0);
    EXPECT_TRUE(run.out.starts_with("source\tfolder\t" + Path("lrc") + "/晴天 - 周杰伦.lrc\n")) << run.out;
    run = Lyrics("find " + common + " --server " + Quote(url));
    EXPECT_TRUE(run.out.starts_with("source\tfolder\t")) << run.out;
    EXPECT_EQ(requests, asked) << "a kept lyric needs no network";

    // Lyrics in the song's own tags come before the folder; a file beside the song first of all.
    const std::string tagged = Path("music/tagged.flac");
    const std::string makeTagged = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' "
                                   "-metadata title=晴天 -metadata artist=周杰伦 "
                                   "-metadata 'lyrics=[00:00.20]embedded line' " + Quote(tagged);
    ASSERT_EQ(std::system(makeTagged.c_str()), 0);
    const std::string taggedArgs = Quote(tagged) + " --lyric-dir " + Quote(Path("lrc")) + " --offline";
    run = Lyrics("find " + taggedArgs);
    EXPECT_TRUE(run.out.starts_with("source\tembedded\t" + tagged + "\n")) << run.out;
    EXPECT_NE(run.out.find("200\t00:00.20\tembedded line\n"), std::string::npos) << run.out;
    Write("music/tagged.LRC", "[00:00.10]beside line\r\n");
    run = Lyrics("find " + taggedArgs);
    EXPECT_TRUE(run.out.starts_with("source\tbeside\t" + Path("music/tagged.LRC") + "\n")) << run.out;

    server.stop();
    thread.join();
}

} // namespace
