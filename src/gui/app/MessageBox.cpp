#include "app/MessageBox.h"

#include <QWidget>

namespace tabula {

namespace {
TMessageBoxSink& Sink() {
    static TMessageBoxSink sink;
    return sink;
}
} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const TMessageBoxRequest& request) {
    if (Sink()) {
        return Sink()(request);
    }
    QMessageBox box(request.Icon, request.Title, request.Text, request.Buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    // The keyboard goes back to the window the box stood over, also where no
    // window manager hands it back.
    if (parent != nullptr && parent->window()->isVisible()) {
        parent->window()->activateWindow();
    }
    return static_cast<QMessageBox::StandardButton>(answer);
}

void SetMessageBoxSink(TMessageBoxSink sink) {
    Sink() = std::move(sink);
}

void ShowWarning(QWidget* parent, const QString& text) {
    ShowMessageBox(parent,
                   {QMessageBox::Warning, QStringLiteral("Avertissement"), text, QMessageBox::Ok});
}

} // namespace tabula
