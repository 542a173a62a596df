#include "lyrics/views/Unt_Dlrc.h"

#include "lyrics/views/X11WindowHints.h"

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
    connect(this, &QWindow::screenChanged, this, &TZylDeskTopLrc::WatchScreen);
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
    WatchScreen(screen);
    Redraw();
    Q_EMIT Placed();
}

void TZylDeskTopLrc::WatchScreen(QScreen *screen) {
    disconnect(m_screenGeometry);
    disconnect(m_screenArea);
    if (!screen) {
        return;
    }
    auto replace = [this, screen] { PlaceOn(screen); };
    m_screenGeometry = connect(screen, &QScreen::geometryChanged, this, replace);
    m_screenArea = connect(screen, &QScreen::availableGeometryChanged, this, replace);
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
    m_picture = RenderLyricImage(QString::fromStdString(m_shownText), size(), m_style, devicePixelRatio());
    ++m_drawCount;
    // Only the glyphs take the mouse (and, without a compositor, only they are shown).
    m_glyphs = GlyphRegion(m_picture);
    setMask(m_glyphs.isEmpty() ? QRegion(-1, -1, 1, 1) : m_glyphs);
    update();
    Q_EMIT TextDrawn();
}

bool TZylDeskTopLrc::IsTextPixel(const QPoint &pos) const {
    return m_glyphs.contains(pos);
}

void TZylDeskTopLrc::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(event->rect(), Qt::transparent);
    painter.drawImage(QPoint(0, 0), m_picture);
}

void TZylDeskTopLrc::resizeEvent(QResizeEvent *event) {
    QRasterWindow::resizeEvent(event);
    if (m_picture.deviceIndependentSize().toSize() != size()) {
        Redraw();
    }
}

void TZylDeskTopLrc::showEvent(QShowEvent *event) {
    SkipTaskbarAndPager(this);
    QRasterWindow::showEvent(event);
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
