#include "cli/TerminalText.h"

#include "core/text/CodePages.h"

#include <algorithm>

namespace tabula {

namespace {

bool IsControl(char32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
}

std::string Escaped(std::string_view bytes, bool escapeBackslash) {
    // Most texts hold nothing to escape: printable ASCII comes back as it is.
    const bool plain = std::all_of(bytes.begin(), bytes.end(), [&](char c) {
        return c >= 0x20 && c < 0x7F && !(escapeBackslash && c == '\\');
    });
    if (plain) {
        return std::string(bytes);
    }
    const std::string text = ValidUtf8Text(bytes);
    std::string out;
    out.reserve(text.size() + 8);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const char32_t cp = NextCodePoint(text, pos);
        if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\\' && escapeBackslash) {
            out += "\\\\";
        } else if (IsControl(cp)) {
            static constexpr char Digits[] = "0123456789abcdef";
            out += "\\x";
            out += Digits[(cp >> 4) & 0xF];
            out += Digits[cp & 0xF];
        } else {
            out.append(text, start, pos - start);
        }
    }
    return out;
}

} // namespace

void AppendTerminalCell(std::string& out, std::string_view text) {
    // Printable ASCII with folder separators (every row of a walked tree)
    // needs only its backslashes doubled.
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        out += Escaped(text, true);
        return;
    }
    for (size_t slash = text.find('\\'); slash != std::string_view::npos; slash = text.find('\\')) {
        out.append(text.substr(0, slash + 1));
        out += '\\';
        text.remove_prefix(slash + 1);
    }
    out.append(text);
}

std::string TerminalMessage(std::string_view text) {
    return Escaped(text, false);
}

} // namespace tabula
