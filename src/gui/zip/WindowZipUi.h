#pragma once

#include "core/zip/ZipUi.h"
#include "gui/common/PumpThrottle.h"

class QWidget;

namespace tabula {

// The zip component's user in the window: its messages and volume prompts
// in modal boxes captioned with the application's title, the busy pointer
// while it reads, and events handled while it extracts. The boxes belong to
// the owner window, or to the progress window while a scan has the owner
// disabled, so they can be answered.
class TWindowZipUi : public IZipUi {
public:
    // owner: the main window; fallback: the window that stays usable while
    // owner is disabled (the progress window), may be null.
    TWindowZipUi(QWidget* owner, QWidget* fallback);
    ~TWindowZipUi() override;

    void ShowMessage(const std::string& text) override;
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override;
    void SetBusy(bool busy) override;
    void Pump() override;

private:
    QWidget* BoxParent() const;

    QWidget* owner_;
    QWidget* fallback_;
    int busy_ = 0;
    TPumpThrottle throttle_;
};

} // namespace tabula
