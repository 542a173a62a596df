// The lookup workers: what they find, where their results are delivered, and how an owner
// abandons them. The service is a scripted fake so that no network is involved.
#include "QtTestApp.h"

#include "lyrics/core/UntLrcThread.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lirvo::lyrics {
namespace {

using testing::OnMainThread;
using testing::WaitUntil;

[[maybe_unused]] ::testing::Environment *const kQtApp =
    ::testing::AddGlobalTestEnvironment(new testing::QtAppEnvironment);

// Results per searched title; lyrics per Id. Records which threads call it and notices when a
// caller reads results of a search another thread made (what the session lock prevents).
class FakeService final : public ILrcService {
public:
    std::map<std::string, std::vector<TLrcResult>> resultsByTitle;
    std::map<int32_t, std::string> lyricById;
    std::chrono::milliseconds searchDelay{0};
    std::chrono::milliseconds readDelay{0}; // before GetResult and Download answer

    std::optional<TLrcResult> GetResult(int32_t index) override {
        std::this_thread::sleep_for(readDelay);
        std::lock_guard<std::mutex> lock(m_mutex);
        Note();
        if (index < 0 || static_cast<std::size_t>(index) >= m_results.size())
            return std::nullopt;
        return m_results[static_cast<std::size_t>(index)];
    }
    int32_t GetCount() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        Note();
        return static_cast<int32_t>(m_results.size());
    }
    void Reset() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.clear();
    }
    std::string Download(int32_t id) override {
        std::this_thread::sleep_for(readDelay);
        std::lock_guard<std::mutex> lock(m_mutex);
        Note();
        downloads.push_back(id);
        auto it = lyricById.find(id);
        return it == lyricById.end() ? std::string() : it->second;
    }
    void Search(const std::string &title, const std::string &singer, const std::string &, int32_t) override {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++searches;
            if (OnMainThread())
                calledOnMain = true;
            searchedSinger = singer;
            m_gateOpen.wait(lock, [this] { return m_gateIsOpen; });
        }
        std::this_thread::sleep_for(searchDelay);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_searcher = std::this_thread::get_id();
        auto it = resultsByTitle.find(title);
        m_results = it == resultsByTitle.end() ? std::vector<TLrcResult>{} : it->second;
    }

    void CloseGate() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gateIsOpen = false;
    }
    void OpenGate() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_gateIsOpen = true;
        }
        m_gateOpen.notify_all();
    }
    std::vector<int32_t> Downloads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return downloads;
    }

    std::atomic<int> searches{0};
    std::atomic<bool> calledOnMain{false};
    std::atomic<bool> mixed{false};
    std::string searchedSinger;

private:
    void Note() {
        if (OnMainThread())
            calledOnMain = true;
        if (m_searcher != std::thread::id() && m_searcher != std::this_thread::get_id())
            mixed = true;
    }
    std::mutex m_mutex;
    std::condition_variable m_gateOpen;
    bool m_gateIsOpen = true;
    std::vector<TLrcResult> m_results;
    std::vector<int32_t> downloads;
    std::thread::id m_searcher;
};

TLrcResult R(std::string title, std::string singer, std::string extra, int32_t id, std::string synced = {}) {
    TLrcResult result;
    result.Title = std::move(title);
    result.Singer = std::move(singer);
    result.Extra = std::move(extra);
    result.Id = id;
    result.SyncedLyrics = std::move(synced);
    return result;
}

class LyricsWorkers : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; })) << "a worker was never freed";
    }
    std::string Write(const std::string &relative, const std::string &text) {
        std::string path = dir.path().toStdString() + "/" + relative;
        std::string folder = path.substr(0, path.find_last_of('/'));
        QDir().mkpath(QString::fromStdString(folder));
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string LyricDir() const { return dir.path().toStdString() + "/lrc"; }

    struct TextOutcome {
        bool finished = false;
        bool onMain = false;
        std::string text;
        bool fromOnline = false;
    };
    TextOutcome Lookup(TLrcTextThread::Request request) {
        TextOutcome out;
        TLrcTextThread::Start(service, std::move(request), nullptr, [&out](TLrcTextThread &worker) {
            out.finished = true;
            out.onMain = OnMainThread();
            out.text = worker.LrcText();
            out.fromOnline = worker.FromOnline();
        });
        EXPECT_TRUE(WaitUntil([&] { return out.finished; }));
        return out;
    }

    QTemporaryDir dir;
    std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
};

