#pragma once
// The desktop lyric control bar: a translucent, always-on-top strip laid over the top of the
// desktop lyric band. It appears while the pointer is over the lyric text and hides itself
// 1 to 3 seconds after the pointer leaves or rests. Its black rectangle holds four buttons:
// lyric 0.5 s later, 0.5 s earlier, manual lyric search, close the desktop lyric. Dragging the
// rectangle moves the bar and the lyric band together. Only the rectangle takes the mouse; the
// rest of the bar lets clicks through. GUI thread only.

#include "lyrics/views/LyricSearchContext.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QToolButton;

namespace lirvo::lyrics {

class TZylDeskTopLrc;
class TZylSlrc;

class TZylDlrcButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOffsetStepMs = 500;

    // Creates the bar hidden, placed over `lyricWindow` (which must outlive the bar), and
    // connects to the band's hover signal.
    explicit TZylDlrcButton(TZylDeskTopLrc *lyricWindow, QWidget *parent = nullptr);
    ~TZylDlrcButton() override;

    void SetOffsetAccess(TLyricOffsetAccess access) { m_offset = std::move(access); }
    void SetSearchContext(TLyricSearchContext context) { m_search = std::move(context); }
    const TLyricSearchContext &SearchContext() const { return m_search; }

    // Places the bar relative to the lyric band again (after the band was placed anew).
    void FollowLyricWindow();

    // The bar's actions, also reached through its buttons and timers.
    void btn_b5Click();    // lyric 0.5 s later
    void btn_f5Click();    // lyric 0.5 s earlier
    void btn_shClick();    // modal search window filled from the current song
    void btn_closeClick(); // hides the band and the bar, emits LyricsClosed
    void tmr_ckTimer();    // starts tmr_hide unless it runs
    void tmr_hideTimer();  // hides the bar
    // The pointer is over the lyric text: show the bar and stop tmr_hide.
    void ShowFromLyric();

    QTimer &tmr_ck() { return m_tmrCk; }
    QTimer &tmr_hide() { return m_tmrHide; }
    bool Dragging() const { return m_dragging; }

    // The black button strip (dragging starts here) and the buttons, for the glue and tests.
    QWidget *Rectangle1() const { return m_rect1; }
    QToolButton *btnBreak5() const { return m_btnBreak5; }
    QToolButton *BitmapButton2() const { return m_btnForward5; }
    QToolButton *BitmapButton4() const { return m_btnSearch; }
    QToolButton *BitmapButton3() const { return m_btnClose; }

    // Mouse handling of the rectangles, in the rectangle's coordinates.
    void Rectangle1MouseDown(Qt::MouseButton button, const QPointF &pos);
    void Rectangle1MouseMove(const QPointF &pos);
    void Rectangle1MouseUp(Qt::MouseButton button);

Q_SIGNALS:
    // The user closed the desktop lyric from the bar ("显示歌词" must be unticked).
    void LyricsClosed();
    // A search window was created and is about to run modally (before exec()).
    void SearchWindowOpened(lirvo::lyrics::TZylSlrc *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void LayoutChildren();

    QPointer<TZylDeskTopLrc> m_lyric;
    QPointer<TZylSlrc> m_searchWindow; // while one is open
    TLyricOffsetAccess m_offset;
    TLyricSearchContext m_search;
    QTimer m_tmrCk;
    QTimer m_tmrHide;
    QWidget *m_rect1 = nullptr;
    QToolButton *m_btnBreak5 = nullptr;
    QToolButton *m_btnForward5 = nullptr;
    QToolButton *m_btnSearch = nullptr;
    QToolButton *m_btnClose = nullptr;
    bool m_dragging = false;
    int m_dragX = 0;
    int m_dragY = 0;
};

} // namespace lirvo::lyrics
