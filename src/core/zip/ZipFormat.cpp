#include "core/zip/ZipFormat.h"

#include <algorithm>

namespace tabula {

using namespace ZipFormat;

bool TEndRecord::NeedsZip64() const {
    return ThisDisk == Saturated16 || DirStartDisk == Saturated16 || EntriesOnDisk == Saturated16 ||
           TotalEntries == Saturated16 || DirSize == Saturated32 || DirOffset == Saturated32;
}

std::optional<TEndRecord> ReadEndRecord(TByteCursor& cursor) {
    if (!cursor.Has(EndRecordSize) || cursor.U32() != EndSignature) {
        return std::nullopt;
    }
    TEndRecord record;
    record.ThisDisk = cursor.U16();
    record.DirStartDisk = cursor.U16();
    record.EntriesOnDisk = cursor.U16();
    record.TotalEntries = cursor.U16();
    record.DirSize = cursor.U32();
    record.DirOffset = cursor.U32();
    record.CommentLength = cursor.U16();
    return record;
}

std::optional<TZip64Locator> ReadZip64Locator(TByteCursor& cursor) {
    if (!cursor.Has(Zip64LocatorSize) || cursor.U32() != Zip64LocatorSignature) {
        return std::nullopt;
    }
    TZip64Locator locator;
    locator.Zip64EndDisk = cursor.U32();
    locator.Zip64EndOffset = cursor.U64();
    locator.TotalDisks = cursor.U32();
    return locator;
}

std::optional<TZip64EndRecord> ReadZip64EndRecord(TByteCursor& cursor) {
    if (!cursor.Has(Zip64EndRecordSize) || cursor.U32() != Zip64EndSignature) {
        return std::nullopt;
    }
    TZip64EndRecord record;
    record.RecordSize = cursor.U64();
    cursor.Skip(4); // version made by, version needed
    record.Values.ThisDisk = cursor.U32();
    record.Values.DirStartDisk = cursor.U32();
    record.Values.EntriesOnDisk = cursor.U64();
    record.Values.TotalEntries = cursor.U64();
    record.Values.DirSize = cursor.U64();
    record.Values.DirOffset = cursor.U64();
    return record;
}

std::optional<uint32_t> ReadCentralHeader(TByteCursor& cursor, ZipDirEntry& entry) {
    if (!cursor.Has(CentralHeaderSize)) {
        return std::nullopt;
    }
    const uint32_t signature = cursor.U32();
    entry.VersionMadeBy = cursor.U16();
    entry.VersionNeeded = cursor.U16();
    entry.GeneralPurposeFlag = cursor.U16();
    entry.CompressionMethod = cursor.U16();
    entry.LastModTime = cursor.U16();
    entry.LastModDate = cursor.U16();
    entry.Crc = cursor.U32();
    entry.CompressedSize = cursor.U32();
    entry.UncompressedSize = cursor.U32();
    entry.FileNameLength = cursor.U16();
    entry.ExtraFieldLength = cursor.U16();
    entry.FileCommentLength = cursor.U16();
    entry.DiskNumberStart = cursor.U16();
    entry.InternalAttributes = cursor.U16();
    entry.ExternalAttributes = cursor.U32();
    entry.LocalHeaderOffset = cursor.U32();
    return signature;
}

bool NeedsZip64Extra(const ZipDirEntry& entry) {
    return entry.UncompressedSize == Saturated32 || entry.CompressedSize == Saturated32 ||
           entry.LocalHeaderOffset == Saturated32 || entry.DiskNumberStart == Saturated16;
}

namespace {

// Takes the next 64-bit value of the Zip64 extra field for a saturated field.
TZip64Fix FixField(TByteCursor& values, uint32_t& field) {
    if (field != Saturated32) {
        return TZip64Fix::Unchanged;
    }
    const uint64_t value = values.U64();
    if (!values.Ok()) {
        return TZip64Fix::Missing;
    }
    if (value >= Saturated32) {
        return TZip64Fix::TooLarge;
    }
    field = static_cast<uint32_t>(value);
    return TZip64Fix::Fixed;
}

} // namespace

TZip64Fix ApplyZip64Extra(ZipDirEntry& entry, std::span<const uint8_t> extra) {
    if (!NeedsZip64Extra(entry)) {
        return TZip64Fix::Unchanged;
    }
    TByteCursor blocks(extra);
    while (blocks.Has(4)) {
        const uint16_t id = blocks.U16();
        const uint16_t size = blocks.U16();
        const auto data = blocks.Bytes(size);
        if (!blocks.Ok()) {
            break;
        }
        if (id != Zip64ExtraId) {
            continue;
        }
        // The values appear in this order, each only when its field is saturated.
        TByteCursor values(data);
        for (uint32_t* field :
             {&entry.UncompressedSize, &entry.CompressedSize, &entry.LocalHeaderOffset}) {
            const TZip64Fix fix = FixField(values, *field);
            if (fix == TZip64Fix::Missing || fix == TZip64Fix::TooLarge) {
                return fix;
            }
        }
        if (entry.DiskNumberStart == Saturated16) {
            const uint32_t disk = values.U32();
            if (!values.Ok()) {
                return TZip64Fix::Missing;
            }
            if (disk >= Saturated16) {
                return TZip64Fix::TooLarge;
            }
            entry.DiskNumberStart = static_cast<uint16_t>(disk);
        }
        return TZip64Fix::Fixed;
    }
    return TZip64Fix::Missing;
}

std::optional<std::pair<size_t, size_t>> OverlappingEntries(std::span<const ZipDirEntry> entries,
                                                            bool spanned) {
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    const auto volume = [&](size_t i) { return spanned ? entries[i].DiskNumberStart : 0; };
    const auto place = [&](size_t i) { return std::pair{volume(i), entries[i].LocalHeaderOffset}; };
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return place(a) < place(b); });
    uint64_t reach = 0;
    size_t reacher = entries.size();
    for (const size_t i : order) {
        const ZipDirEntry& entry = entries[i];
        const bool sameVolume = reacher != entries.size() && volume(reacher) == volume(i);
        if (sameVolume && entry.LocalHeaderOffset < reach) {
            return std::pair{std::min(reacher, i), std::max(reacher, i)};
        }
        const uint64_t end = uint64_t{entry.LocalHeaderOffset} + LocalHeaderSize +
                             entry.FileNameLength + entry.CompressedSize;
        if (!sameVolume || end > reach) {
            reach = end;
            reacher = i;
        }
    }
    return std::nullopt;
}

} // namespace tabula
