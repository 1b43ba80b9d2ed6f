#include "scan/ScanDialog.h"

namespace tabula {

TScanDialog::TScanDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ScanDialog"));
}

} // namespace tabula
