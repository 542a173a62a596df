// The main window as the user first sees it and as its animations leave it: positions, sizes,
// texts and colours of the named items; the start animation; the playlist panel's shrink and
// growth; the 3-D turn to the settings face and back; the pointer fades; the settings face
// controls reaching the controller; the main menu.

#include "UiTestSupport.h"

#include "function/tray/DDTray.h"
#include "lyrics/core/LrcClass.h"
#include "lyrics/views/Unt_Dlrc.h"
#include "lyrics/views/Unt_DlrcButton.h"

#include <QAction>
#include <QColor>
#include <QMenu>

#include <cmath>

using namespace lirvo;
using namespace lirvo::uitest;

namespace {

struct Placement {
    const char *name;
    double x, y, width, height;
};

class MainWindowTest : public PlayerFixture {};

TEST_F(MainWindowTest, InitialStateOfTheNamedItems) {
    Start();
    QQuickWindow *w = Window();
    EXPECT_EQ(w->width(), 1008);
    EXPECT_EQ(w->height(), 768);
    EXPECT_TRUE(w->flags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->color().alpha(), 0);
    EXPECT_EQ(w->title(), "Lirvo4");

    // Panels are placed by their centres: the player panel below, the playlist directly above.
    QQuickItem *mainBox = Item("MainBox");
    QQuickItem *listBox = Item("ListBox");
    EXPECT_DOUBLE_EQ(mainBox->x() + mainBox->width() / 2, 504);
    EXPECT_DOUBLE_EQ(mainBox->y() + mainBox->height() / 2, 573);
    EXPECT_EQ(mainBox->size(), QSizeF(380, 115));
    EXPECT_DOUBLE_EQ(listBox->x() + listBox->width() / 2, 504);
    EXPECT_DOUBLE_EQ(listBox->y() + listBox->height() / 2, 304);
    EXPECT_EQ(listBox->size(), QSizeF(380, 423));
    EXPECT_FALSE(listBox->isVisible());
    EXPECT_TRUE(mainBox->isVisible());
    EXPECT_TRUE(Item("Main")->isVisible());
    EXPECT_FALSE(Flag(Item("Setting"), "visible"));
    EXPECT_LT(Item("Root2")->opacity(), 1.0);

    const Placement placements[] = {
        {"lbl_title", 3, 98, 375, 17},   {"tbrmain", 0, 98, 380, 17},     {"btnPlay", 22, 19, 65, 65},
        {"btnNext", 104, 31, 40, 40},    {"btnLast", 406, 55, 30, 30},    {"btnClose", 354, 3, 20, 20},
        {"btnMin", 298, 3, 20, 20},      {"btnMenu", 327, 3, 20, 20},     {"btnAbout", 344, 55, 30, 30},
        {"tbrV", 181, 43, 100, 16.5},    {"Label1", 7, 12, 73, 15},       {"modBox", 81, 10, 65, 21},
        {"Label2", 193, 12, 69, 15},     {"effBox", 269, 10, 92, 21},     {"btnLrcPath", 11, 42, 69, 22},
        {"txtlrcPath", 83, 42, 95, 22},  {"btnMsPath", 189, 42, 69, 22},  {"txtmsPath", 269, 42, 92, 22},
        {"chkShowLrc", 11, 74, 85, 19},  {"chkAutoRun", 95, 74, 120, 19}, {"HudButton3", 246, 83, 52, 22},
        {"HudButton2", 305, 83, 56, 22},
    };
    for (const Placement &p : placements) {
        QQuickItem *item = Item(p.name);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(QRectF(item->x(), item->y(), item->width(), item->height()),
                  QRectF(p.x, p.y, p.width, p.height))
            << p.name;
    }

    QQuickItem *title = Item("lbl_title");
    EXPECT_EQ(Str(title, "text"), "Lirvo 不一样的音乐体验");
    EXPECT_EQ(QQmlProperty::read(title, "color").value<QColor>(), QColor("#FFFFFFFF"));
    EXPECT_TRUE(QQmlProperty::read(title, "font").value<QFont>().bold());

    EXPECT_EQ(Item("tbrmain")->opacity(), 0.0);
    EXPECT_EQ(Num(Item("tbrmain"), "maximum"), 100);
    EXPECT_EQ(Item("btnPlay")->opacity(), 0.5);
    EXPECT_EQ(Item("btnNext")->opacity(), 0.5);
    EXPECT_EQ(Item("btnLast")->opacity(), 1.0);
    EXPECT_EQ(Item("btnAbout")->opacity(), 1.0);
    const std::pair<const char *, const char *> hints[] = {
        {"btnPlay", "播放"},    {"btnNext", "下一曲"}, {"btnLast", "上一曲"}, {"btnClose", "关闭"},
        {"btnMin", "播放列表"}, {"btnMenu", "菜单"},   {"btnAbout", "设置"},  {"BitmapButton1", "添加歌曲"}};
    for (const auto &[name, hint] : hints)
        EXPECT_EQ(Str(Item(name), "hint"), QString::fromUtf8(hint)) << name;
    EXPECT_TRUE(Str(Item("btnPlay"), "source").endsWith("play.svg"));
    // Every picture of the window is drawn from its file, at the size its item asks for.
    int pictures = 0;
    const std::function<void(QQuickItem *)> checkPictures = [&](QQuickItem *item) {
        for (QQuickItem *child : item->childItems())
            checkPictures(child);
        if (!item->inherits("QQuickImage") || Str(item, "source").isEmpty())
            return;
        ++pictures;
        EXPECT_EQ(Num(item, "status"), 1) << Str(item, "source").toStdString(); // Image.Ready
        const QSize wanted = QQmlProperty::read(item, "sourceSize").toSize();
        EXPECT_GE(Num(item, "implicitWidth"), wanted.width() > 0 ? wanted.width() : 1)
            << Str(item, "source").toStdString();
    };
    checkPictures(Window()->contentItem());
    EXPECT_GE(pictures, 8);

    // Settings face, as the defaults of a first start leave it.
    EXPECT_EQ(Num(Item("tbrV"), "value"), 65);
    EXPECT_EQ(Num(Item("modBox"), "currentIndex"), 0);
    EXPECT_EQ(QQmlProperty::read(Item("modBox"), "model").toStringList(),
              QStringList({"普通", "循环", "单曲循环"}));
    EXPECT_TRUE(Flag(Item("chkShowLrc"), "checked"));
    EXPECT_TRUE(Flag(Item("chkAutoRun"), "checked"));
    EXPECT_EQ(Str(Item("chkShowLrc"), "text"), "显示歌词");
    EXPECT_EQ(Str(Item("chkAutoRun"), "text"), "开机自动运行");
    EXPECT_EQ(Str(Item("txtlrcPath"), "text").toStdString(), DataDir() + "lrc/");
    EXPECT_EQ(Str(Item("txtmsPath"), "text").toStdString(), DataDir() + "music/");
    EXPECT_TRUE(Flag(Item("txtlrcPath"), "readOnly"));
    EXPECT_EQ(Str(Item("HudButton3"), "text"), "保存");
    EXPECT_EQ(Str(Item("HudButton2"), "text"), "返回");
    EXPECT_EQ(Str(Item("btnLrcPath"), "text"), "歌词路径");
    EXPECT_EQ(Str(Item("btnMsPath"), "text"), "歌曲路径");
    EXPECT_EQ(Str(Item("Label1"), "text"), "播放模式：");
    EXPECT_EQ(Str(Item("Label2"), "text"), "音效模式：");

    // Playlist panel with no songs (once it is open): the invitation instead of the list.
    FinishStartAnimation();
    EXPECT_EQ(Item("MusicListTop")->height(), 50);
    EXPECT_FALSE(Flag(Item("lstDefault"), "visible"));
    EXPECT_TRUE(Flag(Item("layAddMsg"), "visible"));
    EXPECT_EQ(Str(Item("lblEmpty"), "text"), "您当前还未添加任何歌曲");
    EXPECT_EQ(Str(Item("lblAddSongs"), "text"), "点击这里添加歌曲到列表");
    EXPECT_EQ(QQmlProperty::read(Item("lblAddSongs"), "color").value<QColor>(), QColor("#FF00FF00"));
    EXPECT_EQ(QQmlProperty::read(Item("lblListTitle"), "color").value<QColor>(), QColor("#FFFF7200"));
    EXPECT_EQ(Str(Item("lblClearList"), "text"), "清空列表");
    EXPECT_FALSE(Flag(Object("MsgPop1"), "visible"));

    // The desktop lyric shows the slogan from the start.
    EXPECT_EQ(View().LyricWindow().ShownText(), "Lirvo 不一样的音乐体验");
    EXPECT_TRUE(View().IsDesktopLyricVisible());
}

TEST_F(MainWindowTest, StartAnimationFadesThePlayerInThenGrowsThePlaylistHeightFirst) {
    Start();
    QQuickItem *root2 = Item("Root2");
    QQuickItem *list = Item("ListBox");
    EXPECT_TRUE(Flag(Object("FloatAnimation1"), "running"));
    EXPECT_EQ(Num(Object("FloatAnimation1"), "duration"), 1000);

    double maxHeight = 0, widthWhenHeightDone = -1;
    bool sawPartialFade = false;
    ASSERT_TRUE(WaitUntil([&] { return list->isVisible() && list->width() == 380 && list->height() == 423; },
                          kPatienceMs,
                          [&] {
                              if (root2->opacity() > 0 && root2->opacity() < 1)
                                  sawPartialFade = true;
                              if (!list->isVisible())
                                  return;
                              EXPECT_EQ(root2->opacity(), 1.0) << "the playlist opens after the fade-in";
                              maxHeight = std::max(maxHeight, list->height());
                              if (widthWhenHeightDone < 0 && list->height() == 423 && list->width() < 380)
                                  widthWhenHeightDone = list->width();
                          }));
    EXPECT_TRUE(sawPartialFade);
    EXPECT_EQ(root2->opacity(), 1.0);
    EXPECT_EQ(list->opacity(), 1.0);
    EXPECT_GT(maxHeight, 423) << "the height swings past its end (back easing)";
    EXPECT_GE(widthWhenHeightDone, 5) << "the width grows only after the height";
    EXPECT_LT(widthWhenHeightDone, 60);
}

TEST_F(MainWindowTest, PlaylistPanelShrinksAwayAndGrowsBack) {
    Start();
    FinishStartAnimation();
    QQuickItem *list = Item("ListBox");

    double maxHeight = 0, minOpacity = 1;
    Click(Item("btnMin"));
    ASSERT_TRUE(WaitUntil([&] { return !list->isVisible(); }, kPatienceMs,
                          [&] {
                              maxHeight = std::max(maxHeight, list->height());
                              minOpacity = std::min(minOpacity, list->opacity());
                          }));
    EXPECT_DOUBLE_EQ(list->width(), 338.4);
    EXPECT_DOUBLE_EQ(list->height(), 304);
    EXPECT_DOUBLE_EQ(list->opacity(), 0.2);
    EXPECT_GT(maxHeight, 423) << "back easing of type in swings past the start first";

    double minWidth = 1000;
    Click(Item("btnMin"));
    ASSERT_TRUE(WaitUntil([&] { return list->isVisible() && list->width() == 380 && list->height() == 423; },
                          kPatienceMs, [&] { minWidth = std::min(minWidth, list->width()); }));
    EXPECT_EQ(minWidth, 5) << "it grows from 5 x 5";
    EXPECT_EQ(list->opacity(), 1.0);

    // While a confirmation is open the panel stays as it is.
    const std::string song = AddSong("a.mp3", "A", "B");
    View().ScriptFileDialog([&](const QStringList &) { return std::vector<std::string>{song}; });
    Controller().lbl_openClick();
    ASSERT_TRUE(WaitUntil([&] { return Controller().RowCount() == 1; }));
    Controller().lstDefaultMouseMove(0);
    Controller().pmdel_clearlistClick();
    ASSERT_TRUE(WaitUntil([&] { return Flag(Object("MsgPop1"), "visible"); }));
    Click(Item("btnMin"));
    Spin(600);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->width(), 380);
    View().answerConfirmation(7);
}

