// What the parts of the 7z header reader share: the bounds-checked field
// reader, the property ids and the streams a StreamsInfo block describes.
#pragma once

#include "core/archive/SevenZipHeader.h"
#include "core/bytes/ByteCursor.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabula::sevenzip {

inline constexpr uint64_t SignatureHeaderSize = 32;

// Property ids.
inline constexpr uint64_t IdEnd = 0x00, IdHeader = 0x01, IdArchiveProperties = 0x02,
                          IdAdditionalStreamsInfo = 0x03, IdMainStreamsInfo = 0x04,
                          IdFilesInfo = 0x05, IdPackInfo = 0x06, IdUnpackInfo = 0x07,
                          IdSubStreamsInfo = 0x08, IdSize = 0x09, IdCrc = 0x0A, IdFolder = 0x0B,
                          IdCodersUnpackSize = 0x0C, IdNumUnpackStream = 0x0D, IdEmptyStream = 0x0E,
                          IdEmptyFile = 0x0F, IdAnti = 0x10, IdName = 0x11, IdWinAttributes = 0x15,
                          IdEncodedHeader = 0x17;

[[noreturn]] inline void Fail(TSevenZipFault fault, const std::string& what) {
    throw ESevenZipError(fault, what);
}

[[noreturn]] inline void Damaged(const std::string& what) {
    Fail(TSevenZipFault::Damaged, what);
}

inline void DamagedIf(bool bad, const char* what) {
    if (bad) {
        Damaged(what);
    }
}

inline bool Bit(std::span<const uint8_t> bits, size_t index) {
    return index / 8 < bits.size() && (bits[index / 8] & (0x80 >> (index % 8))) != 0;
}

// The header's fields through the bounds-checked cursor: running out of
// header is damage, whichever field it cuts.
class THeaderReader {
public:
    explicit THeaderReader(std::span<const uint8_t> bytes) : cursor_(bytes) {}

    size_t Remaining() const { return cursor_.Remaining(); }
    uint8_t Byte() { return Checked(cursor_.U8()); }
    uint32_t U32() { return Checked(cursor_.U32()); }
    std::span<const uint8_t> Bytes(uint64_t count) {
        return Checked(cursor_.Bytes(static_cast<size_t>(std::min<uint64_t>(count, SIZE_MAX))));
    }

    // The variable-length number: each leading 1-bit of the first byte adds
    // one more little-endian byte below the first byte's remaining bits.
    uint64_t Number() {
        const uint8_t first = Byte();
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> i);
            if ((first & mask) == 0) {
                return value | (static_cast<uint64_t>(first & (mask - 1)) << (8 * i));
            }
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
        }
        return value;
    }

    // A count of items that each take at least a byte of what follows, so
    // that no forged count can allocate more than the header's size.
    uint32_t Count() {
        const uint64_t count = Number();
        DamagedIf(count > Remaining() || count > UINT32_MAX,
                  "it counts more items than its header holds");
        return static_cast<uint32_t>(count);
    }

    std::span<const uint8_t> Bits(size_t count) { return Bytes((count + 7) / 8); }

    // A property's data as a reader of its own.
    THeaderReader Property() { return THeaderReader(Bytes(Number())); }

    // Passes over properties that do not matter here until id.
    void SkipTo(uint64_t id) {
        for (uint64_t next = Number(); next != id; next = Number()) {
            DamagedIf(next == IdEnd, "its header lacks a required entry");
            Property();
        }
    }

    // Reads properties from id up to the end mark, passing over all but a
    // kCRC, whose count digests it returns (none without a kCRC).
    std::vector<std::optional<uint32_t>> CrcsToEnd(uint64_t id, size_t count) {
        std::vector<std::optional<uint32_t>> crcs;
        for (; id != IdEnd; id = Number()) {
            if (id == IdCrc) {
                crcs = Digests(count);
            } else {
                Property();
            }
        }
        return crcs;
    }

    std::vector<std::optional<uint32_t>> Digests(size_t count) {
        const bool allDefined = Byte() != 0;
        const std::span<const uint8_t> defined =
            allDefined ? std::span<const uint8_t>() : Bits(count);
        std::vector<std::optional<uint32_t>> digests(count);
        for (size_t i = 0; i < count; ++i) {
            if (allDefined || Bit(defined, i)) {
                digests[i] = U32();
            }
        }
        return digests;
    }

private:
    template <class T> T Checked(T value) {
        DamagedIf(!cursor_.Ok(), "its header ends early");
        return value;
    }

    TByteCursor cursor_;
};

// One stream of a folder's output: the bytes of one member.
struct TStream {
    uint64_t Size = 0;
    std::optional<uint32_t> Crc;
    uint32_t Folder = 0;
    uint64_t Offset = 0; // in its folder's output
};

// What a StreamsInfo block describes: packed streams, the folders that read
// them, and the streams their outputs are cut into.
struct TStreams {
    uint64_t PackStart = SignatureHeaderSize;
    std::vector<uint64_t> PackSizes;
    std::vector<TSevenZipFolder> Folders;
    std::vector<TStream> List;
    uint64_t PackedEnd = SignatureHeaderSize;
};

// A StreamsInfo block, from the id after its own (SevenZipStreams.cpp).
TStreams ReadStreamsInfo(THeaderReader& reader);

// A FilesInfo block, from the id after its own (SevenZipFiles.cpp).
std::vector<TSevenZipMember> ReadFilesInfo(THeaderReader& reader);

} // namespace tabula::sevenzip
