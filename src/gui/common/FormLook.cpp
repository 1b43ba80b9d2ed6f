#include "gui/common/FormLook.h"

#include <QApplication>
#include <QWidget>

namespace tabula {

void SetUpForm(QWidget* form, const char* name, const QString& caption) {
    form->setObjectName(QString::fromLatin1(name));
    form->setWindowTitle(caption);
    QFont uiFont = QApplication::font();
    uiFont.setPointSize(8);
    form->setFont(uiFont);
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    form->setPalette(pal);
}

void KeepDialogSize(QWidget* dialog, const QSize& size) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setFixedSize(size);
}

} // namespace tabula
