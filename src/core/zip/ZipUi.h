#pragma once

#include <string>

namespace tabula {

// The user's answer to a volume prompt; the numbers are the modal results of
// the prompt's box, kept so a stored or printed answer reads the same.
enum class TVolumeAnswer : int {
    NotShown = 0, // the question could not be asked
    Ok = 1,
    Cancel = 2,
};

// What the zip component needs of the user: a front end implements it (the
// GUI with a message box and the busy cursor, a command line by printing), a
// test records the calls. The component runs without one, showing nothing.
class IZipUi {
public:
    virtual ~IZipUi() = default;
    // Shows a failure text in a modal message box.
    virtual void ShowMessage(const std::string& text) = 0;
    // Asks for a volume of a set with OK and Cancel. stopIcon marks the
    // question for the last disk.
    virtual TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) = 0;
    // Shows (true) or ends (false) the busy pointer.
    virtual void SetBusy(bool busy) = 0;
    // Handles pending user-interface events.
    virtual void Pump() = 0;
};

// Shows the busy pointer for a scope.
class TZipBusyScope {
public:
    explicit TZipBusyScope(IZipUi* ui) : ui_(ui) {
        if (ui_ != nullptr) {
            ui_->SetBusy(true);
        }
    }
    ~TZipBusyScope() { End(); }
    TZipBusyScope(const TZipBusyScope&) = delete;
    TZipBusyScope& operator=(const TZipBusyScope&) = delete;
    void End() {
        if (ui_ != nullptr) {
            ui_->SetBusy(false);
            ui_ = nullptr;
        }
    }

private:
    IZipUi* ui_;
};

} // namespace tabula
