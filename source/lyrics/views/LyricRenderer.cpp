#include "lyrics/views/LyricRenderer.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <QVector>
#include <QtMath>
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

QPainterPath LyricTextPath(const QString &fullText, const QFont &font, int width, int top, int *lineCount,
                           int bottom) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    int lines = 0;
    // A line longer than any lyric (a damaged file) is cut so that drawing stays quick.
    const QString text = fullText.left(kMaxLyricChars);
    if (!text.isEmpty() && width > 0) {
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
            if (bottom >= 0 && top + y >= bottom) {
                break;
            }
            y += line.height();
        }
        layout.endLayout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            if (bottom >= 0 && top + line.y() >= bottom) {
                break;
            }
            const QString piece = text.mid(line.textStart(), line.textLength());
            const QString shown = piece.trimmed();
            if (shown.isEmpty()) {
                continue;
            }
            // Centre the visible part of the line; blanks at a break do not shift it.
            const qreal advance = QFontMetricsF(font).horizontalAdvance(shown);
            const qreal x = (width - advance) / 2.0;
            path.addText(QPointF(x, top + line.y() + line.ascent()), font, shown);
            ++lines;
        }
    }
    if (lineCount) {
        *lineCount = lines;
    }
    return path;
}

void PaintLyricPath(QPainter &painter, const QPainterPath &path, const TLyricStyle &style) {
    if (path.isEmpty()) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setOpacity(qBound(0, style.Alpha, 255) / 255.0);

    QLinearGradient fill(0, style.Top, 0, style.Top + style.FontSize);
    fill.setColorAt(0, style.FillColor1);
    fill.setColorAt(1, style.FillColor2);
    fill.setSpread(QGradient::ReflectSpread);

    // Outline first: the fill then covers the inner half of the pen.
    // Mitred corners and flat ends, as a plain pen draws them (and the quicker to stroke).
    QPen outline(style.OutlineColor, style.OutlineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.strokePath(path, outline);
    painter.fillPath(path, fill);
    painter.restore();
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

QRect DesktopLyricGeometry(const QRect &screen, const QRect &available, int height) {
    const int bottom = available.y() + available.height();
    return QRect(screen.x() + 25, bottom - height, screen.width() - 50, height);
}

} // namespace lirvo::lyrics
