#pragma once

#include "gui/romlist/RomTableModel.h"

#include <QTableView>

#include <string>
#include <vector>

namespace tabula {

// The text a cell or header of width cellWidth shows: whole when it fits,
// else cut with an ellipsis at its end.
QString ShownCellText(const QString& text, const QFontMetrics& metrics, int cellWidth);

// The rom table on screen: a table view over TRomTableModel whose horizontal
// header shows row 0 in bold, owning the document the model shows. It offers the table operations
// the rest of the program uses, with row numbers counting the header row as row 0.
class TEditGrid : public QTableView {
    Q_OBJECT
public:
    explicit TEditGrid(QWidget* parent = nullptr);

    ~TEditGrid() override;

    int RowCount() const { return document_.RowCount(); }
    void SetRowCount(int count) { document_.SetRowCount(count); }
    const std::string& Cell(int col, int row) const { return document_.Cell(col, row); }
    void SetCell(int col, int row, const std::string& text) { document_.SetCell(col, row, text); }
    void InsertBlankRows(int index, int count) { document_.InsertBlankRows(index, count); }
    int AppendToRow(int row, const std::string& text) { return document_.AppendToRow(row, text); }
    void ClearDataCells() { document_.ClearDataCells(); }
    void FitColumns(bool includeFixed, int extra);
    int ColWidth(int col) const { return document_.Table().ColWidth(col); }
    // Redraws at once, so rows appear while a long command runs.
    void Repaint();

    const TRomTable& Table() const { return document_.Table(); }
    // The rows shown, their history and what an opened datafile kept.
    TRomDocument& Document() { return document_; }
    TRomTableModel* RomModel() const { return model_; }

    QFont HeaderFont() const;

    // Makes the cell current and selected, and scrolls it into view.
    void ShowCell(int col, int row);
    // The table rows holding a selected cell, in order.
    std::vector<int> SelectedTableRows() const;
    // The table row of the current cell; 0 when there is none.
    int CurrentTableRow() const;

    // Makes the cell next to the current one in the direction of an arrow key
    // current; nothing at the table's edge.
    void MoveCurrent(int key);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyFonts();
    void ShowColumnWidths(int first, int last);

    TRomDocument document_;
    TRomTableModel* model_;
};

} // namespace tabula
