// The band's karaoke sweep, translation row, clean frames and lock: rendered to images and
// checked against the word times, the font's own metrics and the window's pixels.

#include "TestSupport.h"

#include "lyrics/views/LyricRenderer.h"
#include "lyrics/views/Unt_Dlrc.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace lirvo::lyrics;
using lirvo::testing::App;
using lirvo::testing::WaitUntil;

namespace {

constexpr int kWidth = 800;

// The warm fill (orange to yellow) against the plain one (blue to green) and the grey outline.
bool IsWarm(QRgb p) {
    return qAlpha(p) == 255 && qRed(p) > 200 && qBlue(p) < 110;
}

// Right-most column with a warm pixel in rows [top, bottom), -1 when none.
int WarmRight(const QImage &image, int top = 0, int bottom = -1) {
    bottom = bottom < 0 ? image.height() : bottom;
    int right = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (IsWarm(image.pixel(x, y))) {
                right = std::max(right, x);
            }
        }
    }
    return right;
}

int CountWarm(const QImage &image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += IsWarm(image.pixel(x, y));
        }
    }
    return count;
}

// Rows of the picture that hold drawn pixels, as [first, last] runs.
std::vector<std::pair<int, int>> InkRows(const QImage &image) {
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width() && !ink; ++x) {
            ink = qAlpha(image.pixel(x, y)) != 0;
        }
        if (ink && (runs.empty() || runs.back().second != y - 1)) {
            runs.emplace_back(y, y);
        } else if (ink) {
            runs.back().second = y;
        }
    }
    return runs;
}

TBandText Line(const std::string &text, std::vector<TLyricWord> words = {}, int32_t end = -1,
               const std::string &translation = {}) {
    return TBandText{text, translation, std::move(words), end};
}

// Solid squares: the ink of each word is one block, so the sweep's edge shows exactly.
const std::string kSquares = "■■ ■■■■ ■■";
const std::vector<TLyricWord> kSquareWords = {{1000, "■■ "}, {2000, "■■■■ "}, {4000, "■■"}};

class Band : public lirvo::testing::QtFixture {};

TEST_F(Band, SweepGrowsWithTheWordTimesAndStopsWhereTheyEnd) {
    const TBandPicture picture(Line(kSquares, kSquareWords, 5000), kWidth, TZylDeskTopLrc::kHeight, {}, 1.0);
    ASSERT_TRUE(picture.HasSweep());
    // Where each square starts, from the font's own advances: the line is centred.
    const QFontMetricsF metrics(LyricFont());
    const QString text = QString::fromStdString(kSquares);
    const qreal left = (kWidth - metrics.horizontalAdvance(text)) / 2.0;
    auto xAfter = [&](int chars) { return left + metrics.horizontalAdvance(text.left(chars)); };

    EXPECT_EQ(CountWarm(picture.Frame(999)), 0) << "nothing is sung before the first word";
    // Linear through a word's squares (its blank is not swept): half a square into the second
    // word, half-way through it, half-way through the last word.
    auto boundary = [&](int from, int to, qreal share) { return xAfter(from) + share * (xAfter(to) - xAfter(from)); };
    const int32_t times[] = {2250, 3000, 4500};
    const qreal expected[] = {boundary(3, 7, 0.125), boundary(3, 7, 0.5), boundary(8, 10, 0.5)};
    int previous = -1;
    for (int i = 0; i < 3; ++i) {
        const QImage frame = picture.Frame(times[i]);
        const int right = WarmRight(frame);
        EXPECT_GT(right, previous) << "at " << times[i];
        // The warm fill ends at the boundary, less the gap between squares at most.
        EXPECT_NEAR(right, expected[i], 4.0) << "at " << times[i];
        previous = right;
    }
    // Finished: every square is warm, and the plain fill is gone from the line.
    const QImage done = picture.Frame(5000);
    EXPECT_NEAR(WarmRight(done), xAfter(10), 4.0);
    EXPECT_TRUE(picture.SweepDone(5000));
    EXPECT_FALSE(picture.SweepDone(4999));
    // The outline stays the same: sung and plain frames are drawn on exactly the same pixels.
    EXPECT_EQ(GlyphRegion(done), picture.Glyphs());
    EXPECT_EQ(GlyphRegion(picture.Frame(3000)), picture.Glyphs());
}

