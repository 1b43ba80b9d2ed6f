#include "app/Forms.h"
#include "app/MainForm.h"
#include "widgets/GradientBar.h"
#include "widgets/ProgressFrm.h"
#include "widgets/TransparentImage.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace tabula;

class TestProgressFrm : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QWidget> owner_;
    std::unique_ptr<TProgressFrm> progress_;

    TGradientBar* Bar() const { return progress_->Form()->WaitProgressBar; }
    QPushButton* CancelButton() const { return progress_->Form()->Cancel; }

private slots:
    void init() {
        owner_ = std::make_unique<QWidget>();
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
        progress_ = std::make_unique<TProgressFrm>();
    }
    void cleanup() {
        progress_.reset();
        owner_.reset();
    }

    void windowHasItsLayout() {
        TProgressForm* form = progress_->Form();
        QVERIFY(!form->isVisible());
        QVERIFY(form->parentWidget() == nullptr); // usable while the owner is disabled
        QCOMPARE(form->size(), QSize(296, 69));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QCOMPARE(form->windowTitle(), QStringLiteral("Please wait..."));
        QVERIFY(!(form->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowMinMaxButtonsHint)));
        QCOMPARE(form->cursor().shape(), Qt::WaitCursor);
        const struct {
            QWidget* control;
            const char* name;
            QRect geometry;
        } controls[] = {
            {form->WaitInfo, "WaitInfo", {8, 8, 233, 13}},
            {form->Image1, "Image1", {248, 0, 32, 32}},
            {form->WaitProgressBar, "WaitProgressBar", {8, 32, 217, 12}},
            {form->Cancel, "Cancel", {232, 48, 59, 17}},
        };
        for (const auto& c : controls) {
            QCOMPARE(c.control->objectName(), QString::fromLatin1(c.name));
            QCOMPARE(c.control->geometry(), c.geometry);
        }
        QCOMPARE(form->WaitInfo->font().styleHint(), QFont::Serif);
        QCOMPARE(form->Cancel->font().styleHint(), QFont::SansSerif);
        QCOMPARE(form->Cancel->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!(form->Cancel->focusPolicy() & Qt::TabFocus));
        QCOMPARE(Bar()->BarColor1(), RgbColor(128, 255, 128));
        QCOMPARE(Bar()->BarColor3(), RgbColor(255, 128, 64));
    }

    void showDisablesTheOwnerAndHideResetsEverything() {
        progress_->ShowProgress(owner_.get());
        QVERIFY(progress_->Form()->isVisible());
        QVERIFY(!owner_->isEnabled());
        QVERIFY(CancelButton()->isEnabled());
        progress_->SetMax(3);
        progress_->SetPosition(2);
        QCOMPARE(Bar()->Position(), 66);
        progress_->SetNbPhase(2);
        progress_->SetMax(100);
        progress_->SetPosition(100); // on to the second phase
        progress_->SetPosition(10);
        QCOMPARE(progress_->Position(), 55);
        progress_->HideProgress();
        QVERIFY(!progress_->Form()->isVisible());
        QVERIFY(owner_->isEnabled());
        QCOMPARE(progress_->Min(), 0);
        QCOMPARE(progress_->Max(), 100);
        QCOMPARE(progress_->Position(), 0);
        QCOMPARE(progress_->NbPhase(), 1);
        QCOMPARE(progress_->CurrentPhase(), 1);
        QCOMPARE(Bar()->Position(), 0); // the bar is back at its start

        TProgressFrm unshown; // nothing to enable: only hides and resets
        unshown.SetMax(7);
        unshown.HideProgress();
        QCOMPARE(unshown.Max(), 100);
    }

    void cancelRunsTheCallbackOncePerShowing() {
        int calls = 0;
        progress_->SetOnCancel([&calls] { ++calls; });
        progress_->ShowProgress(owner_.get());
        QTest::mouseClick(CancelButton(), Qt::LeftButton);
        QCOMPARE(calls, 1);
        QVERIFY(!CancelButton()->isEnabled());
        QVERIFY(progress_->Form()->isVisible()); // stops and hides nothing itself
        QTest::mouseClick(CancelButton(), Qt::LeftButton);
        QCOMPARE(calls, 1);
        progress_->HideProgress();
        progress_->ShowProgress(owner_.get());
        QVERIFY(CancelButton()->isEnabled());

        progress_->SetOnCancel({}); // none set: the button is only disabled
        QTest::mouseClick(CancelButton(), Qt::LeftButton);
        QVERIFY(!CancelButton()->isEnabled());
        QCOMPARE(calls, 1);
    }

    void cancelButtonCanBeHidden() {
        progress_->SetShowCancelButton(false);
        progress_->ShowProgress(owner_.get());
        QVERIFY(!progress_->ShowCancelButton());
        QVERIFY(!CancelButton()->isVisible());
        QVERIFY(CancelButton()->isEnabled());
        progress_->SetShowCancelButton(true);
        QVERIFY(CancelButton()->isVisible());
    }

    void settersHandlePendingEventsAndKeepTheCursor() {
        progress_->ShowProgress(owner_.get());
        int handled = 0;
        QMetaObject::invokeMethod(
            owner_.get(), [&handled] { ++handled; }, Qt::QueuedConnection);
        progress_->SetWaitString(QStringLiteral("Processing file a.nes ..."));
        QCOMPARE(handled, 1);
        QCOMPARE(progress_->WaitString(), QStringLiteral("Processing file a.nes ..."));

        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        QMetaObject::invokeMethod(
            owner_.get(),
            [&handled] {
                ++handled;
                QGuiApplication::changeOverrideCursor(Qt::ArrowCursor);
            },
            Qt::QueuedConnection);
        progress_->SetPosition(40);
        QCOMPARE(handled, 2);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QGuiApplication::restoreOverrideCursor();
    }

    void pictureIsDrawnWithoutItsKeyColour() {
        QImage picture(32, 32, QImage::Format_RGB32);
        picture.fill(QColor(255, 66, 0));
        picture.setPixelColor(5, 5, Qt::blue);
        progress_->SetBitMap(picture);
        QCOMPARE(progress_->BitMap(), picture);
        progress_->ShowProgress(owner_.get());
        const QImage shown = progress_->Form()->Image1->grab().toImage();
        const qreal ratio = shown.devicePixelRatio();
        const QColor background = progress_->Form()->palette().color(QPalette::Window);
        QCOMPARE(shown.pixelColor(int(5.5 * ratio), int(5.5 * ratio)), QColor(Qt::blue));
        QCOMPARE(shown.pixelColor(int(20.5 * ratio), int(20.5 * ratio)), background);
    }

    void mainWindowOwnsOneConfiguredProgressFrm() {
        CreateForms();
        TProgressFrm* frm = MainForm->ProgressFrm;
        QVERIFY(frm);
        QCOMPARE(frm->parent(), MainForm);
        QCOMPARE(frm->Title(), QStringLiteral("Please wait..."));
        QCOMPARE(frm->WaitString(), QStringLiteral("Processing..."));
        QVERIFY(frm->ShowCancelButton());
        const QImage& picture = frm->BitMap();
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(32, 32));
        QCOMPARE(picture.pixelColor(0, picture.height() - 1), QColor(255, 66, 0));
        DestroyForms();
    }
};

QTEST_MAIN(TestProgressFrm)
#include "tst_ProgressFrm.moc"