TEST_F(LyricsWorkers, FileBesideTheSongBeatsTheLyricFolder) {
    std::string song = Write("music/Song.flac", "audio");
    Write("music/Song.lrc", "[00:01.00]beside\n");
    Write("lrc/title singer.lrc", "[00:01.00]folder\n");
    TextOutcome out = Lookup({song, "Title", "Singer", "", LyricDir(), true, "", 0});
    EXPECT_TRUE(out.onMain);
    EXPECT_EQ(out.text, "[00:01.00]beside\r\n");
    EXPECT_FALSE(out.fromOnline);
    EXPECT_EQ(service->searches, 0);
}

TEST_F(LyricsWorkers, BestNamedFolderFileWhenNothingBesideTheSong) {
    std::string song = Write("music/Song.mp3", "audio");
    Write("lrc/title singer.lrc", "\xEF\xBB\xBF[00:01.00]folder\r[00:02.00]two");
    TextOutcome out = Lookup({song, "Title", "Singer", "", LyricDir(), true, "", 0});
    EXPECT_EQ(out.text, "[00:01.00]folder\r\n[00:02.00]two\r\n");
    EXPECT_FALSE(out.fromOnline);
}

TEST_F(LyricsWorkers, OfflineWithoutLocalFileFindsNothing) {
    TextOutcome out = Lookup({"/nowhere/a.mp3", "Title", "Singer", "", LyricDir(), false, "", 0});
    EXPECT_TRUE(out.finished);
    EXPECT_EQ(out.text, "");
    EXPECT_FALSE(out.fromOnline);
    EXPECT_EQ(service->searches, 0);
}

TEST_F(LyricsWorkers, OnlineLookupMarksFromOnlineEvenWhenNothingIsFound) {
    TextOutcome out = Lookup({"/nowhere/a.mp3", "Title", "Singer", "", LyricDir(), true, "", 0});
    EXPECT_EQ(out.text, "");
    EXPECT_TRUE(out.fromOnline);
    EXPECT_EQ(service->searches, 1);
    EXPECT_EQ(service->searchedSinger, "Singer");
    EXPECT_FALSE(service->calledOnMain) << "the service must only be called on worker threads";
}

TEST_F(LyricsWorkers, OnlineLookupTakesTheLyricFromTheSearchAnswer) {
    service->resultsByTitle["Song"] = {
        R("Song", "Other", "", 10, "[00:01.00]ten"),       // another singer
        R("Song", "Singer", "", 11, " \r\n \r\n"),         // this song, but a blank lyric
        R("Song", "Singers", "", 12, "[00:01.00]twelve"), // close enough
    };
    TextOutcome out = Lookup({"/nowhere/a.mp3", "Song", "Singer", "", LyricDir(), true, "", 0});
    EXPECT_EQ(out.text, "[00:01.00]twelve\r\n");
    EXPECT_TRUE(service->Downloads().empty()) << "no request per result";
}

TEST_F(LyricsWorkers, MissingServiceMeansNoOnlineLookup) {
    service = nullptr;
    TextOutcome out = Lookup({"/nowhere/a.mp3", "Title", "Singer", "", LyricDir(), true, "", 0});
    EXPECT_TRUE(out.finished);
    EXPECT_EQ(out.text, "");
    EXPECT_FALSE(out.fromOnline);
}

TEST_F(LyricsWorkers, ListRowsArriveInOrderOnTheMainThreadWhileTheWorkerWaits) {
    service->resultsByTitle["alpha"] = {R("a1", "s1", "x1", 1), R("a2", "s2", "x2", 2), R("a3", "s3", "x3", 3)};
    std::vector<std::pair<int, TLrcResult>> rows;
    bool rowsOnMain = true, workerWaited = true, finished = false;
    int addedAtEnd = -1;
    TLrcListThread *worker = nullptr;
    worker = TLrcListThread::Start(
        service, "alpha", "s", "", nullptr,
        [&](int row, const TLrcResult &result) {
            rowsOnMain = rowsOnMain && OnMainThread();
            workerWaited = workerWaited && worker->RowIndex() == row && worker->RowsAdded() == row;
            rows.emplace_back(row, result);
        },
        [&](TLrcListThread &w) {
            finished = OnMainThread();
            addedAtEnd = w.RowsAdded();
        });
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    EXPECT_TRUE(rowsOnMain);
    EXPECT_TRUE(workerWaited);
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[static_cast<std::size_t>(i)].first, i);
        EXPECT_EQ(rows[static_cast<std::size_t>(i)].second,
                  service->resultsByTitle["alpha"][static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(addedAtEnd, 3);
}

TEST_F(LyricsWorkers, TerminateStopsTheListAfterTheCurrentRow) {
    service->resultsByTitle["alpha"] = {R("a1", "", "", 1), R("a2", "", "", 2), R("a3", "", "", 3)};
    int rows = 0;
    bool finished = false;
    TLrcListThread *worker = nullptr;
    worker = TLrcListThread::Start(
        service, "alpha", "", "", nullptr,
        [&](int, const TLrcResult &) {
            ++rows;
            worker->Terminate();
        },
        [&](TLrcListThread &) { finished = true; });
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    EXPECT_EQ(rows, 1);
}

TEST_F(LyricsWorkers, DestroyedContextIsNeverReached) {
    service->resultsByTitle["alpha"] = {R("a1", "", "", 1), R("a2", "", "", 2)};
    service->lyricById = {{1, "x"}};
    auto *window = new QObject;
    int calls = 0;
    service->CloseGate();
    TLrcListThread::Start(
        service, "alpha", "", "", window, [&](int, const TLrcResult &) { ++calls; },
        [&](TLrcListThread &) { ++calls; });
    TLrcTextThread::Start(service, {"/nowhere/a.mp3", "alpha", "", "", LyricDir(), true, "", 0}, window,
                          [&](TLrcTextThread &) { ++calls; });
    ASSERT_TRUE(WaitUntil([&] { return service->searches >= 1; }));
    delete window;
    service->OpenGate();
    ASSERT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));
    EXPECT_EQ(calls, 0);
}

