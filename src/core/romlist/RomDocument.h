#pragma once

#include "core/romlist/FindReplace.h"
#include "core/romlist/KeptFields.h"
#include "core/romlist/RomTable.h"
#include "core/romlist/TableHistory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tabula {

// Told of every change of a document's rows, as it happens. Row numbers are
// table rows (the header is row 0). A view that must know before the rows
// move (a Qt model) hears the "-ing" call, then the change is made, then the
// "-ed" call.
class IRomDocumentObserver {
public:
    virtual ~IRomDocumentObserver() = default;
    virtual void RowsInserting(int /*first*/, int /*count*/) {}
    virtual void RowsInserted(int /*first*/, int /*count*/) {}
    virtual void RowsRemoving(int /*first*/, int /*count*/) {}
    virtual void RowsRemoved(int /*first*/, int /*count*/) {}
    // The texts of rows firstRow .. lastRow in columns firstCol .. lastCol.
    virtual void CellsChanged(int /*firstRow*/, int /*lastRow*/, int /*firstCol*/,
                              int /*lastCol*/) {}
    // Rows first .. first + count - 1 were replaced in place: their cells and
    // what they carry beside them.
    virtual void RowsReplaced(int /*first*/, int /*count*/) {}
    // Every data row is replaced at once (opening a datafile).
    virtual void Resetting() {}
    virtual void Reset() {}
    virtual void WidthsChanged(int /*first*/, int /*last*/) {}
    // A step was recorded, undone or made again, or the history was cleared.
    virtual void StepsChanged() {}
};

// The table the user edits: its rows, what they carry beside their cells,
// the kept header of an opened datafile, and the history of the user's
// steps. The Edit menu and the open and save commands act on it; a view
// watches it through IRomDocumentObserver.
class TRomDocument {
public:
    TRomDocument() = default;
    TRomDocument(const TRomDocument&) = delete;
    TRomDocument& operator=(const TRomDocument&) = delete;

    void AddObserver(IRomDocumentObserver* observer);
    void RemoveObserver(IRomDocumentObserver* observer);

    const TRomTable& Table() const { return table_; }
    int RowCount() const { return table_.RowCount(); }
    const std::string& Cell(int col, int row) const { return table_.Cell(col, row); }
    // What an opened datafile carried beyond its rows; null after a scan only.
    const std::shared_ptr<const TKeptHeader>& KeptHeader() const { return keptHeader_; }

    // ---- Changes not recorded by themselves: a scan's rows between
    // BeginRowsStep and EndRowsStep, and the table's own operations.

    void SetRowCount(int count);
    void SetCell(int col, int row, const std::string& text);
    void InsertBlankRows(int index, int count);
    // Inserts rows filled as AppendToRow fills a blank row, the first getting
    // the number index, with what they carry beside their cells (extras[i]
    // for rows[i]; none for rows past the extras).
    void InsertFilledRows(int index, const std::vector<TRomTable::TRow>& rows,
                          const std::vector<TRowExtras>& extras = {});
    // The same, taking the rows' texts instead of copying them.
    void InsertFilledRows(int index, std::vector<TRomTable::TRow>&& rows,
                          std::vector<TRowExtras>&& extras);
    int AppendToRow(int row, const std::string& text);
    void ClearDataCells();
    void SetColWidth(int col, int width);
    void FitColumns(bool includeFixed, int extra, const ITextMeasure& measure);

    // Puts an opened datafile's rows in place of every data row (no rows
    // leave one blank row), keeps its header, and starts a new history.
    void Open(std::vector<TRomTable::TRow>&& rows, std::vector<TRowExtras>&& extras,
              std::shared_ptr<const TKeptHeader> header);

    // ---- Steps the user can undo, each one step of the history.

    // The change as given: BeforeCount rows at First go, its After rows come
    // in there, then its cells are set.
    void Apply(TTableChange change);
    // Stores a typed text; the same text as before records nothing.
    void EditCell(int col, int row, std::string text);
    // Removes the given table rows (in any order, repeats ignored). The kept
    // games without a rom that stood before a removed row go with the row
    // after it, or to the end of the kept header.
    void DeleteRows(std::vector<int> rows);
    // A blank row that gets the number at; returns the row it went to.
    int InsertRow(int at);
    // Leaves the header and one blank row; the kept games without a rom go
    // with the rows they stood among.
    void Clear();
    // The text in each of the cells (column, table row) that does not hold it.
    void SetValue(const std::vector<std::pair<int, int>>& cells, const std::string& text);
    // Find and replace over the data cells; returns the occurrences replaced.
    int Replace(const TReplaceRequest& request);
    // Whatever the unrecorded operations do to the rows from table row
    // first on, between these two calls, becomes one step (a scan).
    void BeginRowsStep(int first);
    void EndRowsStep();

    // The rows or the kept header differ from the last Open or MarkSaved
    // (steps undone back to that point count as no change).
    bool Modified() const { return history_.State() != savedState_; }
    void MarkSaved() { savedState_ = history_.State(); }

    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    void Undo();
    void Redo();

private:
    template <typename F> void Notify(F&& call) {
        for (IRomDocumentObserver* observer : observers_) {
            call(*observer);
        }
    }
    void NotifyCell(int col, int row);
    // Makes (forward) or takes back a step.
    void Run(TTableStep& step, bool forward);
    // Takes out removed rows from first on, puts inserted there; returns the
    // rows taken. extras: those of the rows inserted on the way in, of the
    // rows taken on the way out.
    std::vector<TRomTable::TRow> MoveRows(int first, std::size_t removed,
                                          std::vector<TRomTable::TRow>&& inserted,
                                          std::vector<TRowExtras>& extras);
    void RunAndRecord(TTableStep step);
    // Makes change carry the games without a rom of the rows it takes out.
    void KeepRomlessGames(TTableChange& change) const;
    void Record(TTableStep step);

    TRomTable table_;
    TTableHistory history_;
    std::shared_ptr<const TKeptHeader> keptHeader_;
    std::uint64_t savedState_ = 0;
    // The open rows step: from where, and what stood there.
    int stepFirst_ = 0;
    std::vector<TRomTable::TRow> stepBefore_;
    std::vector<TRowExtras> stepBeforeExtras_;
    std::vector<IRomDocumentObserver*> observers_;
};

} // namespace tabula
