#include "gui/romlist/EditGrid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

#include <algorithm>

namespace tabula {

namespace {

// Text starts 2 pixels in from the cell's left edge, so a column fitted to
// its widest text plus 4 pixels shows that text whole.
constexpr int TextInset = 2;

class TCellDelegate : public QStyledItemDelegate {
public:
    explicit TCellDelegate(TEditGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    // In an open editor Up and Down move to the neighbouring cell, and so do
    // Left with the caret at the start of the text and Right at its end; the
    // text typed so far is kept.
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QLineEdit*>(object);
        if (editor != nullptr && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            const bool atStart = editor->cursorPosition() == 0 && !editor->hasSelectedText();
            const bool atEnd =
                editor->cursorPosition() == editor->text().size() && !editor->hasSelectedText();
            const int k = key->key();
            if (plain && (k == Qt::Key_Up || k == Qt::Key_Down || (k == Qt::Key_Left && atStart) ||
                          (k == Qt::Key_Right && atEnd))) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                grid_->MoveCurrent(k);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const QPalette& pal = option.palette;
        painter->save();
        painter->fillRect(option.rect, selected ? pal.highlight() : pal.base());
        painter->setPen(selected ? pal.color(QPalette::HighlightedText)
                                 : pal.color(QPalette::Text));
        painter->setFont(option.font);
        const QRect textRect = option.rect.adjusted(TextInset, 0, 0, 0);
        painter->setClipRect(option.rect);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          ShownCellText(index.data(Qt::DisplayRole).toString(), option.fontMetrics,
                                        option.rect.width()));
        painter->restore();
    }

private:
    TEditGrid* grid_;
};

class THeaderRow : public QHeaderView {
public:
    static constexpr int ArrowWidth = 12;
    explicit THeaderRow(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        const QPalette& pal = palette();
        painter->save();
        painter->fillRect(rect, pal.button());
        painter->setPen(pal.color(QPalette::WindowText));
        painter->setFont(font());
        painter->setClipRect(rect);
        // The sorted column's arrow takes the right end of its cell.
        const bool sorted = isSortIndicatorShown() && sortIndicatorSection() == logicalIndex;
        const int arrow = sorted ? std::min(ArrowWidth, rect.width() / 2) : 0;
        painter->drawText(
            rect.adjusted(TextInset, 0, -arrow, 0),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
            ShownCellText(model()->headerData(logicalIndex, Qt::Horizontal).toString(),
                          fontMetrics(), rect.width() - arrow));
        if (sorted) {
            QStyleOptionHeader option;
            option.initFrom(this);
            option.rect = QRect(rect.right() - arrow, rect.top(), arrow, rect.height());
            option.sortIndicator = sortIndicatorOrder() == Qt::AscendingOrder
                                       ? QStyleOptionHeader::SortUp
                                       : QStyleOptionHeader::SortDown;
            style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, painter, this);
        }
        // Grid lines between header cells, like those of the data area.
        painter->setPen(pal.color(QPalette::Mid));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        painter->restore();
    }
};

class TQtMeasure : public ITextMeasure {
public:
    TQtMeasure(const QFont& header, const QFont& data)
        : header_(header), data_(data), dataF_(data) {}
    int TextWidth(const std::string& text, bool headerRow) const override {
        const QString qtext = QString::fromStdString(text);
        return headerRow ? header_.horizontalAdvance(qtext) : data_.horizontalAdvance(qtext);
    }
    double CharAdvance(char32_t c) const override { return dataF_.horizontalAdvance(Text(c)); }
    double PairAdvance(char32_t first, char32_t second) const override {
        return dataF_.horizontalAdvance(Text(first) + Text(second));
    }

private:
    static QString Text(char32_t c) { return QString::fromUcs4(&c, 1); }

    QFontMetrics header_;
    QFontMetrics data_;
    QFontMetricsF dataF_;
};

} // namespace

QString ShownCellText(const QString& text, const QFontMetrics& metrics, int cellWidth) {
    // A cut text ends in an ellipsis, so "52428800" never passes for a size.
    // Most texts fit: their advance is cheaper to learn than an elision.
    const int room = cellWidth - TextInset;
    if (metrics.horizontalAdvance(text) <= room) {
        return text;
    }
    return metrics.elidedText(text, Qt::ElideRight, room);
}

