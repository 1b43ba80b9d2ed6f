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

void TRomTableModel::InsertFilledRows(int index, const std::vector<TRomTable::TRow>& rows,
                                      const std::vector<TRowExtras>& extras) {
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
        if (static_cast<std::size_t>(i) < extras.size()) {
            table_.SetExtras(first + i, extras[static_cast<std::size_t>(i)]);
        }
    }
    endInsertRows();
}

void TRomTableModel::InsertFilledRows(int index, std::vector<TRomTable::TRow>&& rows,
                                      std::vector<TRowExtras>&& extras) {
    if (rows.empty()) {
        return;
    }
    // What AppendToRow makes of a full row: every cell in its place, an
    // empty text as " ".
    for (TRomTable::TRow& row : rows) {
        for (std::string& cell : row) {
            if (cell.empty()) {
                cell.push_back(' ');
            }
        }
    }
    const int first = std::clamp(index, 1, table_.RowCount());
    const int count = static_cast<int>(rows.size());
    beginInsertRows(QModelIndex(), first - 1, first - 1 + count - 1);
    table_.InsertRows(first, std::move(rows), std::move(extras));
    endInsertRows();
}

void TRomTableModel::ReplaceRows(std::vector<TRomTable::TRow>&& rows,
                                 std::vector<TRowExtras>&& extras) {
    beginResetModel();
    table_.TakeRows(1, table_.RowCount() - 1);
    if (rows.empty()) {
        rows.emplace_back();
    }
    table_.InsertRows(1, std::move(rows), std::move(extras));
    history_.Clear();
    stepBefore_.clear();
    stepBeforeExtras_.clear();
    endResetModel();
    emit HistoryChanged();
}

void TRomTableModel::SetShowsDigests(bool shown) {
    if (shown == showsDigests_) {
        return;
    }
    if (shown) {
        beginInsertColumns(QModelIndex(), TRomTable::ColCount,
                           TRomTable::ColCount + DigestColumns - 1);
        showsDigests_ = true;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), TRomTable::ColCount,
                           TRomTable::ColCount + DigestColumns - 1);
        showsDigests_ = false;
        endRemoveColumns();
    }
}

void TRomTableModel::SetShowsSha256(bool shown) {
    if (shown == showsSha256_) {
        return;
    }
    const int col = Sha256Column();
    if (shown) {
        beginInsertColumns(QModelIndex(), col, col);
        showsSha256_ = true;
        endInsertColumns();
    } else {
        beginRemoveColumns(QModelIndex(), col, col);
        showsSha256_ = false;
        endRemoveColumns();
    }
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
    if (parent.isValid()) {
        return 0;
    }
    return Sha256Column() + (showsSha256_ ? 1 : 0);
}

QVariant TRomTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    if (index.column() >= TRomTable::ColCount) {
        const TRowExtras& extras = table_.Extras(index.row() + 1);
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
    return QString::fromStdString(table_.Cell(index.column(), index.row() + 1));
}

bool TRomTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() >= TRomTable::ColCount) {
        return false;
    }
    const int row = index.row() + 1;
    std::string text = value.toString().toStdString();
    if (text != table_.Cell(index.column(), row)) {
        TTableChange change;
        change.Cells.push_back(
            {row, index.column(), table_.Cell(index.column(), row), std::move(text)});
        Change(std::move(change));
    }
    return true;
}

void TRomTableModel::Change(TTableChange change) {
    change.AfterCount = change.After.size();
    TTableStep step{std::move(change)};
    Apply(step, true);
    Record(std::move(step));
}

void TRomTableModel::DeleteRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [this](int row) { return row < 1 || row >= table_.RowCount(); });
    // One change per run of neighbouring rows, the lowest run first, so the
    // rows above each run keep their numbers.
    TTableStep step;
    for (auto end = rows.end(); end != rows.begin();) {
        auto begin = end - 1;
        while (begin != rows.begin() && *(begin - 1) == *begin - 1) {
            --begin;
        }
        TTableChange change;
        change.First = *begin;
        change.BeforeCount = static_cast<std::size_t>(end - begin);
        step.push_back(std::move(change));
        end = begin;
    }
    Apply(step, true);
    Record(std::move(step));
}

