#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace tabula {

// One modal message box of the program: its icon, caption, text and buttons.
struct TMessageBoxRequest {
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QString Title;
    QString Text;
    QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
    // Shown behind the box's "Show Details..." button when not empty.
    QString Details;
    // Captions in place of the standard ones of these buttons.
    QList<QPair<QMessageBox::StandardButton, QString>> ButtonTexts{};
    // The button Enter presses; the box's own choice when none.
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
};

// Shows the box modally over parent and returns the button pressed (Ok for a
// box with the one button, Cancel when it was closed otherwise). A box is
// of one size, but a box with details shows them at once in a list of at
// least 15 lines that the box's resizing makes larger. Tests answer the
// boxes through SetMessageBoxSink instead.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const TMessageBoxRequest& request);

using TMessageBoxSink = std::function<QMessageBox::StandardButton(const TMessageBoxRequest&)>;
void SetMessageBoxSink(TMessageBoxSink sink);

// The warning box of the scan dialog: caption "Avertissement", one OK button.
void ShowWarning(QWidget* parent, const QString& text);

} // namespace tabula
