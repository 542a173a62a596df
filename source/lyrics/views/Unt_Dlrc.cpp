#include "lyrics/views/Unt_Dlrc.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSurfaceFormat>

namespace lirvo::lyrics {

TZylDeskTopLrc::TZylDeskTopLrc(QScreen *screen) {
    // Frameless, above other windows, no taskbar entry (tool window), never focused.
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
             Qt::NoDropShadowWindowHint);
    QSurfaceFormat format = requestedFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
    setTitle(QStringLiteral("lirvo 桌面歌词"));
    setCursor(Qt::ArrowCursor);
    PlaceOn(screen);
}

TZylDeskTopLrc::~TZylDeskTopLrc() = default;

void TZylDeskTopLrc::PlaceOn(QScreen *screen) {
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        setScreen(screen);
        setGeometry(DesktopLyricGeometry(screen->geometry(), screen->availableGeometry(), kHeight));
    } else {
        resize(800, kHeight);
    }
    Redraw();
}

void TZylDeskTopLrc::ShowText(const std::string &text) {
    if (text == m_shownText) {
        return;
    }
    m_shownText = text;
    Redraw();
}

void TZylDeskTopLrc::SetStyle(const TLyricStyle &style) {
    m_style = style;
    Redraw();
}

void TZylDeskTopLrc::Redraw() {
    m_picture = RenderLyricImage(QString::fromStdString(m_shownText), size(), m_style);
    ++m_drawCount;
    // Only the glyphs take the mouse (and, without a compositor, only they are shown).
    const QRegion glyphs = GlyphRegion(m_picture);
    setMask(glyphs.isEmpty() ? QRegion(-1, -1, 1, 1) : glyphs);
    update();
    Q_EMIT TextDrawn();
}

bool TZylDeskTopLrc::IsTextPixel(const QPoint &pos) const {
    return m_picture.valid(pos) && qAlpha(m_picture.pixel(pos)) != 0;
}

void TZylDeskTopLrc::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
    painter.drawImage(event->rect().topLeft(), m_picture, event->rect());
}

void TZylDeskTopLrc::resizeEvent(QResizeEvent *event) {
    QRasterWindow::resizeEvent(event);
    if (m_picture.size() != size()) {
        Redraw();
    }
}

bool TZylDeskTopLrc::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::Enter: {
        const auto *enter = static_cast<QEnterEvent *>(event);
        if (IsTextPixel(enter->position().toPoint())) {
            Q_EMIT TextHovered();
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        if (IsTextPixel(move->position().toPoint())) {
            Q_EMIT TextHovered();
        }
        break;
    }
    default:
        break;
    }
    return QRasterWindow::event(event);
}

} // namespace lirvo::lyrics
