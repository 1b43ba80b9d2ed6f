#pragma once

#include <string>

namespace tabula {

// The text of the default error box: the message with a "." appended when its
// last character comes after "." in character order.
std::string ErrorBoxText(const std::string& message);

} // namespace tabula
