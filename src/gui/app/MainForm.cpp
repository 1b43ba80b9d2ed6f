#include "gui/app/MainForm.h"

#include "core/cache/SqliteChecksumCache.h"
#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileSave.h"
#include "core/datafile/DatafileStream.h"
#include "core/platform/DirectoryListing.h"
#include "core/text/StringsTools.h"
#include "gui/app/AboutBox.h"
#include "gui/app/Application.h"
#include "gui/common/FormLook.h"
#include "gui/common/MessageBox.h"
#include "gui/common/ProgramTitle.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/datafile/SaveDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/romlist/GridRowSink.h"
#include "gui/scan/BackgroundScan.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/CompactDisc.h"
#include "gui/widgets/ContainerStatusBar.h"
#include "gui/widgets/EditPath.h"
#include "gui/widgets/ProgressFrm.h"
#include "gui/zip/WindowZipUi.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

#include <algorithm>
#include <stdexcept>

namespace tabula {

namespace {
// The window's outer size is 937 x 668; Qt sizes the client area, which here
// includes the menu bar: 4-pixel borders and a 23-pixel caption are taken off.
constexpr int ClientWidth = 937 - 8;
constexpr int ClientHeight = 668 - 8 - 23;

// Runs a clean-up on every way out of a scope.
template <typename F> class TFinally {
public:
    explicit TFinally(F f) : f_(std::move(f)) {}
    ~TFinally() { f_(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F f_;
};

} // namespace

QAction* TMainForm::MenuItem(QMenu* menu, const char* name, const char* caption,
                             const QList<QKeySequence>& shortcuts) {
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcuts(shortcuts);
    return item;
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent), AskSaveName(ShowSaveDialog), AskOpenName(ShowOpenDialog) {
    SetUpForm(this, "MainForm", QString::fromLatin1(Caption));
    // The caption shows unsaved work as desktop programs do, its text the same.
    setWindowTitle(windowTitle() + QStringLiteral("[*]"));
    // The program's picture, as the desktop entry and the installed icon show it.
    setWindowIcon(QIcon(QStringLiteral(":/icons/tabula.svg")));

    EditGrid1 = new TEditGrid(this);
    setCentralWidget(EditGrid1);
    BuildMenu();
    connect(EditGrid1->RomModel(), &TRomTableModel::HistoryChanged, this,
            &TMainForm::UpdateHistoryItems);
    UpdateHistoryItems();

    StatusBar1 = new TContainerStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    BuildTableHabits();

    ProgressFrm = new TProgressFrm(this);
    ProgressFrm->setObjectName(QStringLiteral("ProgressFrm"));
    ProgressFrm->SetTitle(QStringLiteral("Please wait..."));
    TProgressForm* form = ProgressFrm->Form();
    // The label directly: the setter would handle events before the
    // window is complete.
    form->WaitInfo->setText(QStringLiteral("Processing..."));
    ProgressFrm->SetShowCancelButton(true);
    ProgressFrm->SetBitMap(
        CompactDiscPicture(form->devicePixelRatioF(), form->palette().color(QPalette::Button)));

    PlaceOnScreen();
    FormCreate();
}

void TMainForm::PlaceOnScreen() {
    move(273, 183);
    resize(ClientWidth, ClientHeight);
    // A scaled or small screen may not hold the form's size: the window
    // then takes the free area, its frame included (4-pixel borders and a
    // 23-pixel caption, as above), and stays on it.
    const QRect area = screen()->availableGeometry();
    const QSize size(std::min(ClientWidth, area.width() - 8),
                     std::min(ClientHeight, area.height() - 8 - 23));
    if (size != QSize(ClientWidth, ClientHeight)) {
        resize(size);
    }
    const QPoint place(
        std::clamp(273, area.left(), std::max(area.left(), area.right() + 1 - size.width() - 8)),
        std::clamp(183, area.top(), std::max(area.top(), area.bottom() + 1 - size.height() - 31)));
    if (place != QPoint(273, 183)) {
        move(place);
    }
}

void TMainForm::SetDialogs(TScanDialog* scanDialog, TPropertyDialog* propertyDialog) {
    scanDialog_ = scanDialog;
    propertyDialog_ = propertyDialog;
    if (propertyDialog_ != nullptr) {
        savedCredits_ = propertyDialog_->Credits();
    }
}

bool TMainForm::Changed() const {
    return EditGrid1->Document().Modified() ||
           (propertyDialog_ != nullptr && propertyDialog_->Credits() != savedCredits_);
}

void TMainForm::UpdateModified() {
    setWindowModified(Changed());
}

void TMainForm::MarkSaved() {
    EditGrid1->Document().MarkSaved();
    if (propertyDialog_ != nullptr) {
        savedCredits_ = propertyDialog_->Credits();
    }
    UpdateModified();
}

bool TMainForm::AskToSave(const QString& command) {
    if (!Changed()) {
        return true;
    }
    const QMessageBox::StandardButton answer =
        ShowMessageBox(this, {QMessageBox::Question,
                              QString::fromLatin1(ProgramTitle),
                              QStringLiteral("Save the rows and credits before %1?").arg(command),
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                              {},
                              {{QMessageBox::Save, QStringLiteral("&Save")},
                               {QMessageBox::Discard, QStringLiteral("&Don't save")}}});
    if (answer == QMessageBox::Save) {
        return Save(); // a failed save throws, which ends the command too
    }
    return answer == QMessageBox::Discard;
}

TScanDialog& TMainForm::GivenScanDialog() const {
    if (scanDialog_ == nullptr) {
        throw std::logic_error("The main window was given no scan dialog");
    }
    return *scanDialog_;
}

TPropertyDialog& TMainForm::GivenPropertyDialog() const {
    if (propertyDialog_ == nullptr) {
        throw std::logic_error("The main window was given no properties dialog");
    }
    return *propertyDialog_;
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Clearlist1 = MenuItem(File1, "Clearlist1", "&Clear list");
    Scanforroms = MenuItem(File1, "Scanforroms", "Scan for roms ...", {Qt::Key_F5});
    Opendatafile =
        MenuItem(File1, "Opendatafile", "&Open datafile ...", {QKeySequence(Qt::CTRL | Qt::Key_O)});
    Save1 = MenuItem(File1, "Save1", "&Save", {QKeySequence(Qt::CTRL | Qt::Key_S)});
    Saveas =
        MenuItem(File1, "Saveas", "&Save as ...", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    Properties = MenuItem(File1, "Properties", "&Properties");
    N1 = File1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Quit1 = MenuItem(File1, "Quit1", "&Quit", {QKeySequence(Qt::CTRL | Qt::Key_Q)});

    Bind(Clearlist1, &TMainForm::Clearlist1Click);
    Bind(Quit1, &TMainForm::Quit1Click);
    Bind(Save1, &TMainForm::Save1Click);
    Bind(Saveas, &TMainForm::SaveasClick);
    Bind(Opendatafile, &TMainForm::OpendatafileClick);
    Bind(Properties, &TMainForm::PropertiesClick);
    Bind(Scanforroms, &TMainForm::ScanforromsClick);

    BuildEditMenu();

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = MenuItem(Help1, "About1", "&About tabula");
    Bind(About1, &TMainForm::About1Click);
}

void TMainForm::Bind(QAction* item, void (TMainForm::*handler)()) {
    connect(item, &QAction::triggered, this, [this, handler] {
        if (scanning_) {
            return; // see ScanforromsClick: only Cancel and the close box act during a scan
        }
        TApplication::RunCommand([this, handler] { (this->*handler)(); }, this);
    });
}

void TMainForm::FormCreate() {
    EditGrid1->FitColumns(true, 0);
}

void TMainForm::Clearlist1Click() {
    if (!AskToSave(QStringLiteral("Clear list"))) {
        return;
    }
    EditGrid1->Document().Clear();
    // An empty table is a new start, as at the program's.
    SetCurrentFile({}, TDatafileFormat::Sectioned);
    MarkSaved();
    EditGrid1->RomModel()->SetShowsDigests(false);
    EditGrid1->RomModel()->SetShowsSha256(false);
    HideMatches();
}

void TMainForm::Quit1Click() {
    if (!AskToSave(QStringLiteral("Quit"))) {
        return;
    }
    quitting_ = true;
    QCoreApplication::quit();
}

void TMainForm::PropertiesClick() {
    // The dialog itself decides whether its texts are stored.
    GivenPropertyDialog().exec();
    UpdateModified();
}

void TMainForm::SaveasClick() {
    SaveAs();
}

void TMainForm::Save1Click() {
    Save();
}

bool TMainForm::Save() {
    if (currentFile_.isEmpty()) {
        return SaveAs();
    }
    WriteDatafile(currentFile_, currentFormat_);
    return true;
}

bool TMainForm::SaveAs() {
    if (GivenPropertyDialog().exec() != QDialog::Accepted) {
        UpdateModified();
        return false;
    }
    UpdateModified();
    TDatafileFormat format = lastSaveFormat_;
    QString fileName = lastSaveName_;
    for (;;) {
        fileName = AskSaveName(this, fileName, format);
        if (fileName.isEmpty()) {
            return false;
        }
        // A typed ".xml" is a Logiqx file whatever type the chooser showed.
        format = FormatOfTypedName(fileName, format);
        if (!QFileInfo::exists(fileName) ||
            ShowMessageBox(this, {QMessageBox::Question,
                                  QString::fromLatin1(ProgramTitle),
                                  QStringLiteral("%1 already exists. Replace it?").arg(fileName),
                                  QMessageBox::Yes | QMessageBox::No,
                                  {},
                                  {},
                                  QMessageBox::No}) == QMessageBox::Yes) {
            break;
        }
    }
    lastSaveName_ = fileName;
    lastSaveFormat_ = format;
    WriteDatafile(fileName, format);
    return true;
}

void TMainForm::WriteDatafile(const QString& fileName, TDatafileFormat format) {
    TDroppedNames dropped;
    try {
        const TRomTable& table = EditGrid1->Table();
        dropped =
            SaveDatafileAs(format, table.DataRows(), table.DataExtras(),
                           {GivenPropertyDialog().Credits(), lastScanFolder_,
                            EditGrid1->Document().KeptHeader(), CommonDetector(table.DataExtras())},
                           QFile::encodeName(fileName).toStdString());
    } catch (const std::exception& error) {
        // The message names the cell as the format has it; the table shows it.
        if (const auto* cell = dynamic_cast<const TCellPosition*>(&error)) {
            EditGrid1->ShowCell(cell->Col, static_cast<int>(cell->RowIndex) + 1);
        }
        throw;
    }
    SetCurrentFile(fileName, format);
    MarkSaved();
    // The file is saved; what its format had no room for is said once.
    if (std::string text = DroppedText(dropped, DatafileFormatTitle(format)); !text.empty()) {
        if (text[0] >= 'a' && text[0] <= 'z') { // "1 game ..." stays as it is
            text[0] = static_cast<char>(text[0] - 'a' + 'A');
        }
        ShowMessageBox(this, {QMessageBox::Information,
                              QString::fromUtf8(ProgramTitle),
                              QString::fromStdString(text + "."),
                              QMessageBox::Ok,
                              {}});
    }
}

void TMainForm::SetCurrentFile(const QString& fileName, TDatafileFormat format) {
    currentFile_ = fileName;
    currentFormat_ = format;
    const QString caption = QString::fromLatin1(Caption);
    setWindowTitle(fileName.isEmpty() ? caption + QStringLiteral("[*]")
                                      : caption + QStringLiteral(" - ") +
                                            QFileInfo(fileName).fileName() + QStringLiteral("[*]"));
}

void TMainForm::About1Click() {
    ShowAboutBox(this);
}

void TMainForm::OpendatafileClick() {
    if (!AskToSave(QStringLiteral("Open datafile"))) {
        return;
    }
    const QString fileName = AskOpenName(this, lastSaveName_);
    if (!fileName.isEmpty()) {
        OpenDatafile(fileName);
    }
}

void TMainForm::OpenDatafile(const QString& fileName) {
    TPropertyDialog& properties = GivenPropertyDialog();
    // Read whole before anything changes: a refusal leaves all as it was.
    TOpenedDatafile opened = ReadDatafile(QFile::encodeName(fileName).toStdString());
    EditGrid1->Document().Open(std::move(opened.Rows), std::move(opened.Extras),
                               std::move(opened.Header));
    EditGrid1->RomModel()->SetShowsDigests(opened.HasDigests);
    EditGrid1->RomModel()->SetShowsSha256(opened.HasSha256);
    HideMatches();
    properties.SetCredits(opened.Credits);
    lastScanFolder_.clear();
    lastSaveName_ = fileName;
    lastSaveFormat_ = opened.Format;
    SetCurrentFile(fileName, opened.Format);
    EditGrid1->FitColumns(true, 0);
    // Wherever the previous table was scrolled, the file shows from its start.
    ShowFirstRow(1);
    MarkSaved();
}

void TMainForm::ScanFolder(const QString& folder) {
    GivenScanDialog().DirName->setText(folder);
    ScanforromsClick();
}

void TMainForm::ScanforromsClick() {
    TScanDialog& scanDialog = GivenScanDialog();
    if (scanDialog.exec() != QDialog::Accepted) {
        return;
    }
    const std::string directory = scanDialog.Directory();
    if (!IsDirectory(directory)) {
        return; // gone since the dialog looked
    }
    const TScanOptions options = scanDialog.Options();
    lastScanFolder_ = FolderNameText(directory);
    if (options.Hashes.Md5 || options.Hashes.Sha1) {
        EditGrid1->RomModel()->SetShowsDigests(true);
    }
    if (options.Hashes.Sha256) {
        EditGrid1->RomModel()->SetShowsSha256(true);
    }

    // The scan runs on threads of its own while this thread shows its
    // progress, takes its rows and answers its boxes. What may happen
    // meanwhile: the progress window's Cancel (its button, Escape, its close
    // box), which only sets ScanCancelled; a close request for this window,
    // which cancels the same way and keeps the window (closeEvent); and a
    // termination signal, which cancels and quits once the scan has stopped
    // (QuitAfterScan). This window is disabled meanwhile, and a menu command
    // that still arrives (a shortcut, a script) is refused by Bind, so no
    // command ever starts inside another.
    TScanOptions threaded = options;
    threaded.Jobs = ScanJobs;
    // Files unchanged since an earlier scan with these options are not read.
    const auto cache = std::make_shared<TSqliteChecksumCache>(TSqliteChecksumCache::DefaultPath());
    threaded.Cache = cache;
    scanCancelled_ = false;
    ProgressFrm->SetOnCancel([this] { CancelScan(); });
    ProgressFrm->ShowProgress(this);
    scanning_ = true;
    TGridRowSink rows(*EditGrid1);
    TWindowZipUi zipUi(this, ProgressFrm->Form());
    TScanResult result;
    // The scan's rows, whatever becomes of it, are one step of the history.
    const int firstRow = EditGrid1->RowCount() - 1;
    EditGrid1->Document().BeginRowsStep(firstRow);
    {
        const TFinally hide([this, &rows] {
            // The rows found before a failure stay, as they would one by one;
            // a failure to add them cannot be reported while another unwinds.
            try {
                rows.Flush();
                EditGrid1->Document().EndRowsStep();
            } catch (...) {
            }
            ProgressFrm->HideProgress();
            scanning_ = false;
            ScheduleCounts(); // the scan's rows, counted once
        });
        TBackgroundScan scan(rows, *ProgressFrm, zipUi, scanCancelled_);
        result = scan.Run(directory, threaded, CollectFile);
        // A program asked to end is not told.
        if (result.Outcome == TScanResult::TOutcome::Cancelled && !quitAfterScan_) {
            ShowMessageBox(ProgressFrm->Form(), {QMessageBox::Information,
                                                 QStringLiteral("Information"),
                                                 QStringLiteral("Cancelled by user."),
                                                 QMessageBox::Ok,
                                                 {}});
        }
    }
    cache->Close();
    if (quitAfterScan_) {
        quitAfterScan_ = false;
        QCoreApplication::quit();
        return;
    }
    if (result.Outcome == TScanResult::TOutcome::Completed) {
        EditGrid1->FitColumns(true, 0);
    }
    ShowFirstRow(firstRow);
    ShowScanFailures(result.Failures, cache->TakeWarnings());
}

void TMainForm::ShowFirstRow(int row) {
    // Wherever the rows left the view, it shows the row at its top, current.
    if (row < EditGrid1->RowCount()) {
        const QModelIndex first = EditGrid1->model()->index(row - 1, 0);
        EditGrid1->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        EditGrid1->scrollTo(first, QAbstractItemView::PositionAtTop);
    }
}

void TMainForm::ShowScanFailures(const std::vector<TScanFailure>& failures,
                                 const std::vector<std::string>& cacheWarnings) {
    if (failures.empty() && cacheWarnings.empty()) {
        return;
    }
    const QString text =
        failures.empty()
            ? QStringLiteral("Every file gave its rows; the checksum cache could not be used.")
        : failures.size() == 1 ? QStringLiteral("1 file gave no row, or not all of its rows.")
                               : QStringLiteral("%1 files gave no row, or not all of their rows.")
                                     .arg(failures.size());
    QStringList details;
    for (const TScanFailure& failure : failures) {
        details << QString::fromStdString(failure.Name + ": " + failure.Message);
    }
    for (const std::string& warning : cacheWarnings) {
        details << QString::fromStdString(warning);
    }
    ShowMessageBox(this, {QMessageBox::Information, QString::fromLatin1(ProgramTitle), text,
                          QMessageBox::Ok, details.join(QLatin1Char('\n'))});
}

void TMainForm::QuitAfterScan() {
    quitting_ = true; // a signal cannot be asked about
    if (!scanning_) {
        QCoreApplication::quit();
        return;
    }
    quitAfterScan_ = true;
    CancelScan();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (scanning_) {
        // Taken as Cancel: the scan stops after its current file and cleans
        // up; the window, its rows and the program stay. A close afterwards
        // closes.
        CancelScan();
        event->ignore();
        return;
    }
    if (!quitting_) {
        bool goOn = false;
        TApplication::RunCommand([&] { goOn = AskToSave(QStringLiteral("Quit")); }, this);
        if (!goOn) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

} // namespace tabula
