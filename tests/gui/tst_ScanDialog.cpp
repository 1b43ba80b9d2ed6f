#include "gui/app/Forms.h"
#include "gui/app/MainForm.h"
#include "gui/common/MessageBox.h"
#include "gui/datafile/PropertyDialog.h"
#include "gui/scan/ScanDialog.h"
#include "gui/widgets/EditPath.h"
#include "gui/widgets/ProgressFrm.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tabula;

namespace {

// The room a control's caption takes in its window, with two pixels either
// side, so two captions that touch count as running into each other.
QRect CaptionRect(QWidget* control) {
    const QRect box(control->mapTo(control->window(), QPoint(0, 0)), control->size());
    return box.adjusted(-2, 0, 2, 0);
}

// The captions of a window that must be shown whole and apart.
QList<QWidget*> Captioned(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->isVisibleTo(window) &&
            (qobject_cast<QLabel*>(w) != nullptr || qobject_cast<QAbstractButton*>(w) != nullptr) &&
            w->objectName() != QStringLiteral("BrowseButton")) {
            controls << w;
        }
    }
    return controls;
}

} // namespace

class TestScanDialog : public QObject {
    Q_OBJECT
private:
    QList<TMessageBoxRequest> boxes_;

private slots:
    void init() {
        CreateForms();
        boxes_.clear();
        SetMessageBoxSink([this](const TMessageBoxRequest& request) {
            boxes_ << request;
            return QMessageBox::Ok;
        });
    }
    void cleanup() {
        SetMessageBoxSink({});
        DestroyForms();
    }

    void tabOrderAndTheRemoveBadSizeRule() {
        const char* const order[] = {
            "Scan",          "Cancel",        "ScanOtherFiles", "SkipTxt",           "ScanZip",
            "RadioButton1",  "NesScan",       "SnesScan",       "RemoveSnesBadSize", "TrustZipCrc",
            "ComputeHashes", "ComputeSha256", "DetectHeaders",  "ScanSubfolders",    "FolderSets",
            "DirName"};
        QWidget* control = ScanDialog->Scan;
        for (const char* name : order) {
            QCOMPARE(control->objectName(), QString::fromLatin1(name));
            control = control->nextInFocusChain();
        }
        ScanDialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(ScanDialog));
        QCOMPARE(ScanDialog->focusWidget(), ScanDialog->Scan);
        QVERIFY(!ScanDialog->RemoveSnesBadSize->isEnabled());

        const auto click = [](QRadioButton* radio) {
            QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
        };
        click(ScanDialog->SnesScan);
        QVERIFY(ScanDialog->RemoveSnesBadSize->isEnabled());
        ScanDialog->RemoveSnesBadSize->setChecked(true);
        for (QRadioButton* other :
             {ScanDialog->NesScan, ScanDialog->RadioButton1, ScanDialog->DetectHeaders}) {
            click(ScanDialog->SnesScan);
            click(other);
            QVERIFY(!ScanDialog->RemoveSnesBadSize->isEnabled());
            QVERIFY(ScanDialog->RemoveSnesBadSize->isChecked()); // greyed, still checked
        }
        QVERIFY(ScanDialog->Options().RemoveSnesBadSize);
        ScanDialog->ScanZip->setChecked(false);
        QVERIFY(!ScanDialog->Options().ScanZipArchives);
        QVERIFY(!ScanDialog->TrustZipCrc->isChecked());
        QCOMPARE(ScanDialog->TrustZipCrc->geometry().topLeft(), QPoint(240, 128));
        ScanDialog->TrustZipCrc->setChecked(true);
        QVERIFY(ScanDialog->Options().TrustZipCrc);
        // The digests' two boxes below it, the buttons and the window's
        // bottom 24 pixels lower for each.
        QVERIFY(!ScanDialog->Options().Hashes.Any());
        QCOMPARE(ScanDialog->ComputeHashes->geometry().topLeft(), QPoint(240, 152));
        QCOMPARE(ScanDialog->ComputeSha256->geometry(), QRect(240, 176, 177, 17));
        QCOMPARE(ScanDialog->Scan->geometry().topLeft(), QPoint(240, 224));
        QCOMPARE(ScanDialog->Cancel->geometry().topLeft(), QPoint(328, 224));
        QCOMPARE(ScanDialog->size(), QSize(439 - 8, 214 - 8 - 23 + 48 + 24));
        ScanDialog->ComputeHashes->setChecked(true);
        QVERIFY(ScanDialog->Options().Hashes.Md5 && ScanDialog->Options().Hashes.Sha1);
        QVERIFY(!ScanDialog->Options().Hashes.Sha256);
        ScanDialog->ComputeHashes->setChecked(false);
        ScanDialog->ComputeSha256->setChecked(true);
        QVERIFY(ScanDialog->Options().Hashes.Sha256 && !ScanDialog->Options().Hashes.Md5);
        // The fourth header choice, below SNES's box, in the same group.
        QCOMPARE(ScanDialog->DetectHeaders->geometry(), QRect(24, 152, 113, 17));
        click(ScanDialog->DetectHeaders);
        QVERIFY(!ScanDialog->SnesScan->isChecked());
        QCOMPARE(ScanDialog->Options().Mode, TRomMode::Detect);
        click(ScanDialog->NesScan);
        QVERIFY(!ScanDialog->DetectHeaders->isChecked());
        QCOMPARE(ScanDialog->Options().Mode, TRomMode::Nes);

