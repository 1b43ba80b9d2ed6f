// The FilesInfo block of a 7z header: the members' names, which of them
// have no stream, and their attributes.

#include "core/archive/SevenZipHeaderReader.h"

namespace tabula::sevenzip {

namespace {

// A packed header of a few KiB can unpack to a count of millions; each
// member costs far more memory than its header bytes, so the count is held
// to what any collection could hold.
constexpr uint32_t MaxMembers = uint32_t{1} << 22;
constexpr uint32_t DirectoryAttribute = 0x10;
constexpr uint32_t UnixExtension = 0x8000;
constexpr uint32_t UnixFileType = 0170000;
constexpr uint32_t UnixSymbolicLink = 0120000;

void AppendUtf8(std::string& text, uint32_t code) {
    constexpr uint8_t Lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int more = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    text += static_cast<char>(Lead[more] | (code >> (6 * more)));
    for (int i = more - 1; i >= 0; --i) {
        text += static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F));
    }
}

// Names are zero-terminated UTF-16LE, one per member, filling the property.
void ReadNames(THeaderReader& property, std::vector<TSevenZipMember>& members) {
    DamagedIf(property.Byte() != 0, "its names lie outside the header");
    std::vector<uint32_t> units;
    for (TSevenZipMember& member : members) {
        units.clear();
        for (auto unit = property.Bytes(2); unit[0] != 0 || unit[1] != 0;
             unit = property.Bytes(2)) {
            units.push_back(static_cast<uint32_t>(unit[0] | unit[1] << 8));
        }
        for (size_t i = 0; i < units.size(); ++i) {
            uint32_t code = units[i];
            const bool high = code >= 0xD800 && code < 0xDC00;
            if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
            } else if (code >= 0xD800 && code < 0xE000) {
                code = 0xFFFD;
            }
            AppendUtf8(member.Name, code);
        }
    }
    DamagedIf(property.Remaining() != 0, "its names do not fill their space");
}

void ReadAttributes(THeaderReader& property, std::vector<TSevenZipMember>& members,
                    std::vector<bool>& directory) {
    const bool allDefined = property.Byte() != 0;
    const auto defined = allDefined ? std::span<const uint8_t>() : property.Bits(members.size());
    DamagedIf(property.Byte() != 0, "its attributes lie outside the header");
    for (size_t i = 0; i < members.size(); ++i) {
        if (allDefined || Bit(defined, i)) {
            const uint32_t attributes = property.U32();
            directory[i] = (attributes & DirectoryAttribute) != 0;
            // A Unix mode in the high half: a symbolic link stores its target as data.
            members[i].IsLink = (attributes & UnixExtension) != 0 &&
                                (attributes >> 16 & UnixFileType) == UnixSymbolicLink;
        }
    }
}

} // namespace

std::vector<TSevenZipMember> ReadFilesInfo(THeaderReader& reader) {
    const uint32_t count = reader.Count();
    DamagedIf(count > MaxMembers, "it lists an implausible number of members");
    std::vector<TSevenZipMember> members(count);
    std::vector<bool> directory(members.size());
    std::span<const uint8_t> emptyStream, emptyFile, anti;
    size_t empties = 0;
    for (uint64_t id = reader.Number(); id != IdEnd; id = reader.Number()) {
        THeaderReader property = reader.Property();
        if (id == IdEmptyStream) {
            emptyStream = property.Bits(members.size());
            empties = 0;
            for (size_t i = 0; i < members.size(); ++i) {
                empties += Bit(emptyStream, i);
            }
        } else if (id == IdEmptyFile) {
            emptyFile = property.Bits(empties);
        } else if (id == IdAnti) {
            anti = property.Bits(empties);
        } else if (id == IdName) {
            ReadNames(property, members);
        } else if (id == IdWinAttributes) {
            ReadAttributes(property, members, directory);
        }
    }
    for (size_t i = 0, empty = 0; i < members.size(); ++i) {
        if (!Bit(emptyStream, i)) {
            continue;
        }
        TSevenZipMember& member = members[i];
        member.HasStream = false;
        member.IsAnti = Bit(anti, empty);
        member.IsDirectory = directory[i] || !Bit(emptyFile, empty);
        ++empty;
    }
    return members;
}

} // namespace tabula::sevenzip
