// The tag-reading pool: completions on the main thread, and cancelling a long add.

#include "ShellTestSupport.h"

#include "shell/controller/TagReadingPool.h"

#include <QObject>

#include <atomic>
#include <thread>

using namespace lirvo::shell;
using namespace lirvo::shell::testing;
using lirvo::audio::TTags;

namespace {

std::vector<std::string> Files(int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i)
        files.push_back("/music/" + std::to_string(i) + ".mp3");
    return files;
}

struct Result {
    std::vector<std::string> files;
    std::vector<TTags> tags;
    bool complete = false;
    int calls = 0;
};

TagReadingPool::Finished Into(Result &result) {
    return [&result](std::vector<std::string> files, std::vector<TTags> tags, bool complete) {
        result.files = std::move(files);
        result.tags = std::move(tags);
        result.complete = complete;
        ++result.calls;
    };
}

// Titles are the file names, so a mix-up between files and tags shows.
void ReadName(const std::string &path, TTags &tags) {
    tags.Title = path;
}

} // namespace

TEST(TagReadingPool, HandsEveryBatchToTheMainThreadOnceWithTagsInFileOrder) {
    EnsureApplication();
    QObject context;
    TagReadingPool pool(&context);
    Result first, second;
    pool.Start(Files(40), ReadName, Into(first));
    pool.Start(Files(3), [](const std::string &path, TTags &tags) {
        if (path == "/music/1.mp3")
            throw std::runtime_error("unreadable");
        ReadName(path, tags);
    }, Into(second));
    EXPECT_TRUE(pool.Busy());
    ASSERT_TRUE(WaitUntil([&] { return first.calls == 1 && second.calls == 1; }));
    EXPECT_FALSE(pool.Busy());
    EXPECT_TRUE(first.complete);
    ASSERT_EQ(first.tags.size(), 40u);
    for (std::size_t i = 0; i < first.files.size(); ++i)
        EXPECT_EQ(first.tags[i].Title, first.files[i]);
    EXPECT_EQ(second.tags[1].Title, ""); // a failed read leaves the tags empty
    EXPECT_EQ(second.tags[2].Title, "/music/2.mp3");
    Spin(50);
    EXPECT_EQ(first.calls, 1);
}

// Quitting during a long add: Cancel stops the reading after the current file and hands over
// what was read, at once and only once.
TEST(TagReadingPool, CancelHandsOverWhatWasReadWithoutWaitingForTheRest) {
    EnsureApplication();
    QObject context;
    TagReadingPool pool(&context);
    std::atomic<int> reads{0};
    Result result;
    pool.Start(Files(100000), [&](const std::string &path, TTags &tags) {
        ReadName(path, tags);
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }, Into(result));
    ASSERT_TRUE(WaitUntil([&] { return reads.load() >= 5; }));
    pool.Cancel();
    EXPECT_EQ(result.calls, 1);
    EXPECT_FALSE(result.complete);
    EXPECT_GE(result.files.size(), 5u);
    EXPECT_LT(result.files.size(), 100000u);
    EXPECT_EQ(result.files.size(), result.tags.size());
    EXPECT_EQ(result.tags.back().Title, result.files.back());
    EXPECT_FALSE(pool.Busy());
    Spin(50);
    EXPECT_EQ(result.calls, 1);
}
