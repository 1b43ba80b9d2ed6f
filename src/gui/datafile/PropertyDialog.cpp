#include "gui/datafile/PropertyDialog.h"

#include "gui/common/FormLook.h"

#include <QApplication>
#include <QDate>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

namespace tabula {

namespace {

// The window's outer size is 596 x 299; Qt sizes the client area: 4-pixel
// borders and a 23-pixel caption are taken off, as for the main window.
constexpr int ClientWidth = 596 - 8;
constexpr int ClientHeight = 299 - 8 - 23;

const QString CrLf = QStringLiteral("\r\n");

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Keeps a label clear of the one to its right: the layout's places were made
// for a narrower font, so a caption too wide for its room gets a smaller font.
void FitBefore(QLabel* label, const QLabel* next) {
    constexpr int Gap = 6;
    const int room = next->x() - Gap - label->x();
    QFont font = label->font();
    while (label->width() > room && QFontInfo(font).pixelSize() > 7) {
        font.setPixelSize(QFontInfo(font).pixelSize() - 1);
        label->setFont(font);
        label->adjustSize();
    }
}

template <typename TControl>
TControl* Place(TControl* control, const char* name, int left, int top, int width, int height) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int left) {
    return Place(new QPushButton(QString::fromUtf8(text), parent), name, left, 232, 75, 25);
}

} // namespace

TPropertyDialog::TPropertyDialog(QWidget* parent) : QDialog(parent) {
    SetUpForm(this, "PropertyDialog", QStringLiteral("Properties"));
    // Escape cancels, as Cancel does (QDialog's own handling).
    KeepDialogSize(this, QSize(ClientWidth, ClientHeight));
    move(390, 235);

    // Created in tab order, so the focus chain is right before setTabOrder
    // moves the emulator version box to its end.
    Label1 = MakeLabel(this, "Label1", "Author", 32, 8);
    PAuthor = Place(new QLineEdit(this), "PAuthor", 32, 24, 537, 21);
    Label2 = MakeLabel(this, "Label2", "Datafile Version", 32, 56);
    PVersion = Place(new QLineEdit(this), "PVersion", 32, 72, 97, 21);
    Label3 = MakeLabel(this, "Label3", "Date", 152, 56);
    Pdate = Place(new QLineEdit(this), "Pdate", 152, 72, 129, 21);
    Label5 = MakeLabel(this, "Label5", "System (snes, nes, n64...)", 304, 56);
    Psystem = Place(new QLineEdit(this), "Psystem", 304, 72, 121, 21);
    Label6 = MakeLabel(this, "Label6", "Emulator version", 448, 56);
    FitBefore(Label5, Label6);
    PEmulVersion = Place(new QLineEdit(QStringLiteral("PEmulVersion"), this), "PEmulVersion", 448,
                         72, 121, 21);
    Label4 = MakeLabel(this, "Label4", "Comment", 32, 104);
    Pcomment = Place(new QPlainTextEdit(this), "Pcomment", 32, 120, 537, 97);
    // Tab leaves the comment box; Enter stays in it as a new line.
    Pcomment->setTabChangesFocus(true);
    Button1 = MakeButton(this, "Button1", "&OK", 400);
    Button1->setDefault(true);
    Button2 = MakeButton(this, "Button2", "&Cancel", 496);
    Button3 = MakeButton(this, "Button3", "&Clear", 32);

    QWidget* const tabOrder[] = {PAuthor, PVersion, Pdate,   Psystem,     Pcomment,
                                 Button1, Button2,  Button3, PEmulVersion};
    for (size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    connect(Button1, &QPushButton::clicked, this, &TPropertyDialog::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TPropertyDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TPropertyDialog::Button3Click);
    const std::pair<QWidget*, const char*> tips[] = {
        {PAuthor, "Who made the datafile."},
        {PVersion, "The datafile's own version."},
        {Pdate, "The datafile's date: the Logiqx and ClrMamePro headers carry it."},
        {Psystem, "The system the roms are for; it names the datafile's header."},
        {PEmulVersion, "The emulator version the sectioned datafile names."},
        {Pcomment, "A comment of any number of lines (Tab leaves the box)."},
        {Button1, "Keep these credits."},
        {Button2, "Close and keep the credits as they were (Escape)."},
        {Button3, "Empty the boxes and set today's date; nothing is kept until OK."},
    };
    for (const auto& [control, tip] : tips) {
        control->setToolTip(QString::fromUtf8(tip));
    }
}

QString TPropertyDialog::Today() {
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

TDatafileCredits TPropertyDialog::Credits() const {
    return {Author.toStdString(), Version.toStdString(),     Comment.toStdString(),
            System.toStdString(), EmulVersion.toStdString(), Date.toStdString()};
}

void TPropertyDialog::SetCredits(const TDatafileCredits& credits) {
    Author = QString::fromStdString(credits.Author);
    Version = QString::fromStdString(credits.Version);
    Comment = QString::fromStdString(credits.Comment);
    System = QString::fromStdString(credits.System);
    EmulVersion = QString::fromStdString(credits.EmulVersion);
    Date = credits.Date.empty() ? Today() : QString::fromStdString(credits.Date);
    // The next opening reloads five boxes from the stored texts, but not
    // the emulator version's, so it is shown here; the date box must not
    // look empty to that opening.
    PEmulVersion->setText(EmulVersion);
    Pdate->setText(Date);
    FormShow();
}

void TPropertyDialog::showEvent(QShowEvent* event) {
    // A window manager's restore is not a new opening.
    if (!event->spontaneous()) {
        FormShow();
    }
    QDialog::showEvent(event);
}

void TPropertyDialog::FormShow() {
    if (Pdate->text().isEmpty()) {
        Date = Today();
    }
    Pdate->setText(Date);
    // The box holds LF-separated lines; the stored comment has CR LF.
    QString comment = Comment;
    comment.replace(CrLf, QStringLiteral("\n"));
    Pcomment->setPlainText(comment);
    PAuthor->setText(Author);
    PVersion->setText(Version);
    Psystem->setText(System);
    // PEmulVersion keeps the text it had when the dialog was last closed.
}

QString TPropertyDialog::CommentBoxText() const {
    // Block by block rather than toPlainText(), which turns no-break spaces into
    // plain ones; a soft line break (Shift+Enter) is a line break as well.
    QStringList lines;
    for (QTextBlock block = Pcomment->document()->begin(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    QString text = lines.join(CrLf);
    text.replace(QChar::LineSeparator, CrLf);
    return text;
}

void TPropertyDialog::Button1Click() {
    Comment = CommentBoxText();
    Author = PAuthor->text();
    Version = PVersion->text();
    Date = Pdate->text();
    System = Psystem->text();
    EmulVersion = PEmulVersion->text();
    accept();
}

void TPropertyDialog::Button3Click() {
    Pdate->setText(Today());
    Pcomment->clear();
    PAuthor->clear();
    PVersion->clear();
    Psystem->clear();
    PEmulVersion->clear();
}

} // namespace tabula
