#pragma once

#include <algorithm>
#include <string_view>

namespace tabula {

// The blanks of the datafiles' texts: space, tab, CR and LF, as XML counts them.
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// True for a text of blanks alone (and the empty text).
constexpr bool IsBlankText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsBlank);
}

// The text without its leading and trailing blanks.
constexpr std::string_view TrimmedBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace tabula
