#pragma once

#include <string>

namespace tabula {

// A character as messages name it: `the character "é" (U+00E9)`, or only its
// code point for a control character, which would not show.
std::string CharacterText(char32_t cp);

} // namespace tabula
