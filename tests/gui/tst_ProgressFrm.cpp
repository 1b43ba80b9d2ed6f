#include "gui/widgets/GradientBar.h"
#include "gui/widgets/ProgressFrm.h"
#include "gui/widgets/TransparentImage.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>
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

    void showDisablesTheOwnerAndHideResetsEverything() {
        TProgressForm* form = progress_->Form();
        QVERIFY(form->parentWidget() == nullptr); // usable while the owner is disabled
        QCOMPARE(form->minimumSize(), QSize(296, 69));
        QCOMPARE(form->maximumSize(), QSize(296, 69));
        progress_->ShowProgress(owner_.get());
        QVERIFY(form->isVisible());
        QVERIFY(!owner_->isEnabled());
        progress_->SetMax(3);
        progress_->SetPosition(2);
        QCOMPARE(Bar()->Position(), 66);
        progress_->SetNbPhase(2);
        progress_->SetMax(100);
        progress_->SetPosition(100); // on to the second phase
        progress_->SetPosition(10);
        QCOMPARE(Bar()->Position(), 55);
        progress_->HideProgress();
        QVERIFY(!form->isVisible());
        QVERIFY(owner_->isEnabled());
        QCOMPARE(progress_->Max(), 100);
        QCOMPARE(progress_->NbPhase(), 1);
        QCOMPARE(Bar()->Position(), 0); // back at its start, whatever the phase was
    }

    void cancelRunsTheCallbackOncePerShowing() {
        QVERIFY(!(CancelButton()->focusPolicy() & Qt::TabFocus));
        int calls = 0;
        progress_->SetOnCancel([&calls] { ++calls; });
        progress_->ShowProgress(owner_.get());
        QTest::mouseClick(CancelButton(), Qt::LeftButton);
        QTest::mouseClick(CancelButton(), Qt::LeftButton); // disabled by the first
        QCOMPARE(calls, 1);
        QVERIFY(progress_->Form()->isVisible()); // stops and hides nothing itself
        progress_->HideProgress();
        progress_->SetShowCancelButton(false);
        progress_->ShowProgress(owner_.get());
        QVERIFY(CancelButton()->isEnabled()); // enabled again, but hidden
        QVERIFY(!CancelButton()->isVisible());
    }

    void escapeAndTheCloseBoxPressCancelAndMinimisingDoesNotLast() {
        TProgressForm* form = progress_->Form();
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        int calls = 0;
        progress_->SetOnCancel([&calls] { ++calls; });

        const std::function<void()> presses[] = {
            [form] { QTest::keyClick(form, Qt::Key_Escape); },
            [form] { QVERIFY(!form->close()); }, // the close box, Alt+F4
        };
        for (const auto& press : presses) {
            calls = 0;
            progress_->ShowProgress(owner_.get());
            press();
            QCOMPARE(calls, 1);
            QVERIFY(!CancelButton()->isEnabled());
            press(); // Cancel is pressed once
            QCOMPARE(calls, 1);
            QVERIFY(form->isVisible());
            progress_->HideProgress();
        }

        // Minimised by the desktop: shown whole again, at once and at the next showing.
        progress_->ShowProgress(owner_.get());
        form->setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!(form->windowState() & Qt::WindowMinimized));
        progress_->HideProgress();
        form->setWindowState(Qt::WindowMinimized);
        progress_->ShowProgress(owner_.get());
        QVERIFY(!(form->windowState() & Qt::WindowMinimized));
    }

    void settersHandlePendingEventsAndKeepTheCursor() {
        progress_->ShowProgress(owner_.get());
        int handled = 0;
        QMetaObject::invokeMethod(
            owner_.get(), [&handled] { ++handled; }, Qt::QueuedConnection);
        progress_->SetWaitString(QStringLiteral("Processing file a.nes ..."));
        QCOMPARE(handled, 1);

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
        progress_->ShowProgress(owner_.get());
        const QImage shown = progress_->Form()->Image1->grab().toImage();
        const qreal ratio = shown.devicePixelRatio();
        const QColor background = progress_->Form()->palette().color(QPalette::Window);
        QCOMPARE(shown.pixelColor(int(5.5 * ratio), int(5.5 * ratio)), QColor(Qt::blue));
        QCOMPARE(shown.pixelColor(int(20.5 * ratio), int(20.5 * ratio)), background);
    }
};

QTEST_MAIN(TestProgressFrm)
#include "tst_ProgressFrm.moc"
