#pragma once

#include <string>
#include <string_view>

namespace tabula {

// Text conversions between this program's UTF-8 strings and the 8-bit code
// pages that archives and the datafile use.

// Code page 437 (the DOS code page of zip names with host 0) to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);

// Windows-1252 to UTF-8. The five bytes 1252 leaves undefined become the C1
// controls of the same number, so every byte string converts and back.
std::string Windows1252ToUtf8(std::string_view bytes);

// True when bytes is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// UTF-8 to Windows-1252. Returns false, with the first character that 1252
// cannot hold in *unmappable (or U+FFFD for malformed UTF-8), and leaves out
// untouched in that case.
bool Utf8ToWindows1252(std::string_view utf8, std::string& out, char32_t* unmappable = nullptr);

// A file name from the disk as text: kept when it is valid UTF-8, read as
// Windows-1252 otherwise (so every name has a text, and saves back to the
// bytes it came from).
std::string FileNameText(std::string_view name);

// A path as text: each of its "/"-separated names read as FileNameText does.
std::string PathText(std::string_view path);

// A path or name as a message quotes it: PathText in double quotes.
std::string QuotedPath(std::string_view path);

// Any bytes as valid UTF-8: well-formed sequences kept, every other byte read
// as Windows-1252. Valid UTF-8 comes back unchanged.
std::string ValidUtf8Text(std::string_view bytes);

// Decodes the code point starting at bytes[pos] and advances pos past it;
// malformed input yields U+FFFD and advances one byte.
char32_t NextCodePoint(std::string_view bytes, size_t& pos);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t cp);

} // namespace tabula