TEST_F(Band, SweepSurvivesOddWordTimesAndTexts) {
    // Times running backwards, no end for the last word, words not in the text, an empty word.
    const std::vector<TLyricWord> odd = {{3000, "■■"}, {2000, "xyz"}, {2500, ""}, {4000, "■"}};
    const TBandPicture picture(Line("■■ ■", odd), kWidth, TZylDeskTopLrc::kHeight, {}, 1.0);
    int previous = -1;
    for (int32_t t = 2900; t <= 6000; t += 100) {
        const int right = WarmRight(picture.Frame(t));
        EXPECT_GE(right, previous) << t;
        previous = right;
    }
    EXPECT_TRUE(picture.SweepDone(6000));
    // A line wrapped onto two rows: the first row is sung out before the second starts.
    std::vector<TLyricWord> words;
    std::string text;
    for (int i = 0; i < 40; ++i) {
        words.push_back({1000 + i * 100, "■"});
        text += "■";
    }
    const TBandPicture wrapped(Line(text, words, 5000), 400, TZylDeskTopLrc::kHeight, {}, 1.0);
    ASSERT_EQ(wrapped.LineRows(), 2);
    const QImage half = wrapped.Frame(3800); // 28 of 40 squares sung
    const auto rows = InkRows(wrapped.Plain());
    ASSERT_GE(rows.size(), 2u);
    EXPECT_GT(WarmRight(half, rows[0].first, rows[0].second + 1), 300) << "first row sung out";
    const int second = WarmRight(half, rows[1].first, rows[1].second + 1);
    EXPECT_GT(second, 0);
    EXPECT_LT(second, 300);
}

TEST_F(Band, PlainLineHasNoSweepAndIgnoresTheClock) {
    App();
    TZylDeskTopLrc band;
    band.show();
    band.ShowLine(Line("晨光 ■■■"));
    QSignalSpy drawn(&band, &TZylDeskTopLrc::TextDrawn);
    for (int t = 0; t < 3000; t += 50) {
        band.SetPlayClock(t, true);
    }
    EXPECT_FALSE(band.Sweeping());
    EXPECT_EQ(drawn.count(), 0);
    EXPECT_EQ(CountWarm(band.Picture()), 0);
    EXPECT_FALSE(band.Prepared().HasSweep());
}

