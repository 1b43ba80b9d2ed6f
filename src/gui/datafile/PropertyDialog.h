#pragma once

#include <QDialog>

namespace tabula {

// The datafile credits dialog. Created once at start-up and only hidden
// between showings, so its stored texts last for the run.
class TPropertyDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPropertyDialog(QWidget* parent = nullptr);
};

} // namespace tabula
