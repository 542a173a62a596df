#include "lyrics/views/Unt_Slrc.h"

#include "function/text/FastStrings.h"
#include "function/text/TextCodec.h"
#include "lyrics/core/LyricFile.h"
#include "lyrics/core/LyricLookup.h"
#include "lyrics/core/UntLrcThread.h"
#include "lyrics/services/LyricClient.h"
#include "lyrics/views/ButtonPictures.h"

#include <QCheckBox>
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
#include <algorithm>
#include <cmath>
#include <mutex>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

namespace lirvo::lyrics {

namespace {

constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 300;
constexpr int kInset = 10;
constexpr int kHeaderTop = 112; // the column names, above the list
constexpr int kTopArea = 132;
constexpr int kRowHeight = 25;
// Column widths; the title takes the rest.
constexpr int kNumberWidth = 24;
constexpr int kSingerWidth = 92;
constexpr int kAlbumWidth = 92;
constexpr int kLengthWidth = 36;
constexpr int kServiceWidth = 64;
constexpr int kKindWidth = 62;
const char *const kNothingFound = "没有找到歌词";
const char *const kNetworkFailed = "网络错误，无法搜索歌词：";
const char *const kPlainOnly = "这条歌词没有时间标签，不能随歌曲同步显示";
const char *const kInstrumental = "这是一首纯音乐，没有歌词";
const char *const kNoLyric = "这条结果没有歌词";

// "m:ss" of a length in seconds; "" when unknown.
QString DurationText(double seconds) {
    if (!(seconds > 0))
        return {};
    const long total = std::lround(seconds);
    return QStringLiteral("%1:%2").arg(total / 60).arg(total % 60, 2, 10, QLatin1Char('0'));
}

// What a row has: "逐字" (each word timed), "同步" (lines timed) or "文本", with "翻译" when it
// has a translation; "未知" for a row whose lyric is fetched only when it is taken.
QString SyncedText(const TLrcResult &result) {
    QString kind;
    if (result.Synced())
        kind = result.WordTimed ? QStringLiteral("逐字") : QStringLiteral("同步");
    else if (result.Instrumental)
        return QStringLiteral("纯音乐");
    else if (result.HasPlainLyrics)
        kind = QStringLiteral("文本");
    else if (result.NeedsDownload)
        return QStringLiteral("未知");
    else
        return QStringLiteral("无");
    return result.Translated ? kind + QStringLiteral(" 翻译") : kind;
}

bool Takeable(const TLrcResult &result) {
    return result.Synced() || result.NeedsDownload;
}

// Saves a chosen lyric into the lyric folder off the GUI thread; a row whose lyric did not come
// with the search is downloaded first. The song then no longer counts as one without a lyric.
class TKeepLyricThread final : public TLyricWorker {
public:
    using FinishedHandler = std::function<void(TKeepLyricThread &)>;
    struct Job {
        std::string Text; // the lyric, or "" to download it
        std::shared_ptr<ILrcService> Service;
        int32_t Id = 0;
        std::string Dir, Name;
        std::optional<TSongRef> Song;
    };
    static TKeepLyricThread *Start(Job job, QObject *context, FinishedHandler onFinished) {
        auto *worker = new TKeepLyricThread(std::move(job), context, std::move(onFinished));
        worker->Begin();
        return worker;
    }
    const std::string &Text() const { return m_job.Text; }
    // The file written; "" when the folder is missing or the write failed.
    const std::string &SavedPath() const { return m_saved; }
    // Why the download gave nothing ("" when it was not needed or succeeded).
    const std::string &Error() const { return m_error; }

private:
    TKeepLyricThread(Job job, QObject *context, FinishedHandler onFinished)
        : TLyricWorker(context), m_job(std::move(job)), m_onFinished(std::move(onFinished)) {}
    void Body() override {
        if (m_job.Text.empty() && m_job.Service) {
            std::lock_guard<std::mutex> session(m_job.Service->SessionLock());
            m_job.Text = m_job.Service->Download(m_job.Id);
            if (m_job.Text.empty())
                m_error = m_job.Service->LastError();
        }
        if (m_job.Text.empty())
            return;
        if (m_job.Service && m_job.Song)
            m_job.Service->ForgetNoLyric(TSongQuery{m_job.Song->Title, m_job.Song->Songer, "", 0});
        const std::string &m_dir = m_job.Dir, &m_name = m_job.Name;
        std::error_code error;
        if (m_dir.empty() || m_name.empty() || !std::filesystem::is_directory(m_dir, error))
            return;
        const std::string path = (std::filesystem::path(m_dir) / m_name).string();
        if (WriteLyricFile(path, m_job.Text))
            m_saved = path;
    }
    void DeliverFinished() override {
        if (m_onFinished)
            m_onFinished(*this);
    }

