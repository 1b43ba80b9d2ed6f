#include "core/romlist/TableHistory.h"

namespace tabula {

void TTableHistory::Record(TTableStep step) {
    std::erase_if(step, [](const TTableChange& change) { return change.Empty(); });
    if (step.empty()) {
        return;
    }
    redo_.clear();
    undo_.push_back(std::move(step));
    while (undo_.size() > MaxSteps) {
        undo_.pop_front();
    }
}

TTableStep* TTableHistory::Undo() {
    if (undo_.empty()) {
        return nullptr;
    }
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    return &redo_.back();
}

TTableStep* TTableHistory::Redo() {
    if (redo_.empty()) {
        return nullptr;
    }
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    return &undo_.back();
}

void TTableHistory::Clear() {
    undo_.clear();
    redo_.clear();
}

} // namespace tabula
