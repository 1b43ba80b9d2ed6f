#pragma once

#include "core/scan/ScanDriver.h"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace tabula {

// The command line's progress display: one line on the terminal, redrawn in
// place, with a bar, the count and the file being processed. It also prints
// the messages of the scan (failed files, the zip component's texts), taking
// the bar line away first so that a message never mixes with it. With
// drawing off only the messages are written.
class TTerminalProgress : public IScanProgress {
public:
    TTerminalProgress(std::ostream& err, bool draw, int columns);

    void SetMax(int max) override { max_ = max; }
    void StepPosition() override { ++position_; }
    void SetWaitString(const std::string& text) override { waitString_ = text; }
    void Pump() override;
    // True once the check set with SetStopCheck says so (a signal came, the
    // datafile cannot be written).
    bool CancelRequested() override { return stopCheck_ && stopCheck_(); }
    void SetStopCheck(std::function<bool()> check) { stopCheck_ = std::move(check); }
    void FileFailed(const TScanFailure& failure) override;

    // Prints one line of text, prefixed with the program's name.
    void Message(const std::string& text);
    // Takes the bar line away, if it is shown.
    void ClearLine();
    bool Drawing() const { return draw_; }

    // The bar line for a position out of max and a text, at most columns - 1
    // characters wide so the terminal never wraps it.
    static std::string BarLine(int position, int max, const std::string& text, int columns);

private:
    std::ostream& err_;
    std::function<bool()> stopCheck_;
    bool draw_;
    int columns_;
    int max_ = 0;
    int position_ = 0;
    std::string waitString_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace tabula
