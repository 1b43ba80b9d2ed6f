#pragma once

#include "core/zip/ZipOptions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tabula {

// True when a member's stored name and comment are in the DOS code page 437:
// always for cpOEM, for cpAuto when the host system is 0 (MS-DOS/FAT), and
// whatever the option for host 6 (HPFS) and for host 11 (NTFS) with format
// version 50.
bool ZipTextIsOem(uint16_t versionMadeBy, CodePageOpts codePage);

// A member's stored name or comment as UTF-8: taken as is when the archive
// flags it UTF-8 (general purpose bit 11) and it is valid UTF-8; else read
// as code page 437 where ZipTextIsOem says so; else kept when valid UTF-8 and
// read as Windows-1252 otherwise. Every stored byte becomes one character
// unless the text is UTF-8 already.
std::string ZipTextToUtf8(std::string_view stored, uint16_t versionMadeBy, uint16_t flags,
                          CodePageOpts codePage);

// The archive comment as UTF-8: no DOS conversion, so kept when valid UTF-8
// and read as Windows-1252 otherwise.
std::string ArchiveCommentToUtf8(std::string_view stored);

// A member name with every "/" made "\\", as the component gives names.
std::string WithBackslashes(std::string name);

// A member name or spec as they are matched against each other: ASCII
// letters in lower case, "/" and "\\" alike.
std::string FoldedMemberName(std::string name);

} // namespace tabula
