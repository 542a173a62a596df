#include "shell/app/QmlMainView.h"

#include "lyrics/views/Unt_Dlrc.h"
#include "lyrics/views/Unt_DlrcButton.h"

#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QRegion>
#include <QWindow>

namespace lirvo::app {

QStringList QtNameFilters(const std::string &filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << p.trimmed();
        if (patterns.isEmpty())
            continue;
        QString name = parts[i].trimmed();
        // Descriptions often repeat their patterns in brackets already; Qt reads the last
        // bracket pair as the patterns, so keep only ours.
        const qsizetype bracket = name.indexOf(QLatin1Char('('));
        if (bracket > 0)
            name = name.left(bracket).trimmed();
        if (name.isEmpty())
            name = patterns.join(QLatin1Char(' '));
        result << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    result << QStringLiteral("所有文件 (*)");
    return result;
}

QmlMainView::QmlMainView(QObject *parent) : QObject(parent) {}

QmlMainView::~QmlMainView() {
    // Pending answers must not reach a controller that may already be gone.
    m_confirmDone = nullptr;
    for (QFileDialog *dialog : {m_fileDialog.data(), m_folderDialog.data()}) {
        if (dialog) {
            dialog->disconnect(this);
            delete dialog;
        }
    }
    m_bar.reset();
    m_lyric.reset();
}

void QmlMainView::MsgPop1(const std::string &text, std::function<void(int result)> done) {
    if (m_confirmDone) {
        // One question at a time; a second one while the first is open is declined.
        if (done)
            done(kNo);
        return;
    }
    m_confirmText = QString::fromStdString(text);
    m_confirmDone = done ? std::move(done) : [](int) {};
    Q_EMIT confirmationChanged();
}

void QmlMainView::answerConfirmation(int result) {
    if (!m_confirmDone)
        return;
    auto done = std::move(m_confirmDone);
    m_confirmDone = nullptr;
    Q_EMIT confirmationChanged();
    done(result == kYes ? kYes : kNo);
}

QFileDialog *QmlMainView::MakeDialog(const QString &title) {
    auto *dialog = new QFileDialog(nullptr, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setSizeGripEnabled(true);
    dialog->winId();
    if (m_window && dialog->windowHandle())
        dialog->windowHandle()->setTransientParent(m_window);
    return dialog;
}

void QmlMainView::ShowOpenFileDialog(
    const std::string &filter, std::function<void(std::optional<std::vector<std::string>> files)> done) {
    const QStringList filters = QtNameFilters(filter);
    if (m_fileScript) {
        done(m_fileScript(filters));
        return;
    }
    if (m_fileDialog) {
        m_fileDialog->raise();
        return;
    }
    QFileDialog *dialog = MakeDialog(QStringLiteral("添加音乐"));
    dialog->setObjectName(QStringLiteral("dlgOpen1"));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setOption(QFileDialog::ReadOnly, true);
    dialog->setNameFilters(filters);
    dialog->setDirectory(QDir::homePath());
    m_fileDialog = dialog;
    auto answered = std::make_shared<bool>(false);
    connect(dialog, &QFileDialog::filesSelected, this, [done, answered](const QStringList &files) {
        *answered = true;
        std::vector<std::string> paths;
        paths.reserve(static_cast<std::size_t>(files.size()));
        for (const QString &f : files)
            paths.push_back(QDir::cleanPath(f).toStdString());
        done(std::move(paths));
    });
    connect(dialog, &QFileDialog::finished, this, [done, answered](int) {
        if (!*answered)
            done(std::nullopt);
    });
    dialog->open();
}

void QmlMainView::SelectFolder(const std::string &title, const std::string &startFolder,
                               std::function<void(std::optional<std::string> folder)> done) {
    const QString qtitle = QString::fromStdString(title);
    const QString start = QString::fromStdString(startFolder);
    if (m_folderScript) {
        done(m_folderScript(qtitle, start));
        return;
    }
    if (m_folderDialog) {
        m_folderDialog->raise();
        return;
    }
    QFileDialog *dialog = MakeDialog(qtitle);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setDirectory(start);
    m_folderDialog = dialog;
    auto answered = std::make_shared<bool>(false);
    connect(dialog, &QFileDialog::fileSelected, this, [done, answered](const QString &folder) {
        *answered = true;
        done(QDir::cleanPath(folder).toStdString());
    });
    connect(dialog, &QFileDialog::finished, this, [done, answered](int) {
        if (!*answered)
            done(std::nullopt);
    });
    dialog->open();
}

void QmlMainView::MakeBand() {
    if (m_lyric)
        return;
    m_lyric = std::make_unique<lyrics::TZylDeskTopLrc>();
    m_bar = std::make_unique<lyrics::TZylDlrcButton>(m_lyric.get());
    m_lyric->SetLocked(m_bandLocked);
    m_lyric->ShowLine(m_bandLine);
    if (m_bandMade)
        m_bandMade(*m_bar);
}

lyrics::TZylDeskTopLrc &QmlMainView::LyricWindow() {
    MakeBand();
    return *m_lyric;
}

lyrics::TZylDlrcButton &QmlMainView::ControlBar() {
    MakeBand();
    return *m_bar;
}

void QmlMainView::ReleaseBand() {
    m_bandHeld = false;
    if (m_bandWanted)
        LyricWindow().show();
}

void QmlMainView::ShowText(const std::string &text) {
    if (m_lyric) {
        m_lyric->ShowText(text);
        return;
    }
    m_bandLine = lyrics::TBandText{};
    m_bandLine.Text = text;
}

void QmlMainView::ShowLyricLine(const shell::TBandLine &line) {
    lyrics::TBandText text{line.Text, line.Translation, line.Words, line.WordsEnd};
    if (m_lyric)
        m_lyric->ShowLine(text);
    else
        m_bandLine = std::move(text);
}

void QmlMainView::SetLyricClock(std::int32_t positionMs, bool playing) {
    // A band not made yet has no sweep to drive; the next tick reaches it once it exists.
    if (m_lyric)
        m_lyric->SetPlayClock(positionMs, playing);
}

void QmlMainView::SetDesktopLyricLocked(bool locked) {
    m_bandLocked = locked;
    if (!m_lyric)
        return;
    m_lyric->SetLocked(locked);
    // Locked, the control bar has nothing to offer until the lock is lifted.
    if (locked)
        m_bar->hide();
}

void QmlMainView::SetDesktopLyricVisible(bool visible) {
    m_bandWanted = visible;
    if (visible && !m_bandHeld)
        LyricWindow().show();
    else if (!visible && m_lyric)
        m_lyric->hide();
}

bool QmlMainView::IsDesktopLyricVisible() const {
    if (m_bandHeld)
        return m_bandWanted;
    return m_lyric && m_lyric->isVisible();
}

bool QmlMainView::IsControlBarVisible() const {
    return m_bar && m_bar->isVisible();
}

void QmlMainView::CloseControlBar() {
    if (m_bar)
        m_bar->hide();
}

void QmlMainView::popupMainMenu(int globalX, int globalY) {
    if (!m_menu && m_menuMaker)
        m_menu = m_menuMaker();
    if (m_menu)
        m_menu->popup(QPoint(globalX, globalY));
}

void QmlMainView::minimizeToTray() {
    if (m_minimize)
        m_minimize();
    else if (m_window)
        m_window->showMinimized();
}

void QmlMainView::setWindowMask(const QVariantList &rects) {
    QRegion region;
    for (const QVariant &r : rects)
        region += r.toRectF().toAlignedRect();
    m_mask = region;
    if (m_window)
        m_window->setMask(m_mask);
}

void QmlMainView::SetWindow(QWindow *window) {
    m_window = window;
    if (m_window && !m_mask.isEmpty())
        m_window->setMask(m_mask);
}

} // namespace lirvo::app
