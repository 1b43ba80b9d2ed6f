#pragma once

#include "core/scan/ScanOptions.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tabula {

class TEditPath;

// The scan options dialog: the directory to scan and which files and header
// rule the scan takes. Created once at start-up and only hidden between
// showings, so its choices last for the run. Its result is Accepted only
// through ScanClick with an existing directory.
class TScanDialog : public QDialog {
    Q_OBJECT
public:
    explicit TScanDialog(QWidget* parent = nullptr);

    QPushButton* Scan = nullptr;
    QPushButton* Cancel = nullptr;
    QCheckBox* ScanOtherFiles = nullptr;
    QCheckBox* SkipTxt = nullptr;
    QCheckBox* ScanZip = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* NesScan = nullptr;
    QRadioButton* SnesScan = nullptr;
    QCheckBox* RemoveSnesBadSize = nullptr;
    // A fourth header choice: each file cut as the built-in detectors find
    // (unselected at every start).
    QRadioButton* DetectHeaders = nullptr;
    // Beyond the scan's first ten controls: take the CRCs stored in archives
    // when a header is cut (unchecked at every start).
    QCheckBox* TrustZipCrc = nullptr;
    // MD5 and SHA-1 beside the CRCs (unchecked at every start).
    QCheckBox* ComputeHashes = nullptr;
    // SHA-256 beside the CRCs (unchecked at every start).
    QCheckBox* ComputeSha256 = nullptr;
    // Every file under the folder; each folder under it one set (enabled
    // only with the first; both unchecked at every start).
    QCheckBox* ScanSubfolders = nullptr;
    QCheckBox* FolderSets = nullptr;
    TEditPath* DirName = nullptr;
    QLabel* Label1 = nullptr;

    void ScanClick();
    void SnesScanClick();
    void NesScanClick();
    void RadioButton1Click();

    // The directory the box names, as the file system reads it ("~" for the
    // home directory); empty for an empty box.
    std::string Directory() const;
    // The options the controls stand for.
    TScanOptions Options() const;

private:
    void MakeButtons();
    void SetToolTips();
    void MakeFileChoices();
    void MakeHeaderChoices();
    void MakeReadingChoices();
    void MakeTreeChoices();
    void MakeDirectoryBox();
    // The choices' states at every start.
    void SetFirstStates();
    void ChainTabOrder();
    void ConnectControls();

    QButtonGroup* modes_ = nullptr;
};

} // namespace tabula
