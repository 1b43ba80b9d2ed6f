#include "gui/app/Application.h"
#include "gui/datafile/PropertyDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

#include <memory>

using namespace tabula;

namespace {
QString S(const char* text) {
    return QString::fromUtf8(text);
}
} // namespace

class TestPropertyDialog : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TPropertyDialog> dialog;

    // Shows the dialog as an opening does, without a modal loop.
    void Open() {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    // Key clicks carry ASCII only; other characters arrive as a paste would.
    void Type(QLineEdit* box, const QString& text) {
        box->clear();
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(box, c.toLatin1());
            } else {
                box->insert(c);
            }
        }
    }
    void StoreSix(const QString& tag) {
        Open();
        Type(dialog->PAuthor, tag + QStringLiteral("author"));
        Type(dialog->PVersion, tag + QStringLiteral("version"));
        Type(dialog->Pdate, tag + QStringLiteral("date"));
        Type(dialog->Psystem, tag + QStringLiteral("system"));
        Type(dialog->PEmulVersion, tag + QStringLiteral("emul"));
        dialog->Pcomment->setPlainText(tag + QStringLiteral("comment"));
        dialog->Button1->click();
    }

private slots:
    void init() { dialog = std::make_unique<TPropertyDialog>(); }
    void cleanup() { dialog.reset(); }

    void controlsSitWhereTheFormPutsThem_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("PAuthor") << S("PAuthor") << QRect(32, 24, 537, 21) << S("");
        QTest::newRow("PVersion") << S("PVersion") << QRect(32, 72, 97, 21) << S("");
        QTest::newRow("Pdate") << S("Pdate") << QRect(152, 72, 129, 21) << S("");
        QTest::newRow("Psystem") << S("Psystem") << QRect(304, 72, 121, 21) << S("");
        QTest::newRow("PEmulVersion")
            << S("PEmulVersion") << QRect(448, 72, 121, 21) << S("PEmulVersion");
        QTest::newRow("Pcomment") << S("Pcomment") << QRect(32, 120, 537, 97) << S("");
        QTest::newRow("Button1") << S("Button1") << QRect(400, 232, 75, 25) << S("&OK");
        QTest::newRow("Button2") << S("Button2") << QRect(496, 232, 75, 25) << S("&Cancel");
        QTest::newRow("Button3") << S("Button3") << QRect(32, 232, 75, 25) << S("&Clear");
        QTest::newRow("Label1") << S("Label1") << QRect(32, 8, 0, 0) << S("Author");
        QTest::newRow("Label2") << S("Label2") << QRect(32, 56, 0, 0) << S("Datafile Version");
        QTest::newRow("Label3") << S("Label3") << QRect(152, 56, 0, 0) << S("Date");
        QTest::newRow("Label5") << S("Label5") << QRect(304, 56, 0, 0)
                                << S("System (snes, nes, n64...)");
        QTest::newRow("Label6") << S("Label6") << QRect(448, 56, 0, 0) << S("Emulator version");
        QTest::newRow("Label4") << S("Label4") << QRect(32, 104, 0, 0) << S("Comment");
    }
    void controlsSitWhereTheFormPutsThem() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QWidget* control = dialog->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->pos(), geometry.topLeft());
        if (geometry.width() > 0) {
            QCOMPARE(control->size(), geometry.size());
        }
        QString shown;
        if (auto* box = qobject_cast<QLineEdit*>(control)) {
            shown = box->text();
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            shown = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            shown = label->text();
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        }
        QCOMPARE(shown, text);
    }

    void windowAndKeysFollowTheForm() {
        QCOMPARE(dialog->objectName(), QStringLiteral("PropertyDialog"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Properties"));
        QCOMPARE(dialog->size(), QSize(588, 268));
        QCOMPARE(dialog->font().pointSize(), 8);
        QVERIFY(dialog->Button1->isDefault());
        QWidget* const expected[] = {dialog->PAuthor, dialog->PVersion, dialog->Pdate,
                                     dialog->Psystem, dialog->Pcomment, dialog->Button1,
                                     dialog->Button2, dialog->Button3,  dialog->PEmulVersion};
        QWidget* at = expected[0];
        for (QWidget* next : expected) {
            QCOMPARE(at, next);
            do {
                at = at->nextInFocusChain();
            } while (!(at->focusPolicy() & Qt::TabFocus));
        }
        QCOMPARE(at, expected[0]);
    }

    void firstOpeningShowsTodayAndOkStoresTheEmulatorPlaceholder() {
        Open();
        QCOMPARE(dialog->Pdate->text(), TPropertyDialog::Today());
        QCOMPARE(dialog->Date, TPropertyDialog::Today());
        QCOMPARE(dialog->PEmulVersion->text(), QStringLiteral("PEmulVersion"));
        QVERIFY(dialog->PAuthor->text().isEmpty());
        QVERIFY(dialog->Pcomment->toPlainText().isEmpty());
        QVERIFY(dialog->EmulVersion.isEmpty());
        dialog->Button1->click();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->EmulVersion, QStringLiteral("PEmulVersion"));
        QCOMPARE(dialog->Credits().EmulVersion, std::string("PEmulVersion"));
        QVERIFY(dialog->Author.isEmpty());
    }

    void okStoresTheSixTextsAsTypedWithTheCommentInCrLfLines() {
        Open();
        Type(dialog->PAuthor, QStringLiteral("  Renée  "));
        Type(dialog->Psystem, QStringLiteral("snes"));
        QTest::keyClicks(dialog->Pcomment, QStringLiteral("one"));
        QTest::keyClick(dialog->Pcomment, Qt::Key_Return);
        QTest::keyClick(dialog->Pcomment, Qt::Key_Return);
        QTest::keyClicks(dialog->Pcomment, QStringLiteral("three"));
        dialog->Pcomment->insertPlainText(QStringLiteral("\u00A0x"));
        QVERIFY(dialog->isVisible());                      // Enter in the comment box is a new line
        QTest::keyClick(dialog->PVersion, Qt::Key_Return); // elsewhere it presses OK
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->Author, QStringLiteral("  Renée  "));
        QCOMPARE(dialog->System, QStringLiteral("snes"));
        QCOMPARE(dialog->Comment, QStringLiteral("one\r\n\r\nthree\u00A0x"));
        const TDatafileCredits credits = dialog->Credits();
        QCOMPARE(credits.Author, std::string("  Renée  "));
        QCOMPARE(credits.Comment, std::string("one\r\n\r\nthree\u00A0x"));
        QCOMPARE(credits.System, std::string("snes"));

        Open(); // the stored comment comes back as three lines
        QCOMPARE(dialog->Pcomment->blockCount(), 3);
        QCOMPARE(dialog->Pcomment->document()->findBlockByNumber(2).text(),
                 QStringLiteral("three\u00A0x"));
    }

    void cancelStoresNothingAndTheNextOpeningReloadsAllButTheEmulatorVersion() {
        StoreSix(QStringLiteral("old "));
        Open();
        Type(dialog->PAuthor, QStringLiteral("new author"));
        Type(dialog->PEmulVersion, QStringLiteral("new emul"));
        dialog->Pcomment->setPlainText(QStringLiteral("new comment"));
        dialog->Button2->click();
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(dialog->Author, QStringLiteral("old author"));
        QCOMPARE(dialog->EmulVersion, QStringLiteral("old emul"));
        Open();
        QCOMPARE(dialog->PAuthor->text(), QStringLiteral("old author"));
        QCOMPARE(dialog->Pcomment->toPlainText(), QStringLiteral("old comment"));
        QCOMPARE(dialog->PEmulVersion->text(), QStringLiteral("new emul"));
        QCOMPARE(dialog->EmulVersion, QStringLiteral("old emul"));
    }

    void anEmptyDateBoxBringsBackTodayAtTheNextOpening() {
        StoreSix(QStringLiteral("old "));
        QCOMPARE(dialog->Date, QStringLiteral("old date"));
        Open();
        dialog->Pdate->clear();
        dialog->Button2->click();
        QCOMPARE(dialog->Date, QStringLiteral("old date")); // Cancel stores nothing...
        Open();
        QCOMPARE(dialog->Date, TPropertyDialog::Today()); // ...but the empty box is seen
        QCOMPARE(dialog->Pdate->text(), TPropertyDialog::Today());

        dialog->Pdate->clear();
        dialog->Button1->click();
        QVERIFY(dialog->Date.isEmpty());
        Open();
        QCOMPARE(dialog->Date, TPropertyDialog::Today());
    }

    void clearEmptiesFiveBoxesAndStoresNothing() {
        StoreSix(QStringLiteral("old "));
        Open();
        dialog->Button3->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->Pdate->text(), TPropertyDialog::Today());
        QVERIFY(dialog->PAuthor->text().isEmpty());
        QVERIFY(dialog->PVersion->text().isEmpty());
        QVERIFY(dialog->Psystem->text().isEmpty());
        QVERIFY(dialog->PEmulVersion->text().isEmpty());
        QVERIFY(dialog->Pcomment->toPlainText().isEmpty());
        QCOMPARE(dialog->Author, QStringLiteral("old author"));
        dialog->Button2->click();
        Open();
        QCOMPARE(dialog->PAuthor->text(), QStringLiteral("old author"));
        QCOMPARE(dialog->PVersion->text(), QStringLiteral("old version"));
        QCOMPARE(dialog->Psystem->text(), QStringLiteral("old system"));
        QCOMPARE(dialog->Pdate->text(), QStringLiteral("old date"));
        QVERIFY(dialog->PEmulVersion->text().isEmpty());
        QCOMPARE(dialog->EmulVersion, QStringLiteral("old emul"));
    }

    // Escape (from a box or the comment) and the close box cancel; the
    // dialog keeps one size, which no window manager offers to change.
    void escapeAndTheCloseBoxCancelInAFixedSizeDialog() {
        for (QWidget* from : QList<QWidget*>{dialog->PAuthor, dialog->Pcomment, nullptr}) {
            Open();
            Type(dialog->PAuthor, QStringLiteral("typed"));
            if (from != nullptr) {
                QTest::keyClick(from, Qt::Key_Escape);
            } else {
                dialog->close();
            }
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
            QVERIFY(dialog->Author.isEmpty());
        }
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    }
};

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    TestPropertyDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PropertyDialog.moc"
