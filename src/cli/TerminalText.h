#pragma once

#include <string>
#include <string_view>

namespace tabula {

// Text made safe to print: any byte that is not valid UTF-8 is read as
// Windows-1252, and every control character (C0, DEL and the C1 range
// U+0080 to U+009F) is written out so no name can move the cursor, erase or
// rewrite a line. A tab, line feed and carriage return become \t, \n and \r,
// the others \x followed by two lower-case hexadecimal digits (ESC is \x1b).
// For a printed cell a backslash becomes \\ too, so the escapes read back
// unambiguously; messages keep their backslashes (zip folders use them).
// Appends the cell's text so escaped to out, without a text of its own when
// nothing needs escaping.
void AppendTerminalCell(std::string& out, std::string_view text);
std::string TerminalMessage(std::string_view text);

} // namespace tabula
