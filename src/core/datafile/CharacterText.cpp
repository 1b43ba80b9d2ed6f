#include "core/datafile/CharacterText.h"

#include "core/text/CodePages.h"

#include <cstdio>

namespace tabula {

std::string CharacterText(char32_t cp) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
    const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
    if (control) {
        return std::string("the character ") + code;
    }
    std::string text = "the character \"";
    AppendUtf8(text, cp);
    return text + "\" (" + code + ")";
}

} // namespace tabula