    Job m_job;
    std::string m_saved, m_error;
    FinishedHandler m_onFinished;
};

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
    TKeepLyricThread *GetThread = nullptr;
    std::vector<TLrcResult> Results; // the rows' results, in row order
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
        "QCheckBox { color: #FFFFFF; spacing: 4px; }"
        "QCheckBox::indicator { width: 12px; height: 12px; border: 1px solid #4A4A4A; background: #1E1E1E; }"
        "QCheckBox::indicator:checked { background: #92FB93; }"
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
    m_close->setGeometry(m_main->width() - 29, 1, 20, 20);
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
    m_search->setGeometry(300, 25, 80, 22);
    m_search->setAutoDefault(false);
    connect(m_search, &QPushButton::clicked, this, &TZylSlrc::btn_SClick);
    m_download = new QPushButton(QStringLiteral("下载歌词"), m_main);
    m_download->setObjectName(QStringLiteral("btn_down"));
    m_download->setGeometry(300, 55, 80, 22);
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

    // One box per service: ticked ones are asked, in the order shown.
    auto *sourcesLabel = new QLabel(QStringLiteral("歌词来源："), m_main);
    sourcesLabel->setGeometry(16, 86, 68, 15);
    sourcesLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    int boxLeft = 84;
    for (const std::string &key : SourceBoxOrder()) {
        auto *box = new QCheckBox(QString::fromStdString(services::ServiceDisplayName(key)), m_main);
        box->setObjectName(QStringLiteral("src_") + QString::fromStdString(key));
        box->setProperty("sourceKey", QString::fromStdString(key));
        box->setGeometry(boxLeft, 83, 100, 20);
        boxLeft += 104;
        connect(box, &QCheckBox::toggled, this, [this] { OnSourcesToggled(); });
        m_sourceBoxes.push_back(box);
    }
    SyncSourceBoxes();

    // The column names.
    auto *header = new QWidget(m_main);
    header->setObjectName(QStringLiteral("lv_header"));
    header->setGeometry(0, kHeaderTop, m_main->width(), kTopArea - kHeaderTop);
    header->setStyleSheet(QStringLiteral("background: #141414;"));
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(4, 0, 4, 0);
    headerLayout->setSpacing(2);
    auto headerCell = [&](const char *text, int width) {
        QLabel *label = RowLabel(header, "column", QString::fromUtf8(text), "#6E6B6B");
        if (width > 0)
            label->setFixedWidth(width);
        else
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        headerLayout->addWidget(label, width > 0 ? 0 : 1);
    };
    headerCell("", kNumberWidth);
    headerCell("歌名", 0);
    headerCell("歌手", kSingerWidth);
    headerCell("专辑", kAlbumWidth);
    headerCell("时长", kLengthWidth);
    headerCell("来源", kServiceWidth);
    headerCell("歌词", kKindWidth);

    m_list = new QListWidget(m_main);
    m_list->setObjectName(QStringLiteral("lv_1"));
    m_list->setGeometry(0, kTopArea, m_main->width(), m_main->height() - kTopArea);
    m_list->setMouseTracking(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { lv_1DblClick(); });