        // The tree's boxes, after the mode group's last member in the tab
        // order (a radio button not checked is passed by), checked by Space;
        // the second follows the first as the size rule follows SNES.
        QCOMPARE(ScanDialog->ScanSubfolders->geometry(), QRect(24, 176, 177, 17));
        QCOMPARE(ScanDialog->FolderSets->geometry(), QRect(48, 200, 161, 17));
        QVERIFY(!ScanDialog->FolderSets->isEnabled());
        ScanDialog->ComputeSha256->setFocus();
        QTest::keyClick(ScanDialog->focusWidget(), Qt::Key_Tab);
        QCOMPARE(ScanDialog->focusWidget(), ScanDialog->ScanSubfolders);
        QTest::keyClick(ScanDialog->ScanSubfolders, Qt::Key_Space);
        QVERIFY(ScanDialog->FolderSets->isEnabled());
        QTest::keyClick(ScanDialog->ScanSubfolders, Qt::Key_Tab);
        QCOMPARE(ScanDialog->focusWidget(), ScanDialog->FolderSets);
        QTest::keyClick(ScanDialog->FolderSets, Qt::Key_Space);
        QVERIFY(ScanDialog->Options().Recursive && ScanDialog->Options().FolderSets);
        ScanDialog->ScanSubfolders->setChecked(false);
        QVERIFY(!ScanDialog->FolderSets->isEnabled());
        QVERIFY(!ScanDialog->Options().Recursive && !ScanDialog->Options().FolderSets);
    }

    void scanClickValidatesTheDirectory() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Roms")));
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        const struct {
            QString text;
            const char* message; // null: accepted
        } cases[] = {
            {QString(), "Choose a directory."},
            {home.filePath(QStringLiteral("missing")), "Directory not found."},
            {home.filePath(QStringLiteral("Roms/")) + QStringLiteral("../file"),
             "Directory not found."},
            {QStringLiteral("~/roms"), "Directory not found."}, // the case counts
            {QStringLiteral("~/Roms"), nullptr},
            {QStringLiteral("~"), nullptr},
            {home.filePath(QStringLiteral("Roms/")), nullptr},
        };
        QFile file(home.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const auto& c : cases) {
            boxes_.clear();
            ScanDialog->show();
            ScanDialog->DirName->setText(c.text);
            ScanDialog->ScanClick();
            if (c.message == nullptr) {
                QVERIFY2(boxes_.isEmpty(), qPrintable(c.text));
                QCOMPARE(ScanDialog->result(), int(QDialog::Accepted));
                QVERIFY(!ScanDialog->isVisible());
            } else {
                QCOMPARE(boxes_.size(), 1);
                QCOMPARE(boxes_[0].Text, QString::fromLatin1(c.message));
                QCOMPARE(boxes_[0].Title, QStringLiteral("Avertissement"));
                QCOMPARE(boxes_[0].Icon, QMessageBox::Warning);
                QVERIFY(ScanDialog->isVisible());
            }
        }
        qputenv("HOME", savedHome);
    }

    void escapeCancelsInAFixedSizeDialogAndChoicesLast() {
        ScanDialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(ScanDialog));
        ScanDialog->DirName->setText(QStringLiteral("/some/Where"));
        ScanDialog->SkipTxt->setChecked(false);
        QTest::keyClick(ScanDialog->Scan, Qt::Key_Escape);
        QVERIFY(!ScanDialog->isVisible());
        QCOMPARE(ScanDialog->result(), int(QDialog::Rejected));
        QCOMPARE(ScanDialog->minimumSize(), ScanDialog->maximumSize());
        QVERIFY(!ScanDialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        ScanDialog->show();
        QCOMPARE(ScanDialog->DirName->text(), QStringLiteral("/some/Where"));
        QVERIFY(!ScanDialog->SkipTxt->isChecked());
    }

    void noCaptionIsCutOrOverlapsAnother() {
        const QList<QWidget*> windows = {ScanDialog, PropertyDialog, MainForm->ProgressFrm->Form()};
        for (QWidget* window : windows) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QList<QWidget*> controls = Captioned(window);
            for (QWidget* control : controls) {
                // Push buttons ask for a least width of the style's, not their caption's.
                const bool pushButton = qobject_cast<QPushButton*>(control) != nullptr;
                QVERIFY2(pushButton || control->width() >= control->sizeHint().width() ||
                             control->objectName() == QStringLiteral("WaitInfo"),
                         qPrintable(control->objectName() + QStringLiteral(" is cut")));
                for (QWidget* other : controls) {
                    QVERIFY2(control == other ||
                                 !CaptionRect(control).intersects(CaptionRect(other)),
                             qPrintable(control->objectName() + QStringLiteral(" overlaps ") +
                                        other->objectName()));
                }
            }
            window->hide();
        }
    }
};

QTEST_MAIN(TestScanDialog)
#include "tst_ScanDialog.moc"
