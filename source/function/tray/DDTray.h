#pragma once
// TDDTrayIcon: the player's icon in the desktop's notification area, over QSystemTrayIcon.
// It shows a hint, turns clicks on the icon into events, restores and raises the main window on
// the chosen click kind, opens the main menu on another, and hides the window when the player is
// minimised into the notification area. The window and the menu are injected, so the QML main
// window and its menu (or a widget menu, or a test fake) can be used. GUI thread only.

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <functional>

#include <QMenu>

namespace lirvo::tray {

enum class TDDTrayIconClicks {
    ticNone,
    ticLeftClick,
    ticLeftDblClick,
    ticLeftClickUp,
    ticRightClick,
    ticRightDblClick,
    ticRightClickUp
};

// A popup menu the icon can open. Popup returns at once; IsOpen tells whether it is showing.
class ITrayMenu {
public:
    virtual ~ITrayMenu() = default;
    virtual void Popup(const QPoint &globalPos) = 0;
    virtual bool IsOpen() const = 0;
};

// ITrayMenu over a widget menu (not owned).
class TWidgetTrayMenu : public ITrayMenu {
public:
    explicit TWidgetTrayMenu(QMenu *menu) : m_menu(menu) {}
    void Popup(const QPoint &globalPos) override;
    bool IsOpen() const override;

private:
    QPointer<QMenu> m_menu;
};

class TDDTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TDDTrayIcon(QObject *parent = nullptr);
    ~TDDTrayIcon() override;

    // The window restored and minimised (not owned; may be null).
    void SetWindow(QWindow *window) { m_window = window; }
    QWindow *Window() const { return m_window; }
    // The menu opened by PopupMenuOn clicks (not owned; may be null).
    void SetPopupMenu(ITrayMenu *menu) { m_menu = menu; }
    ITrayMenu *PopupMenu() const { return m_menu; }

    const QString &Hint() const { return m_hint; }
    void SetHint(const QString &hint);
    // The icon is present in the notification area while enabled.
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    bool HideOnMinimize() const { return m_hideOnMinimize; }
    void SetHideOnMinimize(bool hide) { m_hideOnMinimize = hide; }
    TDDTrayIconClicks RestoreOn() const { return m_restoreOn; }
    void SetRestoreOn(TDDTrayIconClicks kind) { m_restoreOn = kind; }
    TDDTrayIconClicks PopupMenuOn() const { return m_popupOn; }
    void SetPopupMenuOn(TDDTrayIconClicks kind) { m_popupOn = kind; }

    // Icon source: with a non-empty list, the icon at IconIndex (falling back to the
    // application's icon when out of range); Animate steps through the list every Interval ms.
    void SetIcons(const QList<QIcon> &icons);
    const QList<QIcon> &Icons() const { return m_icons; }
    int IconIndex() const { return m_iconIndex; }
    void SetIconIndex(int index);
    bool Animate() const { return m_animation.isActive(); }
    void SetAnimate(bool animate);
    int Interval() const { return m_animation.interval(); }
    void SetInterval(int ms) { m_animation.setInterval(ms); }
    // The icon shown now.
    QIcon CurrentIcon() const { return m_tray.icon(); }

    // Handles one activation of the icon as reported by the notification area.
    void HandleActivation(QSystemTrayIcon::ActivationReason reason);
    // Runs what a click of `kind` does: restore, open the menu, then the click's event.
    void Click(TDDTrayIconClicks kind);

    // Shows, restores, raises and activates the window (nothing while the menu is open).
    void RestoreApp();
    // Hides the window into the notification area (HideOnMinimize) or minimises it. Without a
    // notification area on the desktop the window is only minimised, so it stays reachable.
    void MinimizeApp();
    // Whether the desktop shows notification-area icons (QSystemTrayIcon's answer unless replaced).
    void SetTrayAvailableCheck(std::function<bool()> check) { m_trayAvailable = std::move(check); }
    // Opens the menu at the pointer.
    void ShowPopupMenu();
    void ShowPopupMenuAt(const QPoint &globalPos);

    // Removes the icon from the notification area (at the end of the session).
    void DeleteIcon();

    QSystemTrayIcon &TrayIcon() { return m_tray; }

Q_SIGNALS:
    void OnMinimizeApp();
    void OnRestoreApp();
    void OnLButtonDown();
    void OnLButtonDblClick();
    void OnRButtonDown();
    void OnMButtonDown();

private:
    void ApplyIcon();
    void AnimateTick();

    QSystemTrayIcon m_tray;
    QTimer m_animation;
    QPointer<QWindow> m_window;
    ITrayMenu *m_menu = nullptr;
    QString m_hint;
    QList<QIcon> m_icons;
    int m_iconIndex = 0;
    bool m_enabled = true;
    bool m_hideOnMinimize = true;
    bool m_restoring = false;
    std::function<bool()> m_trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    TDDTrayIconClicks m_restoreOn = TDDTrayIconClicks::ticLeftDblClick;
    TDDTrayIconClicks m_popupOn = TDDTrayIconClicks::ticRightClickUp;
};

// The program's own icon when the application has none: a drawn note on a round badge.
QIcon DefaultPlayerIcon();

} // namespace lirvo::tray
