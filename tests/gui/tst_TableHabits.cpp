#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/ContainerStatusBar.h"
#include "gui/widgets/EditPath.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>

using namespace tabula;

namespace {

using TTable = std::vector<TRomTable::TRow>;

TTable Rows() {
    const auto rows = MainForm->EditGrid1->Table().DataRows();
    return {rows.begin(), rows.end()};
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Runs action once the dialog is up, looking again every few milliseconds.
void WhenShown(QWidget* dialog, std::function<void()> action) {
    QTimer::singleShot(10, dialog, [dialog, action] {
        if (dialog->isVisible()) {
            action();
        } else {
            WhenShown(dialog, action);
        }
    });
}

// Sends a drag of urls over the window and, when it is taken, the drop;
// returns whether the window took it.
bool Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = MainForm->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(MainForm, &enter);
    if (!enter.isAccepted()) {
        return false;
    }
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(MainForm, &drop);
    return drop.isAccepted();
}

} // namespace

// The window's habits as a desktop editor: the question before unsaved
// work goes, sorting, the row numbers and counts, drops, and the view after
// a scan. What the core decides (orders, counts, steps) its own tests check.
class TestTableHabits : public QObject {
    Q_OBJECT
private:
    QTemporaryDir roms_;
    QTemporaryDir out_;
    QStringList errors_;
    QStringList questions_;
    QMessageBox::StandardButton answer_ = QMessageBox::Cancel;

    static void Activate() {
        QApplication::setActiveWindow(MainForm);
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
    }

    void Scan(const QString& folder) {
        Activate();
        QTimer::singleShot(0, ScanDialog, [folder] {
            ScanDialog->DirName->setText(folder);
            QTest::keyClick(ScanDialog->DirName, Qt::Key_Return);
        });
        QTest::keyClick(MainForm->EditGrid1, Qt::Key_F5);
    }

    // The save the question's "Save" runs: the credits' OK, then the chooser.
    void AnswerTheSave(const QString& path) {
        MainForm->AskSaveName = [path](QWidget*, const QString&, TDatafileFormat&) { return path; };
        WhenShown(PropertyDialog, [] { PropertyDialog->Button1->click(); });
    }

    // Quit run in an event loop of its own: true when it ended the loop.
    static bool QuitEndsTheLoop() {
        QTimer::singleShot(0, MainForm->Quit1, &QAction::trigger);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        guard.start(1500);
        return QApplication::exec() == 0;
    }

