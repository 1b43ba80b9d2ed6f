#pragma once

#include <QSize>
#include <QString>

class QWidget;

namespace tabula {

// What every window of the program shares: its name for tests and
// accessibility tools, its caption, the system UI font at 8 points and the
// button-face background.
void SetUpForm(QWidget* form, const char* name, const QString& caption);

// A dialog of one size, which a window manager offers neither to resize nor
// to maximise: its caption keeps the close box alone.
void KeepDialogSize(QWidget* dialog, const QSize& size);

} // namespace tabula
