#include "gui/scan/ScanProgress.h"

#include "gui/widgets/ProgressFrm.h"

namespace tabula {

TScanProgress::TScanProgress(TProgressFrm& progress, std::function<bool()> cancelled,
                             std::function<void()> shown)
    : progress_(progress), cancelled_(std::move(cancelled)), shown_(std::move(shown)),
      position_(progress.Position()) {}

void TScanProgress::SetMax(int max) {
    progress_.SetMax(max);
}

void TScanProgress::Pump() {
    if (throttle_.Due()) {
        Show();
    }
}

void TScanProgress::Show() {
    if (shown_) {
        shown_();
    }
    // Each setter handles pending events, where a click on Cancel arrives.
    if (position_ != progress_.Position()) {
        progress_.SetPosition(position_);
    }
    const QString text = QString::fromStdString(text_);
    if (!text_.empty() && text != progress_.WaitString()) {
        progress_.SetWaitString(text);
    }
}

} // namespace tabula