TEST_F(MainWindowTest, PlayerPanelTurnsToTheSettingsFaceAndBack) {
    Start();
    FinishStartAnimation();
    QQuickItem *box = Item("MainBox");
    QQuickItem *main = Item("Main");
    QQuickItem *setting = Item("Setting");

    double maxZ = 0, maxAngle = 0;
    bool swappedWhileEdgeOn = false;
    Click(Item("btnAbout"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Flag(setting, "visible") && Num(box, "rotateAngleY") == 0 && Num(box, "positionZ") == 0;
        },
        kPatienceMs,
        [&] {
            maxZ = std::max(maxZ, Num(box, "positionZ"));
            const double angle = Num(box, "rotateAngleY");
            maxAngle = std::max(maxAngle, angle);
            if (Flag(setting, "visible") && angle >= 270 && angle < 300)
                swappedWhileEdgeOn = true;
        }));
    EXPECT_FALSE(main->isVisible());
    EXPECT_GT(maxZ, 250);
    EXPECT_LE(maxZ, 300);
    EXPECT_GE(maxAngle, 270) << "the turn goes on from 270 to a full turn";
    EXPECT_TRUE(swappedWhileEdgeOn);

    // "返回" turns it back the other way.
    double minAngle = 0;
    maxZ = 0;
    Click(Item("HudButton2"));
    ASSERT_TRUE(WaitUntil(
        [&] { return main->isVisible() && Num(box, "rotateAngleY") == 0 && Num(box, "positionZ") == 0; },
        kPatienceMs,
        [&] {
            minAngle = std::min(minAngle, Num(box, "rotateAngleY"));
            maxZ = std::max(maxZ, Num(box, "positionZ"));
        }));
    EXPECT_FALSE(Flag(setting, "visible"));
    EXPECT_LT(minAngle, -60);
    EXPECT_GT(maxZ, 250);

    // Escape is "返回".
    Click(Item("btnAbout"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(setting, "visible") && Num(box, "rotateAngleY") == 0; }));
    QTest::keyClick(Window(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return main->isVisible() && Num(box, "rotateAngleY") == 0; }));

    // "保存" writes the settings file now and turns back as well.
    const QString settingsFile = QString::fromStdString(Controller().SettingsPath());
    EXPECT_FALSE(QFile::exists(settingsFile));
    Click(Item("btnAbout"));
    ASSERT_TRUE(WaitUntil([&] { return Flag(setting, "visible") && Num(box, "rotateAngleY") == 0; }));
    Click(Item("HudButton3"));
    EXPECT_TRUE(QFile::exists(settingsFile));
    ASSERT_TRUE(WaitUntil([&] { return main->isVisible() && Num(box, "rotateAngleY") == 0; }));
}

