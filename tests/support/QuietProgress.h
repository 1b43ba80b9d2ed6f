#pragma once

#include "core/scan/ScanDriver.h"

namespace tabula::test {

// A scan's progress that shows nothing and never asks to stop.
class TQuietProgress : public IScanProgress {
public:
    void SetMax(int) override {}
    void StepPosition() override {}
    void SetWaitString(const std::string&) override {}
    void Pump() override {}
    bool CancelRequested() override { return false; }
};

} // namespace tabula::test