    // Says why there is nothing to take: no result, a network failure, an untimed lyric.
    m_status = new QLabel(m_main);
    m_status->setObjectName(QStringLiteral("lbl_status"));
    m_status->setGeometry(0, kTopArea + 8, m_main->width(), 40);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    m_status->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_status->setStyleSheet(QStringLiteral("color: #92FB93; background: transparent;"));
    m_status->hide();

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
    m_workers->Results.clear();
    m_status->hide();
    const std::shared_ptr<ILrcService> service = Service();
    if (!service) {
        ShowStatus(QString::fromUtf8(kNothingFound));
        Q_EMIT SearchFinished();
        return;
    }
    m_search->setText(QStringLiteral("停止"));
    m_workers->ListThread = TLrcListThread::Start(
        service, m_title->text().toStdString(), m_singer->text().toStdString(), std::string(), this,
        [this](int rowIndex, const TLrcResult &result) { AddResultRow(rowIndex, result); },
        [this](TLrcListThread &worker) { OnSearchEnded(worker.Error()); });
}

void TZylSlrc::AddResultRow(int index, const TLrcResult &result) {
    m_workers->Results.push_back(result);
    auto *item = new QListWidgetItem(m_list);
    item->setSizeHint(QSize(0, kRowHeight));
    item->setData(Qt::UserRole, result.Id);
    auto *row = new QWidget;
    row->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 5, 4, 0);
    layout->setSpacing(2);
    QLabel *lno = RowLabel(row, "lno", QString::number(index + 1), "#FFFFFF");
    lno->setFixedWidth(kNumberWidth);
    QLabel *title = RowLabel(row, "title", QString::fromStdString(result.Title), "#BCB9B9");
    title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QLabel *singer = RowLabel(row, "singer", QString::fromStdString(result.Singer), "#BCB9B9");
    singer->setFixedWidth(kSingerWidth);
    QLabel *ss = RowLabel(row, "ss", QString::fromStdString(result.Extra), "#BCB9B9");
    ss->setFixedWidth(kAlbumWidth);
    QLabel *duration = RowLabel(row, "dur", DurationText(result.Duration), "#BCB9B9");
    duration->setFixedWidth(kLengthWidth);
    QLabel *source = RowLabel(row, "src",
                              result.Source.empty() ? QString() : QString::fromStdString(services::ServiceDisplayName(result.Source)),
                              "#BCB9B9");
    source->setFixedWidth(kServiceWidth);
    // Rows that can be taken stand out.
    QLabel *synced = RowLabel(row, "sync", SyncedText(result), Takeable(result) ? "#92FB93" : "#6E6B6B");
    synced->setFixedWidth(kKindWidth);
    for (QLabel *label : {title, ss, singer}) {
        label->setToolTip(label->text());
    }
    layout->addWidget(lno);
    layout->addWidget(title, 1);
    layout->addWidget(singer);
    layout->addWidget(ss);
    layout->addWidget(duration);
    layout->addWidget(source);
    layout->addWidget(synced);
    m_list->setItemWidget(item, row);
}

void TZylSlrc::ShowStatus(const QString &text) {
    // Over an empty list the message takes the list's place; with rows it stands in a strip
    // at the bottom, so that it covers none of them.
    if (m_list->count() == 0) {
        m_status->setGeometry(0, kTopArea + 8, m_main->width(), 40);
        m_status->setStyleSheet(QStringLiteral("color: #92FB93; background: transparent;"));
    } else {
        m_status->setGeometry(0, m_main->height() - 24, m_main->width(), 24);
        m_status->setStyleSheet(QStringLiteral("color: #92FB93; background: #000000;"));
    }
    m_status->setText(text);
    m_status->show();
    m_status->raise();
}

QString TZylSlrc::StatusText() const {
    return m_status->isHidden() ? QString() : m_status->text();
}

void TZylSlrc::OnSearchEnded(const std::string &error) {
    m_workers->ListThread = nullptr;
    m_search->setText(QStringLiteral("搜索"));
    // Each service that failed names itself; the other services' rows stay.
    QStringList failures;
    if (const std::shared_ptr<ILrcService> service = Service())
        for (const TSourceFailure &failure : service->SourceFailures())
            failures << QString::fromStdString(failure.Name + "：" + failure.Reason);
    if (!failures.isEmpty()) {
        ShowStatus(failures.join(QStringLiteral("；")));
    } else if (!error.empty()) {
        ShowStatus(QString::fromUtf8(kNetworkFailed) + QString::fromStdString(error));
    } else if (m_list->count() == 0) {
        ShowStatus(QString::fromUtf8(kNothingFound));
    }
    Q_EMIT SearchFinished();
}

