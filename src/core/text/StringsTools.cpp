#include "core/text/StringsTools.h"

#include "core/text/CodePages.h"

#include <algorithm>
#include <charconv>

namespace tabula {

namespace {

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Moves pos past one character; ASCII, nearly every name, without a call.
void StepCharacter(std::string_view text, std::size_t& pos) {
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
        ++pos;
    } else {
        NextCodePoint(text, pos);
    }
}

} // namespace

std::ptrdiff_t CharCount(std::string_view text) {
    std::ptrdiff_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        StepCharacter(text, pos);
    }
    return count;
}

std::string SubString(std::string_view text, std::ptrdiff_t from, std::ptrdiff_t to) {
    from = std::max<std::ptrdiff_t>(from, 1);
    if (to < from) {
        return {};
    }
    std::size_t pos = 0;
    std::ptrdiff_t index = 1;
    for (; pos < text.size() && index < from; ++index) {
        StepCharacter(text, pos);
    }
    const std::size_t begin = pos;
    for (; pos < text.size() && index <= to; ++index) {
        StepCharacter(text, pos);
    }
    return std::string(text.substr(begin, pos - begin));
}

namespace {

// The last position of any of the bytes in set, scanning once from the end
// (find_last_of searches the set again for every byte of the text).
template <size_t N> std::size_t LastOf(std::string_view text, const char (&set)[N]) {
    for (std::size_t i = text.size(); i-- > 0;) {
        for (std::size_t k = 0; k + 1 < N; ++k) {
            if (text[i] == set[k]) {
                return i;
            }
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string ShortFileName(std::string_view path) {
    // Separators are ASCII, and ASCII bytes never occur inside a multi-byte
    // UTF-8 sequence, so a byte search cannot cut a character.
    const std::size_t slash = LastOf(path, "/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string NameWithoutExt(std::string_view path) {
    if (path.find('.') == std::string_view::npos) {
        return std::string(path);
    }
    // The extension as it stands, of whatever length: from the name's last
    // dot, unless that dot starts the name (".hidden" has none).
    std::string name = ShortFileName(path);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

std::string FileNamePart(std::string_view path) {
    return ShortFileName(path);
}

std::string FileExtension(std::string_view path) {
    const std::size_t last = LastOf(path, "./\\");
    if (last == std::string_view::npos || path[last] != '.') {
        return {};
    }
    return std::string(path.substr(last));
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
    return out;
}

std::string HexText(std::uint32_t value) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) {
        out[static_cast<std::size_t>(i)] = Digits[value & 0xFu];
    }
    return out;
}

std::string FolderNameText(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::size_t slash = path.find_last_of('/');
    return FileNameText(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::string DecimalText(std::int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace tabula
