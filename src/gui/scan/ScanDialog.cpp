#include "gui/scan/ScanDialog.h"

#include "core/platform/DirectoryListing.h"
#include "core/platform/HomePath.h"
#include "gui/common/FormLook.h"
#include "gui/common/MessageBox.h"
#include "gui/widgets/EditPath.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <iterator>

namespace tabula {

namespace {

// The window's outer size is 439 x 214, and 24 pixels more for each of the
// digests' two check boxes, and 24 more for the buttons to sit below the
// tree's second box; Qt sizes the client area: 4-pixel borders and a
// 23-pixel caption are taken off, as for the other windows.
constexpr int DigestsRows = 2 * 24;
constexpr int TreeRows = 24;
constexpr int ButtonsTop = 152 + DigestsRows + TreeRows;
constexpr int ClientWidth = 439 - 8;
constexpr int ClientHeight = 214 - 8 - 23 + DigestsRows + TreeRows;

template <typename TControl>
TControl* Place(TControl* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QString::fromLatin1(name));
    // A caption wider than the layout's box in this system's font gets the
    // room it needs instead of being cut.
    control->setGeometry(left, top, std::max(width, control->sizeHint().width()), height);
    return control;
}

} // namespace

TScanDialog::TScanDialog(QWidget* parent) : QDialog(parent) {
    SetUpForm(this, "ScanDialog", QStringLiteral("Scan files"));
    // Escape cancels, as Cancel does (QDialog's own handling).
    KeepDialogSize(this, QSize(ClientWidth, ClientHeight));
    move(404, 197);

    // Created in tab order.
    MakeButtons();
    MakeFileChoices();
    MakeHeaderChoices();
    MakeReadingChoices();
    MakeTreeChoices();
    MakeDirectoryBox();
    SetFirstStates();
    ChainTabOrder();
    ConnectControls();
    SetToolTips();
    Scan->setFocus();
}

// What each control does, for the controls whose caption alone does not say.
void TScanDialog::SetToolTips() {
    const std::pair<QWidget*, const char*> tips[] = {
        {DirName, "The folder whose files are scanned; the button beside it browses."},
        {Scan, "Scan the folder with these choices; the rows are added to the table."},
        {Cancel, "Close without scanning (Escape)."},
        {ScanOtherFiles, "Scan files that are not archives, each a set of its own."},
        {SkipTxt, "Leave out files and archive members named .txt."},
        {RadioButton1, "Checksum every file whole."},
        {NesScan, "Cut the 16-byte NES header off every file before it is checksummed."},
        {SnesScan, "Cut a 512-byte copier header off files whose size says they carry one."},
        {RemoveSnesBadSize, "SNES: leave out files smaller than 8 KiB or with a header size "
                            "other than 0 or 512 bytes."},
    };
    for (const auto& [control, tip] : tips) {
        control->setToolTip(QString::fromUtf8(tip));
    }
}

void TScanDialog::MakeButtons() {
    Scan = Place(new QPushButton(QStringLiteral("&Scan"), this), "Scan", 240, ButtonsTop, 75, 25);
    Scan->setDefault(true);
    Cancel =
        Place(new QPushButton(QStringLiteral("&Cancel"), this), "Cancel", 328, ButtonsTop, 75, 25);
}

// Which files the scan takes.
void TScanDialog::MakeFileChoices() {
    ScanOtherFiles = Place(new QCheckBox(QStringLiteral("Scan other files"), this),
                           "ScanOtherFiles", 240, 80, 177, 17);
    SkipTxt = Place(new QCheckBox(QStringLiteral("Skip files with txt extension"), this), "SkipTxt",
                    240, 104, 177, 17);
    ScanZip =
        Place(new QCheckBox(QStringLiteral("Scan zip archives"), this), "ScanZip", 240, 56, 97, 17);
    ScanZip->setToolTip(
        QStringLiteral("Read .zip, .7z and .rar files as archives: one row per member. "
                       "Unchecked, they are checksummed as plain files."));
}

