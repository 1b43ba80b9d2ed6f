#pragma once

#include "core/scan/ScanDriver.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <string>

class QAction;
class QMenu;

namespace tabula {

class TEditGrid;
class TContainerStatusBar;
class TProgressFrm;
class TPropertyDialog;
class TScanDialog;

// The main window: the rom table, the "&File" menu that starts every command,
// and the status bar.
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
    QAction* Saveas = nullptr;
    QAction* Properties = nullptr;
    QAction* N1 = nullptr;
    QAction* Quit1 = nullptr;

    // Sets ScanCancelled; installed as the progress window's cancel callback.
    void CancelScan() { scanCancelled_ = true; }
    bool ScanCancelled() const { return scanCancelled_; }
    void SetScanCancelled(bool value) { scanCancelled_ = value; }

    void Clearlist1Click();
    void Quit1Click();
    void PropertiesClick();
    void SaveasClick();
    // Shows the scan dialog and scans the chosen directory into the table,
    // with the progress window up and this window disabled until the end.
    void ScanforromsClick();

    // True while a scan runs.
    bool Scanning() const { return scanning_; }

    // The collector a scan runs per file; the real one unless a test puts in
    // its own.
    TCollectFile CollectFile;

    // Asks for the datafile's name, proposing the previous one; an empty answer
    // cancels the save. The save chooser by default; tests put in their own.
    using TAskSaveName = std::function<QString(QWidget* parent, const QString& proposedName)>;
    TAskSaveName AskSaveName;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void BuildMenu();
    // Connects a menu item to a command run under the default error handling;
    // a command that arrives while a scan runs is refused.
    void Bind(QAction* item, void (TMainForm::*handler)());
    TScanDialog& GivenScanDialog() const;
    TPropertyDialog& GivenPropertyDialog() const;

    TScanDialog* scanDialog_ = nullptr;
    TPropertyDialog* propertyDialog_ = nullptr;

    bool scanCancelled_ = false;
    bool scanning_ = false;
    // The window was closed during a scan: it closes when the scan has stopped.
    bool closeAfterScan_ = false;
    QString lastSaveName_;
};

} // namespace tabula
