#include "gui/app/AboutBox.h"

#include "core/platform/LibraryVersions.h"
#include "gui/common/MessageBox.h"

#include <QtGlobal>

namespace tabula {

QString AboutText() {
    QString text = QStringLiteral("tabula %1\n"
                                  "Checksums rom files and archives, and writes and converts "
                                  "the datafiles rom managers read.\n\n"
                                  "Libraries in use:\n")
                       .arg(QStringLiteral(TABULA_VERSION));
    text += QStringLiteral("Qt %1\n").arg(QString::fromLatin1(qVersion()));
    for (const auto& [name, version] : LibraryVersions()) {
        // "libarchive 3.7.2" says its own name.
        const std::string line = version.rfind(name + " ", 0) == 0 ? version : name + " " + version;
        text += QString::fromStdString(line + "\n");
    }
    text += QStringLiteral("\nLicence: proprietary, all rights reserved. Each library above "
                           "is used under its own licence.");
    return text;
}

void ShowAboutBox(QWidget* parent) {
    ShowMessageBox(parent, {QMessageBox::Information,
                            QStringLiteral("About tabula"),
                            AboutText(),
                            QMessageBox::Ok,
                            {}});
}

} // namespace tabula
