#pragma once

#include "core/romlist/FindReplace.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tabula {

// "Find and replace": the text to find, its replacement, the column (or
// all), and whether case matters. Its texts and choices stay between
// openings; "Replace all" accepts it.
class TFindReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFindReplaceDialog(QWidget* parent = nullptr);

    QLineEdit* FindText = nullptr;
    QLineEdit* ReplaceText = nullptr;
    QComboBox* Column = nullptr;
    QCheckBox* MatchCase = nullptr;
    QPushButton* ReplaceAll = nullptr;
    // F3: the next cell holding the text, the dialog staying open.
    QPushButton* FindNext = nullptr;
    QPushButton* Close = nullptr;

    // Shows the dialog modally with the keyboard in the text to find, or
    // (replacing, once there is a text to find) in its replacement; true
    // when "Replace all" was pressed.
    bool Ask(bool replacing);
    TReplaceRequest Request() const;

signals:
    void FindNextClicked();
};

} // namespace tabula
