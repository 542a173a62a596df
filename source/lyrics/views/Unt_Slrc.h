#pragma once
// The lyric search window: searches every enabled online lyric service by song name and
// singer, lists the results best match first with their singer, album, length, service and
// what they have ("逐字", "同步" or "文本", and "翻译"), and takes the chosen lyric: saved into
// the lyric folder under the name of the song playing now and loaded into that song's
// timeline (a lyric that did not come with the search is downloaded first). Rows without a
// synced lyric are refused with a message; an empty search says "没有找到歌词"; each service
// that failed names itself and its reason. Boxes turn each service on and off.
// Search and saving run on worker threads; pressing a running action's button again asks the
// worker to stop. Closing the window while a worker runs is safe: the worker is detached and its
// results are dropped. GUI thread only.

#include "lyrics/views/LyricSearchContext.h"

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPropertyAnimation;
class QPushButton;
class QToolButton;
class QFrame;
class QLabel;

namespace lirvo::lyrics {

class TZylSlrc : public QDialog {
    Q_OBJECT
public:
    explicit TZylSlrc(TLyricSearchContext context, QWidget *parent = nullptr);
    ~TZylSlrc() override;

    // Fills the two search boxes (UTF-8).
    void SetSearchTexts(const std::string &title, const std::string &singer);

    // "搜索": starts a search, or asks the running one to stop.
    void btn_SClick();
    // "下载歌词" or a double click on a row: takes the selected row's synced lyric, or shows
    // why it cannot be taken.
    void lv_1DblClick();

    bool Searching() const;
    bool Downloading() const;

    // Name under which a lyric for this song is saved: "Title - Singer.lrc", as the automatic
    // lookup saves online lyrics (OnlineLyricFileName).
    static std::string LyricFileName(const TSongRef &song);
    // The message shown over the list ("" when none).
    QString StatusText() const;

    QFrame *SMain() const { return m_main; }
    QToolButton *CloseButton1() const { return m_close; }
    QLineEdit *edt_Title() const { return m_title; }
    QLineEdit *edt_Singer() const { return m_singer; }
    QPushButton *btn_S() const { return m_search; }
    QPushButton *btn_down() const { return m_download; }
    QListWidget *lv_1() const { return m_list; }
    QPropertyAnimation *FadeIn() const { return m_fade; }

Q_SIGNALS:
    // A search ended (rows as far as they came).
    void SearchFinished();
    // A chosen lyric was loaded; `savedPath` is the file written, empty when nothing was saved.
    void DownloadFinished(const QString &savedPath);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Workers;

    std::shared_ptr<ILrcService> Service() const;
    void AddResultRow(int index, const TLrcResult &result);
    void OnSearchEnded(const std::string &error);
    void OnDownloadEnded(const std::string &text, const std::string &savedPath);
    void ShowStatus(const QString &text);
    // The services' boxes: the enabled ones in their order, then the others.
    std::vector<std::string> SourceBoxOrder() const;
    void SyncSourceBoxes();
    void OnSourcesToggled();

    TLyricSearchContext m_context;
    std::shared_ptr<Workers> m_workers;
    QFrame *m_main = nullptr;
    QToolButton *m_close = nullptr;
    QLineEdit *m_title = nullptr;
    QLineEdit *m_singer = nullptr;
    QPushButton *m_search = nullptr;
    QPushButton *m_download = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_status = nullptr;
    QPropertyAnimation *m_fade = nullptr;
    std::vector<QCheckBox *> m_sourceBoxes;
};

} // namespace lirvo::lyrics
