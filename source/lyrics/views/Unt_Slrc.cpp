#include "lyrics/views/Unt_Slrc.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/views/ButtonPictures.h"

#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <filesystem>
#include <system_error>

namespace lirvo::lyrics {

namespace {

constexpr int kWindowWidth = 398;
constexpr int kWindowHeight = 238;
constexpr int kInset = 10;
constexpr int kTopArea = 89;
constexpr int kRowHeight = 25;
// Longest file name the file systems of this platform take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

bool IsBlank(const std::string &text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

QLabel *RowLabel(QWidget *parent, const char *name, const QString &text, const char *colour) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(false);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(QLatin1String(colour)));
    return label;
}

// Lets the window be dragged by its panel.
class TWindowDragger : public QObject {
public:
    explicit TWindowDragger(QWidget *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *e = static_cast<QMouseEvent *>(event);
            if (e->button() == Qt::LeftButton) {
                m_grab = e->globalPosition().toPoint() - m_window->pos();
                m_dragging = true;
            }
        } else if (event->type() == QEvent::MouseMove && m_dragging) {
            auto *e = static_cast<QMouseEvent *>(event);
            m_window->move(e->globalPosition().toPoint() - m_grab);
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_dragging = false;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_window;
    QPoint m_grab;
    bool m_dragging = false;
};

} // namespace

struct TZylSlrc::Workers {
    TLrcListThread *ListThread = nullptr;
    TGetLrcTextThread *GetThread = nullptr;
};

TZylSlrc::TZylSlrc(TLyricSearchContext context, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_context(std::move(context)),
      m_workers(std::make_shared<Workers>()) {
    setObjectName(QStringLiteral("ZylSlrc"));
    setWindowTitle(QStringLiteral("歌词搜索"));
    setModal(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kWindowWidth, kWindowHeight);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);

    m_main = new QFrame(this);
    m_main->setObjectName(QStringLiteral("SMain"));
    m_main->setGeometry(kInset, kInset, kWindowWidth - 2 * kInset, kWindowHeight - 2 * kInset);
    m_main->setStyleSheet(QStringLiteral(
        "#SMain { background: #000000; }"
        "QLabel { color: #FFFFFF; }"
        "QLineEdit { background: #1E1E1E; color: #FFFFFF; border: 1px solid #4A4A4A; padding: 1px 3px; }"
        "QLineEdit:focus { border-color: #92FB93; }"
        "QPushButton { background: #2A2A2A; color: #FFFFFF; border: 1px solid #4A4A4A; }"
        "QPushButton:hover { border-color: #92FB93; }"
        "QListWidget { background: #000000; color: #BCB9B9; border: none; "
        "alternate-background-color: #141414; }"
        "QListWidget::item:selected { background: #2F4F30; }"
        "QListWidget::item:hover { background: #1F2F20; }"
        "QScrollBar:vertical { width: 8px; background: #000000; }"
        "QScrollBar::handle:vertical { background: #4A4A4A; min-height: 16px; }"
        "QScrollBar:horizontal { height: 8px; background: #000000; }"
        "QScrollBar::handle:horizontal { background: #4A4A4A; min-width: 16px; }"
        "QToolButton { border: none; background: transparent; }"));
    auto *glow = new QGraphicsDropShadowEffect(m_main);
    QColor glowColour(0x92, 0xFB, 0x93);
    glowColour.setAlphaF(0.9f);
    glow->setColor(glowColour);
    glow->setOffset(0, 0);
    glow->setBlurRadius(kInset * 0.9 * 2);
    m_main->setGraphicsEffect(glow);
    m_main->installEventFilter(new TWindowDragger(this));

    m_close = new QToolButton(m_main);
    m_close->setObjectName(QStringLiteral("CloseButton1"));
    m_close->setGeometry(349, 1, 20, 20);
    m_close->setIcon(BarPicture(TBarPicture::Close, 16));
    m_close->setIconSize(QSize(14, 14));
    m_close->setToolTip(QStringLiteral("关闭"));
    connect(m_close, &QToolButton::clicked, this, &QDialog::reject);

    auto *label1 = new QLabel(QStringLiteral("歌曲名："), m_main);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(16, 28, 68, 15);
    label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *label2 = new QLabel(QStringLiteral("歌手："), m_main);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(16, 58, 68, 15);
    label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_title = new QLineEdit(m_main);
    m_title->setObjectName(QStringLiteral("edt_Title"));
    m_title->setGeometry(84, 25, 190, 22);
    m_singer = new QLineEdit(m_main);
    m_singer->setObjectName(QStringLiteral("edt_Singer"));
    m_singer->setGeometry(84, 55, 190, 22);

    m_search = new QPushButton(QStringLiteral("搜索"), m_main);
    m_search->setObjectName(QStringLiteral("btn_S"));
    m_search->setGeometry(289, 25, 80, 22);
    m_search->setAutoDefault(false);
    connect(m_search, &QPushButton::clicked, this, &TZylSlrc::btn_SClick);
    m_download = new QPushButton(QStringLiteral("下载歌词"), m_main);
    m_download->setObjectName(QStringLiteral("btn_down"));
    m_download->setGeometry(289, 55, 80, 22);
    m_download->setAutoDefault(false);
    connect(m_download, &QPushButton::clicked, this, &TZylSlrc::lv_1DblClick);
    // Enter in a search box searches.
    connect(m_title, &QLineEdit::returnPressed, this, [this] {
        if (!Searching()) {
            btn_SClick();
        }
    });
    connect(m_singer, &QLineEdit::returnPressed, this, [this] {
        if (!Searching()) {
            btn_SClick();
        }
    });

    m_list = new QListWidget(m_main);
    m_list->setObjectName(QStringLiteral("lv_1"));
    m_list->setGeometry(0, kTopArea, m_main->width(), m_main->height() - kTopArea);
    m_list->setMouseTracking(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { lv_1DblClick(); });

    m_fade = new QPropertyAnimation(this, "windowOpacity", this);
    m_fade->setStartValue(0.0);
    m_fade->setEndValue(1.0);
    m_fade->setDuration(800);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    }
}

