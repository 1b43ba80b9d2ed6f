#pragma once

#include "core/scan/ScanDriver.h"
#include "gui/common/PumpThrottle.h"

#include <functional>
#include <string>

namespace tabula {

class TProgressFrm;

// The scan's progress in the progress window. The position and the text of
// every file are kept, and shown (with pending events handled and the rows
// found so far painted) at most every 30 ms, so the window stays live
// without making a scan of many small files wait for the screen.
class TScanProgress : public IScanProgress {
public:
    // cancelled tells whether the user asked to stop; shown runs each time
    // the window is brought up to date, before events are handled.
    TScanProgress(TProgressFrm& progress, std::function<bool()> cancelled,
                  std::function<void()> shown);

    void SetMax(int max) override;
    void StepPosition() override { ++position_; }
    void SetWaitString(const std::string& text) override { text_ = text; }
    void Pump() override;
    bool CancelRequested() override { return cancelled_(); }

    // Brings the window up to date now.
    void Show();

private:
    TProgressFrm& progress_;
    std::function<bool()> cancelled_;
    std::function<void()> shown_;
    TPumpThrottle throttle_;
    int position_;
    std::string text_;
};

} // namespace tabula
