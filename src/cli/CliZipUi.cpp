#include "cli/CliZipUi.h"

namespace tabula {

namespace {

// The component's boxes break their lines with CR LF; one message is one
// line here.
std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

} // namespace

void TCliZipUi::ShowMessage(const std::string& text) {
    progress_.Message(OneLine(text));
}

TVolumeAnswer TCliZipUi::AskForVolume(const std::string& text, bool /*stopIcon*/) {
    progress_.Message(OneLine(text) + " (answered Cancel)");
    return TVolumeAnswer::Cancel;
}

} // namespace tabula
