#include "gui/zip/WindowZipUi.h"

#include "gui/common/MessageBox.h"
#include "gui/common/ProgramTitle.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWidget>

namespace tabula {

TWindowZipUi::TWindowZipUi(QWidget* owner, QWidget* fallback)
    : owner_(owner), fallback_(fallback) {}

TWindowZipUi::~TWindowZipUi() {
    // A reader that ended by an exception may not have ended its busy pointer.
    while (busy_ > 0) {
        SetBusy(false);
    }
}

QWidget* TWindowZipUi::BoxParent() const {
    if (owner_ != nullptr && owner_->isEnabled()) {
        return owner_;
    }
    if (fallback_ != nullptr && fallback_->isVisible()) {
        return fallback_;
    }
    return nullptr;
}

void TWindowZipUi::ShowMessage(const std::string& text) {
    ShowMessageBox(BoxParent(), {QMessageBox::NoIcon,
                                 QString::fromLatin1(ProgramTitle),
                                 QString::fromStdString(text),
                                 QMessageBox::Ok,
                                 {}});
}

TVolumeAnswer TWindowZipUi::AskForVolume(const std::string& text, bool stopIcon) {
    // The prompt's lines end in CR LF; a box breaks lines at LF alone.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QMessageBox::StandardButton answer =
        ShowMessageBox(BoxParent(), {stopIcon ? QMessageBox::Critical : QMessageBox::NoIcon,
                                     QString::fromLatin1(ProgramTitle),
                                     shown,
                                     QMessageBox::Ok | QMessageBox::Cancel,
                                     {}});
    return answer == QMessageBox::Ok ? TVolumeAnswer::Ok : TVolumeAnswer::Cancel;
}

void TWindowZipUi::SetBusy(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        ++busy_;
    } else if (busy_ > 0) {
        QGuiApplication::restoreOverrideCursor();
        --busy_;
    }
}

void TWindowZipUi::Pump() {
    if (throttle_.Due()) {
        QCoreApplication::processEvents();
    }
}

} // namespace tabula
