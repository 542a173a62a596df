// The playlist rows as the window shows them: numbering, captions, the playing row's look, the
// delete button on the row under the pointer, the confirmation popup's answers, the fade of a
// deleted row, clearing and the empty-list invitation.

#include "UiTestSupport.h"
#include "shell/app/QtTexts.h"

#include <QColor>
#include <QFont>
#include <QPointer>

using namespace lirvo;
using namespace lirvo::uitest;

namespace {

class PlaylistViewTest : public PlayerFixture {
protected:
    void AddThree() {
        songs_ = {AddSong("one.mp3", "One", "Alpha"), AddSong("two.mp3", "Two", "Beta"),
                  AddSong("three.mp3", "Three", "")};
        View().ScriptFileDialog([this](const QStringList &) { return songs_; });
        Click(Item("lblAddSongs"));
        ASSERT_TRUE(WaitUntil([&] { return Rows().size() == 3; }));
    }
    static QColor Colour(QQuickItem *text) { return QQmlProperty::read(text, "color").value<QColor>(); }
    static bool Bold(QQuickItem *text) { return QQmlProperty::read(text, "font").value<QFont>().bold(); }
    static QString Text(QQuickItem *row, const char *child) { return Str(Child(row, child), "text"); }

    std::vector<std::string> songs_;
};

TEST_F(PlaylistViewTest, AddedRowsAreNumberedAndTheFirstPlaysHighlighted) {
    Start();
    FinishStartAnimation();
    AddThree();
    EXPECT_TRUE(Flag(Item("lstDefault"), "visible"));
    EXPECT_FALSE(Flag(Item("layAddMsg"), "visible"));

    auto rows = Rows();
    EXPECT_EQ(Text(rows[0], "lno"), "1");
    EXPECT_EQ(Text(rows[1], "lno"), "2");
    EXPECT_EQ(Text(rows[2], "lno"), "3");
    EXPECT_EQ(Text(rows[0], "caption"), "One - Alpha");
    EXPECT_EQ(Text(rows[2], "caption"), "Three") << "no \" - \" without an artist";
    EXPECT_EQ(Text(rows[1], "title"), "Two");
    EXPECT_EQ(Text(rows[1], "songer"), "Beta");
    EXPECT_FALSE(Child(rows[1], "title")->isVisible());
    EXPECT_FALSE(Child(rows[1], "songer")->isVisible());
    EXPECT_EQ(Str(rows[2], "tagText").toStdString(), songs_[2]);

    // The list was empty, so the first new row plays and is marked once playback begins.
    ASSERT_TRUE(WaitUntil([&] { return Rows()[0]->height() == 35; }));
    rows = Rows();
    EXPECT_EQ(Colour(Child(rows[0], "lno")), QColor("#FFF7FD7B"));
    EXPECT_EQ(Colour(Child(rows[0], "caption")), QColor("#FFF7FD7B"));
    EXPECT_TRUE(Bold(Child(rows[0], "caption")));
    EXPECT_EQ(Num(rows[0], "mark"), 1);
    EXPECT_EQ(rows[1]->height(), 25);
    EXPECT_EQ(Colour(Child(rows[1], "lno")), QColor("#FFFFFFFF"));
    EXPECT_EQ(Colour(Child(rows[1], "caption")), QColor("#FFBCB9B9"));
    EXPECT_FALSE(Bold(Child(rows[1], "caption")));
    EXPECT_EQ(Str(Item("lbl_title"), "text"), "One - Alpha");
    EXPECT_TRUE(Str(Item("btnPlay"), "source").endsWith("pause.svg"));

    // A double click on another row plays it and moves the mark.
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, Centre(rows[2]));
    ASSERT_TRUE(WaitUntil([&] { return Rows()[2]->height() == 35; }));
    EXPECT_EQ(Rows()[0]->height(), 25);
    EXPECT_EQ(Colour(Child(Rows()[0], "caption")), QColor("#FFBCB9B9"));
    EXPECT_EQ(Controller().CurrentIndex(), 2);
}

