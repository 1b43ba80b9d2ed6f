#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>

class QAction;
class QMenu;

namespace tabula {

class TEditGrid;
class TContainerStatusBar;
class TProgressFrm;

// The main window: the rom table, the "&File" menu that starts every command,
// and the status bar.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* Caption = "Catalogix Datafile Maker 1.2 beta 5";

    explicit TMainForm(QWidget* parent = nullptr);

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

    // Asks for the datafile's name, proposing the previous one; an empty answer
    // cancels the save. The save chooser by default; tests put in their own.
    using TAskSaveName = std::function<QString(QWidget* parent, const QString& proposedName)>;
    TAskSaveName AskSaveName;

private:
    void FormCreate();
    void BuildMenu();
    // Connects a menu item to a command run under the default error handling.
    void Bind(QAction* item, void (TMainForm::*handler)());

    bool scanCancelled_ = false;
    QString lastSaveName_;
};

} // namespace tabula
