#include "lyrics/views/LyricRenderer.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <QVector>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

namespace lirvo::lyrics {

namespace {

// Preferred families, best first: the classic lyric face, then common CJK faces of Linux desktops.
const QStringList &PreferredFamilies() {
    static const QStringList families = {
        QStringLiteral("新宋体"),
        QStringLiteral("NSimSun"),
        QStringLiteral("WenQuanYi Micro Hei"),
        QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("AR PL UMing CN"),
        QStringLiteral("Droid Sans Fallback"),
    };
    return families;
}

} // namespace

QString PickLyricFontFamily(const QStringList &installed) {
    for (const QString &wanted : PreferredFamilies()) {
        for (const QString &family : installed) {
            if (family.compare(wanted, Qt::CaseInsensitive) == 0) {
                return family;
            }
        }
    }
    return {};
}

QString LyricFontFamily() {
    static const QString chosen = [] {
        const QStringList installed = QFontDatabase::families();
        QString family = PickLyricFontFamily(installed);
        if (family.isEmpty()) {
            const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
            if (!chinese.isEmpty()) {
                family = chinese.first();
            }
        }
        if (family.isEmpty()) {
            family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        }
        return family;
    }();
    return chosen;
}

QFont LyricFont(const TLyricStyle &style) {
    QFont font(style.FontFamily.isEmpty() ? LyricFontFamily() : style.FontFamily);
    font.setPixelSize(style.FontSize);
    font.setBold(true);
    // Shapes must not depend on the screen's hinting: the path is the glyph outline itself.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

namespace {

// One laid-out row of a text: where it is and where each of its characters starts.
struct LaidRow {
    qreal Top = 0;    // y of the row's box
    qreal Height = 0; // of the row's box
    int Start = 0;    // first shown character (blanks at the break are not shown)
    std::vector<qreal> CharX; // x of each cursor position Start..Start+shown length
};

struct LaidText {
    QPainterPath Path;
    std::vector<LaidRow> Rows;
};

// Lays out `fullText` as LyricTextPath describes; `maxRows` > 0 limits the number of rows.
LaidText LayOutText(const QString &fullText, const QFont &font, int width, int top, int bottom, int maxRows) {
    LaidText laid;
    laid.Path.setFillRule(Qt::OddEvenFill);
    // A line longer than any lyric (a damaged file) is cut so that drawing stays quick.
    const QString text = fullText.left(kMaxLyricChars);
    if (text.isEmpty() || width <= 0) {
        return laid;
    }
    QTextLayout layout(text, font);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        if ((bottom >= 0 && top + y >= bottom) || (maxRows > 0 && layout.lineCount() > maxRows)) {
            break;
        }
        y += line.height();
    }
    layout.endLayout();
    const QFontMetricsF metrics(font);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if ((bottom >= 0 && top + line.y() >= bottom) || (maxRows > 0 && i >= maxRows)) {
            break;
        }
        const QString piece = text.mid(line.textStart(), line.textLength());
        const QString shown = piece.trimmed();
        if (shown.isEmpty()) {
            continue;
        }
        int lead = 0;
        while (lead < piece.size() && piece.at(lead).isSpace()) {
            ++lead;
        }
        // Centre the visible part of the line; blanks at a break do not shift it.
        const qreal advance = metrics.horizontalAdvance(shown);
        const qreal x = (width - advance) / 2.0;
        laid.Path.addText(QPointF(x, top + line.y() + line.ascent()), font, shown);
        LaidRow row;
        row.Top = top + line.y();
        row.Height = line.height();
        row.Start = line.textStart() + lead;
        const qreal origin = line.cursorToX(row.Start);
        row.CharX.reserve(static_cast<std::size_t>(shown.size()) + 1);
        for (int k = 0; k <= shown.size(); ++k) {
            row.CharX.push_back(x + line.cursorToX(row.Start + k) - origin);
        }
        laid.Rows.push_back(std::move(row));
    }
    return laid;
}

QImage TransparentImage(int width, int height, qreal scale) {
    QImage image(QSize(qCeil(width * scale), qCeil(height * scale)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QPainterPath LyricTextPath(const QString &fullText, const QFont &font, int width, int top, int *lineCount,
                           int bottom) {
    LaidText laid = LayOutText(fullText, font, width, top, bottom, 0);
    if (lineCount) {
        *lineCount = static_cast<int>(laid.Rows.size());
    }
    return laid.Path;
}

std::vector<TInkStrip> InkStrips(const QPainterPath &path, qreal reach, int stripWidth) {
    // The contours with the pixels their ink may reach (control points included: they hold
    // the curves).
    struct Contour {
        int First = 0;
        int End = 0;
        QRect Pixels;
    };
    std::vector<Contour> contours;
    qreal left = 0, top = 0, right = 0, bottom = 0;
    auto close = [&] {
        if (!contours.empty()) {
            contours.back().Pixels = QRect(QPoint(qFloor(left - reach), qFloor(top - reach)),
                                           QPoint(qCeil(right + reach), qCeil(bottom + reach)));
        }
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo() || contours.empty()) {
            close();
            contours.push_back(Contour{i, i, {}});
            left = right = e.x;
            top = bottom = e.y;
        }
        contours.back().End = i + 1;
        left = std::min(left, e.x);
        right = std::max(right, e.x);
        top = std::min(top, e.y);
        bottom = std::max(bottom, e.y);
    }
    close();
    QRect bounds;
    for (const Contour &c : contours) {
        bounds |= c.Pixels;
    }

    // Each strip holds the contours that reach into it. A contour wholly outside a strip adds
    // nothing to the strip's pixels (a closed contour's windings cancel out past it).
    std::vector<TInkStrip> strips;
    stripWidth = std::max(1, stripWidth);
    for (int x = bounds.left(); x <= bounds.right(); x += stripWidth) {
        TInkStrip strip;
        strip.Clip = QRect(x, bounds.top(), stripWidth, bounds.height());
        strip.Path.setFillRule(path.fillRule());
        for (const Contour &c : contours) {
            if (!c.Pixels.intersects(strip.Clip)) {
                continue;
            }
            for (int i = c.First; i < c.End; ++i) {
                const QPainterPath::Element e = path.elementAt(i);
                if (e.isMoveTo()) {
                    strip.Path.moveTo(e);
                } else if (e.isLineTo()) {
                    strip.Path.lineTo(e);
                } else if (e.isCurveTo() && i + 2 < c.End) {
                    strip.Path.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
                    i += 2;
                }
            }
        }
        if (!strip.Path.isEmpty()) {
            strips.push_back(std::move(strip));
        }
    }
    return strips;
}

namespace {

// How far the outline reaches past the glyphs: half the pen, doubled at a mitred corner (the
// pen's miter limit), and room for anti-aliasing; the glyphs' picture is cut with the same.
qreal OutlineReach(const TLyricStyle &style) {
    return style.OutlineWidth + 2;
}

// Strips a glyph or two wide: the rasteriser keeps each pixel row's cells in a sorted list, so
// its work grows with the square of the ink in a row; in strips a long line costs a fraction.
constexpr int kInkStripWidth = 32;

// Draws each strip clipped to itself. The strips' clips meet exactly only where the painter
// maps whole pixels to whole device pixels; any other painter draws the whole path at once.
template <typename Draw>
void DrawByStrips(QPainter &painter, const TLyricInk &ink, Draw draw) {
    const QTransform t = painter.deviceTransform();
    auto whole = [](qreal v) { return v == std::round(v); };
    const bool aligned = t.type() <= QTransform::TxScale && t.m11() == t.m22() && t.m11() >= 1 &&
                         whole(t.m11()) && whole(t.dx()) && whole(t.dy());
    if (!aligned) {
        draw(ink.Path);
        return;
    }
    for (const TInkStrip &strip : ink.Strips) {
        painter.save();
        painter.setClipRect(strip.Clip, Qt::IntersectClip);
        draw(strip.Path);
        painter.restore();
    }
}

// Anti-aliased at the style's opacity, for an outline or a fill; the caller restores.
void BeginLyricPaint(QPainter &painter, const TLyricStyle &style) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setOpacity(qBound(0, style.Alpha, 255) / 255.0);
}

} // namespace

TLyricInk LyricInk(const QPainterPath &path, const TLyricStyle &style) {
    return TLyricInk{path, InkStrips(path, OutlineReach(style), kInkStripWidth)};
}

void PaintLyricOutline(QPainter &painter, const TLyricInk &ink, const TLyricStyle &style) {
    if (ink.Path.isEmpty()) {
        return;
    }
    BeginLyricPaint(painter, style);
    // Mitred corners and flat ends, as a plain pen draws them (and the quicker to stroke).
    QPen outline(style.OutlineColor, style.OutlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    DrawByStrips(painter, ink, [&](const QPainterPath &piece) { painter.strokePath(piece, outline); });
    painter.restore();
}

void PaintLyricFill(QPainter &painter, const TLyricInk &ink, const TLyricStyle &style) {
    if (ink.Path.isEmpty()) {
        return;
    }
    BeginLyricPaint(painter, style);
    QLinearGradient fill(0, style.Top, 0, style.Top + style.FontSize);
    fill.setColorAt(0, style.FillColor1);
    fill.setColorAt(1, style.FillColor2);
    fill.setSpread(QGradient::ReflectSpread);
    DrawByStrips(painter, ink, [&](const QPainterPath &piece) { painter.fillPath(piece, fill); });
    painter.restore();
}

void PaintLyricPath(QPainter &painter, const QPainterPath &path, const TLyricStyle &style) {
    // Outline first: the fill then covers the inner half of the pen.
    const TLyricInk ink = LyricInk(path, style);
    PaintLyricOutline(painter, ink, style);
    PaintLyricFill(painter, ink, style);
}

QImage RenderLyricImage(const QString &text, const QSize &size, const TLyricStyle &style, qreal scale) {
    scale = qMax<qreal>(1.0, scale);
    const QSize logical = size.expandedTo(QSize(1, 1));
    QImage image(QSize(qCeil(logical.width() * scale), qCeil(logical.height() * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    const QPainterPath path =
        LyricTextPath(text, LyricFont(style), logical.width(), style.Top, nullptr, logical.height());
    if (!path.isEmpty()) {
        QPainter painter(&image);
        PaintLyricPath(painter, path, style);
    }
    return image;
}

QRegion GlyphRegion(const QImage &image) {
    const QImage argb = image.format() == QImage::Format_ARGB32_Premultiplied
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal scale = qMax<qreal>(1.0, argb.devicePixelRatio());
    const int width = qCeil(argb.width() / scale);
    const int height = qCeil(argb.height() / scale);
    // Which logical pixels are drawn.
    std::vector<unsigned char> drawn(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        unsigned char *out =
            drawn.data() + static_cast<std::size_t>(qMin(height - 1, int(y / scale))) * width;
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) != 0) {
                out[qMin(width - 1, int(x / scale))] = 1;
            }
        }
    }
    // One rectangle per run of drawn pixels, row by row: rows are bands in y order and the
    // runs in a row are sorted and disjoint, which is what QRegion::setRects expects.
    QVector<QRect> runs;
    for (int y = 0; y < height; ++y) {
        const unsigned char *row = drawn.data() + static_cast<std::size_t>(y) * width;
        int x = 0;
        while (x < width) {
            while (x < width && !row[x]) {
                ++x;
            }
            const int start = x;
            while (x < width && row[x]) {
                ++x;
            }
            if (x > start) {
                runs.append(QRect(start, y, x - start, 1));
            }
        }
    }
    QRegion region;
    if (!runs.isEmpty()) {
        region.setRects(runs.constData(), static_cast<int>(runs.size()));
    }
    return region;
}

bool TBandText::SameLayout(const TBandText &other) const {
    if (Text != other.Text || Translation != other.Translation || Words.size() != other.Words.size()) {
        return false;
    }
    for (std::size_t i = 0; i < Words.size(); ++i) {
        if (Words[i].Text != other.Words[i].Text) {
            return false;
        }
    }
    return true;
}

namespace {

constexpr int kTranslationGap = 2;     // between the line's last row and the translation
constexpr int kTranslationMargin = 4;  // under the translation
constexpr int kTranslationLineRows = 2; // rows of a line that has a translation under it
constexpr int kTranslationRows = 2;

// Character ranges [first, second) of the words in `text`. Each word is looked up from where the
// previous one ended; a word that is not found takes the characters that follow. Text before
// the first word is sung together with it.
std::vector<std::pair<int, int>> WordRanges(const QString &text, const std::vector<TLyricWord> &words) {
    std::vector<std::pair<int, int>> ranges;
    ranges.reserve(words.size());
    int cursor = 0;
    for (const TLyricWord &word : words) {
        const QString wanted = QString::fromStdString(word.Text).trimmed();
        int at = wanted.isEmpty() ? -1 : static_cast<int>(text.indexOf(wanted, cursor));
        int length = static_cast<int>(wanted.size());
        if (at < 0) {
            at = cursor;
            length = std::min<int>(length, static_cast<int>(text.size()) - cursor);
        }
        ranges.emplace_back(at, at + length);
        cursor = at + length;
    }
    if (!ranges.empty()) {
        ranges.front().first = 0;
    }
    return ranges;
}

// How long the last word is sung when the line does not say: the line's mean word length.
int32_t LastWordLength(const std::vector<int32_t> &starts) {
    if (starts.size() < 2) {
        return 500;
    }
    const int64_t mean = (int64_t{starts.back()} - starts.front()) / static_cast<int64_t>(starts.size() - 1);
    return static_cast<int32_t>(std::clamp<int64_t>(mean, 200, 1500));
}

} // namespace

TBandPicture::TBandPicture(const TBandText &text, int width, int minHeight, const TLyricStyle &style,
                           qreal scale)
    : m_width(std::max(1, width)), m_height(std::max(1, minHeight)), m_scale(std::max<qreal>(1.0, scale)) {
    const QString line = QString::fromStdString(text.Text);
    const QString translation = QString::fromStdString(text.Translation).trimmed();
    const bool translated = !translation.isEmpty();

    LaidText main = LayOutText(line, LyricFont(style), m_width, style.Top, m_height,
                               translated ? kTranslationLineRows : 0);
    m_lineRows = static_cast<int>(main.Rows.size());
    qreal lineBottom = style.Top;
    for (const LaidRow &row : main.Rows) {
        lineBottom = std::max(lineBottom, row.Top + row.Height);
    }

    // The translation: the same style at a smaller size, its gradient band on its own row.
    TLyricStyle small = style;
    small.FontSize = std::max(1, qRound(style.FontSize * style.TranslationScale));
    small.OutlineWidth = style.OutlineWidth * style.TranslationScale;
    small.Top = qCeil(lineBottom) + kTranslationGap;
    LaidText second;
    if (translated) {
        second = LayOutText(translation, LyricFont(small), m_width, small.Top, -1, kTranslationRows);
        m_translationRows = static_cast<int>(second.Rows.size());
        qreal bottom = small.Top;
        for (const LaidRow &row : second.Rows) {
            bottom = std::max(bottom, row.Top + row.Height);
        }
        m_height = std::max(m_height, qCeil(bottom) + kTranslationMargin);
    }

    // Only the rectangle the glyphs and their outline reach is kept: a band is as wide as the
    // screen, a line mostly much narrower, and a new line comes every few seconds.
    const qreal reach = std::max(OutlineReach(style), OutlineReach(small));
    const QRectF ink = (main.Path.boundingRect() | second.Path.boundingRect()).adjusted(-reach, -reach, reach, reach);
    m_ink = ink.toAlignedRect() & QRect(0, 0, m_width, m_height);
    if (m_ink.isEmpty()) {
        m_ink = QRect(0, 0, 1, 1);
    }
    // The plain and the sung picture share the line's outline, the costly part to draw: it is
    // stroked once, and each picture fills the glyphs over its own copy of it.
    const bool sweeps = !text.Words.empty() && !main.Rows.empty();
    const TLyricInk mainInk = LyricInk(main.Path, style);
    m_plain = TransparentImage(m_ink.width(), m_ink.height(), m_scale);
    {
        QPainter painter(&m_plain);
        painter.translate(-m_ink.topLeft());
        PaintLyricOutline(painter, mainInk, style);
    }
    if (sweeps) {
        m_sung = m_plain.copy();
    }
    {
        QPainter painter(&m_plain);
        painter.translate(-m_ink.topLeft());
        PaintLyricFill(painter, mainInk, style);
        PaintLyricPath(painter, second.Path, small);
    }
    m_glyphs = GlyphRegion(m_plain).translated(m_ink.topLeft()) & QRect(0, 0, m_width, m_height);

    if (!sweeps) {
        return;
    }
    // The sung picture: the same outline with the warm fill (the line's rows only).
    TLyricStyle warm = style;
    warm.FillColor1 = style.SungColor1;
    warm.FillColor2 = style.SungColor2;
    {
        QPainter painter(&m_sung);
        painter.translate(-m_ink.topLeft());
        PaintLyricFill(painter, mainInk, warm);
    }

    // Bands of the rows for the sweep: from the top of the picture (or the previous row) down
    // to the row's end, with room for the outline, but never into the translation.
    const qreal limit = translated ? small.Top : m_height;
    for (std::size_t i = 0; i < main.Rows.size(); ++i) {
        const LaidRow &row = main.Rows[i];
        Row band;
        band.Top = i == 0 ? 0 : m_rows.back().Bottom;
        band.Bottom = i + 1 < main.Rows.size() ? main.Rows[i + 1].Top
                                                : std::min(limit, row.Top + row.Height + style.OutlineWidth);
        m_rows.push_back(band);
    }

    const std::vector<std::pair<int, int>> ranges = WordRanges(line.left(kMaxLyricChars), text.Words);
    for (std::size_t i = 0; i < text.Words.size(); ++i) {
        Word word;
        for (std::size_t r = 0; r < main.Rows.size(); ++r) {
            const LaidRow &row = main.Rows[r];
            const int rowEnd = row.Start + static_cast<int>(row.CharX.size()) - 1;
            const int from = std::max(ranges[i].first, row.Start);
            const int to = std::min(ranges[i].second, rowEnd);
            if (from >= to) {
                continue;
            }
            Span span;
            span.Row = static_cast<int>(r);
            span.X0 = row.CharX[static_cast<std::size_t>(from - row.Start)];
            span.X1 = row.CharX[static_cast<std::size_t>(to - row.Start)];
            if (span.X1 < span.X0) {
                std::swap(span.X0, span.X1);
            }
            word.Width += span.X1 - span.X0;
            word.Spans.push_back(span);
        }
        m_words.push_back(std::move(word));
    }
    SetTimes(text.Words, text.WordsEnd);
}

void TBandPicture::SetTimes(const std::vector<TLyricWord> &words, int32_t wordsEnd) {
    if (words.size() != m_words.size()) {
        return;
    }
    // Never running backwards; each word lasts until the next one starts.
    std::vector<int32_t> starts;
    starts.reserve(words.size());
    for (const TLyricWord &word : words) {
        starts.push_back(starts.empty() ? word.Start : std::max(word.Start, starts.back()));
    }
    for (std::size_t i = 0; i < m_words.size(); ++i) {
        Word &word = m_words[i];
        word.Start = starts[i];
        if (i + 1 < starts.size()) {
            word.End = starts[i + 1];
        } else if (wordsEnd > word.Start) {
            word.End = wordsEnd;
        } else {
            word.End = static_cast<int32_t>(
                std::min<int64_t>(INT32_MAX, int64_t{word.Start} + LastWordLength(starts)));
        }
    }
}

qreal TBandPicture::SweepX(int32_t clockMs, int *row) const {
    int boundaryRow = -1;
    qreal boundaryX = 0;
    for (const Word &word : m_words) {
        if (clockMs < word.Start) {
            break;
        }
        // Linear through the word from its start to its end.
        const qreal share = clockMs >= word.End
                                ? 1.0
                                : qreal(int64_t{clockMs} - word.Start) / qreal(int64_t{word.End} - word.Start);
        qreal remaining = share * word.Width;
        for (const Span &span : word.Spans) {
            const qreal spanWidth = span.X1 - span.X0;
            boundaryRow = span.Row;
            boundaryX = span.X0 + std::min(remaining, spanWidth);
            if (remaining <= spanWidth) {
                break;
            }
            remaining -= spanWidth;
        }
        if (clockMs < word.End) {
            break;
        }
    }
    if (row) {
        *row = boundaryRow;
    }
    return boundaryX;
}

bool TBandPicture::SweepDone(int32_t clockMs) const {
    return HasSweep() && clockMs >= m_words.back().End;
}

QRegion TBandPicture::SungArea(int32_t clockMs) const {
    QRegion area;
    if (!HasSweep()) {
        return area;
    }
    const bool done = SweepDone(clockMs);
    int row = -1;
    const qreal x = SweepX(clockMs, &row);
    if (row < 0) {
        return area;
    }
    const int last = done ? static_cast<int>(m_rows.size()) - 1 : row;
    for (int r = 0; r <= last; ++r) {
        const int top = qFloor(m_rows[static_cast<std::size_t>(r)].Top);
        const int bottom = qCeil(m_rows[static_cast<std::size_t>(r)].Bottom);
        // A finished row is sung across the whole band (the outline beyond its last glyph too).
        const int right = (r < row || done) ? m_width : qRound(x);
        if (right > 0 && bottom > top) {
            area += QRect(0, top, right, bottom - top);
        }
    }
    return area;
}

void TBandPicture::Draw(QPainter &painter, int32_t clockMs, const QRect &area) const {
    if (m_plain.isNull()) {
        return;
    }
    // Outside the ink rectangle the frame is transparent, as the painter starts.
    const QRect target = area.isEmpty() ? m_ink : (area & m_ink);
    if (target.isEmpty()) {
        return;
    }
    const QRectF source((target.x() - m_ink.x()) * m_scale, (target.y() - m_ink.y()) * m_scale,
                        target.width() * m_scale, target.height() * m_scale);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRectF(target), m_plain, source);
    if (HasSweep()) {
        const QRegion sung = SungArea(clockMs) & target;
        if (!sung.isEmpty()) {
            // The sung picture has the same outline, so copying it over the plain one inside the
            // sung area changes only the fill.
            painter.setClipRegion(sung);
            painter.drawImage(QRectF(target), m_sung, source);
        }
    }
    painter.restore();
}

QImage TBandPicture::Plain() const {
    QImage plain = TransparentImage(m_width, m_height, m_scale);
    if (!m_plain.isNull()) {
        QPainter painter(&plain);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QRectF(m_ink), m_plain);
    }
    return plain;
}

QImage TBandPicture::Frame(int32_t clockMs) const {
    QImage frame = TransparentImage(m_width, m_height, m_scale);
    QPainter painter(&frame);
    Draw(painter, clockMs);
    return frame;
}

QRect DesktopLyricGeometry(const QRect &screen, const QRect &available, int height) {
    const int bottom = available.y() + available.height();
    return QRect(screen.x() + 25, bottom - height, screen.width() - 50, height);
}

} // namespace lirvo::lyrics
