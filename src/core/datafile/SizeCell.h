#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tabula {

// A text that is not an integer; the message comes from the run-time layer
// and is therefore French.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Converts a rom size cell to a signed 32-bit integer. Leading blanks are
// skipped; then either an optional "+" or "-" with decimal digits within the
// signed 32-bit range, or "$", "x", "X", "0x" or "0X" followed by one to eight
// hexadecimal digits taken as a 32-bit pattern ("$FFFFFFFF" is -1). Nothing
// may follow the digits. Anything else throws EConvertError with
// "'<text>' n'est pas une valeur entière correcte".
std::int32_t SizeCellToInt(std::string_view text);

// Converts a rom size cell to a byte count of any size a file can have, for
// the formats that hold one: leading blanks, an optional "+", decimal digits
// up to 2^63 - 1, nothing after them. Anything else throws EConvertError with
// the message above.
std::int64_t SizeCellToByteCount(std::string_view text);

} // namespace tabula
