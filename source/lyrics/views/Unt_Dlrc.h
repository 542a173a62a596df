#pragma once
// The desktop lyric: a frameless, always-on-top, translucent band along the bottom of the screen
// that shows one lyric line drawn by LyricRenderer, with its translation in a smaller second row.
// Only the drawn glyphs are visible and take the mouse: the window's shape is the region of the
// glyphs, so clicks elsewhere reach the windows below. A line with word timings is swept in a
// warm colour as it is sung, following the play clock at 40 frames a second while it plays.
// Locked, the band lets every click through and never brings up its control bar. The band never
// takes the keyboard focus and has no taskbar entry. When the pointer comes over a glyph the
// window announces it (TextHovered), which brings up the control bar. GUI thread only.

#include "lyrics/views/LyricRenderer.h"

#include <QElapsedTimer>
#include <QImage>
#include <QBackingStore>
#include <QRegion>
#include <QTimer>
#include <QWindow>
#include <string>

class QScreen;

namespace lirvo::lyrics {

class TZylDeskTopLrc : public QWindow {
    Q_OBJECT
public:
    static constexpr int kHeight = 92;
    // Sweep frames: every 25 ms, 40 a second. The timer restarts at every clock report, so with
    // the engine's 50 ms tick every other frame is drawn in the tick's own wake-up.
    static constexpr int kSweepIntervalMs = 25;
    // Without news of the clock for this long the sweep stands still (playback stopped).
    static constexpr int kClockStaleMs = 300;

    // Creates the band hidden, placed on `screen` (the primary screen when null).
    explicit TZylDeskTopLrc(QScreen *screen = nullptr);
    ~TZylDeskTopLrc() override;

    // Draws `text` (UTF-8) as a plain line unless it is what the band shows. Works while hidden;
    // hiding keeps the text and picture.
    void ShowText(const std::string &text);
    // Draws a line with its translation and word timings. The picture is drawn anew only when
    // the text, translation or words change; new times alone move the sweep.
    void ShowLine(const TBandText &line);
    const std::string &ShownText() const { return m_line.Text; }
    const TBandText &ShownLine() const { return m_line; }

    // The play position (ms) and whether it advances; between two calls the band counts on by
    // itself. Drives the sweep of a word-timed line; other lines ignore it.
    void SetPlayClock(int32_t positionMs, bool playing);
    // The clock as the band reads it now.
    int32_t ClockNow() const;
    // True while the sweep timer runs (a word-timed line shows, plays and is not finished).
    bool Sweeping() const { return m_sweepTimer.isActive(); }

    // Click-through: no hit test, no control bar.
    void SetLocked(bool locked);
    bool Locked() const { return m_locked; }

    // The picture now (transparent where there is no glyph; at the screen's device pixel
    // ratio), the prepared line, and how often a line was laid out and drawn.
    QImage Picture() const;
    const TBandPicture &Prepared() const { return m_prepared; }
    int DrawCount() const { return m_drawCount; }
    // How often the window was painted (whole or in part).
    int PaintCount() const { return m_paintCount; }

    // What a paint of `region` puts into the window: the region first made fully transparent,
    // then the current frame drawn into it.
    void PaintFrame(QPainter &painter, const QRegion &region) const;

    // True when `pos` (window coordinates) lies on a drawn pixel.
    bool IsTextPixel(const QPoint &pos) const;

    // Colours and font of the band; changing them redraws the current text.
    const TLyricStyle &Style() const { return m_style; }
    void SetStyle(const TLyricStyle &style);

    // Places the band on `screen` again (size and position as at creation) and redraws. Done by
    // itself when the screen's size or its available area changes (a panel appears, say).
    void PlaceOn(QScreen *screen);

Q_SIGNALS:
    // After every new picture.
    void TextDrawn();
    // The pointer entered or moved over a drawn glyph.
    void TextHovered();
    // The band was placed anew by PlaceOn or changed its height (companion windows follow it).
    void Placed();

protected:
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool event(QEvent *event) override;

private:
    // Marks `region` for the next paint, which comes on the next update request.
    void Invalidate(const QRegion &region);
    // Paints what is marked into the window now (a sweep frame is not left for a later
    // wake-up: the timer that asked for it is the one wake-up of that frame).
    void PaintNow();
    void Redraw();
    void FitHeight();
    void UpdateShape();
    void SweepFrame();
    void UpdateSweepTimer();
    void WatchScreen(QScreen *screen);

    TLyricStyle m_style;
    TBandText m_line;
    TBandPicture m_prepared;
    QBackingStore m_store;
    QRegion m_dirty;   // parts of the window to paint
    QRegion m_painted; // glyphs of the picture last painted to the window
    int m_drawCount = 0;
    int m_paintCount = 0;
    bool m_locked = false;
    bool m_shapePending = false;
    // The play clock: a position and when it was given.
    int32_t m_clockPosition = 0;
    bool m_clockPlaying = false;
    QElapsedTimer m_clockSince;
    QTimer m_sweepTimer;
    QRegion m_sungShown;    // sung area on screen
    int32_t m_frameClock = 0; // clock of the sweep frame on screen
    QMetaObject::Connection m_screenGeometry;
    QMetaObject::Connection m_screenArea;
};

} // namespace lirvo::lyrics