// The header rule: one of the modes, and the SNES mode's size rule.
void TScanDialog::MakeHeaderChoices() {
    RadioButton1 = Place(new QRadioButton(QStringLiteral("Normal Rom"), this), "RadioButton1", 24,
                         56, 113, 17);
    NesScan = Place(new QRadioButton(QStringLiteral("NES"), this), "NesScan", 24, 80, 113, 17);
    SnesScan = Place(new QRadioButton(QStringLiteral("SNES"), this), "SnesScan", 24, 104, 113, 17);
    RemoveSnesBadSize = Place(new QCheckBox(QStringLiteral("Remove roms with bad size"), this),
                              "RemoveSnesBadSize", 48, 128, 161, 17);
    // Beyond the first choices: the headers found by their content.
    DetectHeaders = Place(new QRadioButton(QStringLiteral("Detect headers"), this), "DetectHeaders",
                          24, 152, 113, 17);
    DetectHeaders->setToolTip(
        QStringLiteral("Cut each file and archive member as its content says: NES, FDS, Atari "
                       "7800, Atari Lynx and SNES copier headers. Files without one stay whole."));
}

// How members are read, and the digests beside the CRCs.
void TScanDialog::MakeReadingChoices() {
    TrustZipCrc = Place(new QCheckBox(QStringLiteral("Trust CRCs stored in archives"), this),
                        "TrustZipCrc", 240, 128, 177, 17);
    TrustZipCrc->setToolTip(
        QStringLiteral("NES, SNES and detected headers: take a member's CRC from its archive "
                       "instead of reading it whole. Much faster; a damaged member is not "
                       "detected."));
    ComputeHashes = Place(new QCheckBox(QStringLiteral("Compute MD5 and SHA-1"), this),
                          "ComputeHashes", 240, 152, 177, 17);
    ComputeHashes->setToolTip(
        QStringLiteral("MD5 and SHA-1 of the same bytes as the CRC; archive members are then "
                       "read whole. The Logiqx and ClrMamePro datafiles carry them."));
    ComputeSha256 = Place(new QCheckBox(QStringLiteral("Compute SHA-256"), this), "ComputeSha256",
                          240, 176, 177, 17);
    ComputeSha256->setToolTip(
        QStringLiteral("SHA-256 of the same bytes as the CRC; archive members are then read "
                       "whole. The Logiqx and ClrMamePro datafiles carry it."));
}

// The folders under the chosen one: walked, and taken as sets.
void TScanDialog::MakeTreeChoices() {
    ScanSubfolders = Place(new QCheckBox(QStringLiteral("Scan subfolders"), this), "ScanSubfolders",
                           24, 176, 177, 17);
    ScanSubfolders->setToolTip(
        QStringLiteral("Every file under the folder, at any depth; the set names of a file in "
                       "a subfolder begin with its folders (NES\\Game)."));
    FolderSets = Place(new QCheckBox(QStringLiteral("Subfolders are sets"), this), "FolderSets", 48,
                       200, 161, 17);
    FolderSets->setToolTip(
        QStringLiteral("Each folder directly under the chosen one is one set of every file "
                       "beneath it, archives read whole (a disc's tracks, say)."));
}

