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

} // namespace tabula
