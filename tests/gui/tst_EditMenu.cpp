#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/romlist/FindReplaceDialog.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/ContainerStatusBar.h"
#include "gui/widgets/EditPath.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

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

} // namespace

class TestEditMenu : public QObject {
    Q_OBJECT
private:
    QTemporaryDir roms_;
    QTemporaryDir out_;
    QStringList errors_;

    // The program's own application object gives the keyboard back to the
    // window after a dialog; the test's plain one does not.
    static void Activate() {
        QApplication::setActiveWindow(MainForm);
        QVERIFY(QTest::qWaitForWindowActive(MainForm));
    }

    // Scans the directory by the keyboard: F5, the directory typed, Enter.
    void ScanByKeyboard() {
        Activate();
        QTimer::singleShot(0, ScanDialog, [this] {
            ScanDialog->DirName->setText(roms_.path());
            QTest::keyClick(ScanDialog->DirName, Qt::Key_Return);
        });
        QTest::keyClick(MainForm->EditGrid1, Qt::Key_F5);
    }

    // Saves by the keyboard: Ctrl+S, Enter in the credits; returns the bytes.
    QByteArray SaveByKeyboard(const QString& name) {
        Activate();
        const QString path = out_.filePath(name);
        MainForm->AskSaveName = [path](QWidget*, const QString&, TDatafileFormat&) { return path; };
        QTimer::singleShot(0, PropertyDialog,
                           [] { QTest::keyClick(PropertyDialog->PAuthor, Qt::Key_Return); });
        QTest::keyClick(MainForm->EditGrid1, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        return ReadFile(path);
    }

private slots:
    void initTestCase() {
        for (int n = 0; n < 4; ++n) {
            QFile file(roms_.filePath(QStringLiteral("Game %1 (U).bin").arg(n)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(100 + n, char('a' + n)));
        }
    }
    void init() {
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
        errors_.clear();
        TApplication::SetErrorSink([this](const QString& text) { errors_ << text; });
        // Every box says OK, and the question before losing work "Don't save".
        SetMessageBoxSink([](const TMessageBoxRequest& request) {
            return request.Buttons.testFlag(QMessageBox::Discard) ? QMessageBox::Discard
                                                                  : QMessageBox::Ok;
        });
    }
    void cleanup() {
        SetMessageBoxSink({});
        TApplication::SetErrorSink({});
        DestroyForms();
    }

    void undoAndRedoRestoreTheExactTableAfterEveryKindOfChange() {
        TEditGrid* grid = MainForm->EditGrid1;
        QAbstractItemModelTester tester(grid->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(!MainForm->Undo1->isEnabled());
        std::vector<TTable> states{Rows()};
        const auto step = [&states] { states.push_back(Rows()); };

        ScanByKeyboard();
        QCOMPARE(Rows().size(), std::size_t(4));
        step();
        QVERIFY(grid->model()->setData(grid->model()->index(1, 1), QStringLiteral("Renamed")));
        step();
        grid->selectionModel()->select(grid->model()->index(2, 3), QItemSelectionModel::Select);
        MainForm->Deleterows1->trigger();
        step();
        grid->setCurrentIndex(grid->model()->index(0, 4));
        MainForm->Insertrow1->trigger();
        QCOMPARE(Rows()[0], TRomTable::TRow{});
        step();
        Activate();
        bool focusOnFind = false;
        QTimer::singleShot(0, MainForm, [&focusOnFind] {
            auto* dialog = MainForm->findChild<TFindReplaceDialog*>();
            focusOnFind = dialog->focusWidget() == dialog->FindText;
            dialog->FindText->setText(QStringLiteral("(U)"));
            dialog->ReplaceText->setText(QStringLiteral("(E)"));
            dialog->MatchCase->setChecked(true);
            dialog->Column->setCurrentIndex(2); // "Set full name", after "All columns"
            dialog->ReplaceAll->click();
        });
        QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(focusOnFind);
        QCOMPARE(MainForm->StatusBar1->currentMessage(), QStringLiteral("2 replacements"));
        QCOMPARE(Rows()[1][1], std::string("Game 0 (E)"));
        step();
        grid->selectionModel()->select(
            QItemSelection(grid->model()->index(1, 0), grid->model()->index(3, 0)),
            QItemSelectionModel::ClearAndSelect);
        MainForm->AskValue = [](QWidget*, const QString&, bool*) { return QStringLiteral("set"); };
        MainForm->Setvalue1->trigger();
        QCOMPARE(Rows()[3][0], std::string("set"));
        step();
        ScanByKeyboard(); // a second scan adds behind the first
        step();
        MainForm->Clearlist1->trigger();
        step();
        QCOMPARE(errors_, QStringList());

        for (std::size_t back = states.size() - 1; back > 0; --back) {
            QVERIFY(MainForm->Undo1->isEnabled());
            Activate();
            QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY2(Rows() == states[back - 1], qPrintable(QString::number(back)));
        }
        QVERIFY(!MainForm->Undo1->isEnabled());
        for (std::size_t ahead = 1; ahead < states.size(); ++ahead) {
            Activate();
            QTest::keyClick(grid, Qt::Key_Y, Qt::ControlModifier);
            QVERIFY(Rows() == states[ahead]);
        }
        QVERIFY(!MainForm->Redo1->isEnabled());
        MainForm->Undo1->trigger();
        QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(Rows() == states.back());
    }

    // Set value on set full names offers the same rows' clone full names,
    // checked; answered no, they stay.
    void setValueOnSetNamesOffersTheCloneNames() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->Document().InsertFilledRows(1, {{"a", "A", "a", "A", "a.bin", "00000001", "1"}});
        for (const bool clones : {true, false}) {
            grid->selectionModel()->select(grid->model()->index(0, 1),
                                           QItemSelectionModel::ClearAndSelect);
            bool offered = false;
            MainForm->AskValue = [&](QWidget*, const QString&, bool* alsoClones) {
                offered = alsoClones != nullptr && *alsoClones;
                *alsoClones = clones;
                return QStringLiteral("New %1").arg(clones);
            };
            MainForm->Setvalue1->trigger();
            QVERIFY(offered);
            QCOMPARE(grid->Cell(1, 1), QStringLiteral("New %1").arg(clones).toStdString());
            QCOMPARE(grid->Cell(3, 1), std::string("New 1")); // the second round left it
        }
        QCOMPARE(errors_, QStringList());
    }

    // F3 in the find dialog, and in the window after it, makes the next cell
    // holding the text current.
    void findNextMakesTheNextMatchCurrent() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->Document().InsertFilledRows(1, {{"a", "Zed", "a", "A", "a.bin", "00000001", "1"},
                                              {"b", "B", "b", "zed", "b.bin", "00000002", "2"}});
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QTimer::singleShot(0, MainForm, [] {
            auto* dialog = MainForm->findChild<TFindReplaceDialog*>();
            QVERIFY(dialog);
            dialog->FindText->setText(QStringLiteral("zed"));
            QCOMPARE(dialog->FindNext->shortcut(), QKeySequence(Qt::Key_F3));
            dialog->FindNext->click();
            dialog->reject();
        });
        MainForm->Find1->trigger();
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, 1));
        Activate();
        QTest::keyClick(grid, Qt::Key_F3);
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 3));
        QCOMPARE(MainForm->StatusBar1->currentMessage(), QStringLiteral("Found in row 2"));
        QCOMPARE(errors_, QStringList());
    }

    void setValueRefusesCellsOfSeveralColumns() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->selectionModel()->select(
            QItemSelection(grid->model()->index(0, 0), grid->model()->index(0, 1)),
            QItemSelectionModel::ClearAndSelect);
        bool asked = false;
        MainForm->AskValue = [&asked](QWidget*, const QString&, bool*) {
            asked = true;
            return QStringLiteral("x");
        };
        MainForm->Setvalue1->trigger();
        QVERIFY(!asked);
        QCOMPARE(errors_.size(), 1);
    }

    // Naming from a reference: the marks' column, the status line, the
    // unknown rows selected; Clear list hides the marks again. (What rows
    // match, and the step, are the core's tests.)
    void nameFromDatafileMarksTheRowsAndSelectsTheUnknownOnes() {
        TEditGrid* grid = MainForm->EditGrid1;
        ScanByKeyboard();
        const TTable scanned = Rows();
        QString xml = QStringLiteral("<datafile>");
        for (int r : {0, 2}) {
            xml += QStringLiteral("<game name=\"Known %1\"><rom name=\"k.bin\" size=\"%2\" "
                                  "crc=\"%3\"/></game>")
                       .arg(r)
                       .arg(QString::fromStdString(scanned[r][6]),
                            QString::fromStdString(scanned[r][5]));
        }
        const QString reference = out_.filePath(QStringLiteral("ref.xml"));
        QFile file(reference);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((xml + QStringLiteral("</datafile>")).toUtf8());
        file.close();

        QVERIFY(!MainForm->Selectunknown1->isVisible());
        MainForm->AskReferenceNames = [&](QWidget*, const QString&) {
            return QStringList{reference};
        };
        MainForm->Namefromdatafile->trigger();
        QCOMPARE(grid->model()->headerData(TRomTable::ColCount, Qt::Horizontal).toString(),
                 QStringLiteral("Match"));
        QCOMPARE(Rows()[2][1], std::string("Known 2"));
        QCOMPARE(grid->model()->index(1, TRomTable::ColCount).data().toString(),
                 QStringLiteral("unknown"));
        QCOMPARE(MainForm->StatusBar1->currentMessage(),
                 QStringLiteral("2 rows matched (2 renamed, 2 by CRC only), 2 unknown, 0 sets of "
                                "the reference missing"));
        MainForm->Selectunknown1->trigger();
        QCOMPARE(grid->SelectedTableRows(), (std::vector<int>{2, 4}));
        MainForm->Clearlist1->trigger();
        QCOMPARE(grid->model()->columnCount(), TRomTable::ColCount);
        QVERIFY(!MainForm->Selectunknown1->isVisible());
        QCOMPARE(errors_, QStringList());
    }

    void keyboardRemovesARescansDuplicatesAndSavesTheSingleScan() {
        TEditGrid* grid = MainForm->EditGrid1;
        ScanByKeyboard();
        const QByteArray single = SaveByKeyboard(QStringLiteral("single.dat"));
        QVERIFY(!single.isEmpty());
        ScanByKeyboard();
        QCOMPARE(Rows().size(), std::size_t(8));

        // To the first duplicated row, then Shift+Down over the others.
        Activate();
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 0));
        for (int n = 0; n < 4; ++n) {
            QTest::keyClick(grid, Qt::Key_Down);
        }
        for (int n = 0; n < 3; ++n) {
            QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);
        }
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(Rows().size(), std::size_t(4));
        QCOMPARE(SaveByKeyboard(QStringLiteral("again.dat")), single);
        QCOMPARE(errors_, QStringList());
    }

    // Ctrl+A and Ctrl+C give every cell as tab-separated lines; Ctrl+V puts
    // them back from the current cell as one step, and text that does not
    // fit changes nothing.
    void theClipboardCopiesAndPastesCellsAsOneStep() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->Document().InsertFilledRows(1, {{"a", "A", "a", "A", "a.bin", "00000001", "1"},
                                              {"b", "B", "b", "B", "b.bin", "00000002", "2"}});
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        const QString copied = QStringLiteral("a\tA\ta\tA\ta.bin\t00000001\t1\n"
                                              "b\tB\tb\tB\tb.bin\t00000002\t2\n"
                                              "\t\t\t\t\t\t\n");
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        grid->Document().Clear();
        grid->Document().InsertBlankRows(1, 2);
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(errors_, QStringList());
        QCOMPARE(grid->Cell(4, 2), std::string("b.bin"));
        MainForm->Undo1->trigger();
        QCOMPARE(grid->Cell(4, 2), std::string());
        grid->setCurrentIndex(grid->model()->index(0, 1));
        QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier); // 7 cells from column 1
        QCOMPARE(errors_.size(), 1);
        QCOMPARE(grid->Cell(1, 1), std::string());
    }
};

QTEST_MAIN(TestEditMenu)
#include "tst_EditMenu.moc"
