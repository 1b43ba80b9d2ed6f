#include "gui/romlist/RomTableModel.h"

#include <algorithm>

namespace tabula {

TRomTableModel::TRomTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TRomTableModel::SetRowCountWithHeader(int count) {
    const int oldCount = table_.RowCount();
    const int newCount = std::max(count, 1);
    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount - 1, newCount - 2);
        table_.SetRowCount(newCount);
        endInsertRows();
    } else if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount - 1, oldCount - 2);
        table_.SetRowCount(newCount);
        endRemoveRows();
    }
}

void TRomTableModel::SetCell(int col, int row, const std::string& text) {
    table_.SetCell(col, row, text);
    if (row >= 1 && row < table_.RowCount()) {
        const QModelIndex changed = index(row - 1, col);
        emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
}

void TRomTableModel::InsertBlankRows(int index, int count) {
    if (count <= 0) {
        return;
    }
    const int first = std::clamp(index, 1, table_.RowCount());
    beginInsertRows(QModelIndex(), first - 1, first - 1 + count - 1);
    table_.InsertBlankRows(first, count);
    endInsertRows();
}

void TRomTableModel::InsertFilledRows(int index, const std::vector<TRomTable::TRow>& rows) {
    if (rows.empty()) {
        return;
    }
    const int first = std::clamp(index, 1, table_.RowCount());
    const int count = static_cast<int>(rows.size());
    beginInsertRows(QModelIndex(), first - 1, first - 1 + count - 1);
    table_.InsertBlankRows(first, count);
    for (int i = 0; i < count; ++i) {
        for (const std::string& cell : rows[static_cast<std::size_t>(i)]) {
            table_.AppendToRow(first + i, cell);
        }
    }
    endInsertRows();
}

int TRomTableModel::AppendToRow(int row, const std::string& text) {
    const int col = table_.AppendToRow(row, text);
    if (col >= 0) {
        const QModelIndex changed = index(row - 1, col);
        emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
    return col;
}

void TRomTableModel::ClearDataCells() {
    table_.ClearDataCells();
    if (table_.RowCount() > 1) {
        emit dataChanged(index(0, 0), index(table_.RowCount() - 2, TRomTable::ColCount - 1));
    }
}

void TRomTableModel::SetColWidth(int col, int width) {
    if (col < 0 || col >= TRomTable::ColCount || table_.ColWidth(col) == width) {
        return;
    }
    table_.SetColWidth(col, width);
    emit ColumnWidthsChanged(col, col);
}

void TRomTableModel::FitColumns(bool includeFixed, int extra, const ITextMeasure& measure) {
    table_.FitColumns(includeFixed, extra, measure);
    emit ColumnWidthsChanged(0, TRomTable::ColCount - 1);
}

int TRomTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : table_.RowCount() - 1;
}

int TRomTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TRomTable::ColCount;
}

QVariant TRomTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return QString::fromStdString(table_.Cell(index.column(), index.row() + 1));
}

bool TRomTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    table_.SetCell(index.column(), index.row() + 1, value.toString().toStdString());
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant TRomTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(table_.Cell(section, 0));
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
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

} // namespace tabula
