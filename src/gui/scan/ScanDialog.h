#pragma once

#include <QDialog>

namespace tabula {

// The scan options dialog. Created once at start-up and only hidden between
// showings, so its choices last for the run.
class TScanDialog : public QDialog {
    Q_OBJECT
public:
    explicit TScanDialog(QWidget* parent = nullptr);
};

} // namespace tabula