TEST_F(LyricsWorkers, DetachedWorkersEndOnTheirOwnWithoutCallingBack) {
    service->resultsByTitle["alpha"] = {R("a1", "", "", 1)};
    service->lyricById = {{1, "x"}};
    int calls = 0;
    service->CloseGate();
    TLrcListThread *list = TLrcListThread::Start(
        service, "alpha", "", "", nullptr, [&](int, const TLrcResult &) { ++calls; },
        [&](TLrcListThread &) { ++calls; });
    TGetLrcTextThread *get = TGetLrcTextThread::Start(
        service, 0, nullptr, [&](TGetLrcTextThread &) { ++calls; }, 1);
    list->Detach();
    get->Detach();
    service->OpenGate();
    ASSERT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));
    EXPECT_EQ(calls, 0);
}

TEST_F(LyricsWorkers, DownloadTakesTheChosenResultWholeUpToNul) {
    const std::string longText(10000, 'x');
    service->resultsByTitle["alpha"] = {R("a1", "", "", 41), R("a2", "", "", 42)};
    service->lyricById = {{41, "first"}, {42, longText + std::string("\0tail", 5)}, {7, "by id"}};
    service->Search("alpha", "", "", 0);
    std::vector<std::string> texts;
    auto collect = [&](TGetLrcTextThread &w) { texts.push_back(w.LrcText()); };
    TGetLrcTextThread::Start(service, 1, nullptr, collect);
    ASSERT_TRUE(WaitUntil([&] { return texts.size() == 1; }));
    TGetLrcTextThread::Start(service, 0, nullptr, collect, 7);
    ASSERT_TRUE(WaitUntil([&] { return texts.size() == 2; }));
    TGetLrcTextThread::Start(service, 5, nullptr, collect);
    ASSERT_TRUE(WaitUntil([&] { return texts.size() == 3; }));
    EXPECT_EQ(texts[0], longText);
    EXPECT_EQ(texts[1], "by id");
    EXPECT_EQ(texts[2], "");
}

TEST_F(LyricsWorkers, ConcurrentWorkersNeverReadEachOthersResults) {
    service->searchDelay = std::chrono::milliseconds(20);
    service->readDelay = std::chrono::milliseconds(10);
    service->resultsByTitle["alpha"] = {R("alpha", "", "", 1), R("alpha", "", "", 2)};
    service->resultsByTitle["beta"] = {R("beta", "", "", 3, "[00:01.00]beta")};
    service->lyricById = {{1, "[00:01.00]a"}, {2, "[00:01.00]a"}, {3, "[00:01.00]beta"}};
    std::vector<std::string> listTitles;
    std::string text;
    int finished = 0;
    for (int round = 0; round < 3; ++round) {
        TLrcListThread::Start(
            service, "alpha", "", "", nullptr,
            [&](int, const TLrcResult &r) { listTitles.push_back(r.Title); },
            [&](TLrcListThread &) { ++finished; });
        TLrcTextThread::Start(service, {"/nowhere/a.mp3", "beta", "", "", LyricDir(), true, "", 0}, nullptr,
                              [&](TLrcTextThread &w) {
                                  text = w.LrcText();
                                  ++finished;
                              });
    }
    ASSERT_TRUE(WaitUntil([&] { return finished == 6; }));
    EXPECT_FALSE(service->mixed);
    EXPECT_EQ(listTitles, std::vector<std::string>(6, "alpha"));
    EXPECT_EQ(text, "[00:01.00]beta\r\n");
}

} // namespace
} // namespace lirvo::lyrics
