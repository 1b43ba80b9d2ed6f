#include "core/zip/ZipText.h"

#include "core/text/CodePages.h"

namespace tabula {

namespace {

constexpr uint16_t Utf8Flag = 1u << 11;
constexpr uint8_t HostDos = 0;
constexpr uint8_t HostHpfs = 6;
constexpr uint8_t HostNtfs = 11;

bool AllAscii(std::string_view bytes) {
    unsigned char any = 0;
    for (const char c : bytes) {
        any |= static_cast<unsigned char>(c);
    }
    return any < 0x80;
}

} // namespace

bool ZipTextIsOem(uint16_t versionMadeBy, CodePageOpts codePage) {
    const auto host = static_cast<uint8_t>(versionMadeBy >> 8);
    const auto version = static_cast<uint8_t>(versionMadeBy & 0xFF);
    return codePage == CodePageOpts::cpOEM ||
           (codePage == CodePageOpts::cpAuto && host == HostDos) || host == HostHpfs ||
           (host == HostNtfs && version == 50);
}

std::string ZipTextToUtf8(std::string_view stored, uint16_t versionMadeBy, uint16_t flags,
                          CodePageOpts codePage) {
    if (AllAscii(stored)) {
        return std::string(stored);
    }
    if ((flags & Utf8Flag) != 0 && IsValidUtf8(stored)) {
        return std::string(stored);
    }
    if (ZipTextIsOem(versionMadeBy, codePage)) {
        return Cp437ToUtf8(stored);
    }
    return ArchiveCommentToUtf8(stored);
}

std::string ArchiveCommentToUtf8(std::string_view stored) {
    if (IsValidUtf8(stored)) {
        return std::string(stored);
    }
    return Windows1252ToUtf8(stored);
}

std::string WithBackslashes(std::string name) {
    // find() is a vectorised search; names hold few separators.
    for (size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1)) {
        name[at] = '\\';
    }
    return name;
}

std::string FoldedMemberName(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        } else if (c == '/') {
            c = '\\';
        }
    }
    return name;
}

} // namespace tabula
