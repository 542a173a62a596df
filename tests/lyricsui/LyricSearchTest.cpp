// The lyric search window against a scripted service: rows of a search with their length and
// synced mark, stopping a search, what an empty or failed search says, taking a synced row into
// the timeline and the lyric folder, refusing a plain-only row, and closing the window while
// its workers still run.

#include "TestSupport.h"

#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/views/Unt_Slrc.h"

#include <QCheckBox>
#include <QDir>
#include <QLayout>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace lirvo::lyrics;
using lirvo::testing::App;
using lirvo::testing::FakeLrcService;
using lirvo::testing::WaitUntil;

namespace {

TLrcResult Result(std::string title, std::string singer, std::string album, int32_t id, double seconds,
                  std::string synced, bool plain = false) {
    TLrcResult r;
    r.Title = std::move(title);
    r.Singer = std::move(singer);
    r.Extra = std::move(album);
    r.Id = id;
    r.Duration = seconds;
    r.SyncedLyrics = std::move(synced);
    r.HasPlainLyrics = plain;
    return r;
}

// A service whose searches fail the way a lost network does.
class UnreachableService : public FakeLrcService {
public:
    std::string LastError() override { return "Couldn't connect to server"; }
};

// A service over several online sources: some enabled, some failing, rows of each kind.
class MultiSourceService : public FakeLrcService {
public:
    std::vector<std::string> Enabled = {"qq", "netease"};
    std::vector<TSourceFailure> Failures;
    std::vector<TSongQuery> Forgotten;
    std::vector<std::string> Sources() override { return Enabled; }
    std::vector<std::string> AllSources() override { return {"netease", "qq", "kugou", "lrclib"}; }
    void SetSources(const std::vector<std::string> &keys) override { Enabled = keys; }
    std::vector<TSourceFailure> SourceFailures() override { return Failures; }
    void ForgetNoLyric(const TSongQuery &song) override { Forgotten.push_back(song); }
};

class LyricSearch : public lirvo::testing::QtFixture {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(folder.isValid());
        service = std::make_shared<FakeLrcService>();
        service->Results = {Result("你好", "A/B", "专辑", 11, 269.4, "[00:01.00]你好\r\n[00:02.00]世界\r\n"),
                            Result("Hello", "Someone", "", 22, 0, "[00:01.00]hello\r\n"),
                            Result("Third", "X", "Y", 33, 61, "", true)};
        context.Service = service;
        context.LyricDir = [this] { return folder.path().toStdString(); };
        context.CurrentSong = [this] { return song; };
        context.LoadText = [this](const std::string &text) { loaded.push_back(text); };
    }
    void TearDown() override {
        service->SearchGate.Open();
        service->DownloadGate.Open();
        EXPECT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));
    }

    static QString Cell(QListWidget *list, int row, const char *name) {
        QWidget *widget = list->itemWidget(list->item(row));
        auto *label = widget ? widget->findChild<QLabel *>(QString::fromLatin1(name)) : nullptr;
        return label ? label->text() : QStringLiteral("<missing>");
    }

    void SearchAndWait(TZylSlrc &window) {
        QSignalSpy finished(&window, &TZylSlrc::SearchFinished);
        window.btn_S()->click();
        ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    }

    QTemporaryDir folder;
    std::shared_ptr<FakeLrcService> service;
    std::optional<TSongRef> song = TSongRef{"你好", "A/B"};
    std::vector<std::string> loaded;
    TLyricSearchContext context;
};

TEST_F(LyricSearch, SearchListsEveryResultAndRestoresTheButton) {
    TZylSlrc window(context);
    window.SetSearchTexts("你好", "A/B");
    service->SearchGate.Close();
    window.btn_S()->click();
    EXPECT_EQ(window.btn_S()->text(), QStringLiteral("停止"));
    EXPECT_TRUE(window.Searching());
    QSignalSpy finished(&window, &TZylSlrc::SearchFinished);
    service->SearchGate.Open();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(window.btn_S()->text(), QStringLiteral("搜索"));
    EXPECT_EQ(service->LastTitle, "你好");
    EXPECT_EQ(service->LastSinger, "A/B");
    QListWidget *list = window.lv_1();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(Cell(list, 0, "lno"), QStringLiteral("1"));
    EXPECT_EQ(Cell(list, 0, "title"), QStringLiteral("你好"));
    EXPECT_EQ(Cell(list, 0, "singer"), QStringLiteral("A/B"));
    EXPECT_EQ(Cell(list, 0, "ss"), QStringLiteral("专辑"));
    EXPECT_EQ(Cell(list, 0, "dur"), QStringLiteral("4:29"));
    EXPECT_EQ(Cell(list, 0, "sync"), QStringLiteral("同步"));
    EXPECT_EQ(Cell(list, 1, "dur"), QStringLiteral("")) << "unknown length";
    EXPECT_EQ(Cell(list, 2, "lno"), QStringLiteral("3"));
    EXPECT_EQ(Cell(list, 2, "dur"), QStringLiteral("1:01"));
    EXPECT_EQ(Cell(list, 2, "sync"), QStringLiteral("文本"));
    EXPECT_EQ(window.StatusText(), QString());

    // A new search empties the list first, so rows always match the latest results.
    service->Results = {Result("Only", "One", "", 44, 0, "")};
    SearchAndWait(window);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(Cell(list, 0, "title"), QStringLiteral("Only"));
}

