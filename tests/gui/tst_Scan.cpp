#include "core/scan/TableRowSink.h"
#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/romlist/RomTableModel.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/EditPath.h"
#include "gui/widgets/ProgressFrm.h"
#include "gui/zip/WindowZipUi.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <functional>

#include <unistd.h>

using namespace tabula;

namespace {
// The question before unsaved work is lost, which these tests answer "Don't save".
bool IsQuestion(const TMessageBoxRequest& request) {
    return request.Buttons.testFlag(QMessageBox::Discard);
}
} // namespace

namespace {

struct TNullProgress : IScanProgress {
    void SetMax(int) override {}
    void StepPosition() override {}
    void SetWaitString(const std::string&) override {}
    void Pump() override {}
    bool CancelRequested() override { return false; }
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The rows the core's scan gives for a directory, into an empty table.
std::vector<TRomTable::TRow> CoreRows(const QString& dir, const TScanOptions& options) {
    TRomTable table;
    TTableRowSink<TRomTable> sink(table);
    TNullProgress progress;
    TScanDriver(progress, sink).Scan(QFile::encodeName(dir).toStdString(), options);
    return {table.DataRows().begin(), table.DataRows().end()};
}

} // namespace

// Runs action on the GUI thread and waits for it, from a scan's thread.
void OnGuiThread(const std::function<void()>& action) {
    QMetaObject::invokeMethod(MainForm, action, Qt::BlockingQueuedConnection);
}

class TestScan : public QObject {
    Q_OBJECT
private:
    QTemporaryDir roms_;
    QTemporaryDir tmp_; // the scan's temporary folder
    QList<TMessageBoxRequest> boxes_;
    bool progressUpDuringBox_ = false;

    // Runs "Scan for roms ..." with the dialog answered: the directory typed
    // and Scan pressed.
    void RunScan(const QString& dir) {
        QTimer::singleShot(0, ScanDialog, [dir] {
            ScanDialog->DirName->setText(dir);
            QTest::keyClick(ScanDialog->DirName, Qt::Key_Return);
        });
        MainForm->Scanforroms->trigger();
    }

