// libFuzzer target: lists arbitrary bytes as a 7z archive, in memory. Whatever
// the bytes, the listing must end in members or in an ESevenZipError, without
// a crash, a read outside a buffer, undefined behaviour, a hang or an outsized
// allocation. Each input is listed twice: as it is, and with its two header
// CRCs made to match, so that mutations reach the header's fields instead of
// stopping at a CRC.

#include "core/archive/SevenZipHeader.h"
#include "core/bytes/ByteCursor.h"
#include "core/checksum/CrcUpdate.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint32_t CrcOfRange(const std::vector<uint8_t>& bytes, size_t start, size_t size) {
    return ~tabula::CrcContinue(tabula::CrcInit,
                                std::as_bytes(std::span(bytes).subspan(start, size)));
}

// Sets the header's CRC (when the header lies inside the bytes) and then the
// start header's CRC to what they should be.
bool RepairCrcs(std::vector<uint8_t>& bytes) {
    if (bytes.size() < 32 || !tabula::HasSevenZipSignature(bytes)) {
        return false;
    }
    tabula::TByteCursor cursor(std::span(bytes).subspan(12));
    const uint64_t offset = cursor.U64();
    const uint64_t size = cursor.U64();
    const uint64_t room = bytes.size() - 32;
    if (offset <= room && size <= room - offset) {
        tabula::StoreU32(&bytes[28], CrcOfRange(bytes, static_cast<size_t>(32 + offset),
                                                static_cast<size_t>(size)));
    }
    tabula::StoreU32(&bytes[8], CrcOfRange(bytes, 12, 20));
    return true;
}

void ListOnce(const std::vector<uint8_t>& bytes) {
    const auto readAt = [&bytes](uint64_t at, uint8_t* out, size_t size) {
        const size_t count = at < bytes.size() ? std::min<size_t>(size, bytes.size() - at) : 0;
        if (count > 0) {
            std::memcpy(out, bytes.data() + at, count);
        }
        return count;
    };
    tabula::TSevenZipListing listing;
    try {
        listing = tabula::ReadSevenZipListing(bytes.size(), readAt);
    } catch (const tabula::ESevenZipError&) {
        return;
    }
    // What a caller relies on: members with data lie inside their folder's
    // output, the others in no folder, and the folders' counts agree.
    size_t withData = 0;
    size_t counted = 0;
    for (const tabula::TSevenZipMember& member : listing.Members) {
        if (!member.HasStream) {
            if (member.Folder != UINT32_MAX || member.Size != 0) {
                std::abort();
            }
            continue;
        }
        ++withData;
        if (member.Folder >= listing.Folders.size()) {
            std::abort();
        }
        const uint64_t folderSize = listing.Folders[member.Folder].UnpackSize;
        if (member.FolderOffset > folderSize || member.Size > folderSize - member.FolderOffset) {
            std::abort();
        }
    }
    for (const tabula::TSevenZipFolder& folder : listing.Folders) {
        counted += folder.Streams;
    }
    if (counted != withData || listing.PackedEnd > bytes.size()) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    ListOnce(bytes);
    if (RepairCrcs(bytes)) {
        ListOnce(bytes);
    }
    return 0;
}
