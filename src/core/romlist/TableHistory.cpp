#include "core/romlist/TableHistory.h"

namespace tabula {

void TTableHistory::Record(TTableStep step) {
    std::erase_if(step, [](const TTableChange& change) { return change.Empty(); });
    if (step.empty()) {
        return;
    }
    redo_.clear();
    redoIds_.clear();
    undo_.push_back(std::move(step));
    undoIds_.push_back(nextId_++);
    while (undo_.size() > MaxSteps) {
        undo_.pop_front();
        baseId_ = undoIds_.front();
        undoIds_.pop_front();
    }
}

TTableStep* TTableHistory::Undo() {
    if (undo_.empty()) {
        return nullptr;
    }
    redo_.push_back(std::move(undo_.back()));
    undo_.pop_back();
    redoIds_.push_back(undoIds_.back());
    undoIds_.pop_back();
    return &redo_.back();
}

TTableStep* TTableHistory::Redo() {
    if (redo_.empty()) {
        return nullptr;
    }
    undo_.push_back(std::move(redo_.back()));
    redo_.pop_back();
    undoIds_.push_back(redoIds_.back());
    redoIds_.pop_back();
    return &undo_.back();
}

void TTableHistory::Clear() {
    undo_.clear();
    redo_.clear();
    undoIds_.clear();
    redoIds_.clear();
    baseId_ = nextId_++; // a new table: no earlier state is this one
}

} // namespace tabula