TEST_F(Band, SweepRunsOnlyWhilePlayingAndFollowsPauseAndSeek) {
    TZylDeskTopLrc band;
    band.show();
    band.SetPlayClock(900, true);
    band.ShowLine(Line(kSquares, kSquareWords, 5000));
    EXPECT_TRUE(band.Sweeping());
    const int drawsBefore = band.DrawCount();
    // It moves by itself between clock reports.
    EXPECT_TRUE(WaitUntil([&] { return band.ClockNow() >= 1150; }, 2000));
    EXPECT_TRUE(WaitUntil([&] { return WarmRight(band.Picture()) > 0; }, 2000));
    EXPECT_EQ(band.DrawCount(), drawsBefore) << "the sweep moves without laying out the line again";

    // Paused: the sweep stands where it is.
    band.SetPlayClock(3000, false);
    EXPECT_FALSE(band.Sweeping());
    const QImage paused = band.Picture();
    QThread::msleep(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(band.ClockNow(), 3000);
    EXPECT_EQ(band.Picture(), paused);

    // A seek, backwards and forwards, puts it at the new place at once.
    const TBandPicture reference(Line(kSquares, kSquareWords, 5000), band.width(), TZylDeskTopLrc::kHeight,
                                 band.Style(), band.devicePixelRatio());
    band.SetPlayClock(1500, false);
    EXPECT_EQ(WarmRight(band.Picture()), WarmRight(reference.Frame(1500)));
    EXPECT_LT(WarmRight(band.Picture()), WarmRight(paused));
    band.SetPlayClock(4500, false);
    EXPECT_EQ(WarmRight(band.Picture()), WarmRight(reference.Frame(4500)));

    // Playing past the end stops the timer; hidden, it never runs.
    band.SetPlayClock(6000, true);
    EXPECT_FALSE(band.Sweeping());
    band.SetPlayClock(1000, true);
    EXPECT_TRUE(band.Sweeping());
    band.hide();
    EXPECT_FALSE(band.Sweeping());

    // Without news of the clock the band stops counting on (playback stopped).
    band.show();
    band.SetPlayClock(1000, true);
    QThread::msleep(TZylDeskTopLrc::kClockStaleMs + 100);
    EXPECT_LE(band.ClockNow(), 1000 + TZylDeskTopLrc::kClockStaleMs);
}

TEST_F(Band, ClockReportPaintsItsFrameInTheSameCall) {
    // A sweep frame is put on the window by the call that moves it (the tick's or the frame
    // timer's), not left for another wake-up of the event loop.
    TZylDeskTopLrc band;
    band.show();
    ASSERT_TRUE(WaitUntil([&] { return band.isExposed(); }));
    band.SetPlayClock(1000, false);
    band.ShowLine(Line(kSquares, kSquareWords, 5000));
    ASSERT_TRUE(WaitUntil([&] { return band.PaintCount() > 0; }));
    QCoreApplication::processEvents();
    const int paints = band.PaintCount();
    band.SetPlayClock(2500, true);
    EXPECT_EQ(band.PaintCount(), paints + 1);
    EXPECT_TRUE(band.Sweeping());
    // The same sung area: nothing to paint.
    band.SetPlayClock(2500, false);
    EXPECT_EQ(band.PaintCount(), paints + 1);
    // Hidden, nothing is painted; shown again, the whole window is.
    band.hide();
    band.SetPlayClock(3500, false);
    EXPECT_EQ(band.PaintCount(), paints + 1);
    band.show();
    ASSERT_TRUE(WaitUntil([&] { return band.PaintCount() > paints + 1; }));
    EXPECT_EQ(WarmRight(band.Picture()), WarmRight(band.Prepared().Frame(3500)));
}

TEST_F(Band, PicturesCutToTheGlyphsMatchTheLineDrawnOnTheWholeBand) {
    // The pictures keep only the glyphs' rectangle; thick outlines with mitred corners reach
    // furthest past the glyph paths, and nothing of them may be cut off.
    TLyricStyle thick;
    thick.OutlineWidth = 9;
    for (const TLyricStyle &style : {TLyricStyle{}, thick}) {
        for (const std::string &text : {std::string("晨光 ■■■ Lirvo"), std::string("W"),
                                        std::string("这是一句很长很长的歌词它一定放不进一行所以必须折到第二行去显示")}) {
            for (const qreal scale : {1.0, 2.0}) {
                const TBandPicture picture(Line(text), kWidth, TZylDeskTopLrc::kHeight, style, scale);
                const QImage whole = RenderLyricImage(QString::fromStdString(text),
                                                      QSize(kWidth, picture.Height()), style, scale);
                EXPECT_EQ(picture.Plain(), whole) << text << " at " << scale;
                EXPECT_EQ(picture.Frame(0), whole) << text << " at " << scale;
            }
        }
        // A word-timed line: before the sweep it is the plain line, once sung the line in
        // the warm fill, each with its whole outline.
        TLyricStyle warm = style;
        warm.FillColor1 = style.SungColor1;
        warm.FillColor2 = style.SungColor2;
        for (const qreal scale : {1.0, 2.0}) {
            const TBandPicture timed(Line(kSquares, kSquareWords, 5000), kWidth, TZylDeskTopLrc::kHeight, style,
                                     scale);
            const QImage plain = TBandPicture(Line(kSquares), kWidth, TZylDeskTopLrc::kHeight, style, scale).Plain();
            const QImage sung = TBandPicture(Line(kSquares), kWidth, TZylDeskTopLrc::kHeight, warm, scale).Plain();
            EXPECT_EQ(timed.Plain(), plain) << scale;
            EXPECT_EQ(timed.Frame(0), plain) << scale;
            EXPECT_EQ(timed.Frame(6000), sung) << scale;
            EXPECT_NE(plain, sung);
        }
    }
}

TEST_F(Band, LineDrawnPieceByPieceHasThePixelsOfTheWholePath) {
    // The outline and fill are drawn a few glyphs at a time, split where a column of pixels
    // separates them; the pixels must be those of the whole path drawn at once.
    TLyricStyle thick;
    thick.OutlineWidth = 9;
    thick.Alpha = 160;
    for (const TLyricStyle &style : {TLyricStyle{}, thick}) {
        for (const QString &text : {QStringLiteral("回   8   口   Lirvo     ■■     晨光"),
                                    QStringLiteral("这是一句很长很长的歌词它一定放不进一行所以必须折到第二行去显示 回回 8")}) {
            const QPainterPath path = LyricTextPath(text, LyricFont(style), kWidth, style.Top);
            EXPECT_GT(LyricInk(path, style).Strips.size(), 10u) << text.toStdString();
            for (const qreal scale : {1.0, 2.0}) {
                QImage pieces(QSize(kWidth, 200) * scale, QImage::Format_ARGB32_Premultiplied);
                pieces.setDevicePixelRatio(scale);
                pieces.fill(Qt::transparent);
                QImage whole = pieces;
                {
                    QPainter painter(&pieces);
                    PaintLyricPath(painter, path, style);
                }
                {
                    QPainter painter(&whole);
                    painter.setRenderHint(QPainter::Antialiasing, true);
                    painter.setOpacity(style.Alpha / 255.0);
                    painter.strokePath(path, QPen(style.OutlineColor, style.OutlineWidth, Qt::SolidLine,
                                                  Qt::FlatCap, Qt::MiterJoin));
                    QLinearGradient fill(0, style.Top, 0, style.Top + style.FontSize);
                    fill.setColorAt(0, style.FillColor1);
                    fill.setColorAt(1, style.FillColor2);
                    fill.setSpread(QGradient::ReflectSpread);
                    painter.fillPath(path, fill);
                }
                EXPECT_EQ(pieces, whole) << text.toStdString() << " at " << scale;
            }
        }
    }
    // Each strip holds only what reaches into it, and no strip is made for empty space.
    QPainterPath boxes;
    boxes.addRect(0, 0, 40, 40);
    boxes.addRect(10, 10, 20, 20); // a hole
    boxes.addRect(100, 0, 10, 40);
    const std::vector<TInkStrip> strips = InkStrips(boxes, 3, 32);
    ASSERT_EQ(strips.size(), 3u);
    EXPECT_EQ(strips[0].Clip, QRect(-3, -3, 32, 47));
    EXPECT_EQ(strips[1].Path.elementCount(), 10);
    EXPECT_EQ(strips[2].Path.boundingRect(), QRectF(100, 0, 10, 40));
}

TEST_F(Band, OffsetShiftMovesTheSweepWithoutANewPicture) {
    TZylDeskTopLrc band;
    band.ShowLine(Line(kSquares, kSquareWords, 5000));
    band.SetPlayClock(3000, false);
    const int before = WarmRight(band.Picture());
    const int draws = band.DrawCount();
    // The same words half a second earlier on the play clock.
    std::vector<TLyricWord> earlier = kSquareWords;
    for (TLyricWord &w : earlier) {
        w.Start -= 500;
    }
    band.ShowLine(Line(kSquares, earlier, 4500));
    EXPECT_EQ(band.DrawCount(), draws);
    EXPECT_GT(WarmRight(band.Picture()), before);
}

TEST_F(Band, TranslationGoesInASmallerSecondRowAndTheBandKeepsItsBottomEdge) {
    // One row of the line: the translation fits under it in the band's usual height.
    const TBandPicture one(Line("晨光 ■■■", {}, -1, "Morning light ■■■"), kWidth, TZylDeskTopLrc::kHeight, {}, 1.0);
    EXPECT_EQ(one.LineRows(), 1);
    EXPECT_EQ(one.TranslationRows(), 1);
    const auto rows = InkRows(one.Plain());
    ASSERT_EQ(rows.size(), 2u) << "two separate rows of ink";
    const int lineHeight = rows[0].second - rows[0].first + 1;
    const int translationHeight = rows[1].second - rows[1].first + 1;
    EXPECT_NEAR(double(translationHeight) / lineHeight, 0.7, 0.15);
    EXPECT_LE(one.Height(), TZylDeskTopLrc::kHeight + 0);
    const TBandPicture plain(Line("晨光 ■■■"), kWidth, TZylDeskTopLrc::kHeight, {}, 1.0);
    EXPECT_EQ(InkRows(plain.Plain()).size(), 1u);
    EXPECT_EQ(plain.TranslationRows(), 0);

    // A line that wraps and a translation: the band grows upwards.
    TZylDeskTopLrc band;
    const QRect before = band.geometry();
    QSignalSpy placed(&band, &TZylDeskTopLrc::Placed);
    const std::string longLine = "这是一句很长很长的歌词它一定放不进一行所以必须折到第二行去显示而且还要更长一点";
    band.ShowLine(Line(longLine, {}, -1, "A translation under a line of two rows"));
    EXPECT_EQ(band.Prepared().LineRows(), 2);
    EXPECT_GT(band.height(), TZylDeskTopLrc::kHeight);
    EXPECT_EQ(band.geometry().bottom(), before.bottom());
    EXPECT_EQ(band.x(), before.x());
    EXPECT_GE(placed.count(), 1);
    const QImage picture = band.Picture();
    EXPECT_EQ(picture.height(), band.height());
    const auto three = InkRows(picture);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_LT(three.back().second, band.height());
    // The mask covers the glyphs of every row, translation included.
    const QRegion mask = band.mask();
    for (const auto &run : three) {
        bool covered = false;
        const int y = (run.first + run.second) / 2;
        for (int x = 0; x < picture.width() && !covered; ++x) {
            covered = qAlpha(picture.pixel(x, y)) != 0 && mask.contains(QPoint(x, y));
        }
        EXPECT_TRUE(covered) << "row at " << y;
    }
    EXPECT_EQ(mask, band.Prepared().Glyphs());
    // Back to a single line: the usual height, the same bottom edge.
    band.ShowText("晨光");
    EXPECT_EQ(band.height(), TZylDeskTopLrc::kHeight);
    EXPECT_EQ(band.geometry(), before);
}

TEST_F(Band, NewLineLeavesNoPixelOfTheOldOne) {
    TZylDeskTopLrc band;
    band.show();
    ASSERT_TRUE(WaitUntil([&] { return band.isExposed(); }));
    const int paints = band.PaintCount();
    band.ShowText("■■■■■■■■■■■■■■■■ 第一行");
    const QImage old = band.Picture();
    const QRegion first = band.Prepared().Glyphs();
    ASSERT_TRUE(WaitUntil([&] { return band.PaintCount() > paints; })) << "the first line is painted";

    band.ShowText("二");
    const QRegion second = band.Prepared().Glyphs();
    ASSERT_GT((first - second).rectCount(), 0);
    // Until a paint has cleared the old glyphs, the window's shape keeps them, so the paint
    // reaches those pixels; afterwards the shape is the new glyphs alone.
    EXPECT_TRUE((first - band.mask()).isEmpty());
    ASSERT_TRUE(WaitUntil([&] { return band.mask() == second; })) << "the shape shrinks after the paint";

    // A paint over the window's old pixels leaves exactly the new picture, for a whole frame
    // and for any part of it.
    for (const QRegion &region : {QRegion(QRect(QPoint(0, 0), band.size())), QRegion(first.boundingRect())}) {
        QImage window = old.copy();
        {
            QPainter painter(&window);
            band.PaintFrame(painter, region);
        }
        const QImage expected = band.Picture();
        int stale = 0;
        for (const QRect &rect : region) {
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    stale += window.pixel(x, y) != expected.pixel(x, y);
                }
            }
        }
        EXPECT_EQ(stale, 0);
    }
}

