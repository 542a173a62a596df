#include "lyrics/views/Unt_Dlrc.h"

#include "lyrics/views/X11WindowHints.h"

#include <QEnterEvent>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSurfaceFormat>

namespace lirvo::lyrics {

namespace {

// Qt removes the shape when given an empty region; a point outside the window means "nothing".
QRegion ShapeOf(const QRegion &glyphs) {
    return glyphs.isEmpty() ? QRegion(-1, -1, 1, 1) : glyphs;
}

} // namespace

TZylDeskTopLrc::TZylDeskTopLrc(QScreen *screen) : m_store(this) {
    // Frameless, above other windows, no taskbar entry (tool window), never focused. Where the
    // window manager places windows itself (XWayland), the band places itself instead.
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    if (PlaceWithoutWindowManager()) {
        flags |= Qt::BypassWindowManagerHint;
    }
    setFlags(flags);
    setSurfaceType(QSurface::RasterSurface);
    QSurfaceFormat format = requestedFormat();
    format.setAlphaBufferSize(8);
    setFormat(format);
    setTitle(QStringLiteral("lirvo 桌面歌词"));
    setCursor(Qt::ArrowCursor);
    m_sweepTimer.setTimerType(Qt::PreciseTimer);
    m_sweepTimer.setInterval(kSweepIntervalMs);
    connect(&m_sweepTimer, &QTimer::timeout, this, &TZylDeskTopLrc::SweepFrame);
    m_clockSince.start();
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
    TBandText line;
    line.Text = text;
    ShowLine(line);
}

void TZylDeskTopLrc::ShowLine(const TBandText &line) {
    if (line == m_line) {
        return;
    }
    const bool sameGlyphs = line.SameLayout(m_line);
    m_line = line;
    if (sameGlyphs) {
        // Only the times moved (the offset was shifted): the sweep follows, the picture stays.
        m_prepared.SetTimes(m_line.Words, m_line.WordsEnd);
        SweepFrame();
        return;
    }
    Redraw();
}

void TZylDeskTopLrc::SetStyle(const TLyricStyle &style) {
    m_style = style;
    Redraw();
}

void TZylDeskTopLrc::Redraw() {
    m_prepared = TBandPicture(m_line, width(), kHeight, m_style, devicePixelRatio());
    ++m_drawCount;
    m_frameClock = ClockNow();
    m_sungShown = m_prepared.SungArea(m_frameClock);
    FitHeight();
    UpdateShape();
    Invalidate(QRect(QPoint(0, 0), size()));
    UpdateSweepTimer();
    Q_EMIT TextDrawn();
}

void TZylDeskTopLrc::FitHeight() {
    const int wanted = m_prepared.Height();
    if (wanted == height()) {
        return;
    }
    // The band grows upwards (or shrinks back down): its bottom edge stays where it is.
    const QRect now = geometry();
    const int grow = wanted - now.height();
    setGeometry(QRect(now.x(), now.y() - grow, now.width(), wanted));
    // Pixels painted before keep their place in the window while its top moves.
    m_painted += m_painted.translated(0, grow);
    Q_EMIT Placed();
}

void TZylDeskTopLrc::UpdateShape() {
    const QRegion glyphs = m_prepared.Glyphs();
    if (m_painted.isEmpty()) {
        setMask(ShapeOf(glyphs));
        m_shapePending = false;
        return;
    }
    // Drawing outside a window's shape does not reach its pixels, and a compositor (XWayland
    // among them) may still show pixels outside the shape. So the shape keeps the glyphs
    // painted before until a paint has cleared them; then it shrinks to the new glyphs.
    setMask(ShapeOf(glyphs + m_painted));
    m_shapePending = true;
}

QImage TZylDeskTopLrc::Picture() const {
    return m_prepared.HasSweep() ? m_prepared.Frame(m_frameClock) : m_prepared.Plain();
}

bool TZylDeskTopLrc::IsTextPixel(const QPoint &pos) const {
    return m_prepared.Glyphs().contains(pos);
}

void TZylDeskTopLrc::SetPlayClock(int32_t positionMs, bool playing) {
    m_clockPosition = positionMs;
    m_clockPlaying = playing;
    m_clockSince.restart();
    if (m_prepared.HasSweep()) {
        SweepFrame();
        if (m_sweepTimer.isActive()) {
            // The next frame half a tick from now: sweep frames and ticks share wake-ups.
            m_sweepTimer.start();
        }
    }
}

int32_t TZylDeskTopLrc::ClockNow() const {
    if (!m_clockPlaying) {
        return m_clockPosition;
    }
    const qint64 ahead = std::min<qint64>(m_clockSince.elapsed(), kClockStaleMs);
    return static_cast<int32_t>(std::min<qint64>(INT32_MAX, qint64{m_clockPosition} + ahead));
}

void TZylDeskTopLrc::SweepFrame() {
    const int32_t now = ClockNow();
    const QRegion sung = m_prepared.SungArea(now);
    m_frameClock = now;
    if (sung != m_sungShown) {
        // Only the part that changed is painted again.
        m_dirty += sung ^ m_sungShown;
        m_sungShown = sung;
        PaintNow();
    }
    UpdateSweepTimer();
}

void TZylDeskTopLrc::UpdateSweepTimer() {
    const bool run = isVisible() && m_prepared.HasSweep() && m_clockPlaying &&
                     m_clockSince.elapsed() < kClockStaleMs && !m_prepared.SweepDone(ClockNow());
    if (run && !m_sweepTimer.isActive()) {
        m_sweepTimer.start();
    } else if (!run && m_sweepTimer.isActive()) {
        m_sweepTimer.stop();
    }
}

void TZylDeskTopLrc::SetLocked(bool locked) {
    if (locked == m_locked) {
        return;
    }
    m_locked = locked;
    // Click-through on every window system: no hit test at all.
    setFlag(Qt::WindowTransparentForInput, locked);
}

void TZylDeskTopLrc::PaintFrame(QPainter &painter, const QRegion &region) const {
    painter.save();
    // Every paint starts from fully transparent pixels, so nothing of an earlier line remains.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect &rect : region) {
        painter.fillRect(rect, Qt::transparent);
        m_prepared.Draw(painter, m_frameClock, rect);
    }
    painter.restore();
}

