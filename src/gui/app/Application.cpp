#include "gui/app/Application.h"

#include "core/text/ErrorText.h"

#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QWidget>

namespace tabula {

namespace {
TApplication::TErrorSink& ErrorSink() {
    static TApplication::TErrorSink sink;
    return sink;
}
} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The application name, not the display name: a display name would be
    // appended to every window caption.
    setApplicationName(QString::fromLatin1(Title));
    // Lets the desktop match the windows to the installed entry and its icon.
    setDesktopFileName(QString::fromLatin1(DesktopId));
    installEventFilter(this);
    // The program keeps nothing between runs, not even the file choosers'
    // history, which Qt keeps through QSettings: its files go below a path
    // under which nothing can be created (a path through a device), so
    // they are never written, and nothing is left behind even when the
    // program is killed.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings::setPath(format, scope, QString::fromLatin1(NoSettingsPath));
        }
    }
}

TApplication::~TApplication() = default;

bool TApplication::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show && event->type() != QEvent::Hide) {
        return false; // every event passes here: the common case first
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->isWindow() &&
        (widget->windowType() == Qt::Dialog || widget->windowType() == Qt::Window)) {
        // Once the windows have settled.
        QTimer::singleShot(0, this, &TApplication::PlaceKeyboard);
    }
    return false;
}

void TApplication::PlaceKeyboard() {
    // A window manager gives the keyboard to a dialog that opens and back to
    // the window below when it closes; without one the keyboard would stay
    // where it was or go nowhere. The open modal dialog gets it, else the
    // active window keeps it, else the first window that takes input.
    if (QWidget* modal = activeModalWidget()) {
        if (activeWindow() != modal) {
            modal->activateWindow();
        }
        return;
    }
    if (activeWindow() != nullptr && activeWindow()->isVisible()) {
        return;
    }
    for (QWidget* window : topLevelWidgets()) {
        if (window->isVisible() && window->isEnabled() &&
            (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog)) {
            window->activateWindow();
            return;
        }
    }
}

void TApplication::ShowException(const std::exception& error, QWidget* parent) {
    const QString text = QString::fromStdString(ErrorBoxText(error.what()));
    if (ErrorSink()) {
        ErrorSink()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(Title), text, QMessageBox::Ok,
                    parent);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

void TApplication::SetErrorSink(TErrorSink sink) {
    ErrorSink() = std::move(sink);
}

void TApplication::RunCommand(const std::function<void()>& command, QWidget* parent) {
    try {
        command();
    } catch (const std::exception& error) {
        ShowException(error, parent);
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    // Last line of defence: an exception must never unwind through Qt's event loop.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error, activeWindow());
    }
    return false;
}

} // namespace tabula
