#pragma once
// The desktop lyric: a frameless, always-on-top, translucent band along the bottom of the screen
// that shows one lyric line drawn by LyricRenderer. Only the drawn glyphs are visible and take
// the mouse: the window's input mask is the region of the glyphs, so clicks elsewhere reach the
// windows below. The band never takes the keyboard focus and has no taskbar entry. When the
// pointer comes over a glyph the window announces it (TextHovered), which brings up the
// control bar. GUI thread only.

#include "lyrics/views/LyricRenderer.h"

#include <QImage>
#include <QRasterWindow>
#include <QRegion>
#include <string>

class QScreen;

namespace lirvo::lyrics {

class TZylDeskTopLrc : public QRasterWindow {
    Q_OBJECT
public:
    static constexpr int kHeight = 92;

    // Creates the band hidden, placed on `screen` (the primary screen when null).
    explicit TZylDeskTopLrc(QScreen *screen = nullptr);
    ~TZylDeskTopLrc() override;

    // Draws `text` (UTF-8) unless it equals the text drawn last. Works while hidden; hiding
    // keeps the text and picture.
    void ShowText(const std::string &text);
    const std::string &ShownText() const { return m_shownText; }

    // The picture drawn last (transparent where there is no glyph; at the screen's device pixel
    // ratio) and how often a picture was drawn.
    const QImage &Picture() const { return m_picture; }
    int DrawCount() const { return m_drawCount; }

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
    // The band was placed anew by PlaceOn (companion windows follow it).
    void Placed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    void Redraw();
    void WatchScreen(QScreen *screen);

    TLyricStyle m_style;
    std::string m_shownText;
    QImage m_picture;
    QRegion m_glyphs;
    int m_drawCount = 0;
    QMetaObject::Connection m_screenGeometry;
    QMetaObject::Connection m_screenArea;
};

} // namespace lirvo::lyrics
