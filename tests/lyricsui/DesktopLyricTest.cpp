// The desktop lyric band: how a line is drawn (transparency, gradient rows, outline, wrapping,
// centring), the band's placement and input mask, and when it redraws.

#include "TestSupport.h"

#include "lyrics/views/LyricRenderer.h"
#include "lyrics/views/Unt_Dlrc.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <cmath>
#include <gtest/gtest.h>

using namespace lirvo::lyrics;
using lirvo::testing::App;

namespace {

// Colour of the fill at pixel row `y`: the band 5..33 from blue to green, mirrored beyond it.
QColor ExpectedFill(int y) {
    const double u = (y + 0.5 - 5.0) / 28.0;
    double t = std::fmod(std::fabs(u), 2.0);
    if (t > 1.0) {
        t = 2.0 - t;
    }
    const QColor a(0, 0, 255), b(50, 205, 154);
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

int ColourDistance(QRgb p, const QColor &c) {
    return std::max(
        {std::abs(qRed(p) - c.red()), std::abs(qGreen(p) - c.green()), std::abs(qBlue(p) - c.blue())});
}

// Pixels of `image` whose whole 7 x 7 neighbourhood is opaque: well inside a glyph, where only
// the fill shows.
std::vector<QPoint> InteriorPixels(const QImage &image) {
    std::vector<QPoint> inside;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x) {
            bool all = true;
            for (int dy = -3; dy <= 3 && all; ++dy) {
                for (int dx = -3; dx <= 3 && all; ++dx) {
                    all = qAlpha(image.pixel(x + dx, y + dy)) == 255;
                }
            }
            if (all) {
                inside.emplace_back(x, y);
            }
        }
    }
    return inside;
}

QRect OpaqueBounds(const QImage &image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

class DesktopLyric : public lirvo::testing::QtFixture {
protected:
    void SetUp() override { App(); }
};

TEST_F(DesktopLyric, EmptyTextLeavesEveryPixelTransparent) {
    const QImage image = RenderLyricImage(QString(), QSize(400, 92));
    EXPECT_TRUE(OpaqueBounds(image).isNull());
    EXPECT_TRUE(GlyphRegion(image).isEmpty());
    const QImage blanks = RenderLyricImage(QStringLiteral("   "), QSize(400, 92));
    EXPECT_TRUE(OpaqueBounds(blanks).isNull());
}

TEST_F(DesktopLyric, FillFollowsTheMirroredGradientRowByRow) {
    // Solid squares give wide glyph interiors; in 300 pixels they wrap onto a second line, so
    // rows below the band (mirrored part) are checked as well.
    const QString squares = QString(24, QChar(0x25A0));
    int lines = 0;
    LyricTextPath(squares, LyricFont(), 300, 5, &lines);
    ASSERT_EQ(lines, 2);
    const QImage image = RenderLyricImage(squares, QSize(300, 92));
    const std::vector<QPoint> inside = InteriorPixels(image);
    ASSERT_GT(inside.size(), 200u);
    int worst = 0, minY = 1000, maxY = 0;
    for (const QPoint &p : inside) {
        worst = std::max(worst, ColourDistance(image.pixel(p), ExpectedFill(p.y())));
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    EXPECT_LE(worst, 8);
    EXPECT_LT(minY, 19); // inside the first band
    EXPECT_GT(maxY, 47); // past the mirror line of the second band
    // Near the band's top the fill is blue, near its bottom green.
    for (const QPoint &p : inside) {
        const QRgb c = image.pixel(p);
        if (p.y() <= 10) {
            EXPECT_GT(qBlue(c), 200);
            EXPECT_LT(qGreen(c), 60);
        } else if (p.y() >= 29 && p.y() <= 37) {
            EXPECT_GT(qGreen(c), 170);
        }
    }
}

TEST_F(DesktopLyric, GlyphEdgesCarryTheOutlineColour) {
    const QImage image = RenderLyricImage(QString(QChar(0x25A0)), QSize(200, 92));
    const QRect bounds = OpaqueBounds(image);
    ASSERT_GT(bounds.height(), 10);
    // On every row through the square, the outermost opaque pixels on both sides are the light
    // grey pen (the fill is blue to green, with little red), and the middle is fill.
    auto greyness = [](QRgb c) {
        return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)});
    };
    for (int y = bounds.top() + 4; y <= bounds.bottom() - 4; ++y) {
        std::vector<int> opaque;
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 255) {
                opaque.push_back(x);
            }
        }
        ASSERT_GE(opaque.size(), 6u) << y;
        for (int side : {0, 1}) {
            const QRgb outer = image.pixel(side ? opaque.back() : opaque.front(), y);
            const QRgb next = image.pixel(side ? opaque[opaque.size() - 2] : opaque[1], y);
            const QRgb edge = qRed(outer) >= qRed(next) ? outer : next;
            EXPECT_GE(qRed(edge), 180) << y;
            EXPECT_LE(greyness(edge), 45) << y; // a sliver of fill may share the pixel
        }
        EXPECT_LE(qRed(image.pixel(opaque[opaque.size() / 2], y)), 60) << y;
    }
    // Anti-aliased: the rim has partly transparent pixels.
    int partial = 0;
    for (int x = 0; x < image.width(); ++x) {
        const int a = qAlpha(image.pixel(x, bounds.center().y()));
        partial += a > 0 && a < 255;
    }
    EXPECT_GE(partial, 2);
}

