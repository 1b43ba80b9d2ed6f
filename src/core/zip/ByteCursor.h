#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tabula {

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

} // namespace tabula
