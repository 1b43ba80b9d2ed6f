#pragma once

#include "core/datafile/DatafileFormat.h"
#include "core/scan/ScanDriver.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;

namespace tabula {

class TEditGrid;
class TContainerStatusBar;
class TFindReplaceDialog;
class TProgressFrm;
class TPropertyDialog;
class TScanDialog;

// The main window: the rom table, the "&File" menu that starts every command,
// the "&Edit" menu of the table's changes (MainFormEdit.cpp), and the status
// bar.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* Caption = "Catalogix Datafile Maker 1.2 beta 5";

    explicit TMainForm(QWidget* parent = nullptr);

    // The dialogs the commands show, handed in by whoever creates the window
    // (CreateForms at start-up, a test its own); the window does not own
    // them. A command whose dialog is missing fails with a message.
    void SetDialogs(TScanDialog* scanDialog, TPropertyDialog* propertyDialog);

    TEditGrid* EditGrid1 = nullptr;
    TContainerStatusBar* StatusBar1 = nullptr;
    // The progress window of long commands (the scan).
    TProgressFrm* ProgressFrm = nullptr;

    QMenu* File1 = nullptr;
    QAction* Clearlist1 = nullptr;
    QAction* Scanforroms = nullptr;
    QAction* Opendatafile = nullptr;
    // Ctrl+S: the opened or last saved file written again.
    QAction* Save1 = nullptr;
    QAction* Saveas = nullptr;
    QAction* Properties = nullptr;
    QAction* N1 = nullptr;
    QAction* Quit1 = nullptr;

    QMenu* Edit1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* Deleterows1 = nullptr;
    QAction* Insertrow1 = nullptr;
    QAction* Selectall1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* Paste1 = nullptr;
    QAction* Findreplace1 = nullptr;
    // F3: the next cell holding the find dialog's text.
    QAction* Findnext1 = nullptr;
    QAction* Setvalue1 = nullptr;
    QAction* Namefromdatafile = nullptr;
    // Shown once the table was named from a datafile.
    QAction* Selectunknown1 = nullptr;
    // Ctrl+F: the find and replace dialog with the keyboard in the text to
    // find; not a menu item of its own.
    QAction* Find1 = nullptr;
    // Ctrl+1 ... Ctrl+7: sort by the column, as a click on its header does.
    std::array<QAction*, 7> Sortbycolumn{};
    QMenu* Help1 = nullptr;
    QAction* About1 = nullptr;
    // "N rows in M sets" at the status bar's right end.
    QLabel* TableCounts1 = nullptr;

    // Sets ScanCancelled; installed as the progress window's cancel callback.
    void CancelScan() { scanCancelled_ = true; } // also from the scan's thread
    bool ScanCancelled() const { return scanCancelled_; }
    void SetScanCancelled(bool value) { scanCancelled_ = value; }

    void Clearlist1Click();
    void Quit1Click();
    void PropertiesClick();
    // Writes the opened or last saved file again, in its format, with the
    // stored credits; "Save as" when there is none yet.
    void Save1Click();
    // Asks for the credits and a file (a file that exists only once
    // replacing it was agreed), then writes it.
    void SaveasClick();
    void About1Click();
    // Asks for a datafile and puts its rows and credits in place of the
    // table's and the stored ones; a file that cannot be read changes nothing.
    void OpendatafileClick();
    // The same for a file already chosen (one dropped on the window).
    void OpenDatafile(const QString& fileName);
    // Shows the scan dialog and scans the chosen directory into the table,
    // with the progress window up and this window disabled until the end.
    // Then names the files that gave no row (or not all of their rows).
    void ScanforromsClick();
    // The same with the scan dialog's path box set to directory first (a
    // folder dropped on the window).
    void ScanFolder(const QString& directory);

    void Undo1Click();
    void Redo1Click();
    // Removes every row that holds a selected cell (the current row when
    // nothing is selected).
    void Deleterows1Click();
    // A blank row above the current one (at the end when there is none).
    void Insertrow1Click();
    void Findreplace1Click();
    void Find1Click();
    // Writes one text into every selected cell; the cells must be of one
    // column. For set full names it offers to set the same rows' clone full
    // names too, so that no clone names a set that is gone.
    void Setvalue1Click();
    void Selectall1Click();
    // The selected cells as tab-separated lines on the clipboard, a line per row.
    void Copy1Click();
    // Tab-separated lines from the clipboard into the cells from the current
    // one on, as one step; refused when they do not fit.
    void Paste1Click();
    void Findnext1Click();
    // Asks for reference datafiles and gives every row the names of the
    // reference rom it matches, as one step; says what it found in the
    // status bar. A file that cannot be read changes nothing.
    void NamefromdatafileClick();
    // Selects the rows no reference rom matched.
    void Selectunknown1Click();
    // Orders the sets by the column, ascending, or descending when it was
    // just sorted ascending by it; one step.
    void SortByColumn(int col);