TEST_F(MainWindowTest, ButtonsAndSeekBarFadeInUnderThePointer) {
    Start();
    FinishStartAnimation();
    QQuickItem *play = Item("btnPlay");
    QQuickItem *last = Item("btnLast");
    QQuickItem *seek = Item("tbrmain");

    MoveTo(play);
    EXPECT_TRUE(WaitUntil([&] { return play->opacity() == 1.0; }));
    double lowest = 1;
    MoveTo(last);
    EXPECT_TRUE(WaitUntil([&] { return play->opacity() == 0.5 && last->opacity() == 1.0; }, kPatienceMs,
                          [&] { lowest = std::min(lowest, last->opacity()); }));
    EXPECT_LT(lowest, 0.75) << "the previous button's fade starts at 0.5";

    MoveTo(seek);
    EXPECT_TRUE(WaitUntil([&] { return seek->opacity() == 1.0; }));
    EXPECT_EQ(Controller().ProgressOpacity(), 1.0);
    QTest::mouseMove(Window(), QPoint(20, 20));
    EXPECT_TRUE(WaitUntil([&] { return seek->opacity() == 0.0; }));
    EXPECT_EQ(Controller().ProgressOpacity(), 0.0);
    EXPECT_TRUE(WaitUntil([&] { return last->opacity() == 0.5; }));
}

