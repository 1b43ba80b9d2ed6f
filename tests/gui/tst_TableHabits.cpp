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

            // After a save (or undoing back to it) nothing is asked.
            Fresh();
            Scan(roms_.path());
            AnswerTheSave(saved);
            MainForm->Saveas->trigger();
            QVERIFY(!MainForm->isWindowModified());
            MainForm->EditGrid1->Document().EditCell(1, 1, "edited");
            QVERIFY(MainForm->isWindowModified());
            MainForm->Undo1->trigger();
            QVERIFY(!MainForm->isWindowModified());
            questions_.clear();
            QVERIFY(command.Run());
            QVERIFY(questions_.isEmpty());
        }
        QCOMPARE(errors_, QStringList());
    }

    // A header click sorts ascending, a second one descending, each one step
    // with the header's arrow; Ctrl+2 sorts by the set name, which gives the
    // scan's order and its save's bytes again; an edit out of order takes
    // the arrow away.
    void headerClicksAndShortcutsSortAsOneStep() {
        TEditGrid* grid = MainForm->EditGrid1;
        Scan(roms_.path());
        const TTable scanned = Rows();
        const QString saved = out_.filePath(QStringLiteral("scanned.dat"));
        AnswerTheSave(saved);
        MainForm->Saveas->trigger();
        const QByteArray scannedBytes = ReadFile(saved);

        QHeaderView* header = grid->horizontalHeader();
        const auto click = [&](int col) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(col) + 5, 5));
        };
        const TTable reversed(scanned.rbegin(), scanned.rend());
        click(6); // the sizes grow with the names: in order already, no step
        QVERIFY(Rows() == scanned);
        QVERIFY(!MainForm->Undo1->isEnabled() || Rows() == scanned);
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), 6);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(6);
        QVERIFY(Rows() == reversed);
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        MainForm->Undo1->trigger(); // one step
        QVERIFY(Rows() == scanned);
        QVERIFY(!header->isSortIndicatorShown()); // the order no longer holds

        click(6);
        click(6);
        QVERIFY(Rows() == reversed);
        Activate();
        QTest::keyClick(grid, Qt::Key_2, Qt::ControlModifier);
        QVERIFY(Rows() == scanned);
        QCOMPARE(header->sortIndicatorSection(), 1);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        AnswerTheSave(saved);
        MainForm->Saveas->trigger();
        QCOMPARE(ReadFile(saved), scannedBytes);
        grid->Document().EditCell(1, 1, "ZZZ");
        QVERIFY(!header->isSortIndicatorShown());
        QCOMPARE(errors_, QStringList());
    }

    // Row numbers from 1; the counts follow the table and the selection,
    // and leave the left of the bar to the commands' messages.
    void rowNumbersAndCountsFollowTheTable() {
        TEditGrid* grid = MainForm->EditGrid1;
        QTRY_COMPARE(MainForm->TableCounts1->text(), QStringLiteral("0 rows in 0 sets"));
        Scan(roms_.path());
        QCOMPARE(grid->model()->headerData(3, Qt::Vertical).toString(), QStringLiteral("4"));
        QTRY_COMPARE(MainForm->TableCounts1->text(), QStringLiteral("4 rows in 4 sets"));
        grid->Document().EditCell(1, 2, "Game 0 (U)"); // the second row joins the first set
        QTRY_COMPARE(MainForm->TableCounts1->text(), QStringLiteral("4 rows in 3 sets"));
        grid->selectionModel()->select(
            QItemSelection(grid->model()->index(1, 2), grid->model()->index(3, 4)),
            QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(MainForm->TableCounts1->text(),
                     QStringLiteral("4 rows in 3 sets, 3 selected"));
        MainForm->StatusBar1->showMessage(QStringLiteral("a message"));
        QCOMPARE(MainForm->StatusBar1->currentMessage(), QStringLiteral("a message"));
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
        QVERIFY(!Drop({QUrl(QStringLiteral("https://example.org/set.dat"))}));
        QCOMPARE(errors_, QStringList());
    }

    // After a scan of more rows than the view holds, the first one is shown
    // and current.
    void aLargeScanLeavesTheViewOnItsFirstRow() {
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
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestTableHabits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TableHabits.moc"
