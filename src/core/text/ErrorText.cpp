#include "core/text/ErrorText.h"

namespace tabula {

std::string ErrorBoxText(const std::string& message) {
    // Compare as unsigned bytes: a message ending in a UTF-8 sequence ends after ".".
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

} // namespace tabula
