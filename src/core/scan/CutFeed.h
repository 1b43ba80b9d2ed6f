#pragma once

#include "core/checksum/RomHashes.h"
#include "core/header/Detector.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tabula {

// Takes a file's or a member's bytes in order, block after block from its
// first byte, and hands the checksums only those of [start, end), put in the
// order of operation (in units counted from start).
class TCutFeed {
public:
    TCutFeed(uint64_t start, uint64_t end, TByteOperation operation, uint32_t& crc,
             TRomHashes* hashes);
    void Feed(std::span<const std::byte> block);
    // Hands out the last partial unit, as it stands.
    void Finish();

private:
    void Hand(std::span<const uint8_t> bytes);

    uint64_t position_ = 0;
    uint64_t start_;
    uint64_t end_;
    TByteOperation operation_;
    std::size_t unit_;
    uint32_t& crc_;
    TRomHashes* hashes_;
    std::vector<uint8_t> pending_; // in range, waiting to be put in order
};

} // namespace tabula
