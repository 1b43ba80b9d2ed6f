#include "gui/widgets/ProgressFrm.h"

#include "gui/widgets/GradientBar.h"
#include "gui/widgets/TransparentImage.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include <optional>

namespace tabula {

TProgressFrm::TProgressFrm(QObject* owner) : QObject(owner), form_(new TProgressForm) {
    form_->hide();
    position_.SetNbPhase(1);
    position_.SetMin(0);
    position_.SetMax(100);
    position_.SetStoredPosition(0);
}

TProgressFrm::~TProgressFrm() = default;

void TProgressFrm::Pump() {
    QCoreApplication::processEvents();
}

void TProgressFrm::ShowProgress(QWidget* owner) {
    owner_ = owner;
    if (owner_) {
        owner_->setEnabled(false);
    }
    form_->Cancel->setEnabled(true);
    // Minimised at an earlier showing (by the window manager): shown whole.
    form_->setWindowState(form_->windowState() & ~Qt::WindowMinimized);
    form_->show();
    form_->raise();
    form_->activateWindow();
    Pump();
}

void TProgressFrm::HideProgress() {
    if (owner_) {
        owner_->setEnabled(true);
    }
    form_->hide();
    position_.SetMin(0);
    position_.SetMax(100);
    // One phase before the bar is moved, so position 0 is the bar's start
    // whatever phase the operation ended in.
    position_.SetNbPhase(1);
    SetPosition(0);
    position_.SetStoredPosition(0);
}

void TProgressFrm::SetPosition(int value) {
    std::optional<QCursor> cursor;
    if (const QCursor* current = QGuiApplication::overrideCursor()) {
        cursor = *current;
    }
    form_->WaitProgressBar->SetPosition(position_.Assign(value));
    Pump();
    // Something handled in the pump may have changed the busy cursor.
    const QCursor* now = QGuiApplication::overrideCursor();
    if (cursor && now && now->shape() != cursor->shape()) {
        QGuiApplication::changeOverrideCursor(*cursor);
    }
}

QString TProgressFrm::WaitString() const {
    return form_->WaitInfo->text();
}

void TProgressFrm::SetWaitString(const QString& value) {
    form_->WaitInfo->setText(value);
    Pump();
}

QString TProgressFrm::Title() const {
    return form_->windowTitle();
}
void TProgressFrm::SetTitle(const QString& value) {
    form_->setWindowTitle(value);
}

const QImage& TProgressFrm::BitMap() const {
    return form_->Image1->Picture();
}
void TProgressFrm::SetBitMap(const QImage& value) {
    form_->Image1->SetPicture(value);
}

bool TProgressFrm::ShowCancelButton() const {
    return form_->Cancel->isVisibleTo(form_.get());
}

void TProgressFrm::SetShowCancelButton(bool value) {
    form_->Cancel->setVisible(value);
    form_->Cancel->setEnabled(value);
}

TCancelEvent TProgressFrm::OnCancel() const {
    return form_->OnCancel;
}
void TProgressFrm::SetOnCancel(TCancelEvent value) {
    form_->OnCancel = std::move(value);
}

} // namespace tabula