    // The rows or the credits differ from the start, the last open or the
    // last successful save.
    bool Changed() const;
    // Ends the program once the running scan has stopped and cleaned up (a
    // termination signal); without a scan, at once.
    void QuitAfterScan();

    // True while a scan runs.
    bool Scanning() const { return scanning_; }

    // The collector a scan runs per file, on the scan's threads; the real
    // one unless a test puts in its own.
    TCollectFile CollectFile;
    // The files a scan reads at once: one per processor; a test that needs
    // them one after the other asks for 1.
    unsigned ScanJobs = 0;

    // Asks for the datafile's name and format, proposing the previous ones;
    // an empty answer cancels the save. The save chooser by default; tests
    // put in their own.
    using TAskSaveName = std::function<QString(QWidget* parent, const QString& proposedName,
                                               TDatafileFormat& format)>;
    TAskSaveName AskSaveName;

    // Asks for the datafile to open, proposing the last one; an empty answer
    // cancels. The open chooser by default; tests put in their own.
    using TAskOpenName = std::function<QString(QWidget* parent, const QString& proposedName)>;
    TAskOpenName AskOpenName;

    // Asks for the text "Set value" writes, proposing current; nothing when
    // cancelled. With alsoClones, offers (checked) to write the clone full
    // names of the same rows too and leaves the answer there. An input box
    // by default; tests put in their own.
    using TAskValue = std::function<std::optional<QString>(QWidget* parent, const QString& current,
                                                           bool* alsoClones)>;
    TAskValue AskValue;

    // Asks for the reference datafiles of "Name from datafile", proposing
    // the last one; none when cancelled. The reference chooser by default;
    // tests put in their own.
    using TAskReferenceNames =
        std::function<QStringList(QWidget* parent, const QString& proposedName)>;
    TAskReferenceNames AskReferenceNames;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    // A menu item with its name (objectName), caption and shortcuts.
    static QAction* MenuItem(QMenu* menu, const char* name, const char* caption,
                             const QList<QKeySequence>& shortcuts = {});
    void BuildMenu();
    void BuildEditMenu();
    // Sorting, the row numbers, the counts and drops (MainFormTable.cpp).
    void BuildTableHabits();
    // While the table is changed, asks whether to save before the command;
    // false when the command is not to go on (cancelled, or the save was).
    bool AskToSave(const QString& command);
    // The save of "Save as ..."; false when cancelled.
    bool SaveAs();
    // The save of "Save": "Save as" without a file yet.
    bool Save();
    // The rows and the stored credits written to fileName in format; then
    // it is the window's file. Throws as the writers do.
    void WriteDatafile(const QString& fileName, TDatafileFormat format);
    // The file the window's rows are saved to, named in the caption.
    void SetCurrentFile(const QString& fileName, TDatafileFormat format);
    // The main window's size and place, kept within the screen's free area.
    void PlaceOnScreen();
    // The rows and credits as they are now are the saved ones.
    void MarkSaved();
    void UpdateModified();
    // The counts of the status bar, once the events at hand are handled.
    void ScheduleCounts();
    void ShowCounts();
    void UpdateSortIndicator();
    // Makes table row row current and the view's top one (after a scan).
    void ShowFirstRow(int row);
    void ShowReplace(bool replacing);
    void UpdateHistoryItems();
    // A new table (cleared or opened) has no marks to show.
    void HideMatches();
    // One box naming the files that failed, then what the checksum cache met,
    // after the progress window has gone.
    void ShowScanFailures(const std::vector<TScanFailure>& failures,
                          const std::vector<std::string>& cacheWarnings);
    // Connects a menu item to a command run under the default error handling;
    // a command that arrives while a scan runs is refused.
    void Bind(QAction* item, void (TMainForm::*handler)());
    TScanDialog& GivenScanDialog() const;
    TPropertyDialog& GivenPropertyDialog() const;

    TScanDialog* scanDialog_ = nullptr;
    TPropertyDialog* propertyDialog_ = nullptr;

    std::atomic<bool> scanCancelled_ = false;
    bool scanning_ = false;
    // The program was asked to end during a scan: it quits when the scan has stopped.
    bool quitAfterScan_ = false;
    TFindReplaceDialog* findReplace_ = nullptr;
    QString lastSaveName_;
    QString lastReferenceName_;
    TDatafileCredits savedCredits_;
    // The program is ending: a close request no longer asks.
    bool quitting_ = false;
    int sortColumn_ = -1;
    bool sortDescending_ = false;
    bool countsPending_ = false;
    TDatafileFormat lastSaveFormat_ = TDatafileFormat::Sectioned;
    // The opened or last saved file, which "Save" writes; none at first and
    // after "Clear list".
    QString currentFile_;
    TDatafileFormat currentFormat_ = TDatafileFormat::Sectioned;
    // What the datafile's header says of the rows: the folder last scanned.
    std::string lastScanFolder_;
};

} // namespace tabula
