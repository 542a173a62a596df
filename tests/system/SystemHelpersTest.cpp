#include "function/system/SystemHelpers.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace sys = lirvo::system;

namespace {

std::string ReadAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool Exists(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool WaitForFile(const std::string &path, int ms = 5000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (Exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Turns the Exec value of a desktop entry back into its arguments, by the Desktop Entry rules
// (string escapes first, then the quoting of the Exec key).
std::vector<std::string> ParseExec(const std::string &value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char c = value[++i];
            unescaped += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        } else if (value[i] == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            unescaped += '%';
            ++i;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> args;
    std::string current;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        char c = unescaped[i];
        if (quoted && c == '\\' && i + 1 < unescaped.size()) {
            current += unescaped[++i];
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && c == ' ') {
            if (any)
                args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        args.push_back(current);
    return args;
}

std::string ExecLine(const std::string &entryText) {
    std::istringstream lines(entryText);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("Exec=", 0) == 0)
            return line.substr(5);
    return {};
}

class AutorunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        config = dir.path().toStdString() + "/config";
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }
    QTemporaryDir dir;
    std::string config;
};

} // namespace

TEST(WebAddress, OnlyPlainHttpIsRecognised) {
    EXPECT_EQ(sys::WebAddressFor("http://a.example/x"), "http://a.example/x");
    EXPECT_EQ(sys::WebAddressFor("www.lirvo.net"), "http://www.lirvo.net");
    EXPECT_EQ(sys::WebAddressFor("https://a.example"), "http://https://a.example");
    EXPECT_EQ(sys::WebAddressFor("see http://x"), "see http://x"); // found anywhere, case-sensitive
    EXPECT_EQ(sys::WebAddressFor("HTTP://x"), "http://HTTP://x");
}

TEST(CommandLine, QuotesGroupBlanksAndBackslashQuoteIsLiteral) {
    EXPECT_EQ(sys::SplitCommandLine(R"("/opt/my app/bugreport" -os)"),
              (std::vector<std::string>{"/opt/my app/bugreport", "-os"}));
    EXPECT_EQ(sys::SplitCommandLine("  a   b\t\"\"  "), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(sys::SplitCommandLine(R"(x say\"hi\")"), (std::vector<std::string>{"x", "say\"hi\""}));
    EXPECT_TRUE(sys::SplitCommandLine("   ").empty());
}

TEST(RunCommand, StartsWithoutWaitingAndReportsFailure) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/with blank";
    const std::string marker = base + "/started";
    ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
    const std::string script = base + "/slow tool";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nsleep 1\necho \"$@\" > \"" << marker << "\"\n";
    }
    chmod(script.c_str(), 0700);

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(sys::RunCommand("\"" + script + "\" -os second", 1));
    // The caller gets control back while the program still sleeps.
    EXPECT_FALSE(Exists(marker));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    ASSERT_TRUE(WaitForFile(marker));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadAll(marker), "-os second\n");

    EXPECT_FALSE(sys::RunCommand(base + "/missing-program -os", 1));
    EXPECT_FALSE(sys::RunCommand("", 1));
}

TEST(AppDir, IsTheExecutablesFolderWithSlash) {
    std::string dir = sys::GetAppDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    std::string exe = sys::GetExePath();
    EXPECT_EQ(exe.substr(0, dir.size()), dir);
    EXPECT_EQ(exe.find('/', dir.size()), std::string::npos);
}

TEST_F(AutorunTest, EntryStartsTheProgramEvenWithBlanksAndSpecialCharacters) {
    const std::string program = "/opt/My Music $Player/bin\\x/lirvo 100%";
    sys::SetAutorunFor(program, true);
    const std::string entry = config + "/autostart/runlirvo.desktop";
    EXPECT_EQ(sys::AutostartEntryPath(), entry);
    std::string text = ReadAll(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
    EXPECT_EQ(ParseExec(ExecLine(text)), (std::vector<std::string>{program})) << ExecLine(text);

    // Registering twice leaves one entry with the same program.
    sys::SetAutorunFor(program, true);
    EXPECT_EQ(ReadAll(entry), text);

    sys::SetAutorunFor(program, false);
    EXPECT_FALSE(Exists(entry));
    sys::SetAutorunFor(program, false); // nothing there: silent
    EXPECT_FALSE(Exists(entry));
}

TEST_F(AutorunTest, PlainPathStaysUnquotedAndRunningExecutableIsUsed) {
    sys::SetAutorun(true);
    std::string exec = ExecLine(ReadAll(sys::AutostartEntryPath()));
    EXPECT_EQ(ParseExec(exec), (std::vector<std::string>{sys::GetExePath()}));
    EXPECT_EQ(sys::DesktopExecArgument("/usr/bin/lirvo"), "/usr/bin/lirvo");
}

TEST_F(AutorunTest, UnwritableEntryReportsTheFailure) {
    // The entry's place is taken by a folder that cannot be replaced.
    ASSERT_EQ(mkdir((config).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((config + "/autostart").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((config + "/autostart/runlirvo.desktop").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((config + "/autostart/runlirvo.desktop/keep").c_str(), 0700), 0);
    try {
        sys::SetAutorunFor("/usr/bin/lirvo", true);
        FAIL() << "no error";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'runlirvo'");
    }
}

TEST_F(AutorunTest, TheDesktopsDisabledMarksReadAsOff) {
    EXPECT_FALSE(sys::AutostartDisabledByDesktop()); // no entry at all
    sys::SetAutorunFor("/usr/bin/lirvo", true);
    EXPECT_FALSE(sys::AutostartDisabledByDesktop()); // our own entry is on
    const auto entryWith = [&](const std::string &lines) {
        std::ofstream(sys::AutostartEntryPath()) << "[Desktop Entry]\nType=Application\nExec=lirvo\n" << lines;
        return sys::AutostartDisabledByDesktop();
    };
    EXPECT_TRUE(entryWith("Hidden=true\n"));
    EXPECT_TRUE(entryWith("X-GNOME-Autostart-enabled = false\r\n"));
    EXPECT_FALSE(entryWith("Hidden=false\nX-GNOME-Autostart-enabled=true\n"));
    // Keys of another group do not count.
    EXPECT_FALSE(entryWith("[Desktop Action x]\nHidden=true\n"));
}

TEST(AppDir, AnInstalledProgramUsesLibLirvoABuildTreeItsOwnFolder) {
    QTemporaryDir dir;
    const std::string prefix = dir.path().toStdString();
    std::filesystem::create_directories(prefix + "/bin");
    EXPECT_EQ(sys::AppDirFor(prefix + "/bin/lirvo"), prefix + "/bin/");
    std::filesystem::create_directories(prefix + "/lib/lirvo");
    EXPECT_EQ(sys::AppDirFor(prefix + "/bin/lirvo"), prefix + "/lib/lirvo/");
    EXPECT_EQ(sys::AppDirFor(prefix + "/lib/lirvo-send"), prefix + "/lib/");
    EXPECT_EQ(sys::AppDirFor("lirvo"), "./");
}