TEST_F(MainWindowTest, PanelsDragTheWindow) {
    Start();
    FinishStartAnimation();
    const QPoint before = Window()->position();
    QQuickItem *face = Item("Main");
    const QPoint grip = face->mapToScene(QPointF(165, 88)).toPoint(); // an empty spot of the face
    QTest::mousePress(Window(), Qt::LeftButton, {}, grip);
    QTest::mouseMove(Window(), grip + QPoint(10, 5));
    QTest::mouseMove(Window(), grip + QPoint(30, 20) - (Window()->position() - before));
    QTest::mouseRelease(Window(), Qt::LeftButton, {},
                        grip + QPoint(30, 20) - (Window()->position() - before));
    EXPECT_EQ(Window()->position() - before, QPoint(30, 20));
}

TEST_F(MainWindowTest, SettingsFaceControlsReachTheController) {
    Start();
    FinishStartAnimation();
    Click(Item("btnAbout"));
    ASSERT_TRUE(WaitUntil(
        [&] { return Flag(Item("Setting"), "visible") && Num(Item("MainBox"), "rotateAngleY") == 0; }));

    QMetaObject::invokeMethod(Item("modBox"), "activated", Q_ARG(int, 2));
    EXPECT_EQ(Controller().PlayMode(), shell::kPlayRepeatOne);
    EXPECT_EQ(Num(Item("modBox"), "currentIndex"), 2);

    // By keys: Up and Down on the closed list choose at once; in the open list they move the
    // mark, Space takes it, Escape closes the list without a choice.
    QQuickItem *modes = Item("modBox");
    auto *modeList = qvariant_cast<QObject *>(modes->property("popup"));
    ASSERT_NE(modeList, nullptr);
    modes->forceActiveFocus();
    QTest::keyClick(Window(), Qt::Key_Up);
    EXPECT_EQ(Controller().PlayMode(), shell::kPlayLoopList);
    QTest::keyClick(Window(), Qt::Key_Up);
    QTest::keyClick(Window(), Qt::Key_Up); // already the first entry
    EXPECT_EQ(Controller().PlayMode(), shell::kPlaySequential);
    QTest::keyClick(Window(), Qt::Key_Space);
    ASSERT_TRUE(Flag(modeList, "opened"));
    QTest::keyClick(Window(), Qt::Key_Down);
    QTest::keyClick(Window(), Qt::Key_Escape);
    EXPECT_FALSE(Flag(modeList, "opened"));
    EXPECT_EQ(Controller().PlayMode(), shell::kPlaySequential);
    EXPECT_TRUE(Flag(Item("Setting"), "visible")) << "Escape in the list does not turn the panel back";
    QTest::keyClick(Window(), Qt::Key_Space);
    QTest::keyClick(Window(), Qt::Key_Down);
    QTest::keyClick(Window(), Qt::Key_Down);
    QTest::keyClick(Window(), Qt::Key_Space);
    EXPECT_FALSE(Flag(modeList, "opened"));
    EXPECT_EQ(Controller().PlayMode(), shell::kPlayRepeatOne);

    Click(Item("chkShowLrc"));
    EXPECT_FALSE(Controller().ShowLyrics());
    EXPECT_FALSE(Flag(Item("chkShowLrc"), "checked"));
    EXPECT_FALSE(View().IsDesktopLyricVisible());
    Click(Item("chkShowLrc"));
    EXPECT_TRUE(Controller().ShowLyrics());
    EXPECT_TRUE(View().IsDesktopLyricVisible());

    autorunCalls_.clear();
    Click(Item("chkAutoRun"));
    EXPECT_FALSE(Controller().AutoRun());
    EXPECT_FALSE(Flag(Item("chkAutoRun"), "checked"));
    EXPECT_EQ(autorunCalls_, std::vector<bool>{false});

    // Folder buttons: the picked folder shows in its box and is written at once; a cancelled
    // picker keeps the folder.
    const QString picked = QString::fromStdString(Home()) + "/mylyrics";
    QDir().mkpath(picked);
    QString askedTitle;
    View().ScriptFolderDialog([&](const QString &title, const QString &) {
        askedTitle = title;
        return std::optional<std::string>(picked.toStdString());
    });
    Click(Item("btnLrcPath"));
    ASSERT_TRUE(WaitUntil([&] { return Str(Item("txtlrcPath"), "text") == picked; }));
    EXPECT_EQ(askedTitle, "选择歌词存放目录");
    EXPECT_EQ(Controller().LyricDir(), picked.toStdString());
    QFile settings(QString::fromStdString(Controller().SettingsPath()));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains(picked.toUtf8()));

    const std::string music = Controller().MusicDir();
    View().ScriptFolderDialog([&](const QString &title, const QString &) {
        askedTitle = title;
        return std::optional<std::string>();
    });
    Click(Item("btnMsPath"));
    Spin(50);
    EXPECT_EQ(askedTitle, "选择歌曲缓存目录");
    EXPECT_EQ(Controller().MusicDir(), music);
    EXPECT_EQ(Str(Item("txtmsPath"), "text").toStdString(), music);

    // Presets from the preset file fill effBox; choosing one reaches the controller.
    if (Controller().PresetNamesUtf8().size() > 1) {
        QMetaObject::invokeMethod(Item("effBox"), "activated", Q_ARG(int, 1));
        EXPECT_EQ(Controller().EqPresetId(), 1);
        EXPECT_EQ(Num(Item("effBox"), "currentIndex"), 1);
    }

    // Back on the player face, the volume thumb follows a drag and sets the volume.
    Click(Item("HudButton2"));
    ASSERT_TRUE(
        WaitUntil([&] { return Item("Main")->isVisible() && Num(Item("MainBox"), "rotateAngleY") == 0; }));
    QQuickItem *thumb = Item("tbrVThumb");
    const QPoint from = Centre(thumb);
    QTest::mousePress(Window(), Qt::LeftButton, {}, from);
    for (int dx = 4; dx <= 24; dx += 4)
        QTest::mouseMove(Window(), from + QPoint(dx, 0));
    QTest::mouseRelease(Window(), Qt::LeftButton, {}, from + QPoint(24, 0));
    EXPECT_GT(Controller().Volume(), 80);
    EXPECT_EQ(Num(Item("tbrV"), "value"), Controller().Volume());
}

