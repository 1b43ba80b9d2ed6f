#include "gui/datafile/SaveDialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include <optional>

namespace tabula {

namespace {

QString SuffixOf(TDatafileFormat format) {
    return format == TDatafileFormat::Logiqx ? QStringLiteral("xml") : QStringLiteral("dat");
}

} // namespace

QStringList SaveFileTypes() {
    return {QStringLiteral("Datafile (*.dat)"), QStringLiteral("Logiqx XML datafile (*.xml)"),
            QStringLiteral("ClrMamePro datafile (*.dat)")};
}

TDatafileFormat SaveFileTypeFormat(const QString& type) {
    const QStringList types = SaveFileTypes();
    if (type == types[1]) {
        return TDatafileFormat::Logiqx;
    }
    return type == types[2] ? TDatafileFormat::ClrMamePro : TDatafileFormat::Sectioned;
}

TDatafileFormat FormatOfTypedName(const QString& fileName, TDatafileFormat chosen) {
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.isEmpty()) {
        return chosen;
    }
    const QString pattern = QStringLiteral("*.") + suffix.toLower();
    std::optional<TDatafileFormat> only;
    for (const QString& type : SaveFileTypes()) {
        if (type.contains(QStringLiteral("(") + pattern + QStringLiteral(")"))) {
            if (only) {
                return chosen; // shared by two types: the chooser's says which
            }
            only = SaveFileTypeFormat(type);
        }
    }
    return only.value_or(chosen);
}

QString ShowSaveDialog(QWidget* parent, const QString& proposedName, TDatafileFormat& format) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The save command asks before a file is replaced, in its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const QStringList types = SaveFileTypes();
    dialog.setNameFilters(types);
    dialog.selectNameFilter(types[static_cast<int>(format)]);
    dialog.setDefaultSuffix(SuffixOf(format));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& type) {
                         dialog.setDefaultSuffix(SuffixOf(SaveFileTypeFormat(type)));
                     });
    if (!proposedName.isEmpty()) {
        dialog.selectFile(proposedName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    format = SaveFileTypeFormat(dialog.selectedNameFilter());
    return dialog.selectedFiles().constFirst();
}

QStringList OpenFileTypes() {
    return QStringList{QStringLiteral("Datafiles (*.dat *.xml)")} + SaveFileTypes() +
           QStringList{QStringLiteral("All files (*)")};
}

QString ShowOpenDialog(QWidget* parent, const QString& proposedName) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(OpenFileTypes());
    if (!proposedName.isEmpty()) {
        dialog.selectFile(proposedName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QStringList ShowReferenceDialog(QWidget* parent, const QString& proposedName) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ReferenceDialog1"));
    dialog.setWindowTitle(QStringLiteral("Name from datafile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(OpenFileTypes());
    if (!proposedName.isEmpty()) {
        dialog.selectFile(proposedName);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

} // namespace tabula
