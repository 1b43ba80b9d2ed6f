#include "gui/romlist/RomTableModel.h"

#include <algorithm>

namespace tabula {

TRomTableModel::TRomTableModel(TRomDocument& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {
    document_.AddObserver(this);
}

TRomTableModel::~TRomTableModel() {
    document_.RemoveObserver(this);
}

void TRomTableModel::RowsInserting(int first, int count) {
    beginInsertRows(QModelIndex(), first - 1, first - 1 + count - 1);
}

void TRomTableModel::RowsInserted(int, int) {
    endInsertRows();
}

void TRomTableModel::RowsRemoving(int first, int count) {
    beginRemoveRows(QModelIndex(), first - 1, first - 1 + count - 1);
}

void TRomTableModel::RowsRemoved(int, int) {
    endRemoveRows();
}

void TRomTableModel::CellsChanged(int firstRow, int lastRow, int firstCol, int lastCol) {
    emit dataChanged(index(firstRow - 1, firstCol), index(lastRow - 1, lastCol),
                     {Qt::DisplayRole, Qt::EditRole});
}

void TRomTableModel::RowsReplaced(int first, int count) {
    emit dataChanged(index(first - 1, 0), index(first - 1 + count - 1, columnCount() - 1),
                     {Qt::DisplayRole, Qt::EditRole});
}

void TRomTableModel::Resetting() {
    beginResetModel();
}

void TRomTableModel::Reset() {
    endResetModel();
}

void TRomTableModel::WidthsChanged(int first, int last) {
    emit ColumnWidthsChanged(first, last);
}

void TRomTableModel::StepsChanged() {
    emit HistoryChanged();
}

void TRomTableModel::ShowColumns(bool& flag, bool shown, int first, int count) {
    if (shown == flag) {
        return;
    }
    if (shown) {
        beginInsertColumns(QModelIndex(), first, first + count - 1);
        flag = true;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), first, first + count - 1);
        flag = false;
        endRemoveColumns();
    }
}

void TRomTableModel::SetShowsDigests(bool shown) {
    ShowColumns(showsDigests_, shown, TRomTable::ColCount, DigestColumns);
}

void TRomTableModel::SetShowsSha256(bool shown) {
    ShowColumns(showsSha256_, shown, Sha256Column(), 1);
}

void TRomTableModel::SetShowsMatch(bool shown) {
    ShowColumns(showsMatch_, shown, Sha256Column() + (showsSha256_ ? 1 : 0), 1);
}

int TRomTableModel::Sha256Column() const {
    return TRomTable::ColCount + (showsDigests_ ? DigestColumns : 0);
}

TRomTableModel::TDigestKind TRomTableModel::DigestAt(int col) const {
    if (showsDigests_ && col == TRomTable::ColCount) {
        return TDigestKind::Md5;
    }
    if (showsDigests_ && col == TRomTable::ColCount + 1) {
        return TDigestKind::Sha1;
    }
    if (showsSha256_ && col == Sha256Column()) {
        return TDigestKind::Sha256;
    }
    return TDigestKind::None;
}

int TRomTableModel::DigestDigits(TDigestKind kind) {
    switch (kind) {
    case TDigestKind::Md5:
        return 32;
    case TDigestKind::Sha1:
        return 40;
    case TDigestKind::Sha256:
        return 64;
    case TDigestKind::None:
        break;
    }
    return 0;
}

int TRomTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : document_.Table().RowCount() - 1;
}

int TRomTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return Sha256Column() + (showsSha256_ ? 1 : 0) + (showsMatch_ ? 1 : 0);
}

QVariant TRomTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    if (index.column() >= TRomTable::ColCount) {
        const TRowExtras& extras = document_.Table().Extras(index.row() + 1);
        if (index.column() == MatchColumn()) {
            return QString::fromLatin1(MatchMarkText(extras.Match));
        }
        switch (DigestAt(index.column())) {
        case TDigestKind::Md5:
            return QString::fromStdString(extras.Md5);
        case TDigestKind::Sha1:
            return QString::fromStdString(extras.Sha1);
        case TDigestKind::Sha256:
            return QString::fromStdString(extras.Sha256);
        case TDigestKind::None:
            break;
        }
        return {};
    }
    return QString::fromStdString(document_.Table().Cell(index.column(), index.row() + 1));
}

bool TRomTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() >= TRomTable::ColCount) {
        return false;
    }
    document_.EditCell(index.column(), index.row() + 1, value.toString().toStdString());
    return true;
}

QVariant TRomTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
    }
    if (role == Qt::DisplayRole) {
        if (section >= TRomTable::ColCount) {
            if (section == MatchColumn()) {
                return QStringLiteral("Match");
            }
            switch (DigestAt(section)) {
            case TDigestKind::Md5:
                return QStringLiteral("MD5");
            case TDigestKind::Sha1:
                return QStringLiteral("SHA-1");
            case TDigestKind::Sha256:
                return QStringLiteral("SHA-256");
            case TDigestKind::None:
                break;
            }
            return {};
        }
        return QString::fromStdString(document_.Table().Cell(section, 0));
    }
    if (role == Qt::FontRole) {
        return headerFont_;
    }
    return {};
}

Qt::ItemFlags TRomTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    if (index.column() >= TRomTable::ColCount) {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable; // what the scan or naming found
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

} // namespace tabula
