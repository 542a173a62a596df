// A fault on a worker thread saves the playlist and the settings as they last were, starts
// the crash reporter with "-os", says so in one line on standard error and ends the process by
// the signal, so that the desktop's crash tools learn of it.

#include "ShellTestSupport.h"

#include "storage/UDDPlayerlist.h"
#include "storage/UDDXMLCFG.h"

#include <QProcess>
#include <csignal>

using namespace lirvo::shell::testing;

namespace {

class CrashTest : public ::testing::TestWithParam<const char *> {};

} // namespace

TEST_P(CrashTest, FaultOnAWorkerThreadSavesTheLastStateAndStartsTheReporter) {
    EnsureApplication();
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string root = temp.path().toStdString();
    const std::string home = root + "/home", app = root + "/app dir/", data = home + "/Documents/lirvo/";
    WriteFile(app + "bugreport", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/report.log\"\n");
    chmod((app + "bugreport").c_str(), 0700);
    WriteFile(data + "Default.pls",
              "<?xml version=\"1.0\"?><DefaultList><PlayerList>"
              "<LIST Path=\"/music/1.mp3\" Title=\"One\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
              "<LIST Path=\"/music/2.mp3\" Title=\"Two\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
              "<LIST Path=\"/music/3.mp3\" Title=\"Three\" Artist=\"\" Url=\"0\" Ltime=\"0\"/>"
              "</PlayerList></DefaultList>");

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", QString::fromStdString(home));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home + "/.config"));
    env.remove("XDG_DOCUMENTS_DIR");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(SHELL_CRASH_CHILD, {QString::fromStdString(app), GetParam()});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(child.exitCode(), SIGSEGV); // QProcess gives the signal as the code of a crash
    const QString errors = QString::fromUtf8(child.readAllStandardError());
    EXPECT_TRUE(errors.contains("lirvo: crashed on SIGSEGV (signal 11); playlist and settings saved\n"))
        << errors.toStdString();

    ASSERT_TRUE(WaitUntil([&] { return ReadFile(app + "report.log") == "-os\n"; }));

    lirvo::storage::TDKPlist list(data + "Default.pls", "DefaultList");
    list.LoadList("PlayerList");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Entry(3)->Path, "/music/4.mp3");
    EXPECT_EQ(list.Entry(3)->Artist, "Band");
    EXPECT_EQ(list.Entry(0)->Title, "One");

    lirvo::storage::TDKConfig settings(data + "Lirvo.xml", "MainConfig");
    EXPECT_EQ(settings.ReadInteger("Window/Volume", "Value", -1), 37);
    EXPECT_EQ(settings.ReadInteger("Window/PLAY", "PATTERN", -1), 2);
    EXPECT_EQ(settings.ReadString("Window/PLIST", "PATH", ""), data + "Default.pls");
    EXPECT_FALSE(FileExists(data + "Lirvo.xml.crash"));
}

INSTANTIATE_TEST_SUITE_P(Faults, CrashTest, ::testing::Values("raise", "access"));
