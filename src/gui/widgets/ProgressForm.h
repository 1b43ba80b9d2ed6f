#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace tabula {

class TGradientBar;
class TTransparentImage;

// Called once when the user asks to stop; bound to its object by the caller.
using TCancelEvent = std::function<void()>;

// The small window a long operation shows: a line of text, a percentage bar,
// a picture and a Cancel button. A top-level window without a parent, so it
// stays usable while the window that started the operation is disabled.
class TProgressForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 296;
    static constexpr int ClientHeight = 69;

    TProgressForm();

    QLabel* WaitInfo = nullptr;
    TTransparentImage* Image1 = nullptr;
    TGradientBar* WaitProgressBar = nullptr;
    QPushButton* Cancel = nullptr;

    TCancelEvent OnCancel;

    // Disables the button (so a second click cannot happen), then calls
    // OnCancel if it is set. Stops and hides nothing.
    void CancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    // A close request (the window manager's close box, Alt+F4) presses
    // Cancel; only the operation that showed the window hides it.
    void closeEvent(QCloseEvent* event) override;
    // Escape presses Cancel.
    void keyPressEvent(QKeyEvent* event) override;
    // The window cannot stay minimised while it is up: the window below is
    // disabled, and Cancel would be out of reach.
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    // Clicks Cancel when it is shown and enabled.
    void PressCancel();
};

} // namespace tabula
