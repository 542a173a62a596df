// Runs `lirvo-lyrics play` on songs made at test time and reads what it prints.

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ToolRun {
    int exitCode = -1;
    std::vector<std::string> lines; // standard output
    std::string errors;             // standard error
};

std::string Quote(const std::string &text) {
    return "'" + text + "'";
}

ToolRun RunPlay(const std::vector<std::string> &files, const std::string &errorFile,
              const std::string &environment = "SDL_AUDIODRIVER=dummy") {
    const char *bin = std::getenv("LIRVO_BIN_DIR");
    std::string command = environment + " " +
                          Quote(std::string(bin != nullptr ? bin : LIRVO_TEST_BIN_DIR) + "/lirvo-lyrics") +
                          " play";
    for (const auto &file : files) {
        command += " " + Quote(file);
    }
    command += " 2>" + Quote(errorFile);
    ToolRun run;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::string text;
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        text += buffer;
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        run.lines.push_back(line);
    }
    std::ifstream in(errorFile);
    std::ostringstream errors;
    errors << in.rdbuf();
    run.errors = errors.str();
    return run;
}

struct Row {
    int position = -1;
    int state = -1;
    std::string lyric;
};

Row Parse(const std::string &line) {
    Row row;
    const auto first = line.find('\t');
    const auto second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return row;
    }
    row.position = std::stoi(line.substr(0, first));
    row.state = std::stoi(line.substr(first + 1, second - first - 1));
    row.lyric = line.substr(second + 1);
    return row;
}

void MakeTone(const std::string &path, double seconds) {
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=330:duration=" + std::to_string(seconds) +
        ":sample_rate=44100' -ac 2 " + Quote(path);
    ASSERT_EQ(std::system(command.c_str()), 0);
}

TEST(PlayCommand, PlaysFilesInOrderWithTheLyricBesideEachAndSkipsWhatCannotOpen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    MakeTone(folder + "/一.wav", 2.2);
    MakeTone(folder + "/two.mp3", 1.2);
    std::ofstream(folder + "/一.lrc") << "[ti:一]\r\n[00:00.20]第一行\r\n[00:01.30]第二行\r\n";

    const ToolRun run =
        RunPlay({folder + "/一.wav", folder + "/missing.mp3", folder + "/two.mp3"}, folder + "/err.txt");
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_NE(run.errors.find("无法播放《" + folder + "/missing.mp3》：文件不存在"), std::string::npos) << run.errors;

    std::vector<Row> rows;
    for (const auto &line : run.lines) {
        rows.push_back(Parse(line));
        ASSERT_GE(rows.back().position, 0) << "not position TAB state TAB line: " << line;
    }
    ASSERT_GE(rows.size(), 5u);

    // The first song's lines in order while it plays; the second song restarts the position.
    // Only rows printed while a song plays count: one printed while the next file is still
    // opening has no song, and so no lyric, yet.
    std::vector<std::string> shown;
    std::size_t restart = 0;
    std::optional<int> lastPlayingPosition;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].state != 1002) {
            continue;
        }
        if (lastPlayingPosition && rows[i].position + 500 < *lastPlayingPosition) {
            restart = i;
        }
        lastPlayingPosition = rows[i].position;
        if (!rows[i].lyric.empty() && (shown.empty() || shown.back() != rows[i].lyric)) {
            shown.push_back(rows[i].lyric);
        }
    }
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "第一行");
    EXPECT_EQ(shown[1], "第二行");
    EXPECT_GT(restart, 0u) << "the second song never started";
    EXPECT_LT(rows[restart].position, 700);
    // A song without a lyric shows the player's end-of-track line, as the desktop band does.
    EXPECT_EQ(rows[restart].lyric, "Lirvo 不一样的音乐体验");
}

// SDL's disk driver writes what the device would play to a file: at the default volume the tone
// is there, with --volume 0 the output is silent.
TEST(PlayCommand, PlaysAtFullVolumeUnlessToldOtherwise) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    MakeTone(folder + "/tone.wav", 1.0);
    auto nonZeroBytes = [&](const std::vector<std::string> &arguments) {
        const std::string output = folder + "/out.raw";
        std::remove(output.c_str());
        const ToolRun run = RunPlay(arguments, folder + "/err.txt",
                                    "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=0 SDL_DISKAUDIOFILE=" + Quote(output));
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        std::ifstream in(output, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t nonZero = 0;
        for (char b : bytes)
            nonZero += b != 0;
        EXPECT_FALSE(bytes.empty());
        return nonZero;
    };
    // A second of tone is over 300 kB of samples; silence between tracks is zeros.
    EXPECT_GT(nonZeroBytes({folder + "/tone.wav"}), 100000u);
    EXPECT_EQ(nonZeroBytes({"--volume", "0", folder + "/tone.wav"}), 0u);
    QTemporaryDir other;
    EXPECT_EQ(RunPlay({"--volume", "loud", folder + "/tone.wav"}, other.path().toStdString() + "/e").exitCode, 2);
}

TEST(PlayCommand, WithoutFilesItExplainsItsUsage) {
    QTemporaryDir dir;
    const ToolRun run = RunPlay({}, dir.path().toStdString() + "/err.txt");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.errors.find("usage: lirvo-lyrics play FILE..."), std::string::npos);
    EXPECT_TRUE(run.lines.empty());
}

} // namespace