// Every drop-down list of the settings face opens wholly inside the window's input area, so
// that each entry takes the click instead of the desktop below; choosing the last entry works.
TEST_F(MainWindowTest, SettingsFaceListsOpenInsideTheInputArea) {
    Start();
    FinishStartAnimation();
    Click(Item("btnAbout"));
    ASSERT_TRUE(WaitUntil(
        [&] { return Flag(Item("Setting"), "visible") && Num(Item("MainBox"), "rotateAngleY") == 0; }));
    ASSERT_GE(Controller().PresetNamesUtf8().size(), 6u) << "the shipped preset file holds more than five";
    const QRegion panels = Window()->mask();

    for (const char *name : {"modBox", "effBox"}) {
        SCOPED_TRACE(name);
        QQuickItem *box = Item(name);
        auto *popup = qvariant_cast<QObject *>(box->property("popup"));
        ASSERT_NE(popup, nullptr);
        Click(box);
        ASSERT_TRUE(WaitUntil([&] { return Flag(popup, "opened"); }));
        Spin(30);
        const int count = box->property("count").toInt();
        auto *list = qvariant_cast<QQuickItem *>(popup->property("contentItem"));
        ASSERT_NE(list, nullptr);
        QQuickItem *lastEntry = nullptr;
        int seen = 0;
        for (int i = 0; i < count; ++i) {
            QQuickItem *entry = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, i));
            ASSERT_NE(entry, nullptr) << "entry " << i << " is not laid out";
            const QRect rect =
                entry->mapRectToScene(QRectF(0, 0, entry->width(), entry->height())).toAlignedRect();
            EXPECT_TRUE(Window()->mask().contains(rect))
                << "entry " << i << " at y " << rect.y() << " lies outside the input area";
            lastEntry = entry;
            ++seen;
        }
        EXPECT_EQ(seen, count);
        ASSERT_NE(lastEntry, nullptr);
        Click(lastEntry);
        ASSERT_TRUE(WaitUntil([&] { return !Flag(popup, "visible"); }));
        EXPECT_EQ(Num(box, "currentIndex"), count - 1);
    }
    EXPECT_EQ(Controller().PlayMode(), shell::kPlayRepeatOne);
    EXPECT_EQ(Controller().EqPresetId(), static_cast<int>(Controller().PresetNamesUtf8().size()) - 1);

    // Closed, the lists leave the input area to the panels again.
    EXPECT_EQ(Window()->mask(), panels);
}

