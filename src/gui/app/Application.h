#pragma once

#include "gui/common/ProgramTitle.h"

#include <QApplication>

#include <exception>
#include <functional>

class QWidget;

namespace tabula {

// The application object: holds the title and the default error handling
// for anything a menu command lets escape.
class TApplication : public QApplication {
    Q_OBJECT
public:
    static constexpr const char* Title = ProgramTitle;
    // Where Qt's settings would go: no folder can be made below a device.
    static constexpr const char* NoSettingsPath = "/dev/null/tabula";
    // The installed desktop entry's name, without ".desktop".
    static constexpr const char* DesktopId = "io.github.tabula.tabula";

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // Shows the default error box (error icon, title "tabula", the message with
    // its closing "." rule) for an exception that ended a command. Tests may
    // replace the box with a recorder through SetErrorSink.
    static void ShowException(const std::exception& error, QWidget* parent = nullptr);

    using TErrorSink = std::function<void(const QString& text)>;
    static void SetErrorSink(TErrorSink sink);

    // Runs a command; an exception that escapes it goes to ShowException and
    // the program goes on.
    static void RunCommand(const std::function<void()>& command, QWidget* parent = nullptr);

    bool notify(QObject* receiver, QEvent* event) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceKeyboard();
};

} // namespace tabula
