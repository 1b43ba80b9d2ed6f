// The main window's table habits beyond the Parts: sorting by a column,
// the counts in the status bar, and folders and datafiles dropped on it.
#include "core/romlist/TableSort.h"
#include "gui/app/Application.h"
#include "gui/app/MainForm.h"
#include "gui/romlist/EditGrid.h"
#include "gui/widgets/ContainerStatusBar.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace tabula {

namespace {

// What a drop brings: one local folder, or one file named as a datafile.
struct TDropped {
    QString Path;
    bool Folder = false;
};

TDropped DroppedOf(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().constFirst().isLocalFile()) {
        return {};
    }
    const QString path = data->urls().constFirst().toLocalFile();
    const QFileInfo info(path);
    if (info.isDir()) {
        return {path, true};
    }
    const QString suffix = info.suffix().toLower();
    if (info.isFile() && (suffix == QLatin1String("dat") || suffix == QLatin1String("xml"))) {
        return {path, false};
    }
    return {};
}

// How many rows hold a selected cell, from the selection's ranges.
std::size_t SelectedRowCount(const QItemSelection& selection) {
    std::vector<std::pair<int, int>> rows;
    for (const QItemSelectionRange& range : selection) {
        rows.emplace_back(range.top(), range.bottom());
    }
    std::sort(rows.begin(), rows.end());
    std::size_t count = 0;
    int covered = -1; // the last row counted
    for (const auto& [top, bottom] : rows) {
        if (bottom > covered) {
            count += static_cast<std::size_t>(bottom - std::max(top, covered + 1) + 1);
            covered = bottom;
        }
    }
    return count;
}

} // namespace

void TMainForm::BuildTableHabits() {
    setAcceptDrops(true);
    TRomTableModel* model = EditGrid1->RomModel();
    connect(model, &TRomTableModel::HistoryChanged, this, [this] {
        UpdateModified();
        UpdateSortIndicator();
    });

    QHeaderView* header = EditGrid1->horizontalHeader();
    header->setSectionsClickable(true);
    const auto sortBy = [this](int col) {
        if (!scanning_ && col >= 0 && col < TRomTable::ColCount) {
            TApplication::RunCommand([this, col] { SortByColumn(col); }, this);
        }
    };
    connect(header, &QHeaderView::sectionClicked, this, sortBy);
    for (int col = 0; col < TRomTable::ColCount; ++col) {
        QAction* item = new QAction(this);
        item->setObjectName(QStringLiteral("Sortbycolumn%1").arg(col + 1));
        item->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + col)));
        addAction(item);
        connect(item, &QAction::triggered, this, [sortBy, col] { sortBy(col); });
        Sortbycolumn[static_cast<std::size_t>(col)] = item;
    }

    TableCounts1 = new QLabel(StatusBar1);
    TableCounts1->setObjectName(QStringLiteral("TableCounts1"));
    StatusBar1->addPermanentWidget(TableCounts1);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TMainForm::ScheduleCounts);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TMainForm::ScheduleCounts);
    connect(model, &QAbstractItemModel::modelReset, this, &TMainForm::ScheduleCounts);
    connect(model, &QAbstractItemModel::dataChanged, this, &TMainForm::ScheduleCounts);
    connect(EditGrid1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::ScheduleCounts);
    ShowCounts();
}

void TMainForm::SortByColumn(int col) {
    sortDescending_ = col == sortColumn_ && !sortDescending_;
    sortColumn_ = col;
    EditGrid1->Document().Apply(SortChange(EditGrid1->Table(), col, sortDescending_));
    UpdateSortIndicator();
}

void TMainForm::UpdateSortIndicator() {
    QHeaderView* header = EditGrid1->horizontalHeader();
    // Shown while the rows stand in the order of the last sort.
    if (sortColumn_ >= 0 && SortChange(EditGrid1->Table(), sortColumn_, sortDescending_).Empty()) {
        header->setSortIndicator(sortColumn_,
                                 sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
        header->setSortIndicatorShown(true);
        return;
    }
    sortColumn_ = -1;
    header->setSortIndicatorShown(false);
}

void TMainForm::ScheduleCounts() {
    // A scan's rows are one change, counted when it ends (its rows come by
    // the thousand); other changes are counted once per pass of events.
    if (scanning_) {
        return;
    }
    if (!countsPending_) {
        countsPending_ = true;
        QTimer::singleShot(0, this, [this] {
            countsPending_ = false;
            ShowCounts();
        });
    }
}

void TMainForm::ShowCounts() {
    const TTableCounts counts = CountRowsAndSets(EditGrid1->Table());
    QString text = QStringLiteral("%1 rows in %2 sets").arg(counts.Rows).arg(counts.Sets);
    if (const std::size_t selected = SelectedRowCount(EditGrid1->selectionModel()->selection());
        selected > 1) {
        text += QStringLiteral(", %1 selected").arg(selected);
    }
    TableCounts1->setText(text);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!scanning_ && !DroppedOf(event->mimeData()).Path.isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    if (!scanning_ && !DroppedOf(event->mimeData()).Path.isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    const TDropped dropped = DroppedOf(event->mimeData());
    if (scanning_ || dropped.Path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The command runs once the drop is over, so the program it came from
    // is not kept waiting by a dialog.
    QTimer::singleShot(0, this, [this, dropped] {
        if (scanning_) {
            return;
        }
        TApplication::RunCommand(
            [this, &dropped] {
                if (dropped.Folder) {
                    ScanFolder(dropped.Path);
                } else if (AskToSave(QStringLiteral("Open datafile"))) {
                    OpenDatafile(dropped.Path);
                }
            },
            this);
    });
}

} // namespace tabula
