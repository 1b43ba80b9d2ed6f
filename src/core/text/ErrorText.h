#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabula {

// The text of the default error box: the message with a "." appended when its
// last character comes after "." in character order.
std::string ErrorBoxText(const std::string& message);

// text in double quotes for a message that names it; a text longer than
// MaxQuoted bytes keeps its start (never half a UTF-8 sequence) and says how
// long it was, so a crafted file cannot make a message as large as itself.
constexpr std::size_t MaxQuoted = 80;
std::string QuotedForMessage(std::string_view text);

} // namespace tabula
