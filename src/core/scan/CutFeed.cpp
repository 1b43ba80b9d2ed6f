#include "core/scan/CutFeed.h"

#include "core/checksum/CrcUpdate.h"

#include <algorithm>

namespace tabula {

namespace {

std::size_t UnitOf(TByteOperation operation) {
    switch (operation) {
    case TByteOperation::Byteswap:
        return 2;
    case TByteOperation::Wordswap:
    case TByteOperation::WordByteswap:
        return 4;
    default:
        return 1;
    }
}

} // namespace

TCutFeed::TCutFeed(uint64_t start, uint64_t end, TByteOperation operation, uint32_t& crc,
                   TRomHashes* hashes)
    : start_(start), end_(end), operation_(operation), unit_(UnitOf(operation)), crc_(crc),
      hashes_(hashes) {}

void TCutFeed::Feed(std::span<const std::byte> block) {
    const uint64_t blockStart = position_;
    position_ += block.size();
    const uint64_t from = std::max(blockStart, start_);
    const uint64_t to = std::min(position_, end_);
    if (from >= to) {
        return;
    }
    const auto inRange = block.subspan(static_cast<std::size_t>(from - blockStart),
                                       static_cast<std::size_t>(to - from));
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(inRange.data()),
                                         inRange.size());
    if (operation_ == TByteOperation::None) {
        Hand(bytes);
        return;
    }
    // Put in order a whole number of units at a time; the rest waits for
    // the next block.
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    const std::size_t whole = pending_.size() / unit_ * unit_;
    ApplyByteOperation(operation_, std::span(pending_.data(), whole));
    Hand(std::span<const uint8_t>(pending_.data(), whole));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
}

void TCutFeed::Finish() {
    Hand(pending_);
    pending_.clear();
}

void TCutFeed::Hand(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const std::span<const std::byte> raw(reinterpret_cast<const std::byte*>(bytes.data()),
                                         bytes.size());
    crc_ = CrcContinue(crc_, raw);
    if (hashes_ != nullptr) {
        hashes_->Update(raw);
    }
}

} // namespace tabula