std::vector<std::string> TZylSlrc::SourceBoxOrder() const {
    const std::shared_ptr<ILrcService> service = Service();
    if (!service)
        return {};
    std::vector<std::string> order = service->Sources();
    for (const std::string &key : service->AllSources())
        if (std::find(order.begin(), order.end(), key) == order.end())
            order.push_back(key);
    return order;
}

void TZylSlrc::SyncSourceBoxes() {
    const std::shared_ptr<ILrcService> service = Service();
    const std::vector<std::string> enabled = service ? service->Sources() : std::vector<std::string>();
    for (QCheckBox *box : m_sourceBoxes) {
        const std::string key = box->property("sourceKey").toString().toStdString();
        const QSignalBlocker quiet(box);
        box->setChecked(std::find(enabled.begin(), enabled.end(), key) != enabled.end());
    }
}

void TZylSlrc::OnSourcesToggled() {
    std::vector<std::string> keys;
    for (QCheckBox *box : m_sourceBoxes)
        if (box->isChecked())
            keys.push_back(box->property("sourceKey").toString().toStdString());
    if (const std::shared_ptr<ILrcService> service = Service())
        service->SetSources(keys);
    if (m_context.SourcesChanged)
        m_context.SourcesChanged(keys);
}

void TZylSlrc::lv_1DblClick() {
    if (m_workers->GetThread) {
        // The lyric is being kept; it is used when that ends.
        m_workers->GetThread->Terminate();
        return;
    }
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int index = m_list->row(selected.first());
    if (index < 0 || static_cast<std::size_t>(index) >= m_workers->Results.size()) {
        return;
    }
    // A lyric that came with the search is saved as it is; one that did not is downloaded first.
    const TLrcResult &result = m_workers->Results[static_cast<std::size_t>(index)];
    if (!Takeable(result)) {
        ShowStatus(QString::fromUtf8(result.Instrumental     ? kInstrumental
                                     : result.HasPlainLyrics ? kPlainOnly
                                                             : kNoLyric));
        return;
    }
    m_status->hide();
    const std::optional<TSongRef> song = m_context.CurrentSong ? m_context.CurrentSong() : std::nullopt;
    const std::string dir = m_context.LyricDir ? m_context.LyricDir() : std::string();
    m_download->setText(QStringLiteral("停止下载"));
    TKeepLyricThread::Job job;
    job.Text = result.Synced() ? result.SyncedLyrics : std::string();
    job.Service = Service();
    job.Id = result.Id;
    job.Dir = dir;
    job.Name = song ? LyricFileName(*song) : std::string();
    job.Song = song;
    m_workers->GetThread = TKeepLyricThread::Start(std::move(job), this, [this](TKeepLyricThread &worker) {
        if (worker.Text().empty()) {
            m_workers->GetThread = nullptr;
            m_download->setText(QStringLiteral("下载歌词"));
            ShowStatus(worker.Error().empty() ? QString::fromUtf8(kNoLyric)
                                              : QString::fromUtf8(kNetworkFailed) + QString::fromStdString(worker.Error()));
            Q_EMIT DownloadFinished(QString());
            return;
        }
        OnDownloadEnded(worker.Text(), worker.SavedPath());
    });
}

std::shared_ptr<ILrcService> TZylSlrc::Service() const {
    return m_context.GetService ? m_context.GetService() : m_context.Service;
}

std::string TZylSlrc::LyricFileName(const TSongRef &song) {
    return OnlineLyricFileName(song.Title, song.Songer);
}

void TZylSlrc::OnDownloadEnded(const std::string &lyric, const std::string &savedPath) {
    m_workers->GetThread = nullptr;
    if (m_context.LoadLyricFile) {
        m_context.LoadLyricFile(lyric, savedPath);
    } else if (m_context.LoadText) {
        m_context.LoadText(lyric);
    }
    m_download->setText(QStringLiteral("下载歌词"));
    Q_EMIT DownloadFinished(QString::fromStdString(savedPath));
}

void TZylSlrc::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    m_fade->stop();
    setWindowOpacity(0.0);
    m_fade->start();
}

} // namespace lirvo::lyrics
