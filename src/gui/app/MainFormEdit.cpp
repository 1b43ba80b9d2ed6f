// The main window's "&Edit" menu: the table's history and the changes a
// table editor offers beyond typing into cells.
#include "core/reference/RowNaming.h"
#include "gui/app/MainForm.h"
#include "gui/datafile/SaveDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/romlist/FindReplaceDialog.h"
#include "gui/widgets/ContainerStatusBar.h"

#include "core/romlist/TablePaste.h"
#include "gui/app/Application.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include <map>
#include <set>
#include <stdexcept>

namespace tabula {

namespace {

constexpr int SetFullName = 1;
constexpr int CloneFullName = 3;

std::optional<QString> AskValueInBox(QWidget* parent, const QString& current, bool* alsoClones) {
    QDialog box(parent);
    box.setObjectName(QStringLiteral("SetValueDialog"));
    box.setWindowTitle(QStringLiteral("Set value"));
    auto* value = new QLineEdit(current, &box);
    value->setObjectName(QStringLiteral("Value"));
    auto* label = new QLabel(QStringLiteral("&Value of the selected cells:"), &box);
    label->setBuddy(value);
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(value);
    QCheckBox* clones = nullptr;
    if (alsoClones != nullptr) {
        clones = new QCheckBox(QStringLiteral("Set the &clone full names of these rows too"), &box);
        clones->setObjectName(QStringLiteral("AlsoClones"));
        clones->setChecked(true);
        clones->setToolTip(QStringLiteral("A clone full name left as it was would name a set that "
                                          "no longer exists."));
        layout->addWidget(clones);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    layout->addWidget(buttons);
    box.setMinimumWidth(320);
    value->selectAll();
    if (box.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    if (clones != nullptr) {
        *alsoClones = clones->isChecked();
    }
    return value->text();
}

} // namespace

void TMainForm::BuildEditMenu() {
    AskValue = AskValueInBox;
    Edit1 = menuBar()->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Undo1 = MenuItem(Edit1, "Undo1", "&Undo", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    Redo1 = MenuItem(
        Edit1, "Redo1", "&Redo",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    Edit1->addSeparator();
    // Delete reaches the table only without an open editor, which keeps the
    // key for its text.
    Deleterows1 = MenuItem(Edit1, "Deleterows1", "&Delete rows", {QKeySequence(Qt::Key_Delete)});
    Insertrow1 = MenuItem(Edit1, "Insertrow1", "&Insert row");
    Edit1->addSeparator();
    Selectall1 = MenuItem(Edit1, "Selectall1", "Select &all", {QKeySequence::SelectAll});
    Copy1 = MenuItem(Edit1, "Copy1", "&Copy", {QKeySequence::Copy});
    Paste1 = MenuItem(Edit1, "Paste1", "&Paste", {QKeySequence::Paste});
    Edit1->addSeparator();
    Findreplace1 = MenuItem(Edit1, "Findreplace1", "&Find and replace ...",
                            {QKeySequence(Qt::CTRL | Qt::Key_H)});
    Findnext1 = MenuItem(Edit1, "Findnext1", "Find &next", {QKeySequence(Qt::Key_F3)});
    Setvalue1 = MenuItem(Edit1, "Setvalue1", "Set &value of selected cells ...");
    Edit1->addSeparator();
    AskReferenceNames = ShowReferenceDialog;
    Namefromdatafile = MenuItem(Edit1, "Namefromdatafile", "&Name from datafile ...");
    Selectunknown1 = MenuItem(Edit1, "Selectunknown1", "Select &unknown rows");
    Selectunknown1->setVisible(false);
    Find1 = new QAction(this);
    Find1->setObjectName(QStringLiteral("Find1"));
    Find1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    addAction(Find1);

    Bind(Undo1, &TMainForm::Undo1Click);
    Bind(Redo1, &TMainForm::Redo1Click);
    Bind(Deleterows1, &TMainForm::Deleterows1Click);
    Bind(Insertrow1, &TMainForm::Insertrow1Click);
    Bind(Selectall1, &TMainForm::Selectall1Click);
    Bind(Copy1, &TMainForm::Copy1Click);
    Bind(Paste1, &TMainForm::Paste1Click);
    Bind(Findreplace1, &TMainForm::Findreplace1Click);
    Bind(Findnext1, &TMainForm::Findnext1Click);
    Bind(Find1, &TMainForm::Find1Click);
    Bind(Setvalue1, &TMainForm::Setvalue1Click);
    Bind(Namefromdatafile, &TMainForm::NamefromdatafileClick);
    Bind(Selectunknown1, &TMainForm::Selectunknown1Click);

    // The table's context menu is the Edit menu.
    EditGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(EditGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!scanning_) {
            Edit1->popup(EditGrid1->viewport()->mapToGlobal(at));
        }
    });
}

void TMainForm::UpdateHistoryItems() {
    Undo1->setEnabled(EditGrid1->Document().CanUndo());
    Redo1->setEnabled(EditGrid1->Document().CanRedo());
}

void TMainForm::Undo1Click() {
    EditGrid1->Document().Undo();
}

void TMainForm::Redo1Click() {
    EditGrid1->Document().Redo();
}

void TMainForm::Deleterows1Click() {
    std::vector<int> rows = EditGrid1->SelectedTableRows();
    if (rows.empty() && EditGrid1->CurrentTableRow() > 0) {
        rows.push_back(EditGrid1->CurrentTableRow());
    }
    EditGrid1->Document().DeleteRows(std::move(rows));
}

void TMainForm::Insertrow1Click() {
    const int current = EditGrid1->CurrentTableRow();
    const int at = current > 0 ? current : EditGrid1->RowCount();
    const int row = EditGrid1->Document().InsertRow(at);
    EditGrid1->ShowCell(std::max(EditGrid1->currentIndex().column(), 0), row);
}

void TMainForm::Findreplace1Click() {
    ShowReplace(true);
}

void TMainForm::Find1Click() {
    ShowReplace(false);
}

void TMainForm::ShowReplace(bool replacing) {
    if (findReplace_ == nullptr) {
        findReplace_ = new TFindReplaceDialog(this);
        connect(findReplace_, &TFindReplaceDialog::FindNextClicked, this,
                [this] { TApplication::RunCommand([this] { Findnext1Click(); }, findReplace_); });
    }
    if (!findReplace_->Ask(replacing)) {
        return;
    }
    const int replacements = EditGrid1->Document().Replace(findReplace_->Request());
    StatusBar1->showMessage(replacements == 1
                                ? QStringLiteral("1 replacement")
                                : QStringLiteral("%1 replacements").arg(replacements));
}

void TMainForm::Setvalue1Click() {
    const QModelIndexList selected = EditGrid1->selectionModel()->selectedIndexes();
    std::set<int> columns;
    for (const QModelIndex& cell : selected) {
        columns.insert(cell.column());
    }
    if (columns.empty()) {
        return;
    }
    if (columns.size() > 1) {
        throw std::runtime_error("Select cells of one column to set their value");
    }
    const QModelIndex current = EditGrid1->currentIndex();
    const bool setNames = *columns.begin() == SetFullName;
    bool alsoClones = setNames;
    const std::optional<QString> value =
        AskValue(this, current.isValid() ? current.data().toString() : QString(),
                 setNames ? &alsoClones : nullptr);
    if (!value) {
        return;
    }
    std::vector<std::pair<int, int>> cells;
    for (const QModelIndex& cell : selected) {
        cells.emplace_back(cell.column(), cell.row() + 1);
        if (setNames && alsoClones) {
            cells.emplace_back(CloneFullName, cell.row() + 1);
        }
    }
    EditGrid1->Document().SetValue(cells, value->toStdString());
}

void TMainForm::Selectall1Click() {
    EditGrid1->selectAll();
}

void TMainForm::Copy1Click() {
    const QModelIndexList selected = EditGrid1->selectionModel()->selectedIndexes();
    std::map<int, std::map<int, std::string>> rows; // in reading order
    for (const QModelIndex& cell : selected) {
        rows[cell.row()][cell.column()] = cell.data().toString().toStdString();
    }
    if (rows.empty()) {
        const QModelIndex current = EditGrid1->currentIndex();
        if (!current.isValid()) {
            return;
        }
        rows[current.row()][current.column()] = current.data().toString().toStdString();
    }
    std::vector<std::vector<std::string>> lines;
    for (auto& [row, cells] : rows) {
        std::vector<std::string>& line = lines.emplace_back();
        for (auto& [col, text] : cells) {
            line.push_back(std::move(text));
        }
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(TabSeparatedText(lines)));
    StatusBar1->showMessage(lines.size() == 1 ? QStringLiteral("1 row copied")
                                              : QStringLiteral("%1 rows copied").arg(lines.size()));
}

void TMainForm::Paste1Click() {
    const QModelIndex current = EditGrid1->currentIndex();
    if (!current.isValid()) {
        throw EPasteRefused("Choose the cell the pasted text begins at");
    }
    const std::string text = QGuiApplication::clipboard()->text().toStdString();
    EditGrid1->Document().Apply(
        PasteChange(EditGrid1->Table(), current.column(), current.row() + 1, text));
}

void TMainForm::Findnext1Click() {
    if (findReplace_ == nullptr || findReplace_->FindText->text().isEmpty()) {
        ShowReplace(false);
        return;
    }
    const TReplaceRequest request = findReplace_->Request();
    const QModelIndex current = EditGrid1->currentIndex();
    const auto found =
        FindNext(EditGrid1->Table(), request, current.isValid() ? current.column() : 0,
                 current.isValid() ? current.row() + 1 : 0);
    if (!found) {
        StatusBar1->showMessage(
            QStringLiteral("\"%1\" was not found").arg(findReplace_->FindText->text()));
        return;
    }
    EditGrid1->ShowCell(found->first, found->second);
    StatusBar1->showMessage(QStringLiteral("Found in row %1").arg(found->second));
}

void TMainForm::NamefromdatafileClick() {
    const QStringList files = AskReferenceNames(this, lastReferenceName_);
    if (files.isEmpty()) {
        return;
    }
    lastReferenceName_ = files.constFirst();
    // Every file is read before the table changes: a refusal leaves it as it was.
    TReferenceIndex index;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        for (const QString& file : files) {
            index.AddFile(QFile::encodeName(file).toStdString());
        }
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    TRowNamer namer(index);
    const QModelIndex current = EditGrid1->currentIndex();
    EditGrid1->Document().Apply(NamingChange(EditGrid1->Table(), namer));
    QApplication::restoreOverrideCursor();
    EditGrid1->RomModel()->SetShowsMatch(true);
    Selectunknown1->setVisible(true);
    EditGrid1->FitColumns(true, 0); // the curated names are longer than the files' as a rule
    // The rows stay where they were: so does the current cell.
    if (current.isValid()) {
        EditGrid1->ShowCell(current.column(), current.row() + 1);
    }
    StatusBar1->showMessage(QString::fromStdString(MatchSummaryText(namer.Counts())));
}

void TMainForm::Selectunknown1Click() {
    const auto extras = EditGrid1->Table().DataExtras();
    const TRomTableModel* model = EditGrid1->RomModel();
    const int lastCol = model->columnCount() - 1;
    QItemSelection selection;
    int first = -1;
    std::size_t count = 0;
    for (std::size_t r = 0; r < extras.size();) {
        if (extras[r].Match != TMatchMark::Unknown) {
            ++r;
            continue;
        }
        const std::size_t start = r;
        while (r < extras.size() && extras[r].Match == TMatchMark::Unknown) {
            ++r;
        }
        selection.select(model->index(static_cast<int>(start), 0),
                         model->index(static_cast<int>(r - 1), lastCol));
        first = first < 0 ? static_cast<int>(start) : first;
        count += r - start;
    }
    QItemSelectionModel* selected = EditGrid1->selectionModel();
    if (first >= 0) {
        selected->setCurrentIndex(model->index(first, 0), QItemSelectionModel::NoUpdate);
        EditGrid1->scrollTo(model->index(first, 0));
    }
    selected->select(selection, QItemSelectionModel::ClearAndSelect);
    StatusBar1->showMessage(count == 1 ? QStringLiteral("1 unknown row selected")
                                       : QStringLiteral("%1 unknown rows selected").arg(count));
}

void TMainForm::HideMatches() {
    EditGrid1->RomModel()->SetShowsMatch(false);
    Selectunknown1->setVisible(false);
}

} // namespace tabula