    std::vector<TRomTable::TRow> WindowRows() const {
        const auto rows = MainForm->EditGrid1->Table().DataRows();
        return {rows.begin(), rows.end()};
    }

private slots:
    void initTestCase() {
        qputenv("TMPDIR", QFile::encodeName(tmp_.path()));
        WriteFile(roms_.filePath(QStringLiteral("Game.SMC")), QByteArray(1536, 'g'));
        WriteFile(roms_.filePath(QStringLiteral("Hero Quest (E).nes")),
                  QByteArray("NES\x1a", 4) + QByteArray(12, '\0') + QByteArray(4096, 'h'));
        WriteFile(roms_.filePath(QStringLiteral("readme.txt")), "hello");
        WriteFile(roms_.filePath(QStringLiteral("catalogix.dat")), "x");
        WriteFile(roms_.filePath(QStringLiteral("README")), "abc");
        QVERIFY(QFile::copy(qEnvironmentVariable("TABULA_TEST_DATA_DIR") +
                                QStringLiteral("/scan/set.zip"),
                            roms_.filePath(QStringLiteral("set.zip"))));
        WriteFile(roms_.filePath(QStringLiteral("zzz.bin")), "last");
        QVERIFY(QDir(roms_.path()).mkdir(QStringLiteral("Sub")));
    }
    void init() {
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
        boxes_.clear();
        SetMessageBoxSink([this](const TMessageBoxRequest& request) {
            if (IsQuestion(request)) {
                return QMessageBox::Discard; // the work is not worth keeping here
            }
            boxes_ << request;
            progressUpDuringBox_ = MainForm->ProgressFrm->Form()->isVisible();
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        SetMessageBoxSink({});
        TApplication::SetErrorSink({});
        DestroyForms();
    }

    void windowScanGivesTheCoreRows() {
        const struct {
            bool nes, otherFiles, skipTxt, trust;
        } cases[] = {{false, true, true, false},
                     {true, true, false, false},
                     {false, false, true, false},
                     {true, true, true, true}};
        for (const auto& c : cases) {
            MainForm->Clearlist1->trigger();
            ScanDialog->NesScan->setChecked(c.nes);
            ScanDialog->RadioButton1->setChecked(!c.nes);
            ScanDialog->ScanOtherFiles->setChecked(c.otherFiles);
            ScanDialog->SkipTxt->setChecked(c.skipTxt);
            ScanDialog->TrustZipCrc->setChecked(c.trust);
            RunScan(roms_.path()); // no trailing "/": the same as with one
            const auto expected = CoreRows(roms_.path(), ScanDialog->Options());
            QVERIFY(!expected.empty());
            QVERIFY(WindowRows() == expected);
            QVERIFY(boxes_.isEmpty());
            QVERIFY(MainForm->isEnabled());
            QVERIFY(!MainForm->ProgressFrm->Form()->isVisible());

            // A second scan adds behind the first scan's rows.
            RunScan(roms_.path() + QLatin1Char('/'));
            auto twice = expected;
            twice.insert(twice.end(), expected.begin(), expected.end());
            QVERIFY(WindowRows() == twice);
            QVERIFY(QDir(tmp_.path()).isEmpty());
        }
        // Trusting the archive's CRCs gives the rows extraction gives.
        ScanDialog->TrustZipCrc->setChecked(false);
        auto options = ScanDialog->Options();
        options.Mode = TRomMode::Nes;
        const auto extracted = CoreRows(roms_.path(), options);
        options.TrustZipCrc = true;
        QVERIFY(CoreRows(roms_.path(), options) == extracted);
        MainForm->EditGrid1->horizontalHeader()->resizeSection(4, 10);
        RunScan(roms_.path());
        QVERIFY(MainForm->EditGrid1->ColWidth(4) > 10); // fitted after a completed scan
    }

    // With digests the table shows two more columns, the rows keep their
    // digests through undo and redo, and Save as writes each format byte for
    // byte as tabula-cli does for the same scan and credits; a cleared list
    // hides the columns again.
    void aScanWithDigestsShowsThemAndSavesWhatTheCommandLineWrites() {
        ScanDialog->NesScan->setChecked(true);
        ScanDialog->ComputeHashes->setChecked(true);
        RunScan(roms_.path());
        TRomTableModel* model = MainForm->EditGrid1->RomModel();
        QCOMPARE(model->columnCount(), TRomTable::ColCount + 2);
        QCOMPARE(model->headerData(7, Qt::Horizontal).toString(), QStringLiteral("MD5"));
        QCOMPARE(model->headerData(8, Qt::Horizontal).toString(), QStringLiteral("SHA-1"));
        const QString md5 = model->data(model->index(0, 7)).toString();
        QCOMPARE(md5.size(), 32);
        QCOMPARE(model->data(model->index(0, 8)).toString().size(), 40);
        QVERIFY(!(model->flags(model->index(0, 7)) & Qt::ItemIsEditable));
        MainForm->Undo1->trigger();
        QCOMPARE(model->rowCount(), 1);
        MainForm->Redo1->trigger();
        QCOMPARE(model->data(model->index(0, 7)).toString(), md5);

        QTemporaryDir out; // not the scan's temporary folder, which must stay empty
        for (const auto& [format, name] : {std::pair{TDatafileFormat::Logiqx, "logiqx"},
                                           {TDatafileFormat::ClrMamePro, "clrmamepro"}}) {
            const QString saved = out.filePath(QString::fromLatin1(name));
            MainForm->AskSaveName = [&](QWidget*, const QString&, TDatafileFormat& chosen) {
                chosen = format;
                return saved;
            };
            QTimer::singleShot(0, PropertyDialog, [] { PropertyDialog->Button1->click(); });
            MainForm->Saveas->trigger();
            const QString date = PropertyDialog->Date; // today's, stored by OK
            const QString expected = out.filePath(QStringLiteral("cli"));
            QProcess cli;
            cli.start(QStringLiteral(TABULA_CLI_PROGRAM),
                      {QStringLiteral("--nes"), QStringLiteral("--md5"), QStringLiteral("--sha1"),
                       QStringLiteral("--format"), QString::fromLatin1(name),
                       QStringLiteral("--emulator-version"), QStringLiteral("PEmulVersion"),
                       QStringLiteral("--date"), date, QStringLiteral("-o"), expected,
                       roms_.path()});
            QVERIFY(cli.waitForFinished(30000));
            QFile window(saved);
            QFile command(expected);
            QVERIFY(window.open(QIODevice::ReadOnly) && command.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(window.readAll()).split(QLatin1Char('\n')),
                     QString::fromUtf8(command.readAll()).split(QLatin1Char('\n')));
        }

        MainForm->Clearlist1->trigger();
        QCOMPARE(model->columnCount(), TRomTable::ColCount);
        ScanDialog->ComputeHashes->setChecked(false);
        ScanDialog->RadioButton1->setChecked(true);
    }

    // "Scan subfolders" with "Subfolders are sets": one set per folder, its
    // files' paths as rom names, the rows tabula-cli --folder-sets prints,
    // and Save as Logiqx writes the command line's file byte for byte.
    void folderSetsGiveTheCommandLinesRowsAndFile() {
        QTemporaryDir tree;
        QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("Disc Game/Extras")));
        WriteFile(tree.filePath(QStringLiteral("top.bin")), "top");
        WriteFile(tree.filePath(QStringLiteral("Disc Game/game.cue")), "FILE \"track01.bin\"");
        WriteFile(tree.filePath(QStringLiteral("Disc Game/track01.bin")), "audio");
        WriteFile(tree.filePath(QStringLiteral("Disc Game/Extras/Manual.pdf")), "manual");
        ScanDialog->ScanSubfolders->setChecked(true);
        ScanDialog->FolderSets->setChecked(true);
        const TScanOptions options = ScanDialog->Options();
        RunScan(tree.path());
        ScanDialog->ScanSubfolders->setChecked(false);
        ScanDialog->FolderSets->setChecked(false);
        const auto rows = WindowRows();
        QCOMPARE(rows.size(), std::size_t(4));
        QVERIFY(rows == CoreRows(tree.path(), options));
        QCOMPARE(rows[3][1], std::string("Disc Game"));
        QCOMPARE(rows[3][4], std::string("extras\\manual.pdf"));

        QTemporaryDir out;
        const QString saved = out.filePath(QStringLiteral("window.xml"));
        MainForm->AskSaveName = [&](QWidget*, const QString&, TDatafileFormat& chosen) {
            chosen = TDatafileFormat::Logiqx;
            return saved;
        };
        QTimer::singleShot(0, PropertyDialog, [] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        const QString expected = out.filePath(QStringLiteral("cli.xml"));
        QProcess cli;
        cli.start(QStringLiteral(TABULA_CLI_PROGRAM),
                  {QStringLiteral("--folder-sets"), QStringLiteral("--format"),
                   QStringLiteral("logiqx"), QStringLiteral("--emulator-version"),
                   QStringLiteral("PEmulVersion"), QStringLiteral("--date"), PropertyDialog->Date,
                   QStringLiteral("-o"), expected, tree.path()});
        QVERIFY(cli.waitForFinished(30000));
        QFile window(saved);
        QFile command(expected);
        QVERIFY(window.open(QIODevice::ReadOnly) && command.open(QIODevice::ReadOnly));
        const QByteArray bytes = window.readAll();
        QVERIFY(bytes.contains("<rom name=\"Extras\\Manual.pdf\""));
        QCOMPARE(QString::fromUtf8(bytes).split(QLatin1Char('\n')),
                 QString::fromUtf8(command.readAll()).split(QLatin1Char('\n')));
        MainForm->Clearlist1->trigger();
    }

    // "Compute SHA-256" alone shows one more column, after the MD5 and SHA-1
    // columns once they are asked too, as wide as its digits; a cleared list
    // hides it again.
    void computeSha256ShowsItsColumnAfterTheOtherDigests() {
        ScanDialog->ComputeSha256->setChecked(true);
        RunScan(roms_.path());
        TRomTableModel* model = MainForm->EditGrid1->RomModel();
        QCOMPARE(model->columnCount(), TRomTable::ColCount + 1);
        QCOMPARE(model->headerData(7, Qt::Horizontal).toString(), QStringLiteral("SHA-256"));
        const auto lastRomRows = [model] { // zzz.bin's, whose bytes are "last"
            QList<int> rows;
            for (int row = 0; row < model->rowCount(); ++row) {
                if (model->data(model->index(row, 4)).toString() == QStringLiteral("zzz.bin")) {
                    rows << row;
                }
            }
            return rows;
        };
        const QString lastRom =
            QStringLiteral("3547cb112ac4489af2310c0626cdba6f3097a2ad5a3b42ddd3b59c76c7a079a3");
        QCOMPARE(lastRomRows().size(), 1);
        QCOMPARE(model->data(model->index(lastRomRows()[0], 7)).toString(), lastRom);
        QVERIFY(!(model->flags(model->index(0, 7)) & Qt::ItemIsEditable));

        ScanDialog->ComputeHashes->setChecked(true);
        RunScan(roms_.path());
        QCOMPARE(model->columnCount(), TRomTable::ColCount + 3);
        QCOMPARE(model->headerData(8, Qt::Horizontal).toString(), QStringLiteral("SHA-1"));
        QCOMPARE(model->headerData(9, Qt::Horizontal).toString(), QStringLiteral("SHA-256"));
        const QList<int> twice = lastRomRows();
        QCOMPARE(twice.size(), 2);
        QCOMPARE(model->data(model->index(twice[0], 9)).toString(), lastRom);
        QCOMPARE(model->data(model->index(twice[1], 9)).toString(), lastRom);
        QVERIFY(model->data(model->index(twice[0], 8)).toString().isEmpty()); // not computed
        QCOMPARE(model->data(model->index(twice[1], 8)).toString().size(), 40);
        QHeaderView* header = MainForm->EditGrid1->horizontalHeader();
        QVERIFY(header->sectionSize(9) > header->sectionSize(8));
        QVERIFY(header->sectionSize(8) > header->sectionSize(7));

        MainForm->Clearlist1->trigger();
        QCOMPARE(model->columnCount(), TRomTable::ColCount);
        ScanDialog->ComputeHashes->setChecked(false);
        ScanDialog->ComputeSha256->setChecked(false);
    }

    void volumePromptIsAModalOkCancelBoxAndAMissingVolumeIsShown() {
        TWindowZipUi ui(MainForm, nullptr);
        QList<QMessageBox::StandardButton> answers{QMessageBox::Ok, QMessageBox::Cancel};
        SetMessageBoxSink([&](const TMessageBoxRequest& request) {
            if (IsQuestion(request)) {
                return QMessageBox::Discard; // the work is not worth keeping here
            }
            boxes_ << request;
            return answers.takeFirst();
        });
        QVERIFY(ui.AskForVolume("Please insert last disk\r\nin drive: /media/a/", true) ==
                TVolumeAnswer::Ok);
        QVERIFY(ui.AskForVolume("Please insert disk volume 2 of 3\r\nin drive: /media/a/", false) ==
                TVolumeAnswer::Cancel);
        QCOMPARE(boxes_.size(), 2);
        QCOMPARE(boxes_[0].Icon, QMessageBox::Critical);
        QCOMPARE(boxes_[1].Icon, QMessageBox::NoIcon);
        QCOMPARE(boxes_[1].Title, QStringLiteral("tabula"));
        QCOMPARE(boxes_[1].Text,
                 QStringLiteral("Please insert disk volume 2 of 3\nin drive: /media/a/"));
        QCOMPARE(boxes_[1].Buttons, QMessageBox::Ok | QMessageBox::Cancel);

        // A set whose first volume is missing: the scan names it in a box.
        QTemporaryDir set(roms_.filePath(QStringLiteral("setXXXXXX")));
        const QString data =
            qEnvironmentVariable("TABULA_TEST_DATA_DIR") + QStringLiteral("/span/");
        for (const char* name : {"set002.zip", "set003.zip"}) {
            QVERIFY(QFile::copy(data + QLatin1String(name), set.filePath(QLatin1String(name))));
        }
        boxes_.clear();
        SetMessageBoxSink([this](const TMessageBoxRequest& request) {
            if (IsQuestion(request)) {
                return QMessageBox::Discard; // the work is not worth keeping here
            }
            boxes_ << request;
            return QMessageBox::Ok;
        });
        ScanDialog->NesScan->setChecked(true);
        RunScan(set.path());
        ScanDialog->RadioButton1->setChecked(true);
        QStringList texts;
        for (const TMessageBoxRequest& box : std::as_const(boxes_)) {
            texts << box.Text;
        }
        QVERIFY2(texts.contains(QStringLiteral("Input file does not exist")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(QDir(tmp_.path()).isEmpty());
    }

    void cancelStopsAfterTheFileAndKeepsTheBlankRow() {
        const int widthBefore = MainForm->EditGrid1->ColWidth(4);
        int files = 0;
        MainForm->ScanJobs = 1; // the files one after the other
        MainForm->CollectFile = [&files](const std::string& path, const TCollectorFlags& flags,
                                         IZipUi* ui, std::vector<TCrcItem>& items) {
            TScanDriver::CollectWithCrc32(path, flags, ui, items);
            if (++files == 2) { // the user clicks Cancel while this file is read
                OnGuiThread([] {
                    QTest::mouseClick(MainForm->ProgressFrm->Form()->Cancel, Qt::LeftButton);
                });
            }
        };
        RunScan(roms_.path());
        QCOMPARE(files, 2);
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].Text, QStringLiteral("Cancelled by user."));
        QCOMPARE(boxes_[0].Title, QStringLiteral("Information"));
        QCOMPARE(boxes_[0].Icon, QMessageBox::Information);
        QVERIFY(progressUpDuringBox_);
        QVERIFY(!MainForm->ProgressFrm->Form()->isVisible());
        QVERIFY(MainForm->isEnabled());
        const auto rows = WindowRows();
        QCOMPARE(rows.size(), std::size_t(3)); // two files' rows and the blank row
        QCOMPARE(rows.back(), TRomTable::TRow{});
        QCOMPARE(MainForm->EditGrid1->ColWidth(4), widthBefore); // not refitted
    }

    void closingTheWindowDuringAScanCancelsAndKeepsTheWindow() {
        ScanDialog->NesScan->setChecked(true); // members are extracted to the temporary folder
        QStringList collected;
        MainForm->ScanJobs = 1;
        MainForm->CollectFile = [&collected](const std::string& path, const TCollectorFlags& flags,
                                             IZipUi* ui, std::vector<TCrcItem>& items) {
            collected << QString::fromStdString(path).section(QLatin1Char('/'), -1);
            if (collected.last() == QStringLiteral("set.zip")) {
                OnGuiThread([] { MainForm->close(); }); // the window's close box
            }
            TScanDriver::CollectWithCrc32(path, flags, ui, items);
        };
        RunScan(roms_.path());
        QCOMPARE(collected.last(), QStringLiteral("set.zip")); // stopped after that file
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].Text, QStringLiteral("Cancelled by user."));
        QVERIFY(MainForm->isVisible());
        QVERIFY(MainForm->isEnabled());
        const auto rows = WindowRows(); // the rows so far stay, the blank row last
        QVERIFY(rows.size() > 2);
        QCOMPARE(rows.back(), TRomTable::TRow{});
        QVERIFY(!MainForm->ProgressFrm->Form()->isVisible());
        QVERIFY(QDir(tmp_.path()).isEmpty());
        MainForm->close(); // now it closes
        QVERIFY(!MainForm->isVisible());
    }

