#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tabula {

// Little-endian fields at a place the caller has checked holds them.
inline uint16_t LoadU16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t LoadU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void StoreU16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreU32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Reads little-endian fields from a byte buffer without ever leaving it.
// A read that does not fit marks the cursor as failed and yields zero (or
// nothing); every later read fails too, so a parser can read a whole record
// and check Ok() once. Archive numbers are never trusted to stay in bounds.
class TByteCursor {
public:
    TByteCursor() = default;
    explicit TByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    TByteCursor(const uint8_t* data, size_t size) : bytes_(data, size) {}

    bool Ok() const { return ok_; }
    size_t Position() const { return pos_; }
    size_t Size() const { return bytes_.size(); }
    size_t Remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }
    // True when count more bytes can be read.
    bool Has(size_t count) const { return ok_ && count <= bytes_.size() - pos_; }

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint64_t U64();
    // The next count bytes, or an empty span (and failure) when fewer remain.
    std::span<const uint8_t> Bytes(size_t count);
    // The next count bytes as a string, or "" (and failure) when fewer remain.
    std::string String(size_t count);
    // Moves forward count bytes; fails when fewer remain.
    bool Skip(size_t count);
    // Moves to an absolute position inside the buffer; fails past its end.
    bool Seek(size_t position);

private:
    bool Take(size_t count, const uint8_t*& at);

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Inline: the directory reader reads every field of every header through it.

inline bool TByteCursor::Take(size_t count, const uint8_t*& at) {
    if (!Has(count)) {
        ok_ = false;
        return false;
    }
    at = bytes_.data() + pos_;
    pos_ += count;
    return true;
}

inline uint8_t TByteCursor::U8() {
    const uint8_t* at = nullptr;
    return Take(1, at) ? at[0] : 0;
}

inline uint16_t TByteCursor::U16() {
    const uint8_t* at = nullptr;
    if (!Take(2, at)) {
        return 0;
    }
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline uint32_t TByteCursor::U32() {
    const uint8_t* at = nullptr;
    if (!Take(4, at)) {
        return 0;
    }
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

inline uint64_t TByteCursor::U64() {
    const uint64_t low = U32();
    const uint64_t high = U32();
    return ok_ ? (low | (high << 32)) : 0;
}

inline std::span<const uint8_t> TByteCursor::Bytes(size_t count) {
    const uint8_t* at = nullptr;
    if (!Take(count, at)) {
        return {};
    }
    return {at, count};
}

inline std::string TByteCursor::String(size_t count) {
    const auto bytes = Bytes(count);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

inline bool TByteCursor::Skip(size_t count) {
    const uint8_t* at = nullptr;
    return Take(count, at);
}

inline bool TByteCursor::Seek(size_t position) {
    if (!ok_ || position > bytes_.size()) {
        ok_ = false;
        return false;
    }
    pos_ = position;
    return true;
}

} // namespace tabula
