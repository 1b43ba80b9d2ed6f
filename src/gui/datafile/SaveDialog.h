#pragma once

#include <QString>

class QWidget;

namespace tabula {

// The save chooser of "Save as": no filter, no title, no initial directory,
// default suffix "dat" (added to a name typed without one), no question before
// an existing file is replaced, proposing proposedName. Returns the chosen
// name, or an empty text when the user cancels.
QString ShowSaveDialog(QWidget* parent, const QString& proposedName);

} // namespace tabula
