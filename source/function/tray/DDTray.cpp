#include "function/tray/DDTray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lirvo::tray {

void TWidgetTrayMenu::Popup(const QPoint &globalPos) {
    if (m_menu) {
        m_menu->popup(globalPos);
    }
}

bool TWidgetTrayMenu::IsOpen() const {
    return m_menu && m_menu->isVisible();
}

QIcon DefaultPlayerIcon() {
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(size / 64.0, size / 64.0);
        QLinearGradient badge(0, 0, 0, 64);
        badge.setColorAt(0, QColor(0x32, 0xCD, 0x9A));
        badge.setColorAt(1, QColor(0x00, 0x00, 0xFF));
        p.setPen(Qt::NoPen);
        p.setBrush(badge);
        p.drawEllipse(QRectF(2, 2, 60, 60));
        // A quaver: head, stem and flag.
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(17, 38, 16, 12));
        p.drawRect(QRectF(29, 14, 4, 30));
        QPainterPath flag;
        flag.moveTo(33, 14);
        flag.cubicTo(40, 18, 46, 22, 43, 32);
        flag.cubicTo(42, 26, 38, 24, 33, 23);
        flag.closeSubpath();
        p.drawPath(flag);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

TDDTrayIcon::TDDTrayIcon(QObject *parent) : QObject(parent) {
    m_animation.setInterval(1000);
    connect(&m_animation, &QTimer::timeout, this, &TDDTrayIcon::AnimateTick);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TDDTrayIcon::HandleActivation);
    ApplyIcon();
    m_tray.setVisible(m_enabled);
}

TDDTrayIcon::~TDDTrayIcon() {
    m_tray.hide();
}

void TDDTrayIcon::SetHint(const QString &hint) {
    if (hint == m_hint) {
        return;
    }
    m_hint = hint;
    m_tray.setToolTip(hint);
}

void TDDTrayIcon::SetEnabled(bool enabled) {
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    m_tray.setVisible(enabled);
}

void TDDTrayIcon::SetIcons(const QList<QIcon> &icons) {
    m_icons = icons;
    SetIconIndex(m_iconIndex);
}

void TDDTrayIcon::SetIconIndex(int index) {
    m_iconIndex = index;
    ApplyIcon();
}

void TDDTrayIcon::SetAnimate(bool animate) {
    if (animate) {
        m_animation.start();
    } else {
        m_animation.stop();
    }
}

void TDDTrayIcon::AnimateTick() {
    if (m_icons.isEmpty()) {
        return;
    }
    SetIconIndex(m_iconIndex < m_icons.size() - 1 ? m_iconIndex + 1 : 0);
}

void TDDTrayIcon::ApplyIcon() {
    QIcon icon;
    if (m_iconIndex >= 0 && m_iconIndex < m_icons.size()) {
        icon = m_icons.at(m_iconIndex);
    }
    if (icon.isNull()) {
        icon = QGuiApplication::windowIcon();
    }
    if (icon.isNull()) {
        icon = DefaultPlayerIcon();
    }
    m_tray.setIcon(icon);
}

void TDDTrayIcon::HandleActivation(QSystemTrayIcon::ActivationReason reason) {
    // The notification area reports a left click once (Trigger); it stands for the press and
    // the release. A right click arrives as Context.
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        Click(TDDTrayIconClicks::ticLeftClick);
        if (m_restoreOn == TDDTrayIconClicks::ticLeftClickUp ||
            m_popupOn == TDDTrayIconClicks::ticLeftClickUp) {
            Click(TDDTrayIconClicks::ticLeftClickUp);
        }
        break;
    case QSystemTrayIcon::DoubleClick:
        Click(TDDTrayIconClicks::ticLeftDblClick);
        break;
    case QSystemTrayIcon::Context:
        Click(TDDTrayIconClicks::ticRightClick);
        if (m_restoreOn == TDDTrayIconClicks::ticRightClickUp ||
            m_popupOn == TDDTrayIconClicks::ticRightClickUp) {
            Click(TDDTrayIconClicks::ticRightClickUp);
        }
        break;
    case QSystemTrayIcon::MiddleClick:
        Q_EMIT OnMButtonDown();
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TDDTrayIcon::Click(TDDTrayIconClicks kind) {
    if (kind == TDDTrayIconClicks::ticNone) {
        return;
    }
    if (m_restoreOn == kind) {
        RestoreApp();
    }
    if (m_popupOn == kind) {
        ShowPopupMenu();
    }
    switch (kind) {
    case TDDTrayIconClicks::ticLeftClick:
        Q_EMIT OnLButtonDown();
        break;
    case TDDTrayIconClicks::ticLeftDblClick:
        Q_EMIT OnLButtonDblClick();
        break;
    case TDDTrayIconClicks::ticRightClick:
        Q_EMIT OnRButtonDown();
        break;
    default:
        break;
    }
}

void TDDTrayIcon::RestoreApp() {
    // A click beside the open menu closes the menu; it must not also bring the window up.
    if (m_menu && m_menu->IsOpen()) {
        return;
    }
    if (m_restoring) {
        return;
    }
    m_restoring = true;
    if (m_window) {
        m_window->showNormal();
        m_window->raise();
        m_window->requestActivate();
    }
    Q_EMIT OnRestoreApp();
    m_restoring = false;
}

void TDDTrayIcon::MinimizeApp() {
    if (m_window) {
        if (m_enabled && m_hideOnMinimize && m_trayAvailable && m_trayAvailable()) {
            m_window->hide();
        } else {
            m_window->showMinimized();
        }
    }
    Q_EMIT OnMinimizeApp();
}

void TDDTrayIcon::ShowPopupMenu() {
    ShowPopupMenuAt(QCursor::pos());
}

void TDDTrayIcon::ShowPopupMenuAt(const QPoint &globalPos) {
    if (!m_menu || m_menu->IsOpen()) {
        return;
    }
    if (m_window && m_window->isVisible()) {
        // Being the active window lets the menu close when the user clicks elsewhere.
        m_window->requestActivate();
    }
    m_menu->Popup(globalPos);
}

void TDDTrayIcon::DeleteIcon() {
    m_tray.hide();
}

} // namespace lirvo::tray
