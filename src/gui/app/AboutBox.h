#pragma once

#include <QString>

class QWidget;

namespace tabula {

// The text of "About tabula": the version, the libraries in use with the
// versions they report, and the licence.
QString AboutText();

// The box of "About tabula" over parent.
void ShowAboutBox(QWidget* parent);

} // namespace tabula
