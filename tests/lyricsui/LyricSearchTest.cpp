// The lyric search window against a scripted service: rows of a search, stopping a search,
// downloading into the timeline and the lyric folder, and closing the window while its
// workers still run.

#include "TestSupport.h"

#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/views/Unt_Slrc.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lirvo::lyrics;
using lirvo::testing::App;
using lirvo::testing::FakeLrcService;
using lirvo::testing::WaitUntil;

namespace {

class LyricSearch : public lirvo::testing::QtFixture {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(folder.isValid());
        service = std::make_shared<FakeLrcService>();
        service->Results = {
            {"你好", "A/B", "专辑", 11}, {"Hello", "Someone", "", 22}, {"Third", "X", "Y", 33}};
        service->Texts = {
            {11, "[00:01.00]你好\r\n[00:02.00]世界\r\n"}, {22, "[00:01.00]hello\r\n"}, {33, ""}};
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
    EXPECT_EQ(Cell(list, 2, "lno"), QStringLiteral("3"));

    // A new search empties the list first, so rows always match the latest results.
    service->Results = {{"Only", "One", "", 44}};
    SearchAndWait(window);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(Cell(list, 0, "title"), QStringLiteral("Only"));
}

TEST_F(LyricSearch, SecondPressStopsTheSearchAfterTheCurrentRow) {
    service->Results.resize(40, TLrcResult{"Many", "Rows", "", 5});
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

TEST_F(LyricSearch, DownloadLoadsTheLyricAndSavesItUnderTheSongPlayingAtTheEnd) {
    TZylSlrc window(context);
    SearchAndWait(window);
    // Without a selected row nothing happens.
    window.btn_down()->click();
    EXPECT_FALSE(window.Downloading());
    EXPECT_EQ(window.btn_down()->text(), QStringLiteral("下载歌词"));

    window.lv_1()->setCurrentRow(0);
    service->DownloadGate.Close();
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.btn_down()->click();
    EXPECT_EQ(window.btn_down()->text(), QStringLiteral("停止下载"));
    // Pressing again does not stop the download; its result is still used.
    window.btn_down()->click();
    ASSERT_TRUE(WaitUntil([&] { return service->DownloadGate.Waiting() == 1; }));
    song = TSongRef{"新歌", "C:D"}; // the song changes while the download runs
    service->DownloadGate.Open();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(window.btn_down()->text(), QStringLiteral("下载歌词"));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0], service->Texts[11]);
    const QString expected = folder.filePath(QStringLiteral("新歌 CD.lrc"));
    EXPECT_EQ(finished.at(0).at(0).toString(), expected);
    const std::optional<std::string> saved = ReadLyricFile(expected.toStdString());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(*saved, service->Texts[11]);
    EXPECT_EQ(service->Downloads.load(), 1);
}

TEST_F(LyricSearch, EmptyDownloadKeepsTheExistingLyricFile) {
    const QString existing = folder.filePath(QStringLiteral("你好 AB.lrc"));
    ASSERT_TRUE(WriteLyricFile(existing.toStdString(), "[00:01.00]kept\r\n"));
    TZylSlrc window(context);
    SearchAndWait(window);
    window.lv_1()->setCurrentRow(2); // Id 33 has no text
    QSignalSpy finished(&window, &TZylSlrc::DownloadFinished);
    window.lv_1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }));
    EXPECT_TRUE(finished.at(0).at(0).toString().isEmpty());
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

TEST_F(LyricSearch, ClosingTheWindowWhileWorkersRunReachesNothingDestroyed) {
    // A download still running when the window closes.
    auto window = std::make_unique<TZylSlrc>(context);
    SearchAndWait(*window);
    window->lv_1()->setCurrentRow(0);
    service->DownloadGate.Close();
    window->lv_1DblClick();
    ASSERT_TRUE(WaitUntil([&] { return service->DownloadGate.Waiting() == 1; }));
    window.reset();
    service->DownloadGate.Open();
    EXPECT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));

    // A search still running when the window closes.
    window = std::make_unique<TZylSlrc>(context);
    service->SearchGate.Close();
    window->btn_S()->click();
    ASSERT_TRUE(WaitUntil([&] { return service->SearchGate.Waiting() == 1; }));
    window.reset();
    service->SearchGate.Open();
    EXPECT_TRUE(WaitUntil([] { return TLyricWorker::ActiveCount() == 0; }));

    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(loaded.empty()); // the late download was dropped with its window
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(LyricSearch, FileNamesLoseForbiddenCharactersAndFitTheFileSystem) {
    EXPECT_EQ(TZylSlrc::LyricFileName({"你好", "A/B"}), "你好 AB.lrc");
    EXPECT_EQ(TZylSlrc::LyricFileName({"a\"*:<>?\\|b", "c"}), "ab c.lrc");
    const std::string name = TZylSlrc::LyricFileName({std::string(100, 'x') + std::string(200, 'y'), "歌手"});
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 4), ".lrc");
}

TEST_F(LyricSearch, WindowFadesInWhenShown) {
    TZylSlrc window(context);
    EXPECT_EQ(window.size(), QSize(398, 238));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("歌词搜索"));
    window.show();
    EXPECT_EQ(window.FadeIn()->state(), QAbstractAnimation::Running);
    EXPECT_LT(window.windowOpacity(), 0.5);
    EXPECT_TRUE(WaitUntil([&] { return window.FadeIn()->state() == QAbstractAnimation::Stopped; }, 3000));
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
}

} // namespace
