#include "gui/romlist/FindReplaceDialog.h"

#include "gui/common/FormLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tabula {

TFindReplaceDialog::TFindReplaceDialog(QWidget* parent) : QDialog(parent) {
    SetUpForm(this, "FindReplaceDialog", QStringLiteral("Find and replace"));

    FindText = new QLineEdit(this);
    FindText->setObjectName(QStringLiteral("FindText"));
    ReplaceText = new QLineEdit(this);
    ReplaceText->setObjectName(QStringLiteral("ReplaceText"));
    Column = new QComboBox(this);
    Column->setObjectName(QStringLiteral("Column"));
    Column->addItem(QStringLiteral("All columns"), TReplaceRequest::AllColumns);
    for (int col = 0; col < TRomTable::ColCount; ++col) {
        Column->addItem(QString::fromLatin1(TRomTable::Titles[static_cast<std::size_t>(col)]), col);
    }
    MatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    MatchCase->setObjectName(QStringLiteral("MatchCase"));

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Fi&nd:"), FindText);
    fields->addRow(QStringLiteral("Replace &with:"), ReplaceText);
    fields->addRow(QStringLiteral("C&olumn:"), Column);
    fields->addRow(QString(), MatchCase);

    auto* buttons = new QDialogButtonBox(this);
    ReplaceAll = buttons->addButton(QStringLiteral("Replace &all"), QDialogButtonBox::AcceptRole);
    ReplaceAll->setObjectName(QStringLiteral("ReplaceAll"));
    ReplaceAll->setDefault(true);
    FindNext = buttons->addButton(QStringLiteral("Find &next"), QDialogButtonBox::ActionRole);
    FindNext->setObjectName(QStringLiteral("FindNext"));
    FindNext->setShortcut(QKeySequence(Qt::Key_F3));
    FindNext->setToolTip(QStringLiteral("Make the next cell holding the text current (F3)."));
    connect(FindNext, &QPushButton::clicked, this, &TFindReplaceDialog::FindNextClicked);
    Close = buttons->addButton(QDialogButtonBox::Close);
    Close->setObjectName(QStringLiteral("Close"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

bool TFindReplaceDialog::Ask(bool replacing) {
    QLineEdit* start = replacing && !FindText->text().isEmpty() ? ReplaceText : FindText;
    start->setFocus();
    start->selectAll();
    return exec() == QDialog::Accepted;
}

TReplaceRequest TFindReplaceDialog::Request() const {
    TReplaceRequest request;
    request.Find = FindText->text().toStdString();
    request.Replace = ReplaceText->text().toStdString();
    request.Column = Column->currentData().toInt();
    request.MatchCase = MatchCase->isChecked();
    return request;
}

} // namespace tabula
