#include "core/romlist/RomDocument.h"

#include <algorithm>

namespace tabula {

namespace {

// A step of one change, moved in: a braced list would copy its rows.
TTableStep StepOf(TTableChange change) {
    TTableStep step;
    step.push_back(std::move(change));
    return step;
}

} // namespace

void TRomDocument::AddObserver(IRomDocumentObserver* observer) {
    observers_.push_back(observer);
}

void TRomDocument::RemoveObserver(IRomDocumentObserver* observer) {
    std::erase(observers_, observer);
}

void TRomDocument::NotifyCell(int col, int row) {
    if (row >= 1 && row < table_.RowCount() && col >= 0 && col < TRomTable::ColCount) {
        Notify([&](IRomDocumentObserver& o) { o.CellsChanged(row, row, col, col); });
    }
}

void TRomDocument::SetRowCount(int count) {
    const int oldCount = table_.RowCount();
    const int newCount = std::max(count, 1);
    if (newCount > oldCount) {
        InsertBlankRows(oldCount, newCount - oldCount);
    } else if (newCount < oldCount) {
        const int first = newCount;
        const int gone = oldCount - newCount;
        Notify([&](IRomDocumentObserver& o) { o.RowsRemoving(first, gone); });
        table_.SetRowCount(newCount);
        Notify([&](IRomDocumentObserver& o) { o.RowsRemoved(first, gone); });
    }
}

void TRomDocument::SetCell(int col, int row, const std::string& text) {
    table_.SetCell(col, row, text);
    NotifyCell(col, row);
}

void TRomDocument::InsertBlankRows(int index, int count) {
    if (count <= 0) {
        return;
    }
    const int first = std::clamp(index, 1, table_.RowCount());
    Notify([&](IRomDocumentObserver& o) { o.RowsInserting(first, count); });
    table_.InsertBlankRows(first, count);
    Notify([&](IRomDocumentObserver& o) { o.RowsInserted(first, count); });
}

void TRomDocument::InsertFilledRows(int index, const std::vector<TRomTable::TRow>& rows,
                                    const std::vector<TRowExtras>& extras) {
    std::vector<TRomTable::TRow> copies = rows;
    std::vector<TRowExtras> extraCopies = extras;
    InsertFilledRows(index, std::move(copies), std::move(extraCopies));
}

void TRomDocument::InsertFilledRows(int index, std::vector<TRomTable::TRow>&& rows,
                                    std::vector<TRowExtras>&& extras) {
    if (rows.empty()) {
        return;
    }
    // What AppendToRow makes of each cell of a blank row: the text in its
    // place, an empty text as " ".
    for (TRomTable::TRow& row : rows) {
        for (std::string& cell : row) {
            if (cell.empty()) {
                cell.push_back(' ');
            }
        }
    }
    const int first = std::clamp(index, 1, table_.RowCount());
    const int count = static_cast<int>(rows.size());
    Notify([&](IRomDocumentObserver& o) { o.RowsInserting(first, count); });
    table_.InsertRows(first, std::move(rows), std::move(extras));
    Notify([&](IRomDocumentObserver& o) { o.RowsInserted(first, count); });
}

int TRomDocument::AppendToRow(int row, const std::string& text) {
    const int col = table_.AppendToRow(row, text);
    if (col >= 0) {
        NotifyCell(col, row);
    }
    return col;
}

void TRomDocument::ClearDataCells() {
    table_.ClearDataCells();
    if (table_.RowCount() > 1) {
        const int last = table_.RowCount() - 1;
        Notify(
            [&](IRomDocumentObserver& o) { o.CellsChanged(1, last, 0, TRomTable::ColCount - 1); });
    }
}

void TRomDocument::SetColWidth(int col, int width) {
    if (col < 0 || col >= TRomTable::ColCount || table_.ColWidth(col) == width) {
        return;
    }
    table_.SetColWidth(col, width);
    Notify([&](IRomDocumentObserver& o) { o.WidthsChanged(col, col); });
}

void TRomDocument::FitColumns(bool includeFixed, int extra, const ITextMeasure& measure) {
    table_.FitColumns(includeFixed, extra, measure);
    Notify([](IRomDocumentObserver& o) { o.WidthsChanged(0, TRomTable::ColCount - 1); });
}

void TRomDocument::Open(std::vector<TRomTable::TRow>&& rows, std::vector<TRowExtras>&& extras,
                        std::shared_ptr<const TKeptHeader> header) {
    Notify([](IRomDocumentObserver& o) { o.Resetting(); });
    table_.TakeRows(1, table_.RowCount() - 1);
    if (rows.empty()) {
        rows.emplace_back();
    }
    table_.InsertRows(1, std::move(rows), std::move(extras));
    keptHeader_ = std::move(header);
    history_.Clear();
    savedState_ = history_.State();
    stepBefore_.clear();
    stepBeforeExtras_.clear();
    Notify([](IRomDocumentObserver& o) { o.Reset(); });
    Notify([](IRomDocumentObserver& o) { o.StepsChanged(); });
}

void TRomDocument::Apply(TTableChange change) {
    change.AfterCount = change.After.size();
    RunAndRecord(StepOf(std::move(change)));
}

void TRomDocument::EditCell(int col, int row, std::string text) {
    if (row < 1 || row >= table_.RowCount() || col < 0 || col >= TRomTable::ColCount ||
        text == table_.Cell(col, row)) {
        return;
    }
    TTableChange change;
    change.Cells.push_back({row, col, table_.Cell(col, row), std::move(text)});
    Apply(std::move(change));
}

void TRomDocument::DeleteRows(std::vector<int> rows) {
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
        KeepRomlessGames(change);
        step.push_back(std::move(change));
        end = begin;
    }
    RunAndRecord(std::move(step));
}