void TZylDeskTopLrc::Invalidate(const QRegion &region) {
    m_dirty += region;
    requestUpdate();
}

void TZylDeskTopLrc::PaintNow() {
    const QRect whole(QPoint(0, 0), size());
    // Until the window is on screen the marks wait for its expose (which comes a little after
    // show() and hide(): the visibility is what counts first).
    if (!isVisible() || !isExposed() || m_dirty.isEmpty() || whole.isEmpty()) {
        return;
    }
    const QRegion region = m_dirty & whole;
    m_dirty = QRegion();
    if (m_store.size() != size()) {
        m_store.resize(size());
    }
    m_store.beginPaint(region);
    {
        QPainter painter(m_store.paintDevice());
        PaintFrame(painter, region);
    }
    m_store.endPaint();
    m_store.flush(region);
    ++m_paintCount;
    const bool wholeWindow = (QRegion(whole) - region).isEmpty();
    if (m_shapePending && wholeWindow) {
        m_shapePending = false;
        m_painted = m_prepared.Glyphs();
        // The flush above is on its way to the window system; the shape shrinks after it.
        QMetaObject::invokeMethod(
            this, [this] { setMask(ShapeOf(m_prepared.Glyphs())); }, Qt::QueuedConnection);
    } else if (!m_shapePending) {
        m_painted = m_prepared.Glyphs();
    }
}

void TZylDeskTopLrc::exposeEvent(QExposeEvent *) {
    if (isExposed()) {
        // What the window system shows of us is lost or new: all of it is painted.
        m_dirty = QRect(QPoint(0, 0), size());
        PaintNow();
    }
}

void TZylDeskTopLrc::resizeEvent(QResizeEvent *event) {
    QWindow::resizeEvent(event);
    m_store.resize(size());
    // The height follows the text; only a new width (another screen) needs a new layout.
    if (m_prepared.Size().width() != width()) {
        Redraw();
    } else {
        Invalidate(QRect(QPoint(0, 0), size()));
    }
}

void TZylDeskTopLrc::showEvent(QShowEvent *event) {
    SkipTaskbarAndPager(this);
    QWindow::showEvent(event);
    UpdateSweepTimer();
}

void TZylDeskTopLrc::hideEvent(QHideEvent *event) {
    QWindow::hideEvent(event);
    m_sweepTimer.stop();
}

bool TZylDeskTopLrc::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::Enter: {
        const auto *enter = static_cast<QEnterEvent *>(event);
        if (!m_locked && IsTextPixel(enter->position().toPoint())) {
            Q_EMIT TextHovered();
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        if (!m_locked && IsTextPixel(move->position().toPoint())) {
            Q_EMIT TextHovered();
        }
        break;
    }
    case QEvent::UpdateRequest:
        PaintNow();
        return true;
    default:
        break;
    }
    return QWindow::event(event);
}

} // namespace lirvo::lyrics