TEST_F(PlaylistViewTest, DeleteButtonFollowsThePointerAndThePopupDecides) {
    Start();
    FinishStartAnimation();
    AddThree();
    auto rows = Rows();

    MoveTo(rows[0]);
    ASSERT_TRUE(WaitUntil([&] { return Child(rows[0], "loubtn")->isVisible(); }));
    MoveTo(rows[2]);
    ASSERT_TRUE(WaitUntil([&] { return Child(rows[2], "loubtn")->isVisible(); }));
    EXPECT_FALSE(Child(rows[0], "loubtn")->isVisible());
    EXPECT_FALSE(Child(rows[1], "loubtn")->isVisible());
    EXPECT_EQ(Controller().Playlist()->SelectedIndex(), 2);
    EXPECT_EQ(Str(Child(rows[2], "loubtnButton"), "hint"), "删除");

    // "否" leaves everything as it was.
    Click(Child(rows[2], "loubtnButton"));
    QObject *popup = Object("MsgPop1");
    ASSERT_TRUE(WaitUntil([&] { return Flag(popup, "visible"); }));
    EXPECT_EQ(Str(Item("lblmsg"), "text"), "确定要删除《Three》吗？");
    EXPECT_EQ(Str(Item("MsgPop1Yes"), "text"), "是");
    EXPECT_EQ(Str(Item("MsgPop1No"), "text"), "否");
    EXPECT_TRUE(View().IsConfirmationOpen());
    Click(Item("MsgPop1No"));
    ASSERT_TRUE(WaitUntil([&] { return !Flag(popup, "visible"); }));
    EXPECT_FALSE(View().IsConfirmationOpen());
    Spin(100);
    EXPECT_EQ(Rows().size(), 3u);

    // "是" removes the row; it fades out before it goes, and the rest are renumbered.
    MoveTo(rows[1]);
    ASSERT_TRUE(WaitUntil([&] { return Child(rows[1], "loubtn")->isVisible(); }));
    Click(Child(rows[1], "loubtnButton"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(popup, "visible"); }));
    Click(Item("MsgPop1Yes"));
    ASSERT_TRUE(WaitUntil([&] { return !Flag(popup, "visible"); }));
    EXPECT_EQ(Controller().RowCount(), 2);

    // The removed row's delegate is destroyed once it has faded: watched through a guard.
    QPointer<QQuickItem> dying = rows[1];
    double seenOpacity = 1;
    ASSERT_TRUE(WaitUntil([&] { return dying.isNull() || !dying->isVisible() || dying->opacity() == 0; },
                          kPatienceMs,
                          [&] {
                              if (dying)
                                  seenOpacity = std::min(seenOpacity, dying->opacity());
                          }));
    EXPECT_LT(seenOpacity, 1.0);
    // The rows below move up into its place.
    ASSERT_TRUE(WaitUntil([&] {
        rows = Rows();
        return rows.size() == 2 && rows[1]->y() == rows[0]->y() + rows[0]->height();
    })) << "the rows below move up";
    EXPECT_EQ(Text(rows[0], "caption"), "One - Alpha");
    EXPECT_EQ(Text(rows[1], "caption"), "Three");
    EXPECT_EQ(Text(rows[1], "lno"), "2");
}

TEST_F(PlaylistViewTest, AScrolledListActsOnTheRowUnderThePointerAndShowsThePlayingRow) {
    Start();
    FinishStartAnimation();
    for (int i = 0; i < 60; ++i)
        songs_.push_back(AddSong("s" + std::to_string(i) + ".mp3", "Song " + std::to_string(i), "A"));
    View().ScriptFileDialog([this](const QStringList &) { return songs_; });
    Click(Item("lblAddSongs"));
    ASSERT_TRUE(WaitUntil([&] { return Controller().RowCount() == 60 && !Rows().empty() && Rows()[0]->height() == 35; }));

    // Scrolled down by about twenty rows, the pointer's row is the one drawn under it.
    QQuickItem *list = Item("lstDefault");
    list->setProperty("contentY", 20 * 25 + 10);
    auto under = [&](int index) {
        for (QQuickItem *row : Rows())
            if (row->property("index").toInt() == index)
                return row;
        return static_cast<QQuickItem *>(nullptr);
    };
    ASSERT_TRUE(WaitUntil([&] { return under(24) != nullptr; }));
    QQuickItem *row = under(24);
    MoveTo(row);
    ASSERT_TRUE(WaitUntil([&] { return Controller().Playlist()->SelectedIndex() == 24; }))
        << "selected " << Controller().Playlist()->SelectedIndex();
    EXPECT_TRUE(Child(row, "loubtn")->isVisible());
    QTest::mouseDClick(Window(), Qt::LeftButton, {}, Centre(row));
    ASSERT_TRUE(WaitUntil([&] { return Controller().CurrentIndex() == 24; }))
        << "playing " << Controller().CurrentIndex();

    // The delete button of the hovered row asks about that row's song.
    QQuickItem *other = under(26);
    ASSERT_NE(other, nullptr);
    MoveTo(other);
    ASSERT_TRUE(WaitUntil([&] { return Child(other, "loubtn")->isVisible(); }));
    Click(Child(other, "loubtnButton"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(Object("MsgPop1"), "visible"); }));
    EXPECT_EQ(Str(Item("lblmsg"), "text"), "确定要删除《Song 26》吗？");
    Click(Item("MsgPop1No"));
    ASSERT_TRUE(WaitUntil([&] { return !Flag(Object("MsgPop1"), "visible"); }));

    // Playback moving to a row out of sight scrolls it into view.
    Controller().lstDefaultMouseMove(58);
    Controller().plst_listItemDblClick();
    ASSERT_TRUE(WaitUntil([&] {
        QQuickItem *playing = under(58);
        if (!playing || playing->height() != 35)
            return false;
        const QPointF top = playing->mapToItem(list, QPointF(0, 0));
        return top.y() >= 0 && top.y() + playing->height() <= list->height();
    })) << "contentY " << list->property("contentY").toDouble();
}