TEST_F(LyricSearch, SecondPressStopsTheSearchAfterTheCurrentRow) {
    service->Results.resize(40, Result("Many", "Rows", "", 5, 0, ""));
    // The service may also be asked for when needed (owners that create it later).
    context.Service = nullptr;
    context.GetService = [this] { return service; };
    TZylSlrc window(context);
    QObject::connect(window.lv_1()->model(), &QAbstractItemModel::rowsInserted, &window, [&] {
        if (window.lv_1()->count() == 1) {
            window.btn_S()->click(); // asks the running search to stop
        }
    });
    SearchAndWait(window);
    EXPECT_EQ(window.lv_1()->count(), 1);
    EXPECT_EQ(window.btn_S()->text(), QStringLiteral("搜索"));
}

TEST_F(LyricSearch, EmptyOrFailedSearchesSaySo) {
    service->Results.clear();
    TZylSlrc window(context);
    SearchAndWait(window);
    EXPECT_EQ(window.StatusText(), QStringLiteral("没有找到歌词"));

    auto failing = std::make_shared<UnreachableService>();
    context.Service = failing;
    TZylSlrc offline(context);
    SearchAndWait(offline);
    EXPECT_TRUE(offline.StatusText().contains(QStringLiteral("网络错误"))) << offline.StatusText().toStdString();
    EXPECT_TRUE(offline.StatusText().contains(QStringLiteral("Couldn't connect to server")));

    // The next search clears the message.
    failing->Results = service->Results = {Result("Back", "Again", "", 1, 0, "[00:01.00]x")};
    context.Service = service;
    SearchAndWait(window);
    EXPECT_EQ(window.StatusText(), QString());
}

TEST_F(LyricSearch, TakingASyncedRowLoadsItAndKeepsItUnderThePlayingSong) {
    std::vector<std::pair<std::string, std::string>> loadedFiles;
    context.LoadLyricFile = [&](const std::string &text, const std::string &file) {
        loadedFiles.emplace_back(text, file);
    };
    TZylSlrc window(context);
    SearchAndWait(window);
    // Without a selected row nothing happens.
    window.btn_down()->click();
    EXPECT_FALSE(window.Downloading());
    EXPECT_EQ(window.btn_down()->text(), QStringLiteral("下载歌词"));

    window.lv_1()->setCurrentRow(0);
    song = TSongRef{"新歌", "C:D"}; // the song changed since the search
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.btn_down()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(window.btn_down()->text(), QStringLiteral("下载歌词"));
    const QString expected = folder.filePath(QStringLiteral("新歌 - CD.lrc"));
    EXPECT_EQ(finished.at(0).at(0).toString(), expected);
    ASSERT_EQ(loadedFiles.size(), 1u);
    EXPECT_EQ(loadedFiles[0].first, service->Results[0].SyncedLyrics);
    EXPECT_EQ(loadedFiles[0].second, expected.toStdString());
    EXPECT_TRUE(loaded.empty()) << "LoadLyricFile is preferred when given";
    EXPECT_EQ(ReadLyricFile(expected.toStdString()).value_or(""), service->Results[0].SyncedLyrics);
    EXPECT_EQ(service->Downloads.load(), 0) << "the lyric came with the search answer";
}

TEST_F(LyricSearch, PlainOnlyRowIsRefusedWithAMessage) {
    const QString existing = folder.filePath(QStringLiteral("你好 - AB.lrc"));
    ASSERT_TRUE(WriteLyricFile(existing.toStdString(), "[00:01.00]kept\r\n"));
    TZylSlrc window(context);
    SearchAndWait(window);
    window.lv_1()->setCurrentRow(2); // plain lyric only
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.lv_1DblClick();
    EXPECT_FALSE(window.Downloading());
    EXPECT_TRUE(window.StatusText().contains(QStringLiteral("时间标签"))) << window.StatusText().toStdString();
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(ReadLyricFile(existing.toStdString()).value_or(""), "[00:01.00]kept\r\n");
}

TEST_F(LyricSearch, WithoutALyricFolderTheLyricIsLoadedButNotSaved) {
    context.LyricDir = [this] { return folder.filePath(QStringLiteral("missing")).toStdString(); };
    TZylSlrc window(context);
    SearchAndWait(window);
    window.lv_1()->setCurrentRow(1);
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.lv_1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(loaded.size(), 1u);
    EXPECT_TRUE(finished.at(0).at(0).toString().isEmpty());
    EXPECT_FALSE(QDir(folder.filePath(QStringLiteral("missing"))).exists());
}