TEST_F(Band, LockedBandTakesNoInputAndAnnouncesNoHover) {
    TZylDeskTopLrc band;
    band.ShowText("■■■");
    QSignalSpy hovered(&band, &TZylDeskTopLrc::TextHovered);
    const QPoint onGlyph = band.Prepared().Glyphs().boundingRect().center();
    auto move = [&] {
        QMouseEvent event(QEvent::MouseMove, QPointF(onGlyph), QPointF(band.mapToGlobal(onGlyph)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&band, &event);
    };
    band.SetLocked(true);
    EXPECT_TRUE(band.flags().testFlag(Qt::WindowTransparentForInput));
    move();
    EXPECT_EQ(hovered.count(), 0);
    band.SetLocked(false);
    EXPECT_FALSE(band.flags().testFlag(Qt::WindowTransparentForInput));
    move();
    EXPECT_EQ(hovered.count(), 1);
}

TEST_F(Band, DoubleDensityIsDrawnAtDeviceResolution) {
    // At two device pixels per logical pixel the picture must equal the line drawn at twice the
    // size, not a magnified copy of the small one.
    const TBandText line = Line(kSquares + " 晨光 Lirvo", kSquareWords, 5000, "Morning");
    const TBandPicture dense(line, kWidth, TZylDeskTopLrc::kHeight, {}, 2.0);
    TLyricStyle big;
    big.FontSize *= 2;
    big.Top *= 2;
    big.OutlineWidth *= 2;
    const TBandPicture large(line, kWidth * 2, TZylDeskTopLrc::kHeight * 2, big, 1.0);
    const QImage a = dense.Frame(2500);
    const QImage b = large.Frame(2500);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a.devicePixelRatio(), 2.0);
    long differ = 0, ink = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            ink += qAlpha(b.pixel(x, y)) != 0;
            differ += std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 64;
        }
    }
    // The small picture magnified, for comparison.
    const QImage small = TBandPicture(line, kWidth, TZylDeskTopLrc::kHeight, {}, 1.0).Frame(2500);
    const QImage magnified = small.scaled(b.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    long differMagnified = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            differMagnified += std::abs(qAlpha(magnified.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 64;
        }
    }
    EXPECT_GT(ink, 5000);
    // Glyph advances round a little differently at the two sizes, so the pictures are close,
    // not equal; the magnified one is much further off.
    EXPECT_LT(differ, differMagnified * 2 / 3);
    // Edges one device pixel wide: on a row through the squares, each edge has at most two
    // partly transparent pixels.
    const int y = InkRows(a).front().first + 20;
    int partial = 0, edges = 0;
    for (int x = 1; x < a.width(); ++x) {
        const int alpha = qAlpha(a.pixel(x, y));
        partial += alpha > 0 && alpha < 255;
        edges += (qAlpha(a.pixel(x - 1, y)) == 0) != (alpha == 0);
    }
    ASSERT_GT(edges, 4);
    EXPECT_LE(partial, edges * 2);
    // The magnified picture has edges twice as soft.
    int partialMagnified = 0;
    for (int x = 1; x < magnified.width(); ++x) {
        const int alpha = qAlpha(magnified.pixel(x, y));
        partialMagnified += alpha > 0 && alpha < 255;
    }
    EXPECT_LT(partial, partialMagnified);
}

} // namespace
