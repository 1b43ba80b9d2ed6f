#include "gui/widgets/ProgressForm.h"

#include "gui/common/FormLook.h"
#include "gui/widgets/GradientBar.h"
#include "gui/widgets/TransparentImage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace tabula {

namespace {
QFont PixelFont(const QString& family, QFont::StyleHint hint, int pixelSize) {
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    return font;
}
} // namespace

// A caption without minimise and maximise buttons. With a caption alone, Qt
// asks the window manager only to withhold those functions, which many
// managers ignore for the buttons; asking for the close button too makes Qt
// name the caption's decorations (title, border, menu), which the managers
// that read them follow. openbox draws its buttons whatever is asked: there
// a minimise is undone at once (changeEvent). The close button presses
// Cancel (closeEvent).
TProgressForm::TProgressForm()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    SetUpForm(this, "ProgressForm", QStringLiteral("Please wait..."));
    setFixedSize(ClientWidth, ClientHeight);
    setAutoFillBackground(true);
    setCursor(Qt::WaitCursor);

    WaitInfo = new QLabel(QStringLiteral("Processing..."), this);
    WaitInfo->setObjectName(QStringLiteral("WaitInfo"));
    WaitInfo->setGeometry(8, 8, 233, 13);
    WaitInfo->setFont(PixelFont(QStringLiteral("serif"), QFont::Serif, 11));
    WaitInfo->setTextFormat(Qt::PlainText);

    Image1 = new TTransparentImage(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(248, 0, 32, 32);

    WaitProgressBar = new TGradientBar(this);
    WaitProgressBar->setObjectName(QStringLiteral("WaitProgressBar"));
    WaitProgressBar->setGeometry(8, 32, 217, 12);
    WaitProgressBar->SetBackgroundColor(clBtnFace);
    WaitProgressBar->SetBarColor1(RgbColor(128, 255, 128));
    WaitProgressBar->SetBarColor2(RgbColor(255, 255, 128));
    WaitProgressBar->SetBarColor3(RgbColor(255, 128, 64));
    WaitProgressBar->SetPosTextSuffix(QStringLiteral("%"));

    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setGeometry(232, 48, 59, 17);
    Cancel->setFont(PixelFont(QStringLiteral("sans-serif"), QFont::SansSerif, 11));
    // The hint is kept for accessibility tools but never shown as a tip.
    Cancel->setAccessibleDescription(QStringLiteral("Cancel operation"));
    // Reached by the mouse only: not a tab stop.
    Cancel->setFocusPolicy(Qt::ClickFocus);
    connect(Cancel, &QPushButton::clicked, this, &TProgressForm::CancelClick);

    FormCreate();
}

void TProgressForm::FormCreate() {
    // An arrow over the button, the busy cursor over the rest of the window.
    Cancel->setCursor(Qt::ArrowCursor);
}

void TProgressForm::CancelClick() {
    Cancel->setEnabled(false);
    if (OnCancel) {
        OnCancel();
    }
}

void TProgressForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TProgressForm::closeEvent(QCloseEvent* event) {
    // Only the operation that showed the window hides it (HideProgress).
    event->ignore();
    PressCancel();
}

void TProgressForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        PressCancel();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TProgressForm::PressCancel() {
    if (Cancel->isVisible() && Cancel->isEnabled()) {
        Cancel->click();
    }
}

void TProgressForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible() &&
        (windowState() & Qt::WindowMinimized)) {
        // After the window manager has finished minimising.
        QTimer::singleShot(0, this, [this] {
            if (isVisible() && (windowState() & Qt::WindowMinimized)) {
                showNormal();
            }
        });
    }
}

} // namespace tabula
