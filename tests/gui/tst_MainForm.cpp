#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/romlist/EditGrid.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/ContainerStatusBar.h"

#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

using namespace tabula;

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void init() {
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }
    void cleanup() {
        DestroyForms();
        TApplication::SetErrorSink({});
    }

    void formsAreCreatedInOrderWithTheirNames() {
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("tabula"));
        QCOMPARE(MainForm->objectName(), QStringLiteral("MainForm"));
        QCOMPARE(ScanDialog->objectName(), QStringLiteral("ScanDialog"));
        QCOMPARE(PropertyDialog->objectName(), QStringLiteral("PropertyDialog"));
        const QObjectList children = MainForm->children();
        QVERIFY(children.indexOf(ScanDialog) < children.indexOf(PropertyDialog));
        QVERIFY(!ScanDialog->isVisible());
        QVERIFY(!PropertyDialog->isVisible());
    }

    void windowHasItsCaptionPlaceAndSize() {
        // The placeholder shows unsaved work; the caption is the text around it.
        QCOMPARE(MainForm->windowTitle(), QStringLiteral("Catalogix Datafile Maker 1.2 beta 5[*]"));
        QVERIFY(!MainForm->isWindowModified());
        QVERIFY(!MainForm->windowIcon().pixmap(32, 32).isNull());
        // The form's size, or the screen's free area when that is smaller.
        const QRect area = MainForm->screen()->availableGeometry();
        QCOMPARE(MainForm->width(), std::min(929, area.width() - 8));
        QCOMPARE(MainForm->height(), std::min(637, area.height() - 31));
        QVERIFY(area.contains(MainForm->geometry()));
        QCOMPARE(MainForm->font().pointSize(), 8);
        QCOMPARE(MainForm->centralWidget(), MainForm->EditGrid1);
        QCOMPARE(MainForm->EditGrid1->objectName(), QStringLiteral("EditGrid1"));
        QCOMPARE(MainForm->statusBar(), MainForm->StatusBar1);
        QCOMPARE(MainForm->StatusBar1->height(), 19);
        QVERIFY(MainForm->StatusBar1->currentMessage().isEmpty());
    }

    void fileMenuHasItsItemsInOrder() {
        QCOMPARE(MainForm->menuBar()->objectName(), QStringLiteral("MainMenu1"));
        QCOMPARE(MainForm->menuBar()->actions().size(), 3);
        QCOMPARE(MainForm->menuBar()->actions()[1], MainForm->Edit1->menuAction());
        QCOMPARE(MainForm->menuBar()->actions()[2], MainForm->Help1->menuAction());
        QCOMPARE(MainForm->Help1->actions(), QList<QAction*>{MainForm->About1});
        QCOMPARE(MainForm->About1->text(), QStringLiteral("&About tabula"));
        QCOMPARE(MainForm->File1->title(), QStringLiteral("&File"));
        const QList<QAction*> items = MainForm->File1->actions();
        const QStringList names = {QStringLiteral("Clearlist1"),   QStringLiteral("Scanforroms"),
                                   QStringLiteral("Opendatafile"), QStringLiteral("Save1"),
                                   QStringLiteral("Saveas"),       QStringLiteral("Properties"),
                                   QStringLiteral("N1"),           QStringLiteral("Quit1")};
        const QStringList shortcuts = {QString(),
                                       QStringLiteral("F5"),
                                       QStringLiteral("Ctrl+O"),
                                       QStringLiteral("Ctrl+S"),
                                       QStringLiteral("Ctrl+Shift+S"),
                                       QString(),
                                       QString(),
                                       QStringLiteral("Ctrl+Q")};
        const QStringList captions = {QStringLiteral("&Clear list"),
                                      QStringLiteral("Scan for roms ..."),
                                      QStringLiteral("&Open datafile ..."),
                                      QStringLiteral("&Save"),
                                      QStringLiteral("&Save as ..."),
                                      QStringLiteral("&Properties"),
                                      QString(),
                                      QStringLiteral("&Quit")};
        QCOMPARE(items.size(), names.size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->objectName(), names[i]);
            QCOMPARE(items[i]->text(), captions[i]);
            QCOMPARE(items[i]->shortcut().toString(), shortcuts[i]);
        }
        QVERIFY(items[6]->isSeparator());
    }

    void freshTableIsFittedToTheBoldTitles() {
        TEditGrid* grid = MainForm->EditGrid1;
        QCOMPARE(grid->RowCount(), 2);
        QCOMPARE(grid->model()->rowCount(), 1);
        QCOMPARE(grid->model()->columnCount(), 7);
        QHeaderView* header = grid->horizontalHeader();
        QVERIFY(header->isVisible());
        QVERIFY(grid->verticalHeader()->isVisible()); // row numbers, 1 for the first data row
        QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        QCOMPARE(header->height(), 18);
        QCOMPARE(grid->rowHeight(0), 15);
        const QFontMetrics bold(grid->HeaderFont());
        QVERIFY(grid->HeaderFont().bold());
        for (int col = 0; col < 7; ++col) {
            const QString title = grid->model()->headerData(col, Qt::Horizontal).toString();
            QCOMPARE(header->sectionSize(col), bold.horizontalAdvance(title) + 4);
        }
        QCOMPARE(grid->model()->headerData(6, Qt::Horizontal).toString(),
                 QStringLiteral("Rom size"));
    }

    void cutTextsEndInAnEllipsis() {
        const QFont font = MainForm->EditGrid1->font();
        const QString size = QStringLiteral("524288000");
        const int fitted = QFontMetrics(font).horizontalAdvance(size) + 4;
        QCOMPARE(ShownCellText(size, QFontMetrics(font), fitted),
                 size); // a fitted column shows it whole
        for (const int width : {fitted - 3, fitted / 2}) {
            const QString shown = ShownCellText(size, QFontMetrics(font), width);
            QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
            QVERIFY(size.startsWith(shown.chopped(1)));
        }
    }

    void fitColumnsMeasuresDataInTheDataFont() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->InsertBlankRows(grid->RowCount() - 1, 1);
        const std::string longName = "a very long rom name that is wider than its title.smc";
        grid->SetCell(4, 1, longName);
        grid->FitColumns(true, 0);
        const QFontMetrics data(grid->font());
        QCOMPARE(grid->horizontalHeader()->sectionSize(4),
                 data.horizontalAdvance(QString::fromStdString(longName)) + 4);
        QCOMPARE(grid->ColWidth(4), grid->horizontalHeader()->sectionSize(4));
    }

    void clearListLeavesHeaderAndOneBlankRowWithWidthsKept() {
        TEditGrid* grid = MainForm->EditGrid1;
        for (int n = 0; n < 3; ++n) {
            grid->InsertBlankRows(grid->RowCount() - 1, 1);
            for (int col = 0; col < 7; ++col) {
                grid->AppendToRow(grid->RowCount() - 2, "cell");
            }
        }
        grid->SetRowCount(grid->RowCount() - 1); // as a finished scan does
        grid->horizontalHeader()->resizeSection(2, 150);
        QCOMPARE(grid->RowCount(), 4);

        MainForm->Clearlist1->trigger();
        QCOMPARE(grid->RowCount(), 2);
        QCOMPARE(grid->model()->rowCount(), 1);
        QCOMPARE(grid->Cell(0, 1), std::string());
        QCOMPARE(grid->ColWidth(2), 150);
        QCOMPARE(grid->Cell(0, 0), std::string("Set dos name"));
    }

    void clickWellInsideACellOpensItsEditorAndTypingIsStored() {
        TEditGrid* grid = MainForm->EditGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(0, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(cell.left() + 2, cell.center().y()));
        QVERIFY(!grid->findChild<QLineEdit*>() || !grid->findChild<QLineEdit*>()->isVisible());

        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QLineEdit* editor = grid->findChild<QLineEdit*>();
        QVERIFY(editor);
        QVERIFY(editor->isVisible());
        QTest::keyClicks(editor, QStringLiteral("Super Game"));
        QTest::keyClick(editor, Qt::Key_Tab);
        QCOMPARE(grid->Cell(1, 1), std::string("Super Game"));
        QCOMPARE(grid->currentIndex().column(), 2); // Tab moves to the next cell
    }

    void arrowKeysLeaveAnOpenEditorAtTheEndsOfItsText() {
        TEditGrid* grid = MainForm->EditGrid1;
        grid->SetRowCount(3);
        grid->SetCell(1, 1, "ab");
        const struct {
            int caret, key, row, col;          // the cell current after the key
        } cases[] = {{0, Qt::Key_Right, 0, 1}, // inside the text: stays
                     {2, Qt::Key_Right, 0, 2}, // at its end: the next cell
                     {0, Qt::Key_Left, 0, 0},
                     {1, Qt::Key_Down, 1, 1}}; // Up and Down always move
        for (const auto& c : cases) {
            const QRect cell = grid->visualRect(grid->model()->index(0, 1));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
            QLineEdit* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            QVERIFY(editor);
            editor->setCursorPosition(c.caret);
            QTest::keyClick(editor, Qt::Key(c.key));
            QCOMPARE(grid->currentIndex(), grid->model()->index(c.row, c.col));
        }
        QTest::keyClicks(grid, QStringLiteral("x")); // typing lands in the new cell
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(grid->Cell(1, 2), std::string("x"));
        QCOMPARE(grid->Cell(1, 1), std::string("ab"));
    }

    // A box with details shows them at once, 15 lines at least, in a box
    // that can grow; the About box names the libraries and their versions.
    void theDetailsBoxGivesRoomAndAboutNamesTheLibraries() {
        QStringList failures;
        for (int n = 0; n < 303; ++n) {
            failures << QStringLiteral("file %1: unreadable").arg(n);
        }
        int lines = 0;
        QTimer::singleShot(0, MainForm, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            auto* details = box->findChild<QPlainTextEdit*>(QStringLiteral("Details"));
            QVERIFY(details);
            lines = details->viewport()->height() / details->fontMetrics().lineSpacing();
            QVERIFY(box->minimumSize() != box->maximumSize());
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(ShowMessageBox(MainForm, {QMessageBox::Information, QStringLiteral("tabula"),
                                           QStringLiteral("303 files gave no row."),
                                           QMessageBox::Ok, failures.join(QLatin1Char('\n'))}),
                 QMessageBox::Ok);
        QVERIFY2(lines >= 15, qPrintable(QString::number(lines)));

        QString about;
        SetMessageBoxSink([&](const TMessageBoxRequest& request) {
            about = request.Text;
            return QMessageBox::Ok;
        });
        MainForm->About1->trigger();
        SetMessageBoxSink({});
        for (const char* part :
             {"tabula 0.", "Qt 6.", "libxml2 2.", "SQLite 3.", "libarchive 3.", "Licence"}) {
            QVERIFY2(about.contains(QLatin1String(part)), part);
        }
        QVERIFY2(!about.contains(QStringLiteral("not found")), qPrintable(about));
    }

    // The view never sorts the model itself: a header click sorts the
    // document as a step (tst_EditMenu); columns do not move.
    void tableSortsOnlyThroughTheDocumentAndRefusesMoving() {
        TEditGrid* grid = MainForm->EditGrid1;
        QVERIFY(!grid->isSortingEnabled());
        QVERIFY(!grid->horizontalHeader()->sectionsMovable());
        QVERIFY(grid->horizontalHeader()->sectionsClickable());
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QVERIFY(grid->showGrid());
        QCOMPARE(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
        QCOMPARE(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable,
                 Qt::ItemIsEditable);
    }

    void cancelScanSetsTheFlag() {
        QVERIFY(!MainForm->ScanCancelled());
        MainForm->CancelScan();
        QVERIFY(MainForm->ScanCancelled());
    }

    void escapedErrorShowsTheBoxAndTheProgramGoesOn() {
        QStringList shown;
        TApplication::SetErrorSink([&](const QString& text) { shown << text; });
        TApplication::RunCommand([] { throw std::runtime_error("Bad crc"); });
        TApplication::RunCommand([] { throw std::runtime_error("Done."); });
        QCOMPARE(shown, (QStringList{QStringLiteral("Bad crc."), QStringLiteral("Done.")}));
    }

    void errorBoxIsTitledTabulaWithTheErrorIcon() {
        TApplication::SetErrorSink({});
        QTimer::singleShot(0, [] {
            QMessageBox* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("tabula"));
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(), QStringLiteral("no such file."));
            box->accept();
        });
        TApplication::RunCommand([] { throw std::runtime_error("no such file"); }, MainForm);
    }

    void quitEndsTheMessageLoop() {
        QTimer::singleShot(0, MainForm->Quit1, &QAction::trigger);
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        connect(&guard, &QTimer::timeout, this, [&] {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        guard.start(5000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!timedOut);
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainForm.moc"