TZylSlrc::~TZylSlrc() {
    // Running workers are detached: no row and no finished handler reaches this window again.
    if (m_workers->ListThread) {
        m_workers->ListThread->Detach();
        m_workers->ListThread = nullptr;
    }
    if (m_workers->GetThread) {
        m_workers->GetThread->Detach();
        m_workers->GetThread = nullptr;
    }
}

void TZylSlrc::SetSearchTexts(const std::string &title, const std::string &singer) {
    m_title->setText(QString::fromStdString(title));
    m_singer->setText(QString::fromStdString(singer));
}

bool TZylSlrc::Searching() const {
    return m_workers->ListThread != nullptr;
}
bool TZylSlrc::Downloading() const {
    return m_workers->GetThread != nullptr;
}

void TZylSlrc::btn_SClick() {
    if (m_workers->ListThread) {
        m_workers->ListThread->Terminate();
        return;
    }
    m_list->clear();
    const std::shared_ptr<ILrcService> service = Service();
    if (!service) {
        Q_EMIT SearchFinished();
        return;
    }
    m_search->setText(QStringLiteral("停止"));
    m_workers->ListThread = TLrcListThread::Start(
        service, m_title->text().toStdString(), m_singer->text().toStdString(), std::string(), this,
        [this](int rowIndex, const TLrcResult &result) { AddResultRow(rowIndex, result); },
        [this](TLrcListThread &) { OnSearchEnded(); });
}

void TZylSlrc::AddResultRow(int index, const TLrcResult &result) {
    auto *item = new QListWidgetItem(m_list);
    item->setSizeHint(QSize(0, kRowHeight));
    item->setData(Qt::UserRole, result.Id);
    auto *row = new QWidget;
    row->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 5, 4, 0);
    layout->setSpacing(2);
    QLabel *lno = RowLabel(row, "lno", QString::number(index + 1), "#FFFFFF");
    lno->setFixedWidth(30);
    QLabel *title = RowLabel(row, "title", QString::fromStdString(result.Title), "#BCB9B9");
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QLabel *ss = RowLabel(row, "ss", QString::fromStdString(result.Extra), "#BCB9B9");
    ss->setFixedWidth(116);
    QLabel *singer = RowLabel(row, "singer", QString::fromStdString(result.Singer), "#BCB9B9");
    singer->setFixedWidth(116);
    for (QLabel *label : {title, ss, singer}) {
        label->setToolTip(label->text());
    }
    layout->addWidget(lno);
    layout->addWidget(title, 1);
    layout->addWidget(ss);
    layout->addWidget(singer);
    m_list->setItemWidget(item, row);
}

void TZylSlrc::OnSearchEnded() {
    m_workers->ListThread = nullptr;
    m_search->setText(QStringLiteral("搜索"));
    Q_EMIT SearchFinished();
}

void TZylSlrc::lv_1DblClick() {
    if (m_workers->GetThread) {
        // The download cannot be interrupted; its result is still used when it arrives.
        m_workers->GetThread->Terminate();
        return;
    }
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    const std::shared_ptr<ILrcService> service = Service();
    if (selected.isEmpty() || !service) {
        return;
    }
    QListWidgetItem *item = selected.first();
    const int index = m_list->row(item);
    const int32_t id = item->data(Qt::UserRole).toInt();
    m_download->setText(QStringLiteral("停止下载"));
    m_workers->GetThread = TGetLrcTextThread::Start(
        service, index, this, [this](TGetLrcTextThread &worker) { OnDownloadEnded(worker.LrcText()); }, id);
}

std::shared_ptr<ILrcService> TZylSlrc::Service() const {
    return m_context.GetService ? m_context.GetService() : m_context.Service;
}

std::string TZylSlrc::LyricFileName(const TSongRef &song) {
    const std::string cleaned = text::MakeValidFileName(song.Title + " " + song.Songer);
    return text::Utf8Truncate(cleaned, kMaxNameBytes - 4) + ".lrc";
}

void TZylSlrc::OnDownloadEnded(const std::string &lyric) {
    m_workers->GetThread = nullptr;
    QString savedPath;
    // A failed download (no text) keeps both the lyric on screen and any saved lyric file.
    if (!IsBlank(lyric)) {
        if (m_context.LoadText) {
            m_context.LoadText(lyric);
        }
        const std::optional<TSongRef> song = m_context.CurrentSong ? m_context.CurrentSong() : std::nullopt;
        const std::string dir = m_context.LyricDir ? m_context.LyricDir() : std::string();
        std::error_code error;
        if (song && !dir.empty() && std::filesystem::is_directory(dir, error)) {
            const std::filesystem::path target = std::filesystem::path(dir) / LyricFileName(*song);
            if (WriteLyricFile(target.string(), lyric)) {
                savedPath = QString::fromStdString(target.string());
            }
        }
    }
    m_download->setText(QStringLiteral("下载歌词"));
    Q_EMIT DownloadFinished(savedPath);
}

void TZylSlrc::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    m_fade->stop();
    setWindowOpacity(0.0);
    m_fade->start();
}

} // namespace lirvo::lyrics
