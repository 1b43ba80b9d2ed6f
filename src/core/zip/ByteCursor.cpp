#include "zip/ByteCursor.h"

namespace tabula {

bool TByteCursor::Take(size_t count, const uint8_t*& at) {
    if (!Has(count)) {
        ok_ = false;
        return false;
    }
    at = bytes_.data() + pos_;
    pos_ += count;
    return true;
}

uint8_t TByteCursor::U8() {
    const uint8_t* at = nullptr;
    return Take(1, at) ? at[0] : 0;
}

uint16_t TByteCursor::U16() {
    const uint8_t* at = nullptr;
    if (!Take(2, at)) {
        return 0;
    }
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t TByteCursor::U32() {
    const uint8_t* at = nullptr;
    if (!Take(4, at)) {
        return 0;
    }
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

uint64_t TByteCursor::U64() {
    const uint64_t low = U32();
    const uint64_t high = U32();
    return ok_ ? (low | (high << 32)) : 0;
}

std::span<const uint8_t> TByteCursor::Bytes(size_t count) {
    const uint8_t* at = nullptr;
    if (!Take(count, at)) {
        return {};
    }
    return {at, count};
}

std::string TByteCursor::String(size_t count) {
    const auto bytes = Bytes(count);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool TByteCursor::Skip(size_t count) {
    const uint8_t* at = nullptr;
    return Take(count, at);
}

bool TByteCursor::Seek(size_t position) {
    if (!ok_ || position > bytes_.size()) {
        ok_ = false;
        return false;
    }
    pos_ = position;
    return true;
}

} // namespace tabula