TEST_F(DesktopLyric, ShortLineIsCentredAndLongLineWrapsInsideTheBand) {
    const QFont font = LyricFont();
    const qreal lineHeight = QFontMetricsF(font).height();

    const QImage one = RenderLyricImage(QStringLiteral("你好 Lirvo"), QSize(600, 92));
    const QRect b1 = OpaqueBounds(one);
    ASSERT_FALSE(b1.isNull());
    EXPECT_NEAR(b1.center().x(), 300, 3);
    EXPECT_GE(b1.top(), 3);
    EXPECT_LT(b1.bottom(), 5 + lineHeight + 2);

    const QString longLine = QStringLiteral("这是一句很长很长的歌词它一定放不进一行所以必须折到第二行去显示");
    int lines = 0;
    LyricTextPath(longLine, font, 600, 5, &lines);
    EXPECT_EQ(lines, 2);
    const QImage two = RenderLyricImage(longLine, QSize(600, 92));
    const QRect b2 = OpaqueBounds(two);
    EXPECT_GT(b2.bottom(), 5 + lineHeight + 4); // glyphs on the second line
    EXPECT_LT(b2.bottom(), 92);                 // still inside the band
    EXPECT_GE(b2.left(), 0);
    EXPECT_LT(b2.right(), 599);

    // A damaged file's endless line gives only the lines the band can show.
    const QString endless(100000, QChar(0x6B4C));
    LyricTextPath(endless, font, 600, 5, &lines, 92);
    EXPECT_GE(lines, 2);
    EXPECT_LE(lines, 3);
    EXPECT_FALSE(OpaqueBounds(RenderLyricImage(endless, QSize(600, 92))).isNull());

    // Latin words break at blanks, not inside words.
    const QString words = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda");
    const QPainterPath path = LyricTextPath(words, font, 500, 5, &lines);
    EXPECT_EQ(lines, 2);
    EXPECT_LE(path.boundingRect().right(), 500);
}

TEST_F(DesktopLyric, BandSitsOnTheAvailableAreaAndNeverTakesFocus) {
    EXPECT_EQ(DesktopLyricGeometry(QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)),
              QRect(25, 948, 1870, 92));
    EXPECT_EQ(DesktopLyricGeometry(QRect(1920, 0, 1280, 1024), QRect(1920, 30, 1280, 994)),
              QRect(1945, 932, 1230, 92));

    TZylDeskTopLrc band;
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(band.geometry(), DesktopLyricGeometry(screen->geometry(), screen->availableGeometry()));
    const Qt::WindowFlags flags = band.flags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(band.isVisible());
}

TEST_F(DesktopLyric, RedrawsOnlyWhenTheTextChanges) {
    TZylDeskTopLrc band;
    QSignalSpy drawn(&band, &TZylDeskTopLrc::TextDrawn);
    band.ShowText("Lirvo 不一样的音乐体验");
    band.ShowText("Lirvo 不一样的音乐体验");
    EXPECT_EQ(drawn.count(), 1);
    const QImage first = band.Picture();
    band.ShowText("...");
    EXPECT_EQ(drawn.count(), 2);
    EXPECT_NE(band.Picture(), first);
    EXPECT_EQ(band.ShownText(), "...");
    // Hiding keeps the text; showing the same text again is not a change.
    band.show();
    band.hide();
    band.ShowText("...");
    EXPECT_EQ(drawn.count(), 2);
    EXPECT_FALSE(OpaqueBounds(band.Picture()).isNull());
}

TEST_F(DesktopLyric, InputMaskCoversExactlyTheDrawnPixels) {
    TZylDeskTopLrc band;
    band.ShowText("桌面歌词 Desktop");
    const QImage &picture = band.Picture();
    const QRegion mask = band.mask();
    int glyphPixels = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const bool drawn = qAlpha(picture.pixel(x, y)) != 0;
            glyphPixels += drawn;
            ASSERT_EQ(mask.contains(QPoint(x, y)), drawn) << x << "," << y;
            ASSERT_EQ(band.IsTextPixel(QPoint(x, y)), drawn);
        }
    }
    EXPECT_GT(glyphPixels, 500);
    // On a dense screen the picture has twice the pixels but the mask stays in window units.
    const QImage dense = RenderLyricImage(QStringLiteral("桌面歌词 Desktop"), band.size(), band.Style(), 2.0);
    EXPECT_EQ(dense.size(), band.size() * 2);
    const QRegion denseMask = GlyphRegion(dense);
    EXPECT_TRUE(QRect(QPoint(0, 0), band.size()).contains(denseMask.boundingRect()));
    auto area = [](const QRegion &r) {
        long sum = 0;
        for (const QRect &rect : r) {
            sum += long(rect.width()) * rect.height();
        }
        return sum;
    };
    // The same glyphs: they differ only along the anti-aliased rims.
    EXPECT_LT(area(denseMask ^ mask), area(mask) / 4);
    EXPECT_GT(area(denseMask & mask), area(mask) * 3 / 4);
    // With nothing drawn, no point of the band takes the mouse.
    band.ShowText("");
    EXPECT_FALSE(band.mask().intersects(QRect(QPoint(0, 0), band.size())));
}

TEST_F(DesktopLyric, PointerOverAGlyphIsAnnounced) {
    TZylDeskTopLrc band;
    band.ShowText("■■■");
    QSignalSpy hovered(&band, &TZylDeskTopLrc::TextHovered);
    const QRect bounds = OpaqueBounds(band.Picture());
    auto move = [&](QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, QPointF(pos), QPointF(band.mapToGlobal(pos)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&band, &event);
    };
    move(QPoint(2, 2));
    EXPECT_EQ(hovered.count(), 0);
    move(bounds.center());
    EXPECT_EQ(hovered.count(), 1);
}

} // namespace