TEST_F(MainWindowTest, LyricControlBarShiftsTheTimingAndItsCloseUnticksShowLyrics) {
    Start();
    lyrics::TZylDlrcButton &bar = View().ControlBar();
    ASSERT_NE(Controller().Timeline(), nullptr);
    const int before = Controller().Timeline()->Offset();
    bar.btn_f5Click();
    bar.btn_f5Click();
    bar.btn_b5Click();
    EXPECT_EQ(Controller().Timeline()->Offset(), before + 500);

    ASSERT_TRUE(View().IsDesktopLyricVisible());
    bar.btn_closeClick();
    EXPECT_FALSE(View().IsDesktopLyricVisible());
    EXPECT_FALSE(Controller().ShowLyrics());
    EXPECT_FALSE(Flag(Item("chkShowLrc"), "checked"));
    // Ticking the box again brings the lyric back.
    Controller().chkShowLrcClicked(true);
    EXPECT_TRUE(View().IsDesktopLyricVisible());
}

TEST_F(MainWindowTest, CloseButtonHidesIntoTheNotificationAreaAndTheIconBringsTheWindowBack) {
    Start([](app::PlayerAppOptions &options) { options.TrayIcon = true; });
    ASSERT_NE(player_->Tray(), nullptr);
    EXPECT_EQ(player_->Tray()->Hint(), "Lirvo");
    player_->Tray()->SetTrayAvailableCheck([] { return true; });
    Click(Item("btnClose"));
    EXPECT_FALSE(Window()->isVisible()) << "hidden into the notification area, not ended";
    EXPECT_FALSE(player_->Quitting());
    player_->Tray()->Click(tray::TDDTrayIconClicks::ticLeftClick);
    EXPECT_TRUE(Window()->isVisible());

    // A later start without files (request 52) brings it back from the tray and from the task
    // bar alike.
    Click(Item("btnClose"));
    ASSERT_FALSE(Window()->isVisible());
    player_->ShowMainWindow();
    EXPECT_TRUE(Window()->isVisible());
    Window()->showMinimized();
    player_->ShowMainWindow();
    EXPECT_FALSE(Window()->windowStates() & Qt::WindowMinimized);
    EXPECT_TRUE(Window()->isVisible());
}

