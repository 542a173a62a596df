#pragma once
// Drawing of one desktop lyric line: the text becomes a path (bold, centred, wrapping onto
// further lines when wider than the band), outlined first with a light pen, then filled with a
// vertical gradient that repeats mirrored above and below its band. A translation goes in a
// smaller second row under the line. A line with word timings gets a second, warm fill over the
// part already sung (the karaoke sweep). Everything outside the glyphs stays fully transparent.
// The functions are pure so that tests and the window share them; they need a QGuiApplication
// (fonts) and run on the GUI thread.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>
#include <QStringList>

#include "lyrics/core/uLRCHandle.h"

#include <cstdint>
#include <string>
#include <vector>

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
    QColor SungColor1{255, 110, 0};  // warm fill of the sung part: orange at the top of the band
    QColor SungColor2{255, 225, 40}; // ... to yellow at its bottom
    qreal TranslationScale = 0.7;    // size of the translation row against the line
};

// What the band shows: a line, its translation ("" when none) and, for a line with word timings,
// its words (start times on the play clock, that is with the lyric offset applied) and the end
// of the last word (-1 when the line does not give it).
struct TBandText {
    std::string Text;
    std::string Translation;
    std::vector<TLyricWord> Words;
    int32_t WordsEnd = -1;

    bool operator==(const TBandText &) const = default;
    // Same glyphs (the times may differ): the picture can be kept.
    bool SameLayout(const TBandText &other) const;
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

// A lyric path ready to draw in vertical strips, each clipped to itself and holding only the
// contours that reach into it: piece by piece they give the pixels of the whole path, and a long
// line far quicker. `reach` is how far the ink goes past the contours (the outline).
struct TInkStrip {
    QRect Clip;
    QPainterPath Path;
};
struct TLyricInk {
    QPainterPath Path;
    std::vector<TInkStrip> Strips;
};
std::vector<TInkStrip> InkStrips(const QPainterPath &path, qreal reach, int stripWidth);
TLyricInk LyricInk(const QPainterPath &path, const TLyricStyle &style);
// The outline and the fill on their own, so that an outline drawn once may take fills of
// different colours.
void PaintLyricOutline(QPainter &painter, const TLyricInk &ink, const TLyricStyle &style);
void PaintLyricFill(QPainter &painter, const TLyricInk &ink, const TLyricStyle &style);

// A transparent premultiplied ARGB picture of `size` (logical pixels) with `text` drawn as
// above; with `scale` > 1 the picture has that many device pixels per logical pixel.
QImage RenderLyricImage(const QString &text, const QSize &size, const TLyricStyle &style = {},
                        qreal scale = 1.0);

// One band line prepared for drawing: its glyph paths are built once, and so are two pictures of
// them, the plain one and the fully sung one. A frame of the sweep is the plain picture with the
// sung picture copied over the part sung by then, so a frame costs two image copies. The
// pictures cover only the rectangle the glyphs are drawn in, not the whole band.
class TBandPicture {
public:
    TBandPicture() = default;
    // Lays out `text` in a band `width` logical pixels wide and at least `minHeight` high, at
    // `scale` device pixels per logical pixel.
    TBandPicture(const TBandText &text, int width, int minHeight, const TLyricStyle &style, qreal scale);

    // New times for the same words (the lyric offset moved); the pictures stay.
    void SetTimes(const std::vector<TLyricWord> &words, int32_t wordsEnd);

    // Height (logical) that holds the line and its translation; at least minHeight.
    int Height() const { return m_height; }
    QSize Size() const { return QSize(m_width, m_height); }
    // True for a line with word timings.
    bool HasSweep() const { return !m_words.empty(); }
    // Rows of the line (after wrapping) and of the translation.
    int LineRows() const { return m_lineRows; }
    int TranslationRows() const { return m_translationRows; }

    // Outline and gradient fill of both rows, without any sung part (the whole band).
    QImage Plain() const;
    // Region (logical pixels) of the pixels that are drawn: the hit area of the glyphs.
    const QRegion &Glyphs() const { return m_glyphs; }

    // Part of the line sung at `clockMs` (logical pixels): whole rows before the current one,
    // and the current row from its left edge to the sweep boundary. Empty before the first
    // word and for a plain line.
    QRegion SungArea(int32_t clockMs) const;
    // True when the whole line is sung at `clockMs` (nothing more will move).
    bool SweepDone(int32_t clockMs) const;
    // x of the sweep boundary at `clockMs` and the row it is on (-1 before the first word).
    qreal SweepX(int32_t clockMs, int *row = nullptr) const;

    // Draws the frame at `clockMs` into `painter` (which must start transparent where it draws),
    // limited to `area` (logical; empty = everything).
    void Draw(QPainter &painter, int32_t clockMs, const QRect &area = {}) const;
    // The whole frame at `clockMs` as a picture.
    QImage Frame(int32_t clockMs) const;

private:
    struct Row {
        qreal Top = 0;    // of the row's band for the sweep (logical)
        qreal Bottom = 0;
    };
    struct Span {
        int Row = 0;
        qreal X0 = 0;
        qreal X1 = 0;
    };
    struct Word {
        int32_t Start = 0;
        int32_t End = 0;
        std::vector<Span> Spans;
        qreal Width = 0;
    };

    int m_width = 0;
    int m_height = 0;
    qreal m_scale = 1.0;
    QRect m_ink;    // where the pictures go in the band (logical)
    QImage m_plain; // the ink rectangle of the plain picture
    QImage m_sung;
    QRegion m_glyphs;
    std::vector<Row> m_rows;
    std::vector<Word> m_words;
    int m_lineRows = 0;
    int m_translationRows = 0;
};

// Region, in logical pixels, of the pixels of `image` that are not fully transparent (the hit
// area of the glyphs); a logical pixel belongs to it when any of its device pixels is drawn.
QRegion GlyphRegion(const QImage &image);

// Place of the desktop lyric band: as wide as the screen less 25 on either side, its bottom on
// the bottom of the available area (above a bottom panel).
QRect DesktopLyricGeometry(const QRect &screen, const QRect &available, int height = 92);

} // namespace lirvo::lyrics