void TRomDocument::KeepRomlessGames(TTableChange& change) const {
    std::vector<TKeptGame> games;
    const int after = change.First + static_cast<int>(change.BeforeCount);
    for (int row = change.First; row < after; ++row) {
        if (const auto& kept = table_.Extras(row).Kept) {
            games.insert(games.end(), kept->GamesBefore.begin(), kept->GamesBefore.end());
        }
    }
    if (games.empty()) {
        return;
    }
    if (after < table_.RowCount()) {
        // The next row stands where the removed rows stood: the games go in front of its own.
        TRowExtras extras = table_.Extras(after);
        auto kept =
            extras.Kept ? std::make_shared<TKeptRow>(*extras.Kept) : std::make_shared<TKeptRow>();
        games.insert(games.end(), kept->GamesBefore.begin(), kept->GamesBefore.end());
        kept->GamesBefore = std::move(games);
        extras.Kept = std::move(kept);
        change.BeforeCount += 1;
        change.After.push_back(table_.Row(after));
        change.AfterExtras.push_back(std::move(extras));
        change.AfterCount = change.After.size();
    } else if (keptHeader_ != nullptr) {
        auto header = std::make_shared<TKeptHeader>(*keptHeader_);
        header->GamesAfter.insert(header->GamesAfter.begin(), games.begin(), games.end());
        change.SwapsHeader = true;
        change.Header = std::move(header);
    }
}

int TRomDocument::InsertRow(int at) {
    TTableChange change;
    change.First = std::clamp(at, 1, table_.RowCount());
    change.After.emplace_back();
    const int row = change.First;
    Apply(std::move(change));
    return row;
}

void TRomDocument::Clear() {
    // What emptying the data cells and leaving two rows give (the header and
    // one blank row), as one step that keeps the rows themselves, not copies.
    TTableChange change;
    change.First = 1;
    change.BeforeCount = static_cast<std::size_t>(table_.RowCount() - 1);
    change.After.emplace_back();
    // The games without a rom after the last row go too, in the same step.
    if (keptHeader_ != nullptr && !keptHeader_->GamesAfter.empty()) {
        auto header = std::make_shared<TKeptHeader>(*keptHeader_);
        header->GamesAfter.clear();
        change.SwapsHeader = true;
        change.Header = std::move(header);
    }
    Apply(std::move(change));
}

void TRomDocument::SetValue(const std::vector<std::pair<int, int>>& cells,
                            const std::string& text) {
    TTableChange change;
    for (const auto& [col, row] : cells) {
        const std::string& before = table_.Cell(col, row);
        if (row >= 1 && row < table_.RowCount() && before != text) {
            change.Cells.push_back({row, col, before, text});
        }
    }
    Apply(std::move(change));
}

int TRomDocument::Replace(const TReplaceRequest& request) {
    TReplaceResult result = ReplaceAll(table_, request);
    Apply(std::move(result.Change));
    return result.Replacements;
}

