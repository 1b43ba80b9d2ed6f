#pragma once

#include <QString>

class QWidget;

namespace tabula {

// What every window of the program shares: its name for tests and
// accessibility tools, its caption, the system UI font at 8 points and the
// button-face background.
void SetUpForm(QWidget* form, const char* name, const QString& caption);

} // namespace tabula
