#include "shell/controller/PlaylistModel.h"

namespace lirvo::shell {

std::string MakeCaption(const std::string &title, const std::string &artist) {
    return artist.empty() ? title : title + " - " + artist;
}

PlaylistModel::PlaylistModel(QObject *parent) : QAbstractListModel(parent) {}

int PlaylistModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant PlaylistModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || !IsRow(index.row()))
        return {};
    const PlaylistRow &row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case CaptionRole:
        return QString::fromStdString(row.caption);
    case NumberRole:
        return row.number;
    case TitleRole:
        return QString::fromStdString(row.title);
    case ArtistRole:
        return QString::fromStdString(row.artist);
    case PathRole:
        return QString::fromStdString(row.path);
    case PlayingRole:
        return row.playing;
    case DeleteVisibleRole:
        return row.deleteVisible;
    case SelectedRole:
        return index.row() == selected_;
    default:
        return {};
    }
}

QHash<int, QByteArray> PlaylistModel::roleNames() const {
    return {{NumberRole, "number"},
            {CaptionRole, "caption"},
            {TitleRole, "title"},
            {ArtistRole, "artist"},
            {PathRole, "path"},
            {PlayingRole, "playing"},
            {DeleteVisibleRole, "deleteVisible"},
            {SelectedRole, "selected"}};
}

void PlaylistModel::Append(PlaylistRow row) {
    std::vector<PlaylistRow> one;
    one.push_back(std::move(row));
    AppendRows(std::move(one));
}

void PlaylistModel::AppendRows(std::vector<PlaylistRow> rows) {
    if (rows.empty())
        return;
    const int first = Count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    rows_.reserve(rows_.size() + rows.size());
    for (auto &row : rows)
        rows_.push_back(std::move(row));
    endInsertRows();
    Q_EMIT countChanged();
}

void PlaylistModel::Remove(int index) {
    if (!IsRow(index))
        return;
    beginRemoveRows(QModelIndex(), index, index);
    rows_.erase(rows_.begin() + index);
    endRemoveRows();
    // The list box keeps its selected position; it names the next row now, or none.
    if (selected_ >= Count()) {
        selected_ = -1;
        Q_EMIT selectedIndexChanged();
    } else if (selected_ >= 0) {
        RowChanged(selected_, SelectedRole);
    }
    Q_EMIT countChanged();
}

void PlaylistModel::Clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    selected_ = -1;
    endResetModel();
    Q_EMIT selectedIndexChanged();
    Q_EMIT countChanged();
}

void PlaylistModel::RowChanged(int index, int role) {
    QModelIndex at = this->index(index);
    Q_EMIT dataChanged(at, at, {role});
}

void PlaylistModel::SetNumber(int index, int number) {
    if (!IsRow(index) || rows_[static_cast<std::size_t>(index)].number == number)
        return;
    rows_[static_cast<std::size_t>(index)].number = number;
    RowChanged(index, NumberRole);
}

void PlaylistModel::Renumber() {
    int firstChanged = -1;
    for (int r = 0; r < Count(); ++r) {
        auto &row = rows_[static_cast<std::size_t>(r)];
        if (row.number != r + 1) {
            row.number = r + 1;
            if (firstChanged < 0)
                firstChanged = r;
        }
    }
    if (firstChanged >= 0)
        Q_EMIT dataChanged(index(firstChanged), index(Count() - 1), {NumberRole});
}

void PlaylistModel::SetPlaying(int index, bool playing) {
    if (!IsRow(index) || rows_[static_cast<std::size_t>(index)].playing == playing)
        return;
    rows_[static_cast<std::size_t>(index)].playing = playing;
    RowChanged(index, PlayingRole);
    if (playing)
        Q_EMIT playingRowStarted(index);
}

void PlaylistModel::SetPath(int index, const std::string &path) {
    if (!IsRow(index))
        return;
    rows_[static_cast<std::size_t>(index)].path = path;
    RowChanged(index, PathRole);
}

void PlaylistModel::SetDeleteVisible(int index, bool visible) {
    if (!IsRow(index) || rows_[static_cast<std::size_t>(index)].deleteVisible == visible)
        return;
    rows_[static_cast<std::size_t>(index)].deleteVisible = visible;
    RowChanged(index, DeleteVisibleRole);
}

void PlaylistModel::SetSelectedIndex(int index) {
    if (!IsRow(index))
        index = -1;
    if (index == selected_)
        return;
    int old = selected_;
    selected_ = index;
    if (IsRow(old))
        RowChanged(old, SelectedRole);
    if (IsRow(index))
        RowChanged(index, SelectedRole);
    Q_EMIT selectedIndexChanged();
}

} // namespace lirvo::shell