TEST_F(PlaylistViewTest, TheNumberColumnFitsTheLargestRowNumber) {
    Start();
    FinishStartAnimation();
    std::vector<shell::PlaylistRow> rows(1200);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].number = static_cast<int>(i) + 1;
        rows[i].caption = "Row " + std::to_string(i + 1);
        rows[i].path = "/none/" + std::to_string(i) + ".mp3";
    }
    Controller().Playlist()->AppendRows(std::move(rows));
    Item("lstDefault")->setProperty("contentY", 1190 * 25);
    ASSERT_TRUE(WaitUntil([&] { return !Rows().empty() && Rows().back()->property("index").toInt() > 1190; }));
    for (QQuickItem *row : Rows()) {
        QQuickItem *number = Child(row, "lno");
        QQuickItem *caption = Child(row, "caption");
        const double inkEnd = number->x() + QQmlProperty::read(number, "leftPadding").toDouble() +
                              QQmlProperty::read(number, "contentWidth").toDouble();
        EXPECT_LE(inkEnd, caption->x()) << Text(row, "lno").toStdString() << " runs into the title";
    }
}

TEST_F(PlaylistViewTest, ClearingEmptiesTheListAndShowsTheInvitation) {
    Start();
    FinishStartAnimation();
    AddThree();
    QObject *popup = Object("MsgPop1");

    Click(Item("lblClearList"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(popup, "visible"); }));
    EXPECT_EQ(Str(Item("lblmsg"), "text"), "确定要清空当前歌曲列表？");
    Click(Item("MsgPop1No"));
    ASSERT_TRUE(WaitUntil([&] { return !Flag(popup, "visible"); }));
    EXPECT_EQ(Controller().RowCount(), 3);

    Click(Item("lblClearList"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(popup, "visible"); }));
    Click(Item("MsgPop1Yes"));
    ASSERT_TRUE(
        WaitUntil([&] { return Controller().RowCount() == 0 && Flag(Item("layAddMsg"), "visible"); }));
    EXPECT_FALSE(Flag(Item("lstDefault"), "visible"));
    EXPECT_TRUE(WaitUntil([&] { return Rows().empty(); }));

    // Songs added afterwards start from the first new row again.
    View().ScriptFileDialog([this](const QStringList &) { return std::vector<std::string>{songs_[1]}; });
    Click(Item("BitmapButton1"));
    ASSERT_TRUE(WaitUntil([&] { return Rows().size() == 1 && Rows()[0]->height() == 35; }));
    EXPECT_EQ(Text(Rows()[0], "lno"), "1");
    EXPECT_EQ(Text(Rows()[0], "caption"), "Two - Beta");
}

TEST_F(PlaylistViewTest, StoredPlaylistIsShownAtStartAndTheDialogGetsTheEngineFilter) {
    // A first run writes the playlist; the second run starts with its rows on show.
    Start();
    songs_ = {AddSong("x.ogg", "X", "Y")};
    QStringList filters;
    View().ScriptFileDialog([&](const QStringList &f) {
        filters = f;
        return songs_;
    });
    Controller().lbl_openClick();
    ASSERT_TRUE(WaitUntil([&] { return Controller().RowCount() == 1; }));
    EXPECT_GE(filters.size(), 2);
    EXPECT_TRUE(filters.join(' ').contains("*.mp3")) << filters.join(' ').toStdString();
    player_->Quit();
    player_.reset();

    Start();
    FinishStartAnimation();
    EXPECT_TRUE(Flag(Item("lstDefault"), "visible"));
    EXPECT_FALSE(Flag(Item("layAddMsg"), "visible"));
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Text(Rows()[0], "caption"), "X - Y");
    EXPECT_EQ(Rows()[0]->height(), 25) << "nothing plays at start";
}

} // namespace

// Filter text of the engine in Qt's form.
TEST(QtNameFiltersTest, PairsBecomeNamedPatternListsAndAllFilesComesLast) {
    EXPECT_EQ(app::QtNameFilters("Audio (*.mp3;*.ogg)|*.mp3;*.ogg|FLAC|*.flac"),
              QStringList({"Audio (*.mp3 *.ogg)", "FLAC (*.flac)", "所有文件 (*)"}));
    EXPECT_EQ(app::QtNameFilters("|*.wav||"), QStringList({"*.wav (*.wav)", "所有文件 (*)"}));
    EXPECT_EQ(app::QtNameFilters(""), QStringList({"所有文件 (*)"}));
}

// Qt's own dialog texts come in Chinese once its catalogue is installed.
TEST(QtTextsTest, QtsOwnButtonsSpeakChinese) {
    App();
    ASSERT_TRUE(app::InstallChineseQtTexts()) << "Qt's zh_CN catalogue is missing (qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), QStringLiteral("打开"));
}
