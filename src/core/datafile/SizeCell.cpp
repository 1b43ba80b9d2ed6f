#include "core/datafile/SizeCell.h"

#include "core/text/HexDigit.h"

namespace tabula {

namespace {

[[noreturn]] void Fail(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' n'est pas une valeur entière correcte");
}

// The digits after a hexadecimal prefix: one to eight, nothing after them.
std::int32_t ParseHex(std::string_view digits, std::string_view text) {
    if (digits.empty() || digits.size() > 8) {
        Fail(text);
    }
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            Fail(text);
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t ParseDecimal(std::string_view rest, std::string_view text) {
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        Fail(text);
    }
    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the
    // range, so any number of leading zeros is fine and no digit string overflows.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            Fail(text);
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            Fail(text);
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

} // namespace

std::int32_t SizeCellToInt(std::string_view text) {
    std::string_view rest = text;
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    if (!rest.empty() && (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X')) {
        return ParseHex(rest.substr(1), text);
    }
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        return ParseHex(rest.substr(2), text);
    }
    return ParseDecimal(rest, text);
}

} // namespace tabula
