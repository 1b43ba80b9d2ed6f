#pragma once

#include "core/datafile/DatafileSave.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tabula {

// The datafile credits dialog. Created once at start-up and only hidden
// between showings, so its stored texts last for the run. The stored texts
// change only through OK; the boxes keep whatever was typed between showings,
// and each showing reloads five of them (not the emulator version) from the
// stored texts.
class TPropertyDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPropertyDialog(QWidget* parent = nullptr);

    // The stored texts, empty until the first OK. Comment's lines are joined by CR LF.
    QString Comment;
    QString Author;
    QString Version;
    QString Date;
    QString System;
    QString EmulVersion;

    QLabel* Label1 = nullptr;
    QLineEdit* PAuthor = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* PVersion = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Pdate = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Psystem = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* PEmulVersion = nullptr;
    QLabel* Label4 = nullptr;
    QPlainTextEdit* Pcomment = nullptr;
    QPushButton* Button1 = nullptr; // OK
    QPushButton* Button2 = nullptr; // Cancel
    QPushButton* Button3 = nullptr; // Clear

    // The five stored texts a datafile carries, as UTF-8.
    TDatafileCredits Credits() const;

    // Stores the credits of an opened datafile and shows them, the emulator
    // version's box included; an empty date becomes today's.
    void SetCredits(const TDatafileCredits& credits);

    // Today's date in the system's short date format.
    static QString Today();

    void Button1Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    QString CommentBoxText() const;
};

} // namespace tabula
