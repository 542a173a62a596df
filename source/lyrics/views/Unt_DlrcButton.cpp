#include "lyrics/views/Unt_DlrcButton.h"

#include "lyrics/views/ButtonPictures.h"
#include "lyrics/views/Unt_Dlrc.h"
#include "lyrics/views/Unt_Slrc.h"
#include "lyrics/views/X11WindowHints.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <cmath>

namespace lirvo::lyrics {

namespace {

constexpr int kStripHeight = 55; // the top strip holding the black rectangle
constexpr int kRectWidth = 305;
constexpr int kRectHeight = 35;
constexpr int kButtonWidth = 33;
constexpr int kButtonHeight = 23;
constexpr int kPictureSize = 20;
constexpr int kAboveLyric = 59;  // the bar's top lies this far above the band's top
constexpr int kExtraHeight = 34; // the bar is this much higher than the band

// A rectangle of the bar: paints its fill and hands the mouse to the bar.
class TBarRectangle : public QWidget {
public:
    TBarRectangle(TZylDlrcButton *bar, QWidget *parent, QColor fill, qreal radius)
        : QWidget(parent), m_bar(bar), m_fill(fill), m_radius(radius) {
        setMouseTracking(true);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (m_fill.alpha() == 0) {
            return;
        }
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing, m_radius > 0);
        p.setPen(Qt::NoPen);
        p.setBrush(m_fill);
        p.drawRoundedRect(QRectF(rect()), m_radius, m_radius);
    }
    void mousePressEvent(QMouseEvent *e) override { m_bar->Rectangle1MouseDown(e->button(), e->position()); }
    void mouseMoveEvent(QMouseEvent *e) override { m_bar->Rectangle1MouseMove(e->position()); }
    void mouseReleaseEvent(QMouseEvent *e) override { m_bar->Rectangle1MouseUp(e->button()); }

private:
    TZylDlrcButton *m_bar;
    QColor m_fill;
    qreal m_radius;
};

QToolButton *MakeButton(QWidget *parent, const char *name, int x, TBarPicture picture, const QString &hint) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, 6, kButtonWidth, kButtonHeight);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(BarPicture(picture, kPictureSize));
    button->setIconSize(QSize(kPictureSize - 2, kPictureSize - 2)); // 2-unit margin
    button->setToolTip(hint);
    button->setCursor(Qt::ArrowCursor);
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"
                                         "QToolButton:hover { background: rgba(255,255,255,40); "
                                         "border-radius: 3px; }"));
    return button;
}

} // namespace