    void filesThatGaveNoRowAreNamedInOneBoxAfterTheScan() {
        QTemporaryDir dir;
        WriteFile(dir.filePath(QStringLiteral("good.bin")), "good");
        WriteFile(dir.filePath(QStringLiteral("garbage.zip")), QByteArray(300, 'g'));
        QFile set(qEnvironmentVariable("TABULA_TEST_DATA_DIR") + QStringLiteral("/scan/set.zip"));
        QVERIFY(set.open(QIODevice::ReadOnly));
        const QByteArray whole = set.readAll();
        WriteFile(dir.filePath(QStringLiteral("truncated.zip")), whole.left(whole.size() / 2));
        QStringList failing{QStringLiteral("garbage.zip"), QStringLiteral("truncated.zip")};
        // Root reads any file: the unreadable one is tried only as a user.
        if (geteuid() != 0) {
            const QString locked = dir.filePath(QStringLiteral("locked.bin"));
            WriteFile(locked, "locked");
            QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
            failing << QStringLiteral("locked.bin");
        } else {
            qInfo("running as root: an unreadable file cannot be made, so it is left out");
        }
        RunScan(dir.path());
        QCOMPARE(boxes_.size(), 1);
        const TMessageBoxRequest& box = boxes_[0];
        QVERIFY(!progressUpDuringBox_);
        QCOMPARE(box.Icon, QMessageBox::Information);
        QCOMPARE(box.Title, QStringLiteral("tabula"));
        QCOMPARE(
            box.Text,
            QStringLiteral("%1 files gave no row, or not all of their rows.").arg(failing.size()));
        const QStringList lines = box.Details.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), failing.size());
        for (const QString& name : std::as_const(failing)) {
            QVERIFY2(box.Details.contains(name + QStringLiteral(": ")), qPrintable(box.Details));
        }
        QCOMPARE(WindowRows().size(), std::size_t(1));
        QCOMPARE(WindowRows()[0][4], std::string("good.bin"));

        boxes_.clear(); // a scan without failures shows nothing new
        QFile::remove(dir.filePath(QStringLiteral("garbage.zip")));
        QFile::remove(dir.filePath(QStringLiteral("truncated.zip")));
        QFile::remove(dir.filePath(QStringLiteral("locked.bin")));
        RunScan(dir.path());
        QVERIFY(boxes_.isEmpty());
    }

    void aCacheThatCannotBeUsedIsOneLineOfTheBoxAndTheRowsStay() {
        QTemporaryDir dir;
        WriteFile(dir.filePath(QStringLiteral("good.bin")), "good");
        QTemporaryDir home;
        const QString notAFolder = home.filePath(QStringLiteral("cache-home"));
        WriteFile(notAFolder, "a file where the cache's folder would go");
        const QByteArray saved = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(notAFolder));
        RunScan(dir.path());
        qputenv("XDG_CACHE_HOME", saved);
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].Text,
                 QStringLiteral("Every file gave its rows; the checksum cache could not be used."));
        QVERIFY2(boxes_[0].Details.startsWith(QStringLiteral("The checksum cache \"") + notAFolder +
                                              QStringLiteral("/tabula/checksums.sqlite\" cannot "
                                                             "be used (")),
                 qPrintable(boxes_[0].Details));
        QVERIFY(!boxes_[0].Details.contains(QLatin1Char('\n')));
        QCOMPARE(WindowRows()[0][4], std::string("good.bin"));
    }

    void menuCommandsArrivingDuringAScanAreRefused() {
        bool posted = false;
        bool arrivedDuringScan = false;
        bool nestedScanDialog = false;
        bool windowDisabled = false;
        MainForm->ScanJobs = 1;
        MainForm->CollectFile = [&](const std::string& path, const TCollectorFlags& flags,
                                    IZipUi* ui, std::vector<TCrcItem>& items) {
            TScanDriver::CollectWithCrc32(path, flags, ui, items);
            if (posted) {
                return;
            }
            posted = true;
            // Delivered while the scan runs, as a shortcut or a script would.
            OnGuiThread([&] {
                arrivedDuringScan = MainForm->Scanning();
                windowDisabled = !MainForm->isEnabled();
                QTimer::singleShot(0, ScanDialog, [&] {
                    for (QDialog* dialog : {static_cast<QDialog*>(ScanDialog),
                                            static_cast<QDialog*>(PropertyDialog)}) {
                        if (dialog->isVisible()) {
                            nestedScanDialog = true;
                            dialog->reject();
                        }
                    }
                });
                MainForm->Clearlist1->trigger();
                MainForm->Saveas->trigger();
                MainForm->Scanforroms->trigger();
            });
        };
        RunScan(roms_.path());
        QVERIFY(arrivedDuringScan);
        QVERIFY(windowDisabled);
        QVERIFY(!nestedScanDialog);
        QVERIFY(WindowRows() == CoreRows(roms_.path(), ScanDialog->Options()));
        QVERIFY(boxes_.isEmpty());
    }

    void aWindowWithDialogsOfItsOwnScansEditsSavesAndClears() {
        DestroyForms(); // nothing below may lean on the program's globals
        QStringList errors;
        TApplication::SetErrorSink([&errors](const QString& text) { errors << text; });
        SetMessageBoxSink([this](const TMessageBoxRequest& request) {
            if (IsQuestion(request)) {
                return QMessageBox::Discard; // the work is not worth keeping here
            }
            boxes_ << request;
            return QMessageBox::Ok;
        });
        {
            TMainForm bare; // given no dialogs: the command fails with a message
            bare.Scanforroms->trigger();
            QCOMPARE(errors.size(), 1);
        }

        TMainForm form;
        TScanDialog scanDialog(&form);
        TPropertyDialog propertyDialog(&form);
        form.SetDialogs(&scanDialog, &propertyDialog);
        form.show();
        QAbstractItemModelTester tester(form.EditGrid1->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        QTimer::singleShot(0, &scanDialog, [&] {
            scanDialog.DirName->setText(roms_.path());
            QTest::keyClick(scanDialog.DirName, Qt::Key_Return);
        });
        form.Scanforroms->trigger();
        const auto rows = form.EditGrid1->Table().DataRows();
        QVERIFY(std::vector<TRomTable::TRow>(rows.begin(), rows.end()) ==
                CoreRows(roms_.path(), scanDialog.Options()));

        QAbstractItemModel* model = form.EditGrid1->model();
        QVERIFY(model->setData(model->index(0, 1), QStringLiteral("Edited Set")));
        const QString saved = tmp_.filePath(QStringLiteral("own.dat"));
        form.AskSaveName = [&saved](QWidget*, const QString&, TDatafileFormat&) { return saved; };
        QTimer::singleShot(0, &propertyDialog, [&] { propertyDialog.Button1->click(); });
        form.Saveas->trigger();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Edited Set"));
        file.remove();

        form.Clearlist1->trigger();
        QCOMPARE(form.EditGrid1->RowCount(), 2);
        QCOMPARE(errors.size(), 1);
        QVERIFY(boxes_.isEmpty());
    }
};

QTEST_MAIN(TestScan)
#include "tst_Scan.moc"
