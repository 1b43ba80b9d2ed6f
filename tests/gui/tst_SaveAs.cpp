#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/datafile/SaveDialog.h"
#include "gui/romlist/EditGrid.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace tabula;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Golden(const char* name) {
    return ReadFile(qEnvironmentVariable("TABULA_TEST_DATA_DIR") + QStringLiteral("/datafile/") +
                    QString::fromLatin1(name));
}

// Runs action once the modal loop of the next dialog is running.
void WhenShown(std::function<void()> action) {
    QTimer::singleShot(0, MainForm, std::move(action));
}

} // namespace

class TestSaveAs : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QStringList errors;
    QStringList proposed; // the names the save chooser was offered
    QString answer;       // the name it gives back
    TDatafileFormat answerFormat = TDatafileFormat::Sectioned; // and the format

    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    void FillCredits(const char* author, const char* version, const char* system,
                     const char* emul) {
        PropertyDialog->PAuthor->setText(QString::fromLatin1(author));
        PropertyDialog->PVersion->setText(QString::fromLatin1(version));
        PropertyDialog->Psystem->setText(QString::fromLatin1(system));
        PropertyDialog->PEmulVersion->setText(QString::fromLatin1(emul));
        PropertyDialog->Pcomment->clear();
    }

    // Types text into a data cell through its editor, as the user does.
    void TypeCell(int col, int row, const char* text) {
        TEditGrid* grid = MainForm->EditGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(row - 1, col));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QLineEdit* editor = nullptr;
        for (QLineEdit* open : grid->findChildren<QLineEdit*>()) {
            editor = open->isVisible() ? open : editor; // a closed editor lingers until deleted
        }
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QString::fromLatin1(text));
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits Enter through a queued call.
        QTRY_COMPARE(grid->Cell(col, row), std::string(text));
    }