void TScanDialog::MakeDirectoryBox() {
    DirName = new TEditPath(this);
    DirName->setObjectName(QStringLiteral("DirName"));
    DirName->setGeometry(24, 24, 297, 21);
    DirName->DirDialogType = TDirDialog::ddDirDialog;
    DirName->DirDialogOptions = 0;
    DirName->RootDir = QStringLiteral("c\\:");
    DirName->Title = QStringLiteral("Title");
    DirName->Filter = QStringLiteral("All (*.*)|*.*");
    DirName->DisabledColor = SystemColor(11);
    Label1 = new QLabel(QStringLiteral("Select a  rom directory:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(24, 8);
    Label1->adjustSize();
}

void TScanDialog::SetFirstStates() {
    ScanOtherFiles->setChecked(true);
    SkipTxt->setChecked(true);
    ScanZip->setChecked(true);
    modes_ = new QButtonGroup(this);
    modes_->addButton(RadioButton1);
    modes_->addButton(NesScan);
    modes_->addButton(SnesScan);
    modes_->addButton(DetectHeaders);
    RadioButton1->setChecked(true);
    RemoveSnesBadSize->setChecked(false);
    RemoveSnesBadSize->setEnabled(false);
    ScanSubfolders->setChecked(false);
    FolderSets->setChecked(false);
    FolderSets->setEnabled(false);
}

void TScanDialog::ChainTabOrder() {
    QWidget* const tabOrder[] = {
        Scan,          Cancel,         ScanOtherFiles,    SkipTxt,     ScanZip,       RadioButton1,
        NesScan,       SnesScan,       RemoveSnesBadSize, TrustZipCrc, ComputeHashes, ComputeSha256,
        DetectHeaders, ScanSubfolders, FolderSets,        DirName};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    }
}

void TScanDialog::ConnectControls() {
    connect(Scan, &QPushButton::clicked, this, &TScanDialog::ScanClick);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(SnesScan, &QRadioButton::clicked, this, &TScanDialog::SnesScanClick);
    connect(NesScan, &QRadioButton::clicked, this, &TScanDialog::NesScanClick);
    connect(RadioButton1, &QRadioButton::clicked, this, &TScanDialog::RadioButton1Click);
    // Arrow keys move the selection within the group without a click.
    connect(SnesScan, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            SnesScanClick();
        }
    });
    connect(NesScan, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            NesScanClick();
        }
    });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            RadioButton1Click();
        }
    });
    // "Subfolders are sets" belongs to a scan of the subfolders.
    connect(ScanSubfolders, &QCheckBox::toggled, FolderSets, &QCheckBox::setEnabled);
    // "Remove roms with bad size" belongs to SNES mode alone.
    connect(DetectHeaders, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            RemoveSnesBadSize->setEnabled(false);
        }
    });
}

void TScanDialog::SnesScanClick() {
    RemoveSnesBadSize->setEnabled(true);
}
void TScanDialog::NesScanClick() {
    RemoveSnesBadSize->setEnabled(false);
}
void TScanDialog::RadioButton1Click() {
    RemoveSnesBadSize->setEnabled(false);
}

std::string TScanDialog::Directory() const {
    const QString text = DirName->text();
    if (text.isEmpty()) {
        return {};
    }
    return ExpandHome(QFile::encodeName(text).toStdString());
}

void TScanDialog::ScanClick() {
    if (DirName->text().isEmpty()) {
        ShowWarning(this, QStringLiteral("Choose a directory."));
        return;
    }
    if (!IsDirectory(Directory())) {
        ShowWarning(this, QStringLiteral("Directory not found."));
        return;
    }
    accept();
}

TScanOptions TScanDialog::Options() const {
    TScanOptions options;
    options.ScanOtherFiles = ScanOtherFiles->isChecked();
    options.SkipTxt = SkipTxt->isChecked();
    options.ScanZipArchives = ScanZip->isChecked();
    options.Mode = SnesScan->isChecked()        ? TRomMode::Snes
                   : NesScan->isChecked()       ? TRomMode::Nes
                   : DetectHeaders->isChecked() ? TRomMode::Detect
                                                : TRomMode::Normal;
    // Read whatever its enabled state: it matters only in SNES mode.
    options.RemoveSnesBadSize = RemoveSnesBadSize->isChecked();
    options.TrustZipCrc = TrustZipCrc->isChecked();
    options.Hashes = {ComputeHashes->isChecked(), ComputeHashes->isChecked(),
                      ComputeSha256->isChecked()};
    options.Recursive = ScanSubfolders->isChecked();
    options.FolderSets = ScanSubfolders->isChecked() && FolderSets->isChecked();
    return options;
}

} // namespace tabula
