#include "core/text/ErrorText.h"

namespace tabula {

std::string ErrorBoxText(const std::string& message) {
    // Compare as unsigned bytes: a message ending in a UTF-8 sequence ends after ".".
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

std::string QuotedForMessage(std::string_view text) {
    if (text.size() <= MaxQuoted) {
        return "\"" + std::string(text) + "\"";
    }
    std::size_t cut = MaxQuoted - 20;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut; // a continuation byte: the sequence starts before it
    }
    return "\"" + std::string(text.substr(0, cut)) + "...\" (a text of " +
           std::to_string(text.size()) + " bytes)";
}

} // namespace tabula
