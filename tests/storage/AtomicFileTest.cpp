#include "storage/AtomicFile.h"

#include "TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace lirvo::storage;
using lirvo::testing::ReadWholeFile;
using lirvo::testing::TempFolder;
using lirvo::testing::WriteWholeFile;
namespace fs = std::filesystem;

namespace {
int EntriesIn(const std::string &folder) {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(folder))
        ++n;
    return n;
}
} // namespace

TEST(AtomicFile, CreatesAndReplacesLeavingNoTemporaryFiles) {
    TempFolder dir;
    const std::string path = dir.File("list.pls");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first", &error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "first");
    ASSERT_TRUE(WriteFileAtomically(path, std::string("sec\0ond", 7), &error)) << error;
    EXPECT_EQ(ReadWholeFile(path), std::string("sec\0ond", 7));
    ASSERT_TRUE(WriteFileAtomically(path, "", &error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "");
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

TEST(AtomicFile, KeepsPermissionsAndFollowsSymlinks) {
    TempFolder dir;
    const std::string real = dir.File("real.xml");
    const std::string link = dir.File("link.xml");
    WriteWholeFile(real, "old");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, link);
    ASSERT_TRUE(WriteFileAtomically(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), "new");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(AtomicFile, FailureExplainsAndLeavesNoTemporaryFile) {
    TempFolder dir;
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.File("missing/x.xml"), "data", &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
    EXPECT_FALSE(WriteFileAtomically(dir.Path(), "data", &error));

    // A folder standing where the file should be: the rename fails after the temporary file
    // was written, which must then be removed again.
    const std::string blocked = dir.File("blocked.xml");
    fs::create_directory(blocked);
    WriteWholeFile(blocked + "/inside", "x");
    error.clear();
    EXPECT_FALSE(WriteFileAtomically(blocked, "new", &error));
    EXPECT_NE(error.find("blocked.xml"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(EntriesIn(dir.Path()), 1);
}

// The temporary name must fit the 255 bytes a file name may have, however long the target's is.
// The mode is the replaced file's, or 0666 less the umask for a new file.
TEST(AtomicFile, LongestNamesSaveAndModesFollowTheTargetOrTheUmask) {
    TempFolder dir;
    const std::string longest = dir.File(std::string(255, 'n'));
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(longest, "long", &error)) << error;
    EXPECT_EQ(ReadWholeFile(longest), "long");

    const mode_t old = ::umask(027);
    const std::string fresh = dir.File("fresh.xml");
    EXPECT_TRUE(WriteFileAtomically(fresh, "x"));
    const std::string kept = dir.File("kept.xml");
    WriteWholeFile(kept, "old");
    ::chmod(kept.c_str(), 0604); // bits the umask would clear
    EXPECT_TRUE(WriteFileAtomically(kept, "new"));
    EXPECT_EQ(::umask(old), 027); // our mask is still in place
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(EntriesIn(dir.Path()), 3); // no temporary file left
}

TEST(AtomicFile, SetAsideKeepsEveryEarlierCopy) {
    TempFolder dir;
    const std::string path = dir.File("Lirvo.xml");
    WriteWholeFile(path + ".bad", "older");
    WriteWholeFile(path, "<broken");
    EXPECT_EQ(SetAsideBadFile(path), path + ".bad.2");
    EXPECT_FALSE(fs::exists(path));
    WriteWholeFile(path, "<broken again");
    EXPECT_EQ(SetAsideBadFile(path), path + ".bad.3");
    EXPECT_EQ(ReadWholeFile(path + ".bad"), "older");
    EXPECT_EQ(ReadWholeFile(path + ".bad.2"), "<broken");
    EXPECT_EQ(ReadWholeFile(path + ".bad.3"), "<broken again");
    EXPECT_FALSE(SetAsideBadFile(path)); // nothing left to move
}