TZylDlrcButton::TZylDlrcButton(TZylDeskTopLrc *lyricWindow, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_lyric(lyricWindow) {
    setObjectName(QStringLiteral("ZylDlrcButton"));
    setWindowTitle(QStringLiteral("lirvo 桌面歌词操作"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setMouseTracking(true);
    setCursor(Qt::SizeAllCursor);

    m_rect1 = new TBarRectangle(this, this, QColor(0, 0, 0), 0);
    m_rect1->setObjectName(QStringLiteral("Rectangle1"));

    m_btnBreak5 = MakeButton(m_rect1, "btnBreak5", 11, TBarPicture::Later, QStringLiteral("向后0.5秒"));
    m_btnForward5 =
        MakeButton(m_rect1, "BitmapButton2", 42, TBarPicture::Earlier, QStringLiteral("向前0.5秒"));
    m_btnSearch =
        MakeButton(m_rect1, "BitmapButton4", 232, TBarPicture::Search, QStringLiteral("手动搜索歌词"));
    m_btnClose = MakeButton(m_rect1, "BitmapButton3", 267, TBarPicture::Close, QStringLiteral("关闭歌词"));
    connect(m_btnBreak5, &QToolButton::clicked, this, &TZylDlrcButton::btn_b5Click);
    connect(m_btnForward5, &QToolButton::clicked, this, &TZylDlrcButton::btn_f5Click);
    connect(m_btnSearch, &QToolButton::clicked, this, &TZylDlrcButton::btn_shClick);
    connect(m_btnClose, &QToolButton::clicked, this, &TZylDlrcButton::btn_closeClick);
    for (QWidget *child : {static_cast<QWidget *>(m_btnBreak5), static_cast<QWidget *>(m_btnForward5),
                           static_cast<QWidget *>(m_btnSearch), static_cast<QWidget *>(m_btnClose)}) {
        child->installEventFilter(this);
    }

    m_tmrHide.setObjectName(QStringLiteral("tmr_hide"));
    m_tmrHide.setInterval(1000);
    connect(&m_tmrHide, &QTimer::timeout, this, &TZylDlrcButton::tmr_hideTimer);
    m_tmrCk.setObjectName(QStringLiteral("tmr_ck"));
    m_tmrCk.setInterval(2000);
    connect(&m_tmrCk, &QTimer::timeout, this, &TZylDlrcButton::tmr_ckTimer);
    m_tmrCk.start();

    if (m_lyric) {
        connect(m_lyric, &TZylDeskTopLrc::TextHovered, this, &TZylDlrcButton::ShowFromLyric);
        connect(m_lyric, &TZylDeskTopLrc::Placed, this, &TZylDlrcButton::FollowLyricWindow);
    }
    FollowLyricWindow();
}

TZylDlrcButton::~TZylDlrcButton() = default;

void TZylDlrcButton::FollowLyricWindow() {
    if (m_lyric) {
        setGeometry(m_lyric->x(), m_lyric->y() - kAboveLyric, m_lyric->width(),
                    m_lyric->height() + kExtraHeight);
    }
    LayoutChildren();
}

void TZylDlrcButton::btn_b5Click() {
    if (m_offset.Offset && m_offset.SetOffset) {
        m_offset.SetOffset(m_offset.Offset() - kOffsetStepMs);
    }
}

void TZylDlrcButton::btn_f5Click() {
    if (m_offset.Offset && m_offset.SetOffset) {
        m_offset.SetOffset(m_offset.Offset() + kOffsetStepMs);
    }
}

void TZylDlrcButton::btn_shClick() {
    if (m_searchWindow) {
        // One search window at a time: bring the open one forward.
        m_searchWindow->raise();
        m_searchWindow->activateWindow();
        return;
    }
    // With no current row the window opens with empty boxes; the user can still type.
    const std::optional<TSongRef> song = m_search.CurrentSong ? m_search.CurrentSong() : std::nullopt;
    TZylSlrc window(m_search);
    if (song) {
        window.SetSearchTexts(song->Title, song->Songer);
    }
    m_searchWindow = &window;
    Q_EMIT SearchWindowOpened(&window);
    window.exec();
}

void TZylDlrcButton::btn_closeClick() {
    if (m_lyric) {
        m_lyric->hide();
    }
    hide();
    Q_EMIT LyricsClosed();
}

void TZylDlrcButton::tmr_ckTimer() {
    if (!m_tmrHide.isActive()) {
        m_tmrHide.start();
    }
}

void TZylDlrcButton::tmr_hideTimer() {
    m_tmrHide.stop();
    hide();
}

void TZylDlrcButton::ShowFromLyric() {
    m_tmrHide.stop();
    if (!isVisible()) {
        show();
        raise();
    }
}

void TZylDlrcButton::Rectangle1MouseDown(Qt::MouseButton button, const QPointF &pos) {
    m_dragX = static_cast<int>(std::lround(pos.x()));
    m_dragY = static_cast<int>(std::lround(pos.y()));
    if (button == Qt::LeftButton) {
        m_dragging = true;
    }
}

void TZylDlrcButton::Rectangle1MouseMove(const QPointF &pos) {
    if (m_dragging) {
        const int dx = static_cast<int>(std::lround(pos.x())) - m_dragX;
        const int dy = static_cast<int>(std::lround(pos.y())) - m_dragY;
        if (dx != 0 || dy != 0) {
            move(x() + dx, y() + dy);
            if (m_lyric) {
                m_lyric->setPosition(m_lyric->x() + dx, m_lyric->y() + dy);
            }
        }
    }
    m_tmrHide.stop();
}

void TZylDlrcButton::Rectangle1MouseUp(Qt::MouseButton button) {
    if (button == Qt::LeftButton) {
        m_dragging = false;
    }
}

void TZylDlrcButton::LayoutChildren() {
    const int w = width();
    m_rect1->setGeometry((w - kRectWidth) / 2, (kStripHeight - kRectHeight) / 2, kRectWidth, kRectHeight);
    // Only the black strip takes the mouse: the transparent rest must not block the desktop
    // (nor the lyric glyphs under it).
    setMask(QRegion(m_rect1->geometry()));
}

void TZylDlrcButton::showEvent(QShowEvent *event) {
    SkipTaskbarAndPager(windowHandle());
    QWidget::showEvent(event);
}

bool TZylDlrcButton::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseMove:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        m_tmrHide.stop();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TZylDlrcButton::event(QEvent *event) {
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseMove:
        m_tmrHide.stop();
        break;
    case QEvent::Resize:
        LayoutChildren();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

} // namespace lirvo::lyrics