TEST_F(MainWindowTest, MainMenuHoldsItsItemsAndQuitSavesBothFiles) {
    Start();
    QMenu *menu = player_->MainMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->objectName(), "pm_main");
    QStringList names, captions;
    for (QAction *a : menu->actions()) {
        names << a->objectName();
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    EXPECT_EQ(names, QStringList({"pmm_lirvo", "N3", "pmf_openfile", "mniN14", "pmp_play", "pmp_previous",
                                  "pmp_next", "N2", "pmm_locklrc", "N1", "pmm_close"}));
    EXPECT_EQ(captions, QStringList({"Lirvo官网", "-", "添加音乐", "-", "播放/暂停", "上一首", "下一首", "-",
                                     "锁定桌面歌词", "-", "退出"}));

    // The lock item is ticked while the band is locked, and the band then takes no input.
    QAction *lock = menu->findChild<QAction *>("pmm_locklrc");
    ASSERT_TRUE(lock->isCheckable());
    EXPECT_FALSE(lock->isChecked());
    lock->trigger();
    EXPECT_TRUE(Controller().LyricsLocked());
    EXPECT_TRUE(View().LyricWindow().Locked());
    EXPECT_TRUE(View().LyricWindow().flags().testFlag(Qt::WindowTransparentForInput));

    const std::string song = AddSong("a.mp3", "A", "B");
    View().ScriptFileDialog([&](const QStringList &) { return std::vector<std::string>{song}; });
    menu->findChild<QAction *>("pmf_openfile")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return Controller().RowCount() == 1; }));
    QFile::remove(QString::fromStdString(Controller().PlaylistPath()));

    menu->findChild<QAction *>("pmm_close")->trigger();
    EXPECT_TRUE(player_->Quitting());
    EXPECT_FALSE(Window()->isVisible());
    QFile playlist(QString::fromStdString(Controller().PlaylistPath()));
    ASSERT_TRUE(playlist.open(QIODevice::ReadOnly));
    EXPECT_TRUE(playlist.readAll().contains("a.mp3"));
    QFile settings(QString::fromStdString(Controller().SettingsPath()));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().contains("LOCK=\"1\""));
}

} // namespace