TEST_F(LyricSearch, ClosingTheWindowWhileASearchRunsReachesNothingDestroyed) {
    auto window = std::make_unique<TZylSlrc>(context);
    service->SearchGate.Close();
    window->btn_S()->click();
    ASSERT_TRUE(WaitUntil([&] { return service->SearchGate.Waiting() == 1; }));
    window.reset();
    service->SearchGate.Open();
    EXPECT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(LyricSearch, RowsTellTheirServiceAndKindAndFailuresAndBoxesNameTheServices) {
    auto multi = std::make_shared<MultiSourceService>();
    TLrcResult wordTimed = Result("你好", "A/B", "专辑", 1, 200, "[00:01.00]<00:01.00>你<00:01.50>好<00:02.00>\r\n");
    wordTimed.Source = "netease";
    wordTimed.WordTimed = wordTimed.Translated = true;
    TLrcResult later = Result("你好 (Live)", "A/B", "现场", 2, 240, "");
    later.Source = "qq";
    later.NeedsDownload = true;
    multi->Results = {wordTimed, later};
    multi->Texts[2] = "[00:01.00]现场\r\n";
    multi->Failures = {{"QQ音乐", "需要登录"}, {"酷狗音乐", "没有应答"}};
    std::vector<std::vector<std::string>> changes;
    context.Service = multi;
    context.SourcesChanged = [&](const std::vector<std::string> &keys) { changes.push_back(keys); };
    TZylSlrc window(context);
    window.show();
    SearchAndWait(window);

    QListWidget *list = window.lv_1();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(Cell(list, 0, "src"), QStringLiteral("网易云音乐"));
    EXPECT_EQ(Cell(list, 0, "sync"), QStringLiteral("逐字 翻译"));
    EXPECT_EQ(Cell(list, 1, "sync"), QStringLiteral("未知"));
    EXPECT_EQ(window.StatusText(), QStringLiteral("QQ音乐：需要登录；酷狗音乐：没有应答"));
    // The columns of a row stand side by side.
    QWidget *row = list->itemWidget(list->item(0));
    row->layout()->activate();
    std::vector<QRect> cells;
    for (QLabel *label : row->findChildren<QLabel *>())
        cells.push_back(label->geometry());
    std::sort(cells.begin(), cells.end(), [](const QRect &a, const QRect &b) { return a.left() < b.left(); });
    ASSERT_EQ(cells.size(), 7u);
    for (std::size_t i = 1; i < cells.size(); ++i)
        EXPECT_LE(cells[i - 1].right(), cells[i].left()) << i;

    // The boxes: the enabled services in their order, then the others; unticking one turns it off.
    auto *qq = window.findChild<QCheckBox *>(QStringLiteral("src_qq"));
    auto *kugou = window.findChild<QCheckBox *>(QStringLiteral("src_kugou"));
    ASSERT_NE(qq, nullptr);
    ASSERT_NE(kugou, nullptr);
    EXPECT_TRUE(qq->isChecked());
    EXPECT_FALSE(kugou->isChecked());
    EXPECT_LT(qq->x(), window.findChild<QCheckBox *>(QStringLiteral("src_netease"))->x());
    qq->click();
    kugou->click();
    EXPECT_EQ(multi->Enabled, (std::vector<std::string>{"netease", "kugou"}));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes.back(), multi->Enabled);

    // A row whose lyric did not come with the search is downloaded when taken, and the song no
    // longer counts as one without a lyric.
    list->setCurrentRow(1);
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.lv_1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(multi->Downloads.load(), 1);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], "[00:01.00]现场\r\n");
    ASSERT_EQ(multi->Forgotten.size(), 1u);
    EXPECT_EQ(multi->Forgotten[0].Title, "你好");

    // One that gives nothing says so and loads nothing.
    multi->Texts.clear();
    window.lv_1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 2; }));
    EXPECT_EQ(loaded.size(), 1u);
    EXPECT_EQ(window.StatusText(), QStringLiteral("这条结果没有歌词"));
}

TEST_F(LyricSearch, FileNamesLoseForbiddenCharactersAndFitTheFileSystem) {
    EXPECT_EQ(TZylSlrc::LyricFileName({"你好", "A/B"}), "你好 - AB.lrc");
    EXPECT_EQ(TZylSlrc::LyricFileName({"a\"*:<>?\\|b", "c"}), "ab - c.lrc");
    EXPECT_EQ(TZylSlrc::LyricFileName({"Solo", ""}), "Solo.lrc");
    const std::string name = TZylSlrc::LyricFileName({std::string(100, 'x') + std::string(200, 'y'), "歌手"});
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 4), ".lrc");
}

TEST_F(LyricSearch, WindowFadesInWhenShown) {
    TZylSlrc window(context);
    EXPECT_EQ(window.size(), QSize(600, 300));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("歌词搜索"));
    window.show();
    EXPECT_EQ(window.FadeIn()->state(), QAbstractAnimation::Running);
    EXPECT_LT(window.windowOpacity(), 0.5);
    EXPECT_TRUE(WaitUntil([&] { return window.FadeIn()->state() == QAbstractAnimation::Stopped; }, 3000));
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
}

} // namespace
