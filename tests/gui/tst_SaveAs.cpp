#include "gui/app/Application.h"
#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
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

QString DataFile(const char* relative) {
    return qEnvironmentVariable("TABULA_TEST_DATA_DIR") + QLatin1Char('/') +
           QString::fromLatin1(relative);
}

QByteArray Golden(const char* name) {
    return ReadFile(DataFile("datafile/") + QString::fromLatin1(name));
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
        // No box waits for a click: OK, "Don't save" before unsaved work goes,
        // and Yes to replacing a file.
        SetMessageBoxSink([](const TMessageBoxRequest& request) {
            return request.Buttons.testFlag(QMessageBox::Discard) ? QMessageBox::Discard
                   : request.Buttons.testFlag(QMessageBox::Yes)   ? QMessageBox::Yes
                                                                  : QMessageBox::Ok;
        });
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
        SetMessageBoxSink({});
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
        grid->Document().InsertFilledRows(1, rows);
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

    // Opened, the file's rows and credits replace the table's and the stored
    // ones with a new history; Save as proposes the file in its format and
    // writes it back byte for byte, then with exactly the edited cell changed.
    void anOpenedDatafileSavesBackWithOnlyTheEditChanged() {
        const struct {
            const char* File;
            TDatafileFormat Format;
            bool Digests;
            const char* Before; // the first rom name as written
            const char* After;  // edited to "edited.bin"
        } cases[] = {
            {"logiqx/scan-hashes.xml", TDatafileFormat::Logiqx, true, "name=\"Alpha.nes\"",
             "name=\"edited.bin\""},
            {"clrmamepro/scan-hashes.dat", TDatafileFormat::ClrMamePro, true, "name \"Alpha.nes\"",
             "name \"edited.bin\""},
            {"datafile/comment-and-rows.dat", TDatafileFormat::Sectioned, false,
             "\xAC"
             "smb.nes\xAC",
             "\xAC"
             "edited.bin\xAC"},
        };
        TEditGrid* grid = MainForm->EditGrid1;
        // The typed cell is unsaved work: the open asks, and is told "Don't save".
        int questions = 0;
        SetMessageBoxSink([&](const TMessageBoxRequest& request) {
            if (request.Buttons.testFlag(QMessageBox::Yes)) {
                return QMessageBox::Yes; // "saved" replaced again
            }
            questions += request.Icon == QMessageBox::Question ? 1 : 0;
            return QMessageBox::Discard;
        });
        for (const auto& c : cases) {
            const QString file = DataFile(c.File);
            TypeCell(0, 1, "typed before");
            MainForm->AskOpenName = [&](QWidget*, const QString&) { return file; };
            MainForm->Opendatafile->trigger();
            QCOMPARE(errors, QStringList());
            QVERIFY(!MainForm->Undo1->isEnabled());
            QCOMPARE(grid->RomModel()->ShowsDigests(), c.Digests);
            QVERIFY(!MainForm->isWindowModified()); // as opened
            QCOMPARE(PropertyDialog->PEmulVersion->text(), PropertyDialog->EmulVersion);
            QCOMPARE(PropertyDialog->Date, c.Format == TDatafileFormat::Sectioned
                                               ? TPropertyDialog::Today()
                                               : QStringLiteral("2026-12-08"));

            MainForm->AskSaveName = [&](QWidget*, const QString& name, TDatafileFormat& format) {
                proposed << name;
                [&] { QCOMPARE(format, c.Format); }();
                return Path("saved");
            };
            proposed.clear();
            WhenShown([] { PropertyDialog->Button1->click(); });
            MainForm->Saveas->trigger();
            QCOMPARE(errors, QStringList());
            QCOMPARE(proposed, QStringList{file});
            QByteArray expected = ReadFile(file);
            QCOMPARE(ReadFile(Path("saved")), expected);

            TypeCell(4, 1, "edited.bin");
            WhenShown([] { PropertyDialog->Button1->click(); });
            MainForm->Saveas->trigger();
            const qsizetype at = expected.indexOf(c.Before);
            QVERIFY(at > 0);
            expected.replace(at, qsizetype(strlen(c.Before)), c.After);
            QCOMPARE(ReadFile(Path("saved")), expected);
            QVERIFY(!MainForm->isWindowModified()); // as saved
        }
        QCOMPARE(questions, int(std::size(cases)));
        SetMessageBoxSink({});
    }

    // What the table does not show stays in place; a Logiqx file without a
    // date gets today's, as the credits' box shows it.
    void anOpenedLogiqxFileKeepsItsOtherFields() {
        const QString file = DataFile("logiqx/kept-fields.xml");
        MainForm->AskOpenName = [&](QWidget*, const QString&) { return file; };
        MainForm->Opendatafile->trigger();
        QCOMPARE(errors, QStringList());
        QCOMPARE(PropertyDialog->Author, QStringLiteral("someone"));
        QCOMPARE(PropertyDialog->Comment, QStringLiteral("line one\r\nline two"));
        MainForm->AskSaveName = [&](QWidget*, const QString&, TDatafileFormat& format) {
            format = TDatafileFormat::Logiqx;
            return Path("saved.xml");
        };
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QByteArray expected = ReadFile(file);
        expected.replace("\t\t<author>",
                         "\t\t<date>" + PropertyDialog->Date.toUtf8() + "</date>\n\t\t<author>");
        QCOMPARE(ReadFile(Path("saved.xml")), expected);
    }

    // A conversion that drops what its format has no room for says so once,
    // after the file is saved; a save in the file's own format says nothing.
    void aConversionSaysWhatItDropped() {
        const QString file = DataFile("curated/arcade.xml");
        MainForm->AskOpenName = [&](QWidget*, const QString&) { return file; };
        MainForm->Opendatafile->trigger();
        QList<TMessageBoxRequest> boxes;
        SetMessageBoxSink([&](const TMessageBoxRequest& request) {
            boxes << request;
            return QMessageBox::Ok;
        });
        for (const auto format : {TDatafileFormat::ClrMamePro, TDatafileFormat::Logiqx}) {
            MainForm->AskSaveName = [&](QWidget*, const QString&, TDatafileFormat& chosen) {
                chosen = format;
                return Path(format == TDatafileFormat::Logiqx ? "saved.xml" : "saved.dat");
            };
            WhenShown([] { PropertyDialog->Button1->click(); });
            MainForm->Saveas->trigger();
        }
        SetMessageBoxSink({});
        QCOMPARE(errors, QStringList());
        QVERIFY(QFile::exists(Path("saved.dat")));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].Icon, QMessageBox::Information);
        QVERIFY2(boxes[0].Text.startsWith(QStringLiteral(
                     "The ClrMamePro datafile has no room for these, which were not written: ")),
                 qPrintable(boxes[0].Text));
        QVERIFY(boxes[0].Text.contains(QStringLiteral("<device_ref> in <game> (1)")));
    }

    // A file that cannot be read changes nothing: rows, history, credits.
    void aBrokenDatafileLeavesTheTableAndCredits() {
        TypeCell(0, 1, "kept");
        WhenShown([this] {
            FillCredits("author", "1", "nes", "2");
            PropertyDialog->Button1->click();
        });
        MainForm->Properties->trigger();
        QFile broken(Path("broken.xml"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"g\">\n<rom name=\"r\" "
                     "size=\"x\"/>\n</game>\n</datafile>\n");
        broken.close();
        MainForm->AskOpenName = [&](QWidget*, const QString&) { return broken.fileName(); };
        MainForm->Opendatafile->trigger();
        QCOMPARE(errors, QStringList{QStringLiteral("Cannot open \"%1\": line 4: the size \"x\" of "
                                                    "the rom \"r\" is not a number.")
                                         .arg(broken.fileName())});
        QCOMPARE(MainForm->EditGrid1->Cell(0, 1), std::string("kept"));
        QVERIFY(MainForm->Undo1->isEnabled());
        QCOMPARE(PropertyDialog->Author, QStringLiteral("author"));
    }

    // The three file types, the sectioned one first and chosen; the type
    // chosen gives the format and the suffix added to a bare name.
    // Save as asks before it replaces a file (No, the default, asks for
    // another name and keeps the file); a typed ".xml" writes Logiqx; Save
    // then writes the same file again without a dialog, as Save as would.
    void saveAsAsksBeforeReplacingAndSaveWritesTheSameFileAgain() {
        TypeCell(6, 1, "1");
        QFile old(Path("kept.xml"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier datafile");
        old.close();
        QStringList answers{Path("kept.xml"), Path("new.xml")};
        MainForm->AskSaveName = [&](QWidget*, const QString& name, TDatafileFormat&) {
            proposed << name;
            return answers.takeFirst(); // the chooser's type stays the sectioned one
        };
        QList<TMessageBoxRequest> boxes;
        SetMessageBoxSink([&](const TMessageBoxRequest& request) {
            boxes << request;
            return request.DefaultButton;
        });
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QCOMPARE(errors, QStringList());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].Text, Path("kept.xml") + QStringLiteral(" already exists. Replace it?"));
        QCOMPARE(boxes[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(ReadFile(Path("kept.xml")), QByteArray("earlier datafile"));
        QCOMPARE(proposed, (QStringList{QString(), Path("kept.xml")}));
        const QByteArray saved = ReadFile(Path("new.xml"));
        QVERIFY(saved.startsWith("<?xml"));
        QVERIFY(MainForm->windowTitle().endsWith(QStringLiteral(" - new.xml[*]")));

        TypeCell(6, 1, "2");
        QVERIFY(MainForm->isWindowModified());
        MainForm->Save1->trigger(); // no dialog: none is answered
        QCOMPARE(errors, QStringList());
        QCOMPARE(proposed.size(), 2);
        QVERIFY(!MainForm->isWindowModified());
        const QByteArray again = ReadFile(Path("new.xml"));
        QVERIFY(again != saved);
        answers = QStringList{Path("as.xml")};
        WhenShown([] { PropertyDialog->Button1->click(); });
        MainForm->Saveas->trigger();
        QCOMPARE(ReadFile(Path("as.xml")), again);
    }

    void theSaveChooserOffersThreeTypesAndLeavesTheQuestionToTheCommand() {
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
        // The open chooser: every datafile first, then the same types and all files.
        QFile(Path("old.xml")).open(QIODevice::WriteOnly);
        QTimer::singleShot(0, MainForm, [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(chooser);
            QCOMPARE(chooser->acceptMode(), QFileDialog::AcceptOpen);
            QCOMPARE(chooser->nameFilters().size(), 5);
            QCOMPARE(chooser->nameFilters().last(), QStringLiteral("All files (*)"));
            QCOMPARE(chooser->selectedNameFilter(), QStringLiteral("Datafiles (*.dat *.xml)"));
            QCOMPARE(chooser->selectedFiles(), QStringList{Path("old.xml")});
            static_cast<QDialog*>(chooser)->accept();
        });
        QCOMPARE(ShowOpenDialog(MainForm, Path("old.xml")), Path("old.xml"));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestSaveAs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SaveAs.moc"