TEditGrid::TEditGrid(QWidget* parent)
    : QTableView(parent), model_(new TRomTableModel(document_, this)) {
    setObjectName(QStringLiteral("EditGrid1"));
    setHorizontalHeader(new THeaderRow(this));
    setModel(model_);
    setItemDelegate(new TCellDelegate(this));

    setShowGrid(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
    setDragEnabled(false);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    header->setFixedHeight(TRomTable::HeaderRowHeight);

    // Row numbers, 1 for the first data row.
    QHeaderView* rows = verticalHeader();
    rows->setVisible(true);
    rows->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(TRomTable::DataRowHeight);
    rows->setDefaultSectionSize(TRomTable::DataRowHeight);

    // Widths the user drags at the header are the table's widths from then
    // on, and the table's widths are what the header shows.
    connect(header, &QHeaderView::sectionResized, this,
            [this](int col, int, int width) { document_.SetColWidth(col, width); });
    connect(model_, &TRomTableModel::ColumnWidthsChanged, this, &TEditGrid::ShowColumnWidths);
    // The digest columns are as wide as their hexadecimal digits, the
    // match column as its widest mark.
    connect(model_, &QAbstractItemModel::columnsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int col = first; col <= last; ++col) {
                    const int digits = TRomTableModel::DigestDigits(model_->DigestAt(col));
                    const QString widest =
                        col == model_->MatchColumn()
                            ? QString::fromLatin1(MatchMarkText(TMatchMark::Ambiguous))
                            : QString(digits, u'0');
                    horizontalHeader()->resizeSection(col,
                                                      fontMetrics().horizontalAdvance(widest) + 8);
                }
            });

    ApplyFonts();
    ShowColumnWidths(0, TRomTable::ColCount - 1);
}

TEditGrid::~TEditGrid() {
    // The model watches the document, which goes with this object's members,
    // before the children are deleted.
    delete model_;
}

QFont TEditGrid::HeaderFont() const {
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

void TEditGrid::ApplyFonts() {
    const QFont bold = HeaderFont();
    horizontalHeader()->setFont(bold);
    model_->SetHeaderFont(bold);
}

void TEditGrid::FitColumns(bool includeFixed, int extra) {
    const TQtMeasure measure(HeaderFont(), font());
    document_.FitColumns(includeFixed, extra, measure);
}

void TEditGrid::ShowColumnWidths(int first, int last) {
    for (int col = first; col <= last; ++col) {
        if (horizontalHeader()->sectionSize(col) != document_.Table().ColWidth(col)) {
            horizontalHeader()->resizeSection(col, document_.Table().ColWidth(col));
        }
    }
}

void TEditGrid::Repaint() {
    viewport()->repaint();
    horizontalHeader()->viewport()->repaint();
}

void TEditGrid::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton || event->modifiers() != Qt::NoModifier) {
        return;
    }
    // One click well inside a cell (more than 3 pixels from its left and right
    // borders) opens the editor; a click near a border only selects.
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (!index.isValid()) {
        return;
    }
    const QRect cell = visualRect(index);
    if (pos.x() - cell.left() > 3 && cell.right() - pos.x() > 3) {
        edit(index, QAbstractItemView::AllEditTriggers, event);
    }
}

void TEditGrid::ShowCell(int col, int row) {
    const QModelIndex cell = model_->index(row - 1, col);
    if (!cell.isValid()) {
        return;
    }
    setCurrentIndex(cell);
    selectionModel()->select(cell, QItemSelectionModel::ClearAndSelect);
    scrollTo(cell, QAbstractItemView::EnsureVisible);
}

std::vector<int> TEditGrid::SelectedTableRows() const {
    std::vector<int> rows;
    for (const QModelIndex& cell : selectionModel()->selectedIndexes()) {
        rows.push_back(cell.row() + 1);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TEditGrid::CurrentTableRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void TEditGrid::MoveCurrent(int key) {
    const CursorAction action = key == Qt::Key_Left    ? MoveLeft
                                : key == Qt::Key_Right ? MoveRight
                                : key == Qt::Key_Up    ? MoveUp
                                                       : MoveDown;
    const QModelIndex next = moveCursor(action, Qt::NoModifier);
    if (next.isValid()) {
        setCurrentIndex(next);
    }
}

void TEditGrid::keyPressEvent(QKeyEvent* event) {
    // The table has no clipboard shortcuts; an open editor keeps its own.
    if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Paste)) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TEditGrid::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        ApplyFonts();
    }
    QTableView::changeEvent(event);
}

} // namespace tabula
