#include "gui/widgets/EditPath.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace tabula;

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

    void chooserPutsThePathInTheBoxAndAlwaysReports() {
        const struct {
            TDirDialog kind;
            const char* chosen; // null: cancelled
            const char* shown;
        } cases[] = {
            {TDirDialog::ddDirDialog, "/home/Ann/ROMs", "/home/Ann/ROMs/"}, // case kept
            {TDirDialog::ddDirBrowser, "/Mnt/X/", "/Mnt/X/"},
            {TDirDialog::ddDirDialog, "/", "/"},
            {TDirDialog::ddFileBrowser, "/Roms/Game.SMC", "/Roms/Game.SMC"},
            {TDirDialog::ddDirDialog, nullptr, "/Roms/Game.SMC"},
        };
        QTemporaryDir root;
        box_->RootDir = root.path();
        for (const auto& c : cases) {
            box_->DirDialogType = c.kind;
            answer_ = c.chosen ? std::optional(QString::fromLatin1(c.chosen)) : std::nullopt;
            QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
            QCOMPARE(box_->text(), QString::fromLatin1(c.shown));
            box_->RootDir = QStringLiteral("c\\:"); // names nothing: the current directory
        }
        QCOMPARE(startDirs_.first(), root.path());
        QCOMPARE(startDirs_.last(), QDir::currentPath());
        box_->setReadOnly(true); // opens no chooser, still reports
        QTest::mouseClick(box_->BrowseButton, Qt::LeftButton);
        QCOMPARE(startDirs_.size(), 5);
        QCOMPARE(clicks_, 6);
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

    void disablingShowsDisabledColorAndKeyboardFocusSelectsAll() {
        QPalette pal = box_->palette();
        pal.setColor(QPalette::Base, QColor(10, 20, 30));
        box_->setPalette(pal);
        box_->DisabledColor = RgbColor(200, 100, 50);
        box_->setEnabled(false);
        QVERIFY(!box_->BrowseButton->isEnabled());
        QCOMPARE(box_->palette().color(QPalette::Disabled, QPalette::Base), QColor(200, 100, 50));
        box_->setEnabled(true);
        QCOMPARE(box_->palette().color(QPalette::Active, QPalette::Base), QColor(10, 20, 30));

        auto* before = new QLineEdit(window_.get());
        before->show();
        box_->setText(QStringLiteral("/roms/"));
        before->setFocus();
        QTest::keyClick(before, Qt::Key_Tab);
        QTRY_VERIFY(box_->hasFocus());
        QCOMPARE(box_->selectedText(), QStringLiteral("/roms/"));
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
