#include "datafile/PropertyDialog.h"

namespace tabula {

TPropertyDialog::TPropertyDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PropertyDialog"));
}

} // namespace tabula
