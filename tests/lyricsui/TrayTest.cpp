// The notification-area icon's click logic with an injected window and menu, its icon
// animation, and the end-of-session watcher.

#include "TestSupport.h"

#include "function/tray/DDTray.h"
#include "function/tray/SessionEnd.h"

#include <QPainter>
#include <QPixmap>
#include <QSignalSpy>
#include <QWindow>
#include <csignal>
#include <gtest/gtest.h>

using namespace lirvo::tray;
using lirvo::testing::App;
using lirvo::testing::WaitUntil;

namespace {

class FakeMenu : public ITrayMenu {
public:
    void Popup(const QPoint &pos) override {
        ++popups;
        at = pos;
        open = true;
    }
    bool IsOpen() const override { return open; }
    int popups = 0;
    QPoint at;
    bool open = false;
};

QIcon Solid(QColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

class TrayIcon : public lirvo::testing::QtFixture {
protected:
    void SetUp() override {
        App();
        window.resize(300, 200);
        tray.SetWindow(&window);
        tray.SetPopupMenu(&menu);
        tray.SetHint(QStringLiteral("Lirvo"));
        tray.SetRestoreOn(TDDTrayIconClicks::ticLeftClick);
        tray.SetPopupMenuOn(TDDTrayIconClicks::ticRightClick);
        tray.SetTrayAvailableCheck([] { return true; });
    }

    QWindow window;
    FakeMenu menu;
    TDDTrayIcon tray;
};

TEST_F(TrayIcon, LeftClickRestoresTheHiddenPlayerAndRightClickOpensTheMenu) {
    EXPECT_EQ(tray.TrayIcon().toolTip(), QStringLiteral("Lirvo"));
    EXPECT_FALSE(tray.CurrentIcon().isNull());
    window.show();
    QSignalSpy minimized(&tray, &TDDTrayIcon::OnMinimizeApp);
    tray.MinimizeApp();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(minimized.count(), 1);

    QSignalSpy restored(&tray, &TDDTrayIcon::OnRestoreApp);
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
    EXPECT_NE(window.windowState(), Qt::WindowMinimized);
    EXPECT_EQ(restored.count(), 1);
    EXPECT_EQ(menu.popups, 0);

    tray.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(menu.popups, 1);
    EXPECT_EQ(restored.count(), 1);
}

TEST_F(TrayIcon, LeftClickWhileTheMenuIsOpenDoesNotRestore) {
    tray.MinimizeApp();
    tray.HandleActivation(QSystemTrayIcon::Context);
    ASSERT_TRUE(menu.IsOpen());
    QSignalSpy restored(&tray, &TDDTrayIcon::OnRestoreApp);
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(restored.count(), 0);
    // An open menu is not opened a second time either.
    tray.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(menu.popups, 1);
    menu.open = false;
    tray.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(TrayIcon, ClickKindsFollowTheConfiguration) {
    // The component's own defaults: double click restores, right release opens the menu.
    TDDTrayIcon plain;
    EXPECT_EQ(plain.RestoreOn(), TDDTrayIconClicks::ticLeftDblClick);
    EXPECT_EQ(plain.PopupMenuOn(), TDDTrayIconClicks::ticRightClickUp);
    FakeMenu plainMenu;
    plain.SetTrayAvailableCheck([] { return true; });
    plain.SetWindow(&window);
    plain.SetPopupMenu(&plainMenu);
    plain.HandleActivation(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.isVisible());
    plain.HandleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible());
    plain.HandleActivation(QSystemTrayIcon::Context);
    EXPECT_EQ(plainMenu.popups, 1);

    // Without hiding on minimise the window stays (minimised) instead of vanishing.
    window.show();
    plain.SetHideOnMinimize(false);
    plain.MinimizeApp();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowState(), Qt::WindowMinimized);
    // Without a notification area the window is never hidden where nobody can bring it back.
    window.showNormal();
    tray.SetTrayAvailableCheck([] { return false; });
    tray.MinimizeApp();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowState(), Qt::WindowMinimized);
    // ticNone matches nothing.
    plain.SetRestoreOn(TDDTrayIconClicks::ticNone);
    window.hide();
    plain.Click(TDDTrayIconClicks::ticNone);
    plain.HandleActivation(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(TrayIcon, AnimationCyclesThroughTheIcons) {
    const QList<QIcon> icons = {Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue)};
    tray.SetIcons(icons);
    tray.SetIconIndex(7); // out of range: the application's (or the default) icon
    EXPECT_FALSE(tray.CurrentIcon().isNull());
    tray.SetIconIndex(0);
    tray.SetInterval(15);
    tray.SetAnimate(true);
    std::vector<int> seen;
    ASSERT_TRUE(WaitUntil([&] {
        if (seen.empty() || seen.back() != tray.IconIndex()) {
            seen.push_back(tray.IconIndex());
        }
        return seen.size() >= 5;
    }));
    tray.SetAnimate(false);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 5), (std::vector<int>{0, 1, 2, 0, 1}));
    EXPECT_FALSE(tray.Animate());
}

TEST(SessionEnd, TerminationSignalsEndTheProgramOnceThroughTheEventLoop) {
    App();
    TSessionEndWatcher watcher;
    ASSERT_TRUE(watcher.WatchingSignals());
    QSignalSpy ended(&watcher, &TSessionEndWatcher::EndSession);
    std::raise(SIGTERM);
    EXPECT_EQ(ended.count(), 0); // nothing runs inside the signal handler
    ASSERT_TRUE(WaitUntil([&] { return ended.count() == 1; }));
    EXPECT_EQ(ended.at(0).at(0).toString(), QStringLiteral("SIGTERM"));
    std::raise(SIGINT);
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(ended.count(), 1);
}

} // namespace
