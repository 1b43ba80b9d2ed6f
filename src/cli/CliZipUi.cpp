#include "cli/CliZipUi.h"

namespace tabula {

int TCliZipUi::AskForVolume(const std::string& text, bool /*stopIcon*/) {
    progress_.Message(text + " (answered Cancel)");
    return CancelAnswer;
}

} // namespace tabula
