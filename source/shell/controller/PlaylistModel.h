#pragma once
// The rows of the playlist as the QML list shows them, and the record list the rest of the
// program reads. Both are owned by the main-window controller (TZylMain); the controller keeps
// record i describing row i after every change.
//
// QML roles of PlaylistModel (one row per song):
//   number        int     row number as made or last renumbered (1-based; not recomputed live)
//   caption       string  title + " - " + artist, or the title alone when the artist is empty
//   title         string  song title
//   artist        string  artist
//   path          string  file path or network address
//   playing       bool    the playing-row mark (draw it yellow, bold, 35 high; others 25 high)
//   deleteVisible bool    whether the row's delete button shows (the row under the pointer)
//   selected      bool    the row is the list's selected row
// Property selectedIndex: the selected row, -1 for none.

#include <QAbstractListModel>

#include <string>
#include <vector>

namespace lirvo::shell {

// Record kept for every playlist row, in row order (UTF-8 strings).
struct TPlayListItem {
    std::string Caption; // Title + " - " + Songer, or Title when Songer is empty
    std::string Title;
    std::string Songer; // artist
    std::string Path;   // file path or network address
};

// One row of the list view.
struct PlaylistRow {
    int number = 0;
    std::string caption;
    std::string title;
    std::string artist;
    std::string path;
    bool playing = false;
    bool deleteVisible = false;
};

// Caption rule shared by rows and records.
std::string MakeCaption(const std::string &title, const std::string &artist);

class PlaylistModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int selectedIndex READ SelectedIndex NOTIFY selectedIndexChanged)
    Q_PROPERTY(int count READ Count NOTIFY countChanged)

public:
    enum Role {
        NumberRole = Qt::UserRole + 1,
        CaptionRole,
        TitleRole,
        ArtistRole,
        PathRole,
        PlayingRole,
        DeleteVisibleRole,
        SelectedRole,
    };

    explicit PlaylistModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int Count() const { return static_cast<int>(rows_.size()); }
    bool IsRow(int index) const { return index >= 0 && index < Count(); }
    const PlaylistRow &Row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    const std::vector<PlaylistRow> &Rows() const { return rows_; }

    void Append(PlaylistRow row);
    // Appends a batch with one insertion notice (the view lays out once).
    void AppendRows(std::vector<PlaylistRow> rows);
    void Remove(int index);
    void Clear();

    void SetNumber(int index, int number);
    // Sets every row's number to its 1-based position.
    void Renumber();
    void SetPlaying(int index, bool playing);
    void SetPath(int index, const std::string &path);
    void SetDeleteVisible(int index, bool visible);

    int SelectedIndex() const { return selected_; }
    void SetSelectedIndex(int index);

Q_SIGNALS:
    void selectedIndexChanged();
    void countChanged();
    // A row became the playing one; the view scrolls it into sight.
    void playingRowStarted(int index);

private:
    void RowChanged(int index, int role);

    std::vector<PlaylistRow> rows_;
    int selected_ = -1;
};

} // namespace lirvo::shell