void TRomDocument::BeginRowsStep(int first) {
    stepFirst_ = std::clamp(first, 1, table_.RowCount());
    const auto rows = table_.DataRows().subspan(static_cast<std::size_t>(stepFirst_ - 1));
    stepBefore_.assign(rows.begin(), rows.end());
    const auto extras = table_.DataExtras().subspan(static_cast<std::size_t>(stepFirst_ - 1));
    stepBeforeExtras_.assign(extras.begin(), extras.end());
}

void TRomDocument::EndRowsStep() {
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
        Record(StepOf(std::move(change)));
    }
}

void TRomDocument::Undo() {
    if (TTableStep* step = history_.Undo()) {
        Run(*step, false);
        Notify([](IRomDocumentObserver& o) { o.StepsChanged(); });
    }
}

void TRomDocument::Redo() {
    if (TTableStep* step = history_.Redo()) {
        Run(*step, true);
        Notify([](IRomDocumentObserver& o) { o.StepsChanged(); });
    }
}

void TRomDocument::RunAndRecord(TTableStep step) {
    Run(step, true);
    Record(std::move(step));
}

void TRomDocument::Record(TTableStep step) {
    if (std::all_of(step.begin(), step.end(), [](const TTableChange& c) { return c.Empty(); })) {
        return; // nothing changed: no step, and the history stays as it was
    }
    history_.Record(std::move(step));
    Notify([](IRomDocumentObserver& o) { o.StepsChanged(); });
}

void TRomDocument::Run(TTableStep& step, bool forward) {
    const auto run = [this, forward](TTableChange& change) {
        if (change.SwapsHeader) {
            std::swap(keptHeader_, change.Header);
        }
        if (!forward) {
            for (auto cell = change.Cells.rbegin(); cell != change.Cells.rend(); ++cell) {
                SetCell(cell->Col, cell->Row, cell->Before);
            }
        }
        // The rows that go are kept in the change, the rows that come leave it.
        if (forward) {
            std::vector<TRowExtras> extras = std::move(change.AfterExtras);
            change.Before =
                MoveRows(change.First, change.BeforeCount, std::move(change.After), extras);
            change.BeforeExtras = std::move(extras);
            for (const TTableChange::TCell& cell : change.Cells) {
                SetCell(cell.Col, cell.Row, cell.After);
            }
        } else {
            std::vector<TRowExtras> extras = std::move(change.BeforeExtras);
            change.After =
                MoveRows(change.First, change.AfterCount, std::move(change.Before), extras);
            change.AfterExtras = std::move(extras);
        }
    };
    if (forward) {
        std::for_each(step.begin(), step.end(), run);
    } else {
        std::for_each(step.rbegin(), step.rend(), run);
    }
}

std::vector<TRomTable::TRow> TRomDocument::MoveRows(int first, std::size_t removed,
                                                    std::vector<TRomTable::TRow>&& inserted,
                                                    std::vector<TRowExtras>& extras) {
    // As many rows in as out (naming, or taking such a step back): they
    // change places with the table's, and the rows around them stay.
    if (removed > 0 && removed == inserted.size() &&
        first + static_cast<int>(removed) <= table_.RowCount()) {
        std::vector<TRomTable::TRow> rows = std::move(inserted);
        table_.SwapRows(first, rows, extras);
        const int count = static_cast<int>(removed);
        Notify([&](IRomDocumentObserver& o) { o.RowsReplaced(first, count); });
        return rows;
    }
    std::vector<TRomTable::TRow> taken;
    std::vector<TRowExtras> takenExtras;
    if (removed > 0) {
        const int count = static_cast<int>(removed);
        Notify([&](IRomDocumentObserver& o) { o.RowsRemoving(first, count); });
        taken = table_.TakeRows(first, count, &takenExtras);
        Notify([&](IRomDocumentObserver& o) { o.RowsRemoved(first, count); });
    }
    if (!inserted.empty()) {
        const int count = static_cast<int>(inserted.size());
        Notify([&](IRomDocumentObserver& o) { o.RowsInserting(first, count); });
        table_.InsertRows(first, std::move(inserted), std::move(extras));
        Notify([&](IRomDocumentObserver& o) { o.RowsInserted(first, count); });
    }
    extras = std::move(takenExtras);
    return taken;
}

} // namespace tabula
