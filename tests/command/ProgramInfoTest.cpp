// --help and --version of the three programs: the text on standard output, exit code 0, and
// nothing started or handed over (no runtime folder made, no player needed).
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProgramRun {
    int code = -1;
    QString out;
};

ProgramRun Start(const QString &program, const QStringList &args, const QString &runtimeDir) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    process.setProcessEnvironment(env);
    process.start(QString::fromLocal8Bit(qgetenv("LIRVO_BIN_DIR")) + "/" + program, args);
    ProgramRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

TEST(ProgramInfo, HelpAndVersionAnswerAndStartNothing) {
    if (!QFile::exists(QString::fromLocal8Bit(qgetenv("LIRVO_BIN_DIR")) + "/lirvo"))
        GTEST_SKIP() << "the player is not part of this build";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString runtime = home.filePath("run");

    ProgramRun help = Start("lirvo", {"--help"}, runtime);
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.startsWith("usage: lirvo [FILE...]")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("/l")) << help.out.toStdString();
    ProgramRun version = Start("lirvo", {"--version"}, runtime);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, QStringLiteral("lirvo %1\n").arg(LIRVO_VERSION_TEXT));
    EXPECT_FALSE(QDir(runtime).exists()) << "nothing was started or handed over";

    for (const char *tool : {"lirvo-send", "lirvo-lyrics"}) {
        ProgramRun toolHelp = Start(tool, {"--help"}, runtime);
        EXPECT_EQ(toolHelp.code, 0) << tool;
        EXPECT_TRUE(toolHelp.out.startsWith(QStringLiteral("usage: %1 ").arg(tool))) << toolHelp.out.toStdString();
    }
}

} // namespace
