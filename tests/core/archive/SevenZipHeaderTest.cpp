// The 7z header reader: archives made by 7-Zip (tests/data/archive, see
// tests/data/README.md) and layouts built here byte by byte.

#include "core/archive/SevenZipHeader.h"
#include "core/archive/Codecs.h"
#include "core/bytes/ByteCursor.h"
#include "core/checksum/CrcUpdate.h"

#include "tests/support/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

using namespace tabula;
using tabula::test::ReadBytes;
using tabula::test::TestDataFile;

namespace {

std::string Archive7z(const std::string& name) {
    return ReadBytes(TestDataFile("archive/" + name));
}

TSevenZipListing List(const std::string& bytes) {
    return ReadSevenZipListing(bytes.size(), [&](uint64_t at, uint8_t* out, size_t size) {
        const size_t count = at < bytes.size() ? std::min<size_t>(size, bytes.size() - at) : 0;
        if (count > 0) {
            std::memcpy(out, bytes.data() + at, count);
        }
        return count;
    });
}

// The fault the listing fails with, or nothing when it lists.
std::optional<TSevenZipFault> FaultOf(const std::string& bytes) {
    try {
        List(bytes);
    } catch (const ESevenZipError& error) {
        return error.Fault();
    }
    return std::nullopt;
}

uint32_t Crc(const std::string& bytes) {
    return CrcOf(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

std::string Le(uint64_t value, int size) {
    std::string bytes;
    for (int i = 0; i < size; ++i) {
        bytes += static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

// A number in the header's variable-length form; small ones suffice here.
std::string Num(uint64_t value) {
    return value < 0x80 ? Le(value, 1) : Le(0x80 | value >> 8, 1) + Le(value, 1);
}

// A whole archive: the signature header, packed data, then the header.
std::string Archive(const std::string& packed, const std::string& header) {
    const std::string start = Le(packed.size(), 8) + Le(header.size(), 8) + Le(Crc(header), 4);
    return std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8) + Le(Crc(start), 4) + start + packed +
           header;
}

// The archive's packed data and its header.
std::pair<std::string, std::string> Split(const std::string& archive) {
    const size_t start = 32 + TByteCursor(reinterpret_cast<const uint8_t*>(&archive[12]), 8).U64();
    return {archive.substr(32, start - 32), archive.substr(start)};
}

// plain-header.7z with its header moved into a folder of the given coder
// (its bytes from the flags on), stored as it is after the members' data.
std::string RepackedHeader(const std::string& coder) {
    const auto [data, header] = Split(Archive7z("plain-header.7z"));
    const std::string encoded = "\x17\x06" + Num(data.size()) + "\x01\x09" + Num(header.size()) +
                                std::string("\x00\x07\x0B\x01\x00\x01", 6) + coder + "\x0C" +
                                Num(header.size()) + "\x0A\x01" + Le(Crc(header), 4) +
                                std::string(2, '\0');
    return Archive(data + header, encoded);
}
const std::string CopyCoder("\x01\x00", 2);

// The output of a folder of one LZMA2 coder, to see that the listing points
// at the right bytes.
std::string UnpackFolder(const std::string& archive, const TSevenZipFolder& folder) {
    const auto decoder = MakeLzma2Decoder(folder.Coders.at(0).Properties, folder.UnpackSize);
    const auto in = std::as_bytes(std::span(archive).subspan(folder.PackOffset, folder.PackedSize));
    std::string out(folder.UnpackSize, '\0');
    for (size_t consumed = 0, produced = 0; produced < out.size();) {
        const TDecodeStep step = decoder->Decode(
            in.subspan(consumed), std::as_writable_bytes(std::span(out).subspan(produced)));
        consumed += step.Consumed;
        produced += step.Produced;
        if (step.Consumed == 0 && step.Produced == 0) {
            return out.substr(0, produced);
        }
    }
    return out;
}

// What a listing says of its members, a line each: name, size, CRC, flags.
std::string Describe(const TSevenZipListing& listing) {
    std::string text;
    for (const TSevenZipMember& member : listing.Members) {
        char crc[16] = "-";
        if (member.Crc) {
            std::snprintf(crc, sizeof crc, "%08x", *member.Crc);
        }
        text += member.Name + " " + std::to_string(member.Size) + " " + crc +
                (member.IsDirectory ? " dir" : "") + (member.HasStream ? "" : " nodata") +
                (member.IsAnti ? " anti" : "") + "\n";
    }
    return text;
}

// The sources of the archives and the values `7z l -slt` shows for them.
const std::string RomA = "NES\032 rom data for tabula tests\n";
const std::string RomQ(3000, 'Q');
const std::string ListedAQ = "a.nes 31 d68c03fb\ndir/rom.nes 3000 18a91019\n";

} // namespace

// Archives made by 7-Zip, and layouts it does not make: no members, a header
// in a Copy folder, items without data (an empty file, a folder, an empty
// file whose attributes say folder, a deletion) with archive properties,
// streams outside the members, an unknown property and UTF-16 surrogates.
TEST(SevenZipHeader, ListsWhatTheHeaderSays) {
    ASSERT_EQ(Crc(RomA), 0xD68C03FBu);
    ASSERT_EQ(Crc(RomQ), 0x18A91019u);
    const std::string names = std::string("\0a\0\0\0", 5) + std::string("s\0u\0b\0\0\0", 8) +
                              std::string("\x3D\xD8\x00\xDE.\0n\0\0\0", 10) +
                              std::string("x\0\x00\xD8y\0\0\0", 8);
    const std::string items =
        std::string("\x01\x02\x30\x01\xAA\x00", 6) +
        std::string("\x03\x06\x00\x01\x09\x05\x00\x07\x0B\x01\x00\x01\x00\x0C\x05\x00\x00", 17) +
        std::string("\x05\x04\x0E\x01\xF0\x0F\x01\xB0\x10\x01\x10\x40\x02\x12\x34", 15) + "\x11" +
        Num(names.size()) + names + std::string("\x15\x07\x00\x20\x00\x10\x00\x00\x00\x00\x00", 11);
    const struct {
        const char* Name;
        std::string Bytes;
        bool Encoded;
        size_t Folders;
        bool Encrypted;
        std::string Members;
    } cases[] = {
        {"solid.7z", Archive7z("solid.7z"), true, 1, false, ListedAQ},
        {"nonsolid.7z", Archive7z("nonsolid.7z"), true, 2, false, ListedAQ},
        {"plain-header.7z", Archive7z("plain-header.7z"), false, 1, false, ListedAQ},
        {"encrypted-data.7z", Archive7z("encrypted-data.7z"), true, 1, true, ListedAQ},
        {"empty-entries.7z", Archive7z("empty-entries.7z"), true, 1, false,
         "emptydir 0 - dir nodata\nempty.bin 0 - nodata\na.nes 31 d68c03fb\n"},
        {"no members", Archive("", ""), false, 0, false, ""},
        {"header in a Copy folder", RepackedHeader(CopyCoder), true, 1, false, ListedAQ},
        {"items without data", Archive("hello", items), false, 0, false,
         "a 0 - nodata\nsub 0 - dir nodata\n\xF0\x9F\x98\x80.n 0 - dir nodata\n"
         "x\xEF\xBF\xBDy 0 - nodata anti\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSevenZipListing listing = List(c.Bytes);
        EXPECT_EQ(Describe(listing), c.Members);
        EXPECT_EQ(listing.HeaderWasEncoded, c.Encoded);
        ASSERT_EQ(listing.Folders.size(), c.Folders);
        EXPECT_LE(listing.PackedEnd, c.Bytes.size());
        for (const TSevenZipFolder& folder : listing.Folders) {
            EXPECT_EQ(folder.Encrypted, c.Encrypted);
            EXPECT_LE(folder.PackOffset + folder.PackedSize, listing.PackedEnd);
        }
        // The members' bytes are where the listing says.
        for (const TSevenZipMember& member : listing.Members) {
            if (!c.Encrypted && member.HasStream) {
                const std::string output = UnpackFolder(c.Bytes, listing.Folders[member.Folder]);
                EXPECT_EQ(Crc(output.substr(member.FolderOffset, member.Size)), member.Crc);
            }
        }
    }
}

// A cut file, or the first volume of a split set, whose header is not there.
TEST(SevenZipHeader, CutArchiveIsTruncated) {
    for (const char* file : {"solid.7z", "plain-header.7z", "nonsolid.7z"}) {
        const std::string bytes = Archive7z(file);
        for (const size_t length : {size_t{10}, size_t{32}, bytes.size() / 2, bytes.size() - 1}) {
            SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(length));
            EXPECT_EQ(FaultOf(bytes.substr(0, length)), TSevenZipFault::Truncated);
        }
    }
}

// Every byte that the listing rests on is covered by a check: the signature,
// the start header's CRC, the header's CRC, and for a packed header its
// decompression and the CRC of what it unpacks to. Only the last bytes of a
// packed header, which the decoder need not read, may change unnoticed, and
// then they change nothing.
TEST(SevenZipHeader, AnyChangedHeaderByteIsDamage) {
    const std::pair<const char*, std::string> archives[] = {
        {"solid.7z", Archive7z("solid.7z")},
        {"plain-header.7z", Archive7z("plain-header.7z")},
        {"empty-entries.7z", Archive7z("empty-entries.7z")},
        {"header in a Copy folder", RepackedHeader(CopyCoder)},
    };
    for (const auto& [file, bytes] : archives) {
        const TSevenZipListing original = List(bytes);
        for (size_t at = 0; at < bytes.size(); ++at) {
            if (at == 7 || (at >= 32 && at < original.PackedEnd)) {
                continue; // the minor version, and members' data
            }
            std::string changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ 0x41);
            SCOPED_TRACE(std::string(file) + " changed at " + std::to_string(at));
            const auto fault = FaultOf(changed);
            if (fault) {
                EXPECT_EQ(*fault, TSevenZipFault::Damaged);
            } else {
                EXPECT_EQ(Describe(List(changed)), Describe(original));
            }
        }
    }
}

// Counts that claim more than the header holds are refused before anything
// of their size is allocated.
TEST(SevenZipHeader, ForgedCountIsDamageWithoutAllocation) {
    const auto [data, header] = Split(Archive7z("plain-header.7z"));
    const std::string huge = "\xFF" + Le(uint64_t{1} << 62, 8);
    const std::string large("\xE1\0\0\0", 4); // 2^24
    const struct {
        const char* Field;
        std::string Original;
        size_t At; // of the count in Original
    } fields[] = {
        {"members", std::string("\x05\x02\x19", 3), 1},
        {"folders", std::string("\x0B\x01\x00\x01\x21", 5), 1},
        {"packed streams", std::string("\x06\x00\x01\x09", 4), 2},
        {"streams in a folder", std::string("\x0D\x02\x09", 3), 1},
        {"size of the names", std::string("\x11\x25\x00", 3), 1},
    };
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (const auto& field : fields) {
        const size_t at = header.find(field.Original);
        ASSERT_NE(at, std::string::npos) << field.Field;
        for (const std::string& count : {huge, large}) {
            SCOPED_TRACE(std::string(field.Field) + ", " + std::to_string(count.size()) + " bytes");
            std::string forged = header;
            forged.replace(at + field.At, 1, count);
            EXPECT_EQ(FaultOf(Archive(data, forged)), TSevenZipFault::Damaged);
        }
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // KiB
}

// A packed header this reader cannot unpack is named for why.
TEST(SevenZipHeader, UnreadablePackedHeaderSaysWhy) {
    const struct {
        const char* Name;
        std::string Bytes;
        TSevenZipFault Fault;
    } cases[] = {
        {"made with -mhe=on", Archive7z("encrypted-header.7z"), TSevenZipFault::Encrypted},
        {"AES", RepackedHeader(std::string("\x24\x06\xF1\x07\x01\x02\x00\x00", 8)),
         TSevenZipFault::Encrypted},
        {"PPMd", RepackedHeader("\x03\x03\x04\x01"), TSevenZipFault::Unsupported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(FaultOf(c.Bytes), c.Fault);
    }
}