private slots:
    void init() {
        QVERIFY(dir.isValid());
        errors.clear();
        proposed.clear();
        CreateForms();
        MainForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
        TApplication::SetErrorSink([this](const QString& text) { errors << text; });
        MainForm->AskSaveName = [this](QWidget*, const QString& name, TDatafileFormat& format) {
            proposed << name;
            format = answerFormat;
            return answer;
        };
        answerFormat = TDatafileFormat::Sectioned;
        answer = Path("games.dat");
    }
    void cleanup() {
        DestroyForms();
        TApplication::SetErrorSink({});
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void aTypedRowSavesAsTheExpectedBytes() {
        const char* cells[] = {"a", "A", "a", "A", "x.bin", "0123ABCD", "16"};
        for (int col = 0; col < 7; ++col) {
            TypeCell(col, 1, cells[col]);
        }
        WhenShown([this] {
            QVERIFY(PropertyDialog->isVisible());
            FillCredits("A", "1", "snes", "2");
            QTest::keyClick(PropertyDialog->PAuthor, Qt::Key_Return); // Enter presses OK
        });
        MainForm->Saveas->trigger();
        QCOMPARE(errors, QStringList());
        QCOMPARE(ReadFile(answer), Golden("credits-and-one-row.dat"));
        QCOMPARE(MainForm->EditGrid1->RowCount(), 2); // the table is not changed
    }

    void aFreshTableSavesTheHeaderWithThePlaceholderEmulatorVersion() {
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QCOMPARE(errors, QStringList());
        QByteArray expected = Golden("header-only.dat");
        expected.replace("version=\r\nexe", "version=PEmulVersion\r\nexe");
        QCOMPARE(ReadFile(answer), expected);
    }

    void aNameWithAnEmptySizeFailsAndCreatesNoFile() {
        TypeCell(0, 1, "smb");
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QCOMPARE(errors, QStringList{QStringLiteral("'' n'est pas une valeur entière correcte.")});
        QVERIFY(!QFile::exists(answer));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList());
    }

    void aCreditThatWouldWriteLinesOfItsOwnIsRefusedAndTheOldFileKept_data() {
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("message");
        QTest::newRow("comment line read as a section")
            << QStringLiteral("me") << QStringLiteral("notes\n[GAMES]")
            << QStringLiteral("Line 2 of the credit \"Comment\" starts with \"[\", which would "
                              "read as a section of the datafile.");
        QTest::newRow("escape in the author")
            << QStringLiteral("me\x1b[2J") << QString()
            << QStringLiteral(
                   "The credit \"Author\" holds the character U+001B, a control character.");
    }
    void aCreditThatWouldWriteLinesOfItsOwnIsRefusedAndTheOldFileKept() {
        QFETCH(QString, author);
        QFETCH(QString, comment);
        QFETCH(QString, message);
        QFile old(answer);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier datafile");
        old.close();
        WhenShown([&] {
            FillCredits("", "1", "snes", "2");
            PropertyDialog->PAuthor->setText(author);
            PropertyDialog->Pcomment->setPlainText(comment);
            PropertyDialog->Button1->click();
        });
        MainForm->Saveas->trigger();
        QCOMPARE(errors, QStringList{message});
        QCOMPARE(ReadFile(answer), QByteArray("earlier datafile"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{QStringLiteral("games.dat")});
    }

    void aFailedSaveMakesTheCellAtFaultCurrentAndVisible() {
        std::vector<TRomTable::TRow> rows(1000, {"a", "A", "a", "A", "a.bin", "00000000", "16"});
        rows[499][6] = "16 bytes";
        TEditGrid* grid = MainForm->EditGrid1;
        grid->RomModel()->InsertFilledRows(1, rows);
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QCOMPARE(errors.size(), 1);
        QVERIFY(!QFile::exists(answer));
        const QModelIndex cell = grid->model()->index(499, 6);
        QCOMPARE(grid->currentIndex(), cell);
        QVERIFY(grid->selectionModel()->isSelected(cell));
        QVERIFY(grid->viewport()->rect().contains(grid->visualRect(cell)));
    }

    void cancellingTheCreditsWritesNothingAndStoresNothing() {
        WhenShown([this] {
            FillCredits("someone", "9", "nes", "3");
            PropertyDialog->Button2->click();
        });
        MainForm->Saveas->trigger();
        QVERIFY(PropertyDialog->Author.isEmpty());
        QVERIFY(PropertyDialog->EmulVersion.isEmpty());
        QCOMPARE(proposed, QStringList()); // the chooser was never shown
        QVERIFY(!QFile::exists(answer));
        QCOMPARE(errors, QStringList());
    }

    void cancellingTheChooserKeepsTheCredits() {
        answer.clear();
        WhenShown([this] {
            FillCredits("someone", "9", "nes", "3");
            PropertyDialog->Button1->click();
        });
        MainForm->Saveas->trigger();
        QCOMPARE(PropertyDialog->Author, QStringLiteral("someone"));
        QCOMPARE(proposed, QStringList{QString()});
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList());
    }

    void theNextSaveProposesThePreviousNameAndReplacesItsFile() {
        TypeCell(6, 1, "1");
        for (int n = 0; n < 2; ++n) {
            WhenShown([] { PropertyDialog->Button1->click(); });
            MainForm->Saveas->trigger();
        }
        QCOMPARE(proposed, (QStringList{QString(), answer}));
        QVERIFY(ReadFile(answer).endsWith("\xACN\xACO\xAC"
                                          "1\xAC\r\n"));
        QCOMPARE(errors, QStringList());
    }

    void propertiesStoresThroughOkOnly() {
        WhenShown([this] {
            FillCredits("kept", "1", "snes", "2");
            PropertyDialog->Button1->click();
        });
        MainForm->Properties->trigger();
        WhenShown([this] {
            FillCredits("dropped", "1", "snes", "2");
            PropertyDialog->Button2->click();
        });
        MainForm->Properties->trigger();
        QCOMPARE(PropertyDialog->Author, QStringLiteral("kept"));
        QVERIFY(!QFile::exists(answer));
    }

    // The three file types, the sectioned one first and chosen; the type
    // chosen gives the format and the suffix added to a bare name.
    void theSaveChooserOffersThreeTypesAndDoesNotAskBeforeReplacing() {
        const struct {
            int Type;
            TDatafileFormat Format;
            const char* Name;
        } cases[] = {{0, TDatafileFormat::Sectioned, "new.dat"},
                     {1, TDatafileFormat::Logiqx, "new.xml"},
                     {2, TDatafileFormat::ClrMamePro, "new.dat"}};
        for (const auto& c : cases) {
            QTimer::singleShot(0, MainForm, [&] {
                auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(chooser);
                QCOMPARE(chooser->nameFilters(),
                         (QStringList{QStringLiteral("Datafile (*.dat)"),
                                      QStringLiteral("Logiqx XML datafile (*.xml)"),
                                      QStringLiteral("ClrMamePro datafile (*.dat)")}));
                QCOMPARE(chooser->selectedNameFilter(), chooser->nameFilters().constFirst());
                QCOMPARE(chooser->acceptMode(), QFileDialog::AcceptSave);
                QVERIFY(chooser->testOption(QFileDialog::DontConfirmOverwrite));
                QCOMPARE(chooser->selectedFiles(), QStringList{Path("old.dat")});
                const QString type = chooser->nameFilters().at(c.Type);
                chooser->selectNameFilter(type);
                emit chooser->filterSelected(type); // as the type box does
                chooser->selectFile(Path("new"));
                static_cast<QDialog*>(chooser)->accept(); // QFileDialog hides its accept()
            });
            TDatafileFormat format = TDatafileFormat::Sectioned;
            QCOMPARE(ShowSaveDialog(MainForm, Path("old.dat"), format), Path(c.Name));
            QCOMPARE(format, c.Format);
        }
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestSaveAs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SaveAs.moc"
