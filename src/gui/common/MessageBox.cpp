#include "gui/common/MessageBox.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

namespace tabula {

namespace {
TMessageBoxSink& Sink() {
    static TMessageBoxSink sink;
    return sink;
}

// A box whose details (a list of failures, say) are shown at once, with
// room to read them: a message box keeps one size and hides them.
QMessageBox::StandardButton ShowDetailsBox(QWidget* parent, const TMessageBoxRequest& request) {
    QDialog box(parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(request.Title);
    box.setSizeGripEnabled(true);
    auto* text = new QLabel(request.Text, &box);
    text->setObjectName(QStringLiteral("Text"));
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    auto* icon = new QLabel(&box);
    const QStyle::StandardPixmap pixmaps[] = {
        QStyle::SP_CustomBase, QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning,
        QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxQuestion};
    if (request.Icon > QMessageBox::NoIcon && request.Icon <= QMessageBox::Question) {
        const int extent = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        icon->setPixmap(box.style()->standardIcon(pixmaps[request.Icon]).pixmap(extent));
    }
    auto* details = new QPlainTextEdit(request.Details, &box);
    details->setObjectName(QStringLiteral("Details"));
    details->setReadOnly(true);
    details->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Fifteen lines at least, whatever the frame and the margins take.
    details->ensurePolished();
    const QFontMetrics metrics = details->fontMetrics();
    details->setMinimumHeight(metrics.lineSpacing() * 16 + 2 * details->frameWidth() +
                              static_cast<int>(details->document()->documentMargin() * 2));
    details->setMinimumWidth(metrics.averageCharWidth() * 90);
    auto* buttons = new QDialogButtonBox(
        static_cast<QDialogButtonBox::StandardButtons>(static_cast<int>(request.Buttons)), &box);
    QMessageBox::StandardButton pressed = QMessageBox::Cancel;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &box, [&](QAbstractButton* button) {
        pressed = static_cast<QMessageBox::StandardButton>(buttons->standardButton(button));
        box.accept();
    });
    for (const auto& [button, caption] : request.ButtonTexts) {
        if (QPushButton* shown =
                buttons->button(static_cast<QDialogButtonBox::StandardButton>(button))) {
            shown->setText(caption);
        }
    }
    const auto defaultButton =
        request.DefaultButton != QMessageBox::NoButton ? request.DefaultButton : QMessageBox::Ok;
    if (QPushButton* chosen =
            buttons->button(static_cast<QDialogButtonBox::StandardButton>(defaultButton))) {
        chosen->setDefault(true);
        chosen->setFocus();
    }
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addWidget(details, 1);
    layout->addWidget(buttons);
    box.exec();
    // A box of the one button gives it however it was closed.
    if (buttons->buttons().size() == 1) {
        return static_cast<QMessageBox::StandardButton>(
            buttons->standardButton(buttons->buttons().constFirst()));
    }
    return pressed;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const TMessageBoxRequest& request) {
    if (Sink()) {
        return Sink()(request);
    }
    if (!request.Details.isEmpty()) {
        return ShowDetailsBox(parent, request);
    }
    QMessageBox box(request.Icon, request.Title, request.Text, request.Buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    // The box sizes itself to its text; the window manager offers no other size.
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    for (const auto& [button, text] : request.ButtonTexts) {
        if (QAbstractButton* shown = box.button(button)) {
            shown->setText(text);
        }
    }
    if (request.DefaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(request.DefaultButton);
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
