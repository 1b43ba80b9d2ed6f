#pragma once

#include "core/zip/ZipFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tabula {

// The end record found by searching the tail of an archive.
struct TEndRecordMatch {
    size_t Position = 0;       // of the record inside the searched tail
    TEndRecord Record;         // the record's fields
    uint64_t EndOfZipData = 0; // file position just after the record and its comment
    bool Garbage = false;      // bytes follow the comment that are not zero padding
    std::string Comment;       // the comment's stored bytes up to a zero, only those present
};

// Searches tail (the last bytes of a file of fileSize bytes, at most a full
// comment plus the record) backwards for the end record signature, starting
// just below the position that the direct read at the end already tried, so
// the highest record wins. Trailing bytes count as garbage unless the file
// size is a multiple of 512 and fewer than 512 zero bytes follow the comment.
std::optional<TEndRecordMatch> SearchEndRecord(std::span<const uint8_t> tail, uint64_t fileSize);

} // namespace tabula