void TRomTableModel::BeginRowsStep(int first) {
    stepFirst_ = std::clamp(first, 1, table_.RowCount());
    const auto rows = table_.DataRows().subspan(static_cast<std::size_t>(stepFirst_ - 1));
    stepBefore_.assign(rows.begin(), rows.end());
    const auto extras = table_.DataExtras().subspan(static_cast<std::size_t>(stepFirst_ - 1));
    stepBeforeExtras_.assign(extras.begin(), extras.end());
}

void TRomTableModel::EndRowsStep() {
    TTableChange change;
    change.First = std::min(stepFirst_, table_.RowCount());
    // The rows standing now stay in the table; only their number is kept.
    const auto rows = table_.DataRows().subspan(static_cast<std::size_t>(change.First - 1));
    change.AfterCount = rows.size();
    change.BeforeCount = stepBefore_.size();
    const bool same = std::equal(rows.begin(), rows.end(), stepBefore_.begin(), stepBefore_.end());
    change.Before = std::move(stepBefore_);
    change.BeforeExtras = std::move(stepBeforeExtras_);
    stepBefore_.clear();
    stepBeforeExtras_.clear();
    if (!same) {
        Record({std::move(change)});
    }
}

void TRomTableModel::Undo() {
    if (TTableStep* step = history_.Undo()) {
        Apply(*step, false);
        emit HistoryChanged();
    }
}

void TRomTableModel::Redo() {
    if (TTableStep* step = history_.Redo()) {
        Apply(*step, true);
        emit HistoryChanged();
    }
}

void TRomTableModel::Record(TTableStep step) {
    history_.Record(std::move(step));
    emit HistoryChanged();
}

void TRomTableModel::Apply(TTableStep& step, bool forward) {
    const auto apply = [this, forward](TTableChange& change) {
        if (!forward) {
            for (auto cell = change.Cells.rbegin(); cell != change.Cells.rend(); ++cell) {
                SetCell(cell->Col, cell->Row, cell->Before);
            }
        }
        // The rows that go are kept in the change, the rows that come leave it.
        if (forward) {
            std::vector<TRowExtras> extras = std::move(change.AfterExtras);
            change.Before =
                ApplyRows(change.First, change.BeforeCount, std::move(change.After), extras);
            change.BeforeExtras = std::move(extras);
        } else {
            std::vector<TRowExtras> extras = std::move(change.BeforeExtras);
            change.After =
                ApplyRows(change.First, change.AfterCount, std::move(change.Before), extras);
            change.AfterExtras = std::move(extras);
        }
        if (forward) {
            for (const TTableChange::TCell& cell : change.Cells) {
                SetCell(cell.Col, cell.Row, cell.After);
            }
        }
    };
    if (forward) {
        std::for_each(step.begin(), step.end(), apply);
    } else {
        std::for_each(step.rbegin(), step.rend(), apply);
    }
}

std::vector<TRomTable::TRow> TRomTableModel::ApplyRows(int first, std::size_t removed,
                                                       std::vector<TRomTable::TRow>&& inserted,
                                                       std::vector<TRowExtras>& extras) {
    // extras: those of the rows inserted on the way in, of the rows taken on
    // the way out.
    std::vector<TRomTable::TRow> taken;
    std::vector<TRowExtras> takenExtras;
    if (removed > 0) {
        const int count = static_cast<int>(removed);
        beginRemoveRows(QModelIndex(), first - 1, first - 1 + count - 1);
        taken = table_.TakeRows(first, count, &takenExtras);
        endRemoveRows();
    }
    if (!inserted.empty()) {
        beginInsertRows(QModelIndex(), first - 1,
                        first - 1 + static_cast<int>(inserted.size()) - 1);
        table_.InsertRows(first, std::move(inserted), std::move(extras));
        endInsertRows();
    }
    extras = std::move(takenExtras);
    return taken;
}

QVariant TRomTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        if (section >= TRomTable::ColCount) {
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
    if (index.column() >= TRomTable::ColCount) {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable; // what the scan computed
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

} // namespace tabula
