#pragma once

#include "core/romlist/RomTable.h"
#include "core/romlist/TableHistory.h"

#include <QAbstractTableModel>
#include <QFont>

#include <vector>

namespace tabula {

// Qt model over the rom table. Row 0 of the table (the header row) is the
// view's horizontal header; table row r >= 1 is model row r - 1. The
// table's operations below take and give table rows (header row included);
// Qt's rowCount and indexes count data rows only. Every change, column
// widths included, goes through this class so the view hears of it.
class TRomTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRomTableModel(QObject* parent = nullptr);

    const TRomTable& Table() const { return table_; }

    // The table's RowCount: data rows plus the header row (rowCount() + 1).
    int RowCountWithHeader() const { return table_.RowCount(); }
    void SetRowCountWithHeader(int count);
    const std::string& Cell(int col, int row) const { return table_.Cell(col, row); }
    void SetCell(int col, int row, const std::string& text);
    void InsertBlankRows(int index, int count);
    // Inserts rows filled as AppendToRow fills a blank row, the first getting
    // the number index, with what they carry beside their cells (extras[i]
    // for rows[i]; none for rows past the extras), and tells the view once.
    void InsertFilledRows(int index, const std::vector<TRomTable::TRow>& rows,
                          const std::vector<TRowExtras>& extras = {});
    // The same, taking the rows' texts instead of copying them.
    void InsertFilledRows(int index, std::vector<TRomTable::TRow>&& rows,
                          std::vector<TRowExtras>&& extras);
    // Puts rows (with their extras) in place of every data row, and starts a
    // new history: what opening a datafile does. No rows leave one blank row.
    void ReplaceRows(std::vector<TRomTable::TRow>&& rows, std::vector<TRowExtras>&& extras);
    int AppendToRow(int row, const std::string& text);
    void ClearDataCells();

    // Two more columns after the seven, "MD5" and "SHA-1", read-only, showing
    // the digests the rows carry: shown once a scan computed them, hidden
    // again by a cleared list.
    bool ShowsDigests() const { return showsDigests_; }
    void SetShowsDigests(bool shown);
    static constexpr int DigestColumns = 2;
    // One more, "SHA-256", after those shown, the same way.
    bool ShowsSha256() const { return showsSha256_; }
    void SetShowsSha256(bool shown);

    // What a column after the seven shows.
    enum class TDigestKind { None, Md5, Sha1, Sha256 };
    TDigestKind DigestAt(int col) const;
    // The hexadecimal digits of a digest; 0 for None.
    static int DigestDigits(TDigestKind kind);

    // Column widths, told to the view through ColumnWidthsChanged.
    void SetColWidth(int col, int width);
    void FitColumns(bool includeFixed, int extra, const ITextMeasure& measure);

    void SetHeaderFont(const QFont& font) { headerFont_ = font; }

    // ---- Changes the user can undo. An edit through setData is one step;
    // the operations above are not recorded by themselves.

    // Makes the change as one step: its After rows go in at First (after
    // BeforeCount rows there are taken out), then its cells are set.
    void Change(TTableChange change);
    // Removes the given table rows (in any order, repeats ignored) as one step.
    void DeleteRows(std::vector<int> rows);
    // Whatever the operations above do to the rows from table row first on,
    // between these two calls, becomes one step (a scan, a clear).
    void BeginRowsStep(int first);
    void EndRowsStep();
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    void Undo();
    void Redo();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The widths of columns first .. last changed; the view takes them.
    void ColumnWidthsChanged(int first, int last);
    // A step was recorded, undone or made again.
    void HistoryChanged();

private:
    // Makes (forward) or takes back a step, telling the view.
    void Apply(TTableStep& step, bool forward);
    // Takes out removed rows from first on, puts inserted there; returns the rows taken.
    std::vector<TRomTable::TRow> ApplyRows(int first, std::size_t removed,
                                           std::vector<TRomTable::TRow>&& inserted,
                                           std::vector<TRowExtras>& extras);
    void Record(TTableStep step);
    int Sha256Column() const;

    TRomTable table_;
    TTableHistory history_;
    // The open rows step: from where, and what stood there.
    int stepFirst_ = 0;
    std::vector<TRomTable::TRow> stepBefore_;
    std::vector<TRowExtras> stepBeforeExtras_;
    QFont headerFont_;
    bool showsDigests_ = false;
    bool showsSha256_ = false;
};

} // namespace tabula
