#pragma once

#include "core/bytes/ByteCursor.h"
#include "core/zip/ZipDirEntry.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tabula {

// Record layouts of the zip format that the directory reader needs.
namespace ZipFormat {
inline constexpr uint32_t EndSignature = 0x06054b50;
inline constexpr uint32_t CentralSignature = 0x02014b50;
inline constexpr uint32_t LocalSignature = 0x04034b50;
inline constexpr uint32_t SpanMarker = 0x08074b50;
inline constexpr uint32_t Zip64EndSignature = 0x06064b50;
inline constexpr uint32_t Zip64LocatorSignature = 0x07064b50;
inline constexpr uint16_t Zip64ExtraId = 0x0001;

inline constexpr size_t EndRecordSize = 22;
inline constexpr size_t CentralHeaderSize = 46;
inline constexpr size_t LocalHeaderSize = 30;
inline constexpr size_t Zip64LocatorSize = 20;
inline constexpr size_t Zip64EndRecordSize = 56; // without its extensible data
inline constexpr size_t MaxCommentSize = 65535;
// The largest tail that can hold the end record: a full comment plus the record.
inline constexpr size_t MaxEndSearch = MaxCommentSize + EndRecordSize;

inline constexpr uint16_t Saturated16 = 0xFFFF;
inline constexpr uint32_t Saturated32 = 0xFFFFFFFF;
} // namespace ZipFormat

// The end-of-central-directory record, widened so that the Zip64 end record
// can fill the same fields.
struct TEndRecord {
    uint32_t ThisDisk = 0;
    uint32_t DirStartDisk = 0;
    uint64_t EntriesOnDisk = 0;
    uint64_t TotalEntries = 0;
    uint64_t DirSize = 0;
    uint64_t DirOffset = 0;
    uint16_t CommentLength = 0;

    // True when a field holds the marker that sends the reader to the Zip64 record.
    bool NeedsZip64() const;
};

// Reads the 22 bytes of an end record, signature included; nothing when the
// signature is wrong or fewer bytes remain.
std::optional<TEndRecord> ReadEndRecord(TByteCursor& cursor);

// The Zip64 end-of-central-directory locator (20 bytes, signature included).
struct TZip64Locator {
    uint32_t Zip64EndDisk = 0;
    uint64_t Zip64EndOffset = 0;
    uint32_t TotalDisks = 0;
};
std::optional<TZip64Locator> ReadZip64Locator(TByteCursor& cursor);

// The fixed 56 bytes of a Zip64 end record. Its values replace those of the
// end record that were saturated; RecordSize is the stored size of the rest.
struct TZip64EndRecord {
    uint64_t RecordSize = 0;
    TEndRecord Values;
};
std::optional<TZip64EndRecord> ReadZip64EndRecord(TByteCursor& cursor);

// Reads the 46-byte fixed part of a central header into entry, without the
// signature check (the caller reports a wrong signature itself). Returns the
// signature, or nothing when fewer than 46 bytes remain.
std::optional<uint32_t> ReadCentralHeader(TByteCursor& cursor, ZipDirEntry& entry);

// Result of applying a central header's Zip64 extra field.
enum class TZip64Fix { Unchanged, Fixed, TooLarge, Missing };

// Replaces the saturated size and offset fields of entry with the values of
// the Zip64 extra field found in extra. Missing when a field is saturated and
// the extra field does not supply it; TooLarge when the real value needs more
// than 32 bits.
TZip64Fix ApplyZip64Extra(ZipDirEntry& entry, std::span<const uint8_t> extra);

// True when entry has a field that only a Zip64 extra field can complete.
bool NeedsZip64Extra(const ZipDirEntry& entry);

// Two entries of one volume whose local header and data, as far as the
// directory tells (the header with the central name, then the compressed
// bytes), share bytes; the earlier entry first. Nothing when every entry has
// bytes of its own. Such entries let a small archive write its one stream
// many times over. The volume is the entry's first disk in a split set
// (spanned), the one file otherwise, whatever its disk numbers say.
std::optional<std::pair<size_t, size_t>> OverlappingEntries(std::span<const ZipDirEntry> entries,
                                                            bool spanned);

} // namespace tabula