    void Fresh() {
        DestroyForms();
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false); // a closed window is one of the cases
        for (int n = 0; n < 4; ++n) {
            WriteFile(roms_.filePath(QStringLiteral("Game %1 (U).bin").arg(n)),
                      QByteArray(100 + n, char('d' - n)));
        }
    }
    void init() {
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
        errors_.clear();
        questions_.clear();
        TApplication::SetErrorSink([this](const QString& text) { errors_ << text; });
        SetMessageBoxSink([this](const TMessageBoxRequest& request) {
            if (request.Icon != QMessageBox::Question) {
                return QMessageBox::Ok;
            }
            if (request.Buttons == (QMessageBox::Yes | QMessageBox::No)) {
                return QMessageBox::Yes; // a file saved over again
            }
            [&] {
                QCOMPARE(request.Title, QStringLiteral("tabula"));
                QCOMPARE(request.Buttons,
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
                QCOMPARE(request.ButtonTexts.size(), 2);
            }();
            questions_ << request.Text;
            return answer_;
        });
    }
    void cleanup() {
        SetMessageBoxSink({});
        TApplication::SetErrorSink({});
        DestroyForms();
    }

    // Each command that would lose the rows: not asked on a fresh window or
    // after a save; asked after an edit, where Cancel keeps everything,
    // "Don't save" goes on, and "Save" saves first and then goes on.
    void unsavedWorkIsAskedAboutBeforeItIsLost() {
        const QString datafile = out_.filePath(QStringLiteral("opened.dat"));
        WriteFile(datafile, "[CREDITS]\r\n[GAMES]\r\n\xAC"
                            "a\xAC"
                            "A\xAC"
                            "a\xAC"
                            "A\xAC"
                            "a.bin\xAC"
                            "0000000A\xAC"
                            "N\xAC"
                            "O\xAC"
                            "4\xAC\r\n");
        const struct {
            const char* Command;
            std::function<bool()> Run; // true when the command went on
        } commands[] = {
            {"Quit", QuitEndsTheLoop},
            {"Quit", [] { return MainForm->close(); }}, // the close box
            {"Open datafile",
             [&] {
                 MainForm->AskOpenName = [&](QWidget*, const QString&) { return datafile; };
                 MainForm->Opendatafile->trigger();
                 return Rows().size() == 1 && Rows()[0][1] == "A";
             }},
            {"Clear list",
             [] {
                 MainForm->Clearlist1->trigger();
                 return Rows() == TTable{TRomTable::TRow{}};
             }},
        };
        for (const auto& command : commands) {
            const QString question = QStringLiteral("Save the rows and credits before %1?")
                                         .arg(QLatin1String(command.Command));
            Fresh();
            QVERIFY2(command.Run(), command.Command);
            QVERIFY(questions_.isEmpty());

            Fresh();
            Scan(roms_.path());
            QVERIFY(MainForm->isWindowModified());
            answer_ = QMessageBox::Cancel;
            QVERIFY2(!command.Run(), command.Command);
            QCOMPARE(questions_, QStringList{question});
            QCOMPARE(Rows().size(), std::size_t(4));
            QVERIFY(MainForm->isVisible());
            answer_ = QMessageBox::Discard;
            QVERIFY(command.Run());

            Fresh();
            Scan(roms_.path());
            const QString saved = out_.filePath(QStringLiteral("saved.dat"));
            QFile::remove(saved);
            AnswerTheSave(saved);
            answer_ = QMessageBox::Save;
            questions_.clear();
            QVERIFY(command.Run());
            QCOMPARE(questions_.size(), 1);
            QVERIFY(!ReadFile(saved).isEmpty());

            // After a save nothing is asked.
            Fresh();
            Scan(roms_.path());
            AnswerTheSave(saved);
            MainForm->Saveas->trigger();
            QVERIFY(!MainForm->isWindowModified());
            questions_.clear();
            QVERIFY(command.Run());
            QVERIFY(questions_.isEmpty());
        }
        QCOMPARE(errors_, QStringList());
    }

    // The counts; a header click and Ctrl+2 sort, each one step with the header's arrow
    // (the orders themselves are the core's); sorted by set name, the rows
    // save as the scan's.
    void headerClicksAndShortcutsSortAsOneStep() {
        TEditGrid* grid = MainForm->EditGrid1;
        Scan(roms_.path());
        const TTable scanned = Rows();
        QTRY_COMPARE(MainForm->TableCounts1->text(), QStringLiteral("4 rows in 4 sets"));
        const QString saved = out_.filePath(QStringLiteral("scanned.dat"));
        AnswerTheSave(saved);
        MainForm->Saveas->trigger();
        const QByteArray scannedBytes = ReadFile(saved);
        QHeaderView* header = grid->horizontalHeader();
        for (int click = 0; click < 2; ++click) { // sizes grow with the names: then descending
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(6) + 5, 5));
        }
        QVERIFY(Rows() == TTable(scanned.rbegin(), scanned.rend()));
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        Activate();
        QTest::keyClick(grid, Qt::Key_2, Qt::ControlModifier);
        QVERIFY(Rows() == scanned);
        QCOMPARE(header->sortIndicatorSection(), 1);
        AnswerTheSave(saved);
        MainForm->Saveas->trigger();
        QCOMPARE(ReadFile(saved), scannedBytes);
        MainForm->Undo1->trigger();
        QVERIFY(!header->isSortIndicatorShown()); // the order no longer holds
    }

    // A folder dropped opens the scan dialog on it; a datafile opens (asking
    // first about the scanned rows); anything else is refused.
    void foldersAndDatafilesDroppedAreTakenTheRestRefused() {
        QString shownPath;
        WhenShown(ScanDialog, [&] {
            shownPath = ScanDialog->DirName->text();
            QTest::keyClick(ScanDialog->DirName, Qt::Key_Return);
        });
        QVERIFY(Drop({QUrl::fromLocalFile(roms_.path())}));
        QTRY_COMPARE(Rows().size(), std::size_t(4));
        QCOMPARE(shownPath, roms_.path());

        const QString datafile = out_.filePath(QStringLiteral("dropped.xml"));
        WriteFile(datafile, "<datafile><game name=\"Dropped\"><rom name=\"d.bin\" size=\"1\" "
                            "crc=\"00000001\"/></game></datafile>");
        answer_ = QMessageBox::Discard;
        QVERIFY(Drop({QUrl::fromLocalFile(datafile)}));
        QTRY_COMPARE(Rows().size(), std::size_t(1));
        QCOMPARE(Rows()[0][1], std::string("Dropped"));
        QCOMPARE(questions_.size(), 1);

        const QString other = out_.filePath(QStringLiteral("notes.txt"));
        WriteFile(other, "text");
        QVERIFY(!Drop({QUrl::fromLocalFile(other)}));
        QVERIFY(!Drop({QUrl::fromLocalFile(roms_.path()), QUrl::fromLocalFile(datafile)}));
        QCOMPARE(errors_, QStringList());
    }

    // After a scan of more rows than the view holds, or an open over a table
    // scrolled down, the first row is shown and current.
    void aLargeScanOrAnOpenLeavesTheViewOnItsFirstRow() {
        QTemporaryDir many;
        for (int n = 0; n < 300; ++n) {
            WriteFile(many.filePath(QStringLiteral("f%1.bin").arg(n, 3, 10, QLatin1Char('0'))),
                      QByteArray::number(n));
        }
        Scan(many.path());
        TEditGrid* grid = MainForm->EditGrid1;
        QCOMPARE(Rows().size(), std::size_t(300));
        QCOMPARE(grid->rowAt(0), 0);
        QCOMPARE(grid->currentIndex().row(), 0);

        const QString saved = out_.filePath(QStringLiteral("many.dat"));
        AnswerTheSave(saved);
        MainForm->Saveas->trigger();
        grid->ShowCell(0, 290);
        QVERIFY(grid->rowAt(0) > 0);
        MainForm->AskOpenName = [&](QWidget*, const QString&) { return saved; };
        MainForm->Opendatafile->trigger();
        QCOMPARE(grid->rowAt(0), 0);
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(errors_, QStringList());
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestTableHabits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TableHabits.moc"
