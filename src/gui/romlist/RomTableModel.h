#pragma once

#include "core/romlist/RomDocument.h"

#include <QAbstractTableModel>
#include <QFont>

#include <vector>

namespace tabula {

// Qt model over a rom document. Row 0 of the table (the header row) is the
// view's horizontal header; table row r >= 1 is model row r - 1. It shows
// what the document holds and tells the view of what the document tells it;
// an edit in a cell goes to the document as one step of its history.
class TRomTableModel : public QAbstractTableModel, private IRomDocumentObserver {
    Q_OBJECT
public:
    explicit TRomTableModel(TRomDocument& document, QObject* parent = nullptr);
    ~TRomTableModel() override;

    // Two more columns after the seven, "MD5" and "SHA-1", read-only, showing
    // the digests the rows carry: shown once a scan computed them, hidden
    // again by a cleared list.
    bool ShowsDigests() const { return showsDigests_; }
    void SetShowsDigests(bool shown);
    static constexpr int DigestColumns = 2;
    // One more, "SHA-256", after those shown, the same way.
    void SetShowsSha256(bool shown);

    // One more, "Match", after the digests, read-only, showing what naming
    // from reference datafiles found for each row: shown once a table was
    // named, hidden again by a cleared list or an opened datafile.
    bool ShowsMatch() const { return showsMatch_; }
    void SetShowsMatch(bool shown);
    // The column of the marks; -1 while it is hidden.
    int MatchColumn() const { return showsMatch_ ? Sha256Column() + (showsSha256_ ? 1 : 0) : -1; }

    // What a column after the seven shows.
    enum class TDigestKind { None, Md5, Sha1, Sha256 };
    TDigestKind DigestAt(int col) const;
    // The hexadecimal digits of a digest; 0 for None.
    static int DigestDigits(TDigestKind kind);

    void SetHeaderFont(const QFont& font) { headerFont_ = font; }

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
    void RowsInserting(int first, int count) override;
    void RowsInserted(int first, int count) override;
    void RowsRemoving(int first, int count) override;
    void RowsRemoved(int first, int count) override;
    void CellsChanged(int firstRow, int lastRow, int firstCol, int lastCol) override;
    void RowsReplaced(int first, int count) override;
    void Resetting() override;
    void Reset() override;
    void WidthsChanged(int first, int last) override;
    void StepsChanged() override;
    int Sha256Column() const;
    // Inserts or removes the count columns from first as flag goes to shown.
    void ShowColumns(bool& flag, bool shown, int first, int count);

    TRomDocument& document_;
    QFont headerFont_;
    bool showsDigests_ = false;
    bool showsSha256_ = false;
    bool showsMatch_ = false;
};

} // namespace tabula
