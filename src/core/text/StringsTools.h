#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tabula {

// Text and file-name helpers of the scan. Text is UTF-8; where a helper counts
// characters it counts code points (a byte that starts no valid sequence counts
// as one character), so a multi-byte character is never cut in two. Positions
// are 1-based. Both "/" and "\" separate folders (zip member names carry "\");
// ":" is an ordinary character.

// Number of characters in text.
std::ptrdiff_t CharCount(std::string_view text);

// The characters at positions from to to, inclusive. A range past the end stops
// at the end; to < from, or from beyond the end, gives the empty text. A from
// below 1 counts from the first character.
std::string SubString(std::string_view text, std::ptrdiff_t from, std::ptrdiff_t to);

// The text after the last "/" or "\"; the whole path when it holds neither,
// the empty text when it ends with one.
std::string ShortFileName(std::string_view path);

// When the path holds a "." anywhere (folders included): its ShortFileName
// without its extension, from the last "." on ("Tetris (World).gb" gives
// "Tetris (World)", "abc." gives "abc"), unless that dot starts the name
// (".hidden" stays). Otherwise the path unchanged.
std::string NameWithoutExt(std::string_view path);

// The file-name part of a path: the same split as ShortFileName.
std::string FileNamePart(std::string_view path);

// The extension: from the last "." to the end, dot included, when that dot
// comes after the last "/" or "\"; otherwise the empty text.
std::string FileExtension(std::string_view path);

// Case mapping of the ASCII letters only; every other byte stays as it is.
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// Exactly eight upper-case hexadecimal digits, zero-padded.
std::string HexText(std::uint32_t value);

// A folder's own name (the last of its path, trailing "/" ignored) as text
// (see FileNameText): "/roms/nes/" gives "nes".
std::string FolderNameText(std::string path);

// Decimal digits, with a leading "-" when negative.
std::string DecimalText(std::int64_t value);

} // namespace tabula
