// `cmake --install` into a temporary prefix: the programs, their companions in lib/lirvo/, and
// what the desktop reads, valid under the desktop's own validators; the installed programs find
// their companions there, and the installed player starts, saves its files and quits.

#include "PlayerFixture.h"

namespace {

using namespace lirvo::e2e;

struct Ran {
    int exitCode = -1;
    QString output;
};

Ran RunProgram(const QString &program, const QStringList &args, const QProcessEnvironment &env = {}) {
    QProcess process;
    EndWithTest(process);
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForFinished(120000)) {
        StopProcess(process, 5000, true);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

TEST_F(PlayerEndToEnd, InstalledProgramsFindTheirCompanionsAndTheDesktopFilesAreValid) {
    QTemporaryDir prefixDir;
    ASSERT_TRUE(prefixDir.isValid());
    const QString prefix = prefixDir.path();
    const Ran install = RunProgram(LIRVO_TEST_CMAKE, {"--install", LIRVO_TEST_BUILD_DIR, "--prefix", prefix});
    ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();

    for (const char *file :
         {"bin/lirvo", "bin/lirvo-send", "bin/lirvo-lyrics", "lib/lirvo/effect.dat",
          "lib/lirvo/lirvo-audio.so", "lib/lirvo/lirvo-ffmpeg.so", "lib/lirvo/b_more.so",
          "share/applications/lirvo.desktop",
          "share/icons/hicolor/scalable/apps/lirvo.svg", "share/metainfo/lirvo.metainfo.xml",
          "share/man/man1/lirvo.1", "share/man/man1/lirvo-send.1", "share/man/man1/lirvo-lyrics.1"})
        EXPECT_TRUE(QFile::exists(prefix + "/" + file)) << file;
    EXPECT_TRUE(QFileInfo(prefix + "/lib/lirvo/plugins").isDir());

    // The desktop's validators accept the entry and the AppStream data.
    const Ran desktop = RunProgram("desktop-file-validate", {prefix + "/share/applications/lirvo.desktop"});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.output.toStdString();
    EXPECT_TRUE(desktop.output.trimmed().isEmpty()) << desktop.output.toStdString();
    const Ran appstream =
        RunProgram("appstreamcli", {"validate", "--no-net", prefix + "/share/metainfo/lirvo.metainfo.xml"});
    EXPECT_EQ(appstream.exitCode, 0) << appstream.output.toStdString();
    QFile entry(prefix + "/share/applications/lirvo.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString entryText = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(entryText.contains("\nExec=lirvo %F\n"));
    EXPECT_TRUE(entryText.contains("audio/x-mpegurl;")) << "local playlists open with the player";
    EXPECT_TRUE(entryText.contains("audio/x-scpls;"));

    // The installed lirvo-lyrics plays a FLAC with the add-on from lib/lirvo/, and cannot
    // without it.
    const QString flac = Song("tone.flac");
    ASSERT_EQ(RunProgram("ffmpeg",
                         {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", flac})
                  .exitCode,
              0);
    const Ran played = RunProgram(prefix + "/bin/lirvo-lyrics", {"play", flac}, env_);
    EXPECT_EQ(played.exitCode, 0) << played.output.toStdString();
    EXPECT_TRUE(played.output.contains("\t1004\t")) << "played to its end: " << played.output.toStdString();
    ASSERT_TRUE(QFile::rename(prefix + "/lib/lirvo/b_more.so", prefix + "/b_more.so"));
    EXPECT_NE(RunProgram(prefix + "/bin/lirvo-lyrics", {"play", flac}, env_).exitCode, 0);
    ASSERT_TRUE(QFile::rename(prefix + "/b_more.so", prefix + "/lib/lirvo/b_more.so"));

    // The installed player starts, answers the installed lirvo-send, and saves its files on quit.
    bin_ = prefix + "/bin";
    StartPlayer(flac);
    // The row is added once the player has taken its own command line, a moment after it shows.
    EXPECT_TRUE(WaitUntil([&] { return Send({"cmd", "50"}) == "1"; }, kPatienceMs))
        << Send({"cmd", "50"}).toStdString();
    ASSERT_EQ(StopProcess(player_, kPatienceMs, true), Stopped::OnSignal)
        << "the player did not end on SIGTERM";
    EXPECT_EQ(player_.exitCode(), 0);
    EXPECT_TRUE(QFile::exists(DataFile("Lirvo.xml")));
    EXPECT_TRUE(QFile::exists(DataFile("Default.pls")));
}

} // namespace
