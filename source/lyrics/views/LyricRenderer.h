#pragma once
// Drawing of one desktop lyric line: the text becomes a path (bold, centred, wrapping onto
// further lines when wider than the band), outlined first with a light pen, then filled with a
// vertical gradient that repeats mirrored above and below its band. Everything outside the
// glyphs stays fully transparent. The functions are pure so that tests and the window share them;
// they need a QGuiApplication (fonts) and run on the GUI thread.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;

namespace lirvo::lyrics {

struct TLyricStyle {
    QColor FillColor1{0, 0, 255};       // gradient colour at the top of the band
    QColor FillColor2{50, 205, 154};    // gradient colour at the bottom of the band
    QColor OutlineColor{220, 220, 220}; // pen drawn under the fill
    int Alpha = 255;                    // constant opacity of the whole picture, 0..255
    qreal OutlineWidth = 3.0;
    int FontSize = 28;  // em size of the text in pixels; also the height of the gradient band
    int Top = 5;        // y of the first line's box and of the gradient band
    QString FontFamily; // empty: LyricFontFamily()
};

// Family used for lyrics: "新宋体" when installed, else the first installed family of a list of
// common CJK fonts, else the first family that supports Simplified Chinese, else the default.
QString LyricFontFamily();
// The same choice over an explicit list of installed families (without the writing-system scan).
QString PickLyricFontFamily(const QStringList &installed);

// Bold font of the style's family and pixel size.
QFont LyricFont(const TLyricStyle &style = {});

// Path of `text` laid out in a box `width` wide from y = `top`: each line centred, lines broken
// at word boundaries or, where a word is too long (or the script has no blanks), anywhere.
// With `bottom` >= 0, lines that would start at or below it are left out. At most
// kMaxLyricChars characters are laid out. `lineCount`, when given, receives the number of lines.
inline constexpr int kMaxLyricChars = 1000;
QPainterPath LyricTextPath(const QString &text, const QFont &font, int width, int top,
                           int *lineCount = nullptr, int bottom = -1);

// Outline then gradient fill of `path`, anti-aliased, with the style's colours and opacity.
void PaintLyricPath(QPainter &painter, const QPainterPath &path, const TLyricStyle &style = {});

// A transparent premultiplied ARGB picture of `size` (logical pixels) with `text` drawn as
// above; with `scale` > 1 the picture has that many device pixels per logical pixel.
QImage RenderLyricImage(const QString &text, const QSize &size, const TLyricStyle &style = {},
                        qreal scale = 1.0);

// Region, in logical pixels, of the pixels of `image` that are not fully transparent (the hit
// area of the glyphs); a logical pixel belongs to it when any of its device pixels is drawn.
QRegion GlyphRegion(const QImage &image);

// Place of the desktop lyric band: as wide as the screen less 25 on either side, its bottom on
// the bottom of the available area (above a bottom panel).
QRect DesktopLyricGeometry(const QRect &screen, const QRect &available, int height = 92);

} // namespace lirvo::lyrics
