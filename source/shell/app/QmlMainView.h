#pragma once
// The main window's answers for the controller (IMainView): the confirmation popup of the QML
// window, the Qt file and folder dialogs, and the desktop lyric band with its control bar.
// The band and its bar are made when first needed; what the controller asks of them before
// that (the text, the lock, whether it shows) is kept and applied when they are made. While the
// band is held (HoldBand, until ReleaseBand) it is not shown even when it is to be visible.
// It is also the QML window's helper for what QML cannot do itself: the main menu, minimising
// into the notification area and the window's shape. GUI thread only.

#include "lyrics/views/LyricRenderer.h"
#include "shell/controller/MainView.h"

#include <QFileDialog>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QVariantList>
#include <QWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lirvo::lyrics {
class TZylDeskTopLrc;
class TZylDlrcButton;
} // namespace lirvo::lyrics

namespace lirvo::app {

// "description|*.a;*.b|description|*.c" as Qt name filters: "description (*.a *.b)".
QStringList QtNameFilters(const std::string &filter);

class QmlMainView : public QObject, public shell::IMainView {
    Q_OBJECT
    Q_PROPERTY(QString confirmationText READ ConfirmationText NOTIFY confirmationChanged)
    Q_PROPERTY(bool confirmationOpen READ ConfirmationOpenProperty NOTIFY confirmationChanged)

public:
    using FileAnswer = std::optional<std::vector<std::string>>;
    using FolderAnswer = std::optional<std::string>;
    // Replacements for the real dialogs (tests): they get the request and return the answer.
    using FileDialogScript = std::function<FileAnswer(const QStringList &nameFilters)>;
    using FolderDialogScript = std::function<FolderAnswer(const QString &title, const QString &start)>;

    explicit QmlMainView(QObject *parent = nullptr);
    ~QmlMainView() override;

    // The main window (dialogs are placed over it; minimising hides it), and the main menu.
    void SetWindow(QWindow *window);
    QWindow *Window() const { return m_window; }
    void SetMenu(QMenu *menu) { m_menu = menu; }
    // Makes the menu when it is wanted before SetMenu gave one.
    void SetMenuMaker(std::function<QMenu *()> make) { m_menuMaker = std::move(make); }
    // What "关闭" does: the notification-area icon's minimise (set by the application).
    void SetMinimizer(std::function<void()> minimize) { m_minimize = std::move(minimize); }

    void ScriptFileDialog(FileDialogScript script) { m_fileScript = std::move(script); }
    void ScriptFolderDialog(FolderDialogScript script) { m_folderScript = std::move(script); }

    // The band and its control bar (made on first use). `made` runs once they exist.
    lyrics::TZylDeskTopLrc &LyricWindow();
    lyrics::TZylDlrcButton &ControlBar();
    bool BandMade() const { return m_lyric != nullptr; }
    void OnBandMade(std::function<void(lyrics::TZylDlrcButton &bar)> made) { m_bandMade = std::move(made); }
    // While held, a band that is to be visible waits; ReleaseBand shows it then. The program
    // holds it until its main window has drawn its first frame.
    void HoldBand() { m_bandHeld = true; }
    void ReleaseBand();

    // ---- IMainView ----
    void MsgPop1(const std::string &text, std::function<void(int result)> done) override;
    bool IsConfirmationOpen() const override { return static_cast<bool>(m_confirmDone); }
    void ShowOpenFileDialog(const std::string &filter,
                            std::function<void(std::optional<std::vector<std::string>> files)> done) override;
    void SelectFolder(const std::string &title, const std::string &startFolder,
                      std::function<void(std::optional<std::string> folder)> done) override;
    void ShowText(const std::string &text) override;
    void ShowLyricLine(const shell::TBandLine &line) override;
    void SetLyricClock(std::int32_t positionMs, bool playing) override;
    void SetDesktopLyricLocked(bool locked) override;
    void SetDesktopLyricVisible(bool visible) override;
    bool IsDesktopLyricVisible() const override;
    bool IsControlBarVisible() const override;
    void CloseControlBar() override;

    // ---- for the QML window ----
    QString ConfirmationText() const { return m_confirmText; }
    bool ConfirmationOpenProperty() const { return IsConfirmationOpen(); }
    // The popup's buttons: 6 "Yes", 7 "No".
    Q_INVOKABLE void answerConfirmation(int result);
    Q_INVOKABLE void popupMainMenu(int globalX, int globalY);
    Q_INVOKABLE void minimizeToTray();
    // Restricts the main window's shape and input to these areas (window coordinates).
    Q_INVOKABLE void setWindowMask(const QVariantList &rects);

    // The open dialogs (null when none is showing).
    QFileDialog *OpenFileDialog() const { return m_fileDialog; }
    QFileDialog *FolderDialog() const { return m_folderDialog; }

Q_SIGNALS:
    void confirmationChanged();

private:
    QFileDialog *MakeDialog(const QString &title);
    void MakeBand();

    std::unique_ptr<lyrics::TZylDeskTopLrc> m_lyric;
    std::unique_ptr<lyrics::TZylDlrcButton> m_bar;
    std::function<void(lyrics::TZylDlrcButton &)> m_bandMade;
    // What the band is to show while it is not made yet.
    lyrics::TBandText m_bandLine;
    bool m_bandLocked = false;
    bool m_bandWanted = false; // to be visible
    bool m_bandHeld = false;
    QPointer<QWindow> m_window;
    QRegion m_mask;
    QPointer<QMenu> m_menu;
    std::function<QMenu *()> m_menuMaker;
    std::function<void()> m_minimize;
    QString m_confirmText;
    std::function<void(int)> m_confirmDone;
    FileDialogScript m_fileScript;
    FolderDialogScript m_folderScript;
    QPointer<QFileDialog> m_fileDialog;
    QPointer<QFileDialog> m_folderDialog;
};

} // namespace lirvo::app
