#pragma once

#include "cli/TerminalProgress.h"
#include "core/zip/ZipUi.h"

#include <string>

namespace tabula {

// The zip component's user on the command line: its messages go to the
// standard error stream and a question for another volume is answered
// Cancel, since nobody is there to insert a disk.
class TCliZipUi : public IZipUi {
public:
    explicit TCliZipUi(TTerminalProgress& progress) : progress_(progress) {}

    void ShowMessage(const std::string& text) override;
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override;
    void SetBusy(bool /*busy*/) override {}
    void Pump() override {}

private:
    TTerminalProgress& progress_;
};

} // namespace tabula
