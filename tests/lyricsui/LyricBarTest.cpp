// The control bar over the desktop lyric: placement, the offset buttons on a real timeline,
// showing and hiding by its timers, dragging both windows, closing, and opening the search.

#include "TestSupport.h"

#include "lyrics/core/LrcClass.h"
#include "lyrics/views/Unt_Dlrc.h"
#include "lyrics/views/Unt_DlrcButton.h"
#include "lyrics/views/Unt_Slrc.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace lirvo::lyrics;
using lirvo::testing::App;
using lirvo::testing::WaitUntil;

namespace {

class LyricBar : public lirvo::testing::QtFixture {
protected:
    void SetUp() override {
        App();
        band = std::make_unique<TZylDeskTopLrc>();
        bar = std::make_unique<TZylDlrcButton>(band.get());
        bar->SetOffsetAccess(
            {[this] { return timeline.Offset(); }, [this](int32_t v) { timeline.SetOffset(v); }});
    }

    void Mouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButton button) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    TLrcClass timeline;
    std::unique_ptr<TZylDeskTopLrc> band;
    std::unique_ptr<TZylDlrcButton> bar;
};

TEST_F(LyricBar, LiesOverTheTopOfTheBandAndTakesTheMouseOnlyOnItsStrip) {
    EXPECT_EQ(bar->geometry(), QRect(band->x(), band->y() - 59, band->width(), band->height() + 34));
    const QRect strip = bar->Rectangle1()->geometry();
    EXPECT_EQ(strip.size(), QSize(305, 35));
    EXPECT_NEAR(strip.x() + strip.width() / 2.0, bar->width() / 2.0, 1.0);
    EXPECT_EQ(bar->mask(), QRegion(strip));
    EXPECT_EQ(bar->btnBreak5()->toolTip(), QStringLiteral("向后0.5秒"));
    EXPECT_EQ(bar->BitmapButton2()->toolTip(), QStringLiteral("向前0.5秒"));
    EXPECT_EQ(bar->BitmapButton4()->toolTip(), QStringLiteral("手动搜索歌词"));
    EXPECT_EQ(bar->BitmapButton3()->toolTip(), QStringLiteral("关闭歌词"));
    EXPECT_EQ(bar->BitmapButton3()->geometry(), QRect(267, 6, 33, 23));
    EXPECT_FALSE(bar->isVisible());
    // When the band is placed anew (the screen changed), the bar follows it.
    const QRect home = band->geometry();
    band->setPosition(band->position() + QPoint(40, -70));
    bar->move(bar->pos() + QPoint(40, -70));
    band->PlaceOn(band->screen());
    EXPECT_EQ(band->geometry(), home);
    EXPECT_EQ(bar->geometry(), QRect(home.x(), home.y() - 59, home.width(), home.height() + 34));
}

TEST_F(LyricBar, OffsetButtonsShiftTheTimelineByHalfASecond) {
    timeline.LoadText("[00:01.00]one\r\n[00:03.00]two\r\n");
    bar->btnBreak5()->click();
    bar->btnBreak5()->click();
    EXPECT_EQ(timeline.Offset(), -1000);
    // With -1000 the second line (at 3 s) shows only after 4 s.
    timeline.SetPosition(3500);
    EXPECT_EQ(timeline.CurrentLine(), "one");
    timeline.SetPosition(4100);
    EXPECT_EQ(timeline.CurrentLine(), "two");

    timeline.LoadText("[offset:500]\r\n[00:01.00]one\r\n");
    bar->BitmapButton2()->click();
    EXPECT_EQ(timeline.Offset(), 1000);
}

TEST_F(LyricBar, ShowsFromTheLyricAndHidesByItsTimers) {
    band->ShowText("■■■■");
    band->show();
    bar->tmr_ckTimer();
    EXPECT_TRUE(bar->tmr_hide().isActive());
    // The pointer over a glyph brings the bar up and keeps it.
    Q_EMIT band->TextHovered();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_FALSE(bar->tmr_hide().isActive());
    // A check starts the hide countdown without restarting a running one.
    bar->tmr_ckTimer();
    ASSERT_TRUE(bar->tmr_hide().isActive());
    QThread::msleep(300);
    bar->tmr_ckTimer();
    EXPECT_LE(bar->tmr_hide().remainingTime(), 750);
    // Moving over the strip stops it again.
    Mouse(bar->Rectangle1(), QEvent::MouseMove, QPoint(150, 10), Qt::NoButton);
    EXPECT_FALSE(bar->tmr_hide().isActive());
    bar->tmr_hideTimer();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(band->isVisible());
}

TEST_F(LyricBar, HidesByItselfWhenThePointerRests) {
    bar->tmr_ck().setInterval(60);
    bar->tmr_hide().setInterval(30);
    bar->ShowFromLyric();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_TRUE(WaitUntil([&] { return !bar->isVisible(); }, 2000));
}

TEST_F(LyricBar, DraggingTheStripMovesBarAndBandTogether) {
    const QPoint barStart = bar->pos();
    const QPoint bandStart = band->position();
    QWidget *strip = bar->Rectangle1();
    Mouse(strip, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton);
    EXPECT_TRUE(bar->Dragging());
    Mouse(strip, QEvent::MouseMove, QPoint(130, 10), Qt::LeftButton);
    EXPECT_EQ(bar->pos(), barStart + QPoint(30, 0));
    EXPECT_EQ(band->position(), bandStart + QPoint(30, 0));
    Mouse(strip, QEvent::MouseMove, QPoint(100, 0), Qt::LeftButton);
    EXPECT_EQ(band->position(), bandStart + QPoint(30, -10));
    Mouse(strip, QEvent::MouseButtonRelease, QPoint(100, 0), Qt::LeftButton);
    EXPECT_FALSE(bar->Dragging());
    Mouse(strip, QEvent::MouseMove, QPoint(150, 0), Qt::NoButton);
    EXPECT_EQ(band->position(), bandStart + QPoint(30, -10));
    // The right button does not drag.
    Mouse(strip, QEvent::MouseButtonPress, QPoint(100, 10), Qt::RightButton);
    EXPECT_FALSE(bar->Dragging());
}

TEST_F(LyricBar, CloseHidesBothWindowsAndTellsTheOwner) {
    band->show();
    bar->ShowFromLyric();
    QSignalSpy closed(bar.get(), &TZylDlrcButton::LyricsClosed);
    bar->BitmapButton3()->click();
    EXPECT_FALSE(band->isVisible());
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(LyricBar, SearchOpensModallyWithTheCurrentSong) {
    std::optional<TSongRef> song = TSongRef{"你好", "A/B"};
    TLyricSearchContext context;
    context.CurrentSong = [&] { return song; };
    bar->SetSearchContext(context);
    QString title, singer;
    bool modal = false;
    int opened = 0;
    QObject::connect(bar.get(), &TZylDlrcButton::SearchWindowOpened, [&](TZylSlrc *window) {
        ++opened;
        QTimer::singleShot(0, window, [&, window] {
            bar->btn_shClick(); // a second press while it is open opens no second window
            modal = window->isModal() && window->isVisible();
            title = window->edt_Title()->text();
            singer = window->edt_Singer()->text();
            window->CloseButton1()->click();
        });
    });
    bar->BitmapButton4()->click(); // returns when the window was closed
    EXPECT_TRUE(modal);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(title, QStringLiteral("你好"));
    EXPECT_EQ(singer, QStringLiteral("A/B"));

    song.reset(); // no current row: the boxes stay empty
    title = QStringLiteral("x");
    bar->btn_shClick();
    EXPECT_TRUE(title.isEmpty());
}

} // namespace
