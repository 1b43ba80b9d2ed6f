#include "app/Application.h"

#include "app/ErrorText.h"
#include "platform/PrivateDirectory.h"

#include <QMessageBox>
#include <QSettings>

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
    try {
        settings_ = std::make_unique<TPrivateDirectory>(TemporaryDirectory(), "tabula-settings-");
        const QString path = QString::fromStdString(settings_->Path());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    } catch (const EPrivateDirectoryError&) {
        // No temporary directory: the choosers keep their history where Qt
        // puts it, which loses nothing of the user's.
    }
}

TApplication::~TApplication() = default;

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
