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

// Optional sign and decimal digits, within [-negativeLimit, positiveLimit].
std::int64_t ParseDecimal(std::string_view rest, std::string_view text, std::uint64_t positiveLimit,
                          std::uint64_t negativeLimit) {
    bool negative = false;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        Fail(text);
    }
    // Stop as soon as the magnitude leaves the range, so any number of
    // leading zeros is fine and no digit string overflows.
    const std::uint64_t limit = negative ? negativeLimit : positiveLimit;
    std::uint64_t magnitude = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            Fail(text);
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (digit > limit || magnitude > (limit - digit) / 10) {
            Fail(text);
        }
        magnitude = magnitude * 10 + digit;
    }
    return negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

std::string_view WithoutLeadingBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

} // namespace

std::int32_t SizeCellToInt(std::string_view text) {
    const std::string_view rest = WithoutLeadingBlanks(text);
    if (!rest.empty() && (rest.front() == '$' || rest.front() == 'x' || rest.front() == 'X')) {
        return ParseHex(rest.substr(1), text);
    }
    if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        return ParseHex(rest.substr(2), text);
    }
    return static_cast<std::int32_t>(ParseDecimal(rest, text, 2147483647u, 2147483648u));
}

std::int64_t SizeCellToByteCount(std::string_view text) {
    return ParseDecimal(WithoutLeadingBlanks(text), text, INT64_MAX, 0);
}

} // namespace tabula
