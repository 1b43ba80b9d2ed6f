#include "widgets/EditPath.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace tabula;
Q_DECLARE_METATYPE(TDirDialog)

class TestEditPath : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QWidget> window_;
    TEditPath* box_ = nullptr;
    QStringList startDirs_;         // where each chooser started
    std::optional<QString> answer_; // what it gives back
    int clicks_ = 0;

private slots:
    void init() {
        window_ = std::make_unique<QWidget>();
        box_ = new TEditPath(window_.get());
        box_->setGeometry(24, 24, 297, 21);
        startDirs_.clear();
        answer_.reset();
        clicks_ = 0;
        box_->Chooser = [this](TEditPath&, TDirDialog, const QString& startDir) {
            startDirs_ << startDir;
            return answer_;
        };
        box_->OnBtnClick = [this](TEditPath* sender) {
            QCOMPARE(sender, box_);
            ++clicks_;
        };
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() { window_.reset(); }

    void buttonSitsInsideTheRightEndAndTextStopsBeforeIt() {
        TBrowseButton* button = box_->BrowseButton;
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
        // 271, 0 inside the two-pixel frame: 21 wide (the box's height), 16 high.
        QCOMPARE(button->geometry(), QRect(273, 2, 21, 16));
        QCOMPARE(box_->textMargins().right(), 21 + 2);
        box_->setFrame(false);
        box_->resize(200, 30);
        QCOMPARE(button->geometry(), QRect(200 - 30, 1, 30, 29));
        box_->resize(200, 3);
        QCOMPARE(box_->height(), 5);
    }

    void chooserStartsInRootDirOrTheCurrentDirectory() {
        QTemporaryDir root;
        box_->RootDir = root.path();
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
        box_->RootDir = QStringLiteral("c\\:"); // the default names nothing here
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
        QCOMPARE(startDirs_, QStringList({root.path(), QDir::currentPath()}));
        QCOMPARE(clicks_, 2);
    }

    void chosenPathKeepsItsCaseAndDirectoriesEndInASeparator_data() {
        QTest::addColumn<TDirDialog>("kind");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("directory") << TDirDialog::ddDirDialog << QStringLiteral("/home/Ann/ROMs")
                                   << QStringLiteral("/home/Ann/ROMs/");
        QTest::newRow("folder browser")
            << TDirDialog::ddDirBrowser << QStringLiteral("/Mnt/X/") << QStringLiteral("/Mnt/X/");
        QTest::newRow("root") << TDirDialog::ddDirDialog << QStringLiteral("/")
                              << QStringLiteral("/");
        QTest::newRow("file") << TDirDialog::ddFileBrowser << QStringLiteral("/Roms/Game.SMC")
                              << QStringLiteral("/Roms/Game.SMC");
    }
    void chosenPathKeepsItsCaseAndDirectoriesEndInASeparator() {
        QFETCH(TDirDialog, kind);
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        box_->DirDialogType = kind;
        answer_ = chosen;
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
        QCOMPARE(box_->text(), shown);
        QCOMPARE(clicks_, 1);
    }

    void cancelOrReadOnlyLeavesTheTextButStillReports() {
        box_->setText(QStringLiteral("kept"));
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton); // the chooser is cancelled
        QCOMPARE(box_->text(), QStringLiteral("kept"));
        box_->setReadOnly(true);
        answer_ = QStringLiteral("/elsewhere");
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
        QCOMPARE(box_->text(), QStringLiteral("kept"));
        QCOMPARE(startDirs_.size(), 1); // no chooser for a read-only box
        QCOMPARE(clicks_, 2);
    }

    void cutAndPasteFollowEditorEnabled() {
        for (const bool enabled : {false, true}) {
            box_->EditorEnabled = enabled;
            QGuiApplication::clipboard()->setText(QStringLiteral("PASTED"));
            box_->setText(QStringLiteral("abc"));
            box_->setFocus();
            box_->end(false);
            QTest::keyClick(box_, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(box_, Qt::Key_Insert, Qt::ShiftModifier);
            box_->Paste();
            QTest::keyClicks(box_, QStringLiteral("d")); // typing always works
            const QString pasted = QStringLiteral("abcPASTEDPASTEDPASTEDd");
            QCOMPARE(box_->text(), enabled ? pasted : QStringLiteral("abcd"));
            box_->selectAll();
            QTest::keyClick(box_, Qt::Key_X, Qt::ControlModifier);
            QCOMPARE(box_->text().isEmpty(), enabled);
            box_->setText(QStringLiteral("xyz"));
            box_->selectAll();
            box_->Cut();
            QCOMPARE(box_->text().isEmpty(), enabled);
        }
    }

    void contextMenuOffersCutAndPasteOnlyWhenAllowed() {
        box_->EditorEnabled = false;
        box_->setText(QStringLiteral("abc"));
        box_->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("x"));
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                box_->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(box_, &event);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = box_->findChild<QMenu*>()) != nullptr);
        int seen = 0;
        for (QAction* action : menu->actions()) {
            const QString name = action->objectName();
            if (name == QStringLiteral("edit-cut") || name == QStringLiteral("edit-paste")) {
                QVERIFY(!action->isEnabled());
                ++seen;
            }
        }
        QCOMPARE(seen, 2);
        menu->close();
    }

    void disablingShowsDisabledColorAndEnablingRestores() {
        QPalette pal = box_->palette();
        pal.setColor(QPalette::Base, QColor(10, 20, 30));
        box_->setPalette(pal);
        box_->DisabledColor = RgbColor(200, 100, 50);
        box_->setEnabled(false);
        QVERIFY(!box_->BrowseButton->isEnabled());
        QCOMPARE(box_->SavedColor, QColor(10, 20, 30));
        QCOMPARE(box_->palette().color(QPalette::Disabled, QPalette::Base), QColor(200, 100, 50));
        box_->setEnabled(true);
        QVERIFY(box_->BrowseButton->isEnabled());
        QCOMPARE(box_->palette().color(QPalette::Active, QPalette::Base), QColor(10, 20, 30));
    }

    void keyboardFocusSelectsAllTheText() {
        auto* before = new QLineEdit(window_.get());
        before->show();
        box_->setText(QStringLiteral("/roms/"));
        before->setFocus();
        QTest::keyClick(before, Qt::Key_Tab);
        QTRY_VERIFY(box_->hasFocus());
        QCOMPARE(box_->selectedText(), QStringLiteral("/roms/"));
        QTest::keyClick(box_, Qt::Key_Tab); // the button takes no focus
        QVERIFY(!box_->BrowseButton->hasFocus());
    }

    void windowsFiltersBecomeQtFilters() {
        const struct {
            const char* windows;
            const char* qt;
        } cases[] = {
            {"exe file (*.exe)|*.EXE", "exe file (*.EXE)"},
            {"All (*.*)|*.*", "All (*)"},
            {"Roms|*.smc;*.sfc|Zip|*.zip", "Roms (*.smc *.sfc);;Zip (*.zip)"},
            {"", ""},
        };
        for (const auto& c : cases) {
            QCOMPARE(TEditPath::QtFilter(QString::fromLatin1(c.windows)),
                     QString::fromLatin1(c.qt));
        }
    }
};

QTEST_MAIN(TestEditPath)
#include "tst_EditPath.moc"
