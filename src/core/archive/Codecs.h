#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>

namespace tabula {

// Compressed data that does not decode; the message says why, naming
// neither the archive nor the member.
class ECodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What one call of a decoder did.
struct TDecodeStep {
    size_t Consumed = 0;   // input bytes taken
    size_t Produced = 0;   // output bytes written
    bool Finished = false; // the compressed stream has ended
};

// A streaming decoder over one of the system's compression libraries,
// loaded at first use (a library that cannot be loaded is an
// ESystemLibraryError). Each call takes what input it can and fills what
// output it can; throws ECodecError for data that does not decode.
class IStreamDecoder {
public:
    virtual ~IStreamDecoder() = default;
    virtual TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) = 0;
};

// LZMA as 7z stores it: five property bytes (lc/lp/pb, then the dictionary
// size) and raw data with no end marker required. unpackSize bounds the
// dictionary, so a header of a few KiB does not cost a dictionary of MiB.
std::unique_ptr<IStreamDecoder> MakeLzmaDecoder(std::span<const uint8_t> properties,
                                                uint64_t unpackSize);
// LZMA2 as 7z stores it: one property byte (the dictionary size).
std::unique_ptr<IStreamDecoder> MakeLzma2Decoder(std::span<const uint8_t> properties,
                                                 uint64_t unpackSize);
// Zip method 14: a four-byte version and size field, five property bytes,
// then LZMA data (with or without an end marker).
std::unique_ptr<IStreamDecoder> MakeZipLzmaDecoder(uint64_t unpackSize);
// Zip method 95: an xz stream, checks and all.
std::unique_ptr<IStreamDecoder> MakeXzDecoder();
// Zip method 12: a bzip2 stream.
std::unique_ptr<IStreamDecoder> MakeBzip2Decoder();
// Zip method 93: a zstd frame (or frames).
std::unique_ptr<IStreamDecoder> MakeZstdDecoder();

} // namespace tabula
