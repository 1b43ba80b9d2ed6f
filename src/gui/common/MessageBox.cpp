#include "gui/common/MessageBox.h"

#include <QAbstractButton>

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
    if (!request.Details.isEmpty()) {
        box.setDetailedText(request.Details);
    }
    for (const auto& [button, text] : request.ButtonTexts) {
        if (QAbstractButton* shown = box.button(button)) {
            shown->setText(text);
        }
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetMessageBoxSink(TMessageBoxSink sink) {
    Sink() = std::move(sink);
}

void ShowWarning(QWidget* parent, const QString& text) {
    ShowMessageBox(
        parent, {QMessageBox::Warning, QStringLiteral("Avertissement"), text, QMessageBox::Ok, {}});
}

} // namespace tabula
