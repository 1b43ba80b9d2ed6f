#include "core/zip/MemberData.h"

#include "core/archive/Codecs.h"
#include "core/checksum/CrcUpdate.h"
#include "core/platform/SharedLibrary.h"
#include "core/zip/ZipFormat.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace tabula {

using namespace ZipFormat;

namespace {

constexpr uint16_t Stored = 0;
constexpr uint16_t Deflated = 8;
constexpr uint16_t Bzip2 = 12;
constexpr uint16_t Lzma = 14;
constexpr uint16_t Zstd = 93;
constexpr uint16_t Xz = 95;
constexpr uint16_t Encrypted = 0x0001;
// Decompressed bytes at a time: small enough to stay in the processor's
// cache between the inflate and the checksums that read them.
constexpr size_t BlockSize = size_t{64} << 10;
// The first read of a member's data; each next one is twice as large, up to
// BlockSize, so reading only a header costs one small read.
constexpr size_t FirstRead = 4096;

// The first read when only a member's first bytes are wanted: a deflate
// block's code tables and a header's worth of codes fit in it.
constexpr size_t FirstPartRead = 1024;

// One pair of buffers and one decoder per thread, reused for every member it
// reads: the decoder's state is large, and setting it up anew clears only
// what it needs.
struct TBuffers {
    std::vector<std::byte> In = std::vector<std::byte>(BlockSize);
    std::vector<std::byte> Out = std::vector<std::byte>(BlockSize);
    std::unique_ptr<inflate_state> State = std::make_unique<inflate_state>();
};

TBuffers& Buffers() {
    thread_local TBuffers buffers;
    return buffers;
}

size_t NextRead(size_t& read) {
    const size_t now = read;
    read = std::min(read * 2, BlockSize);
    return now;
}

// Hands a stored member's first want bytes out as they are in the file.
uint32_t ReadStored(const TFileReader& archive, uint64_t offset, uint64_t want,
                    const std::function<void(std::span<const std::byte>)>& sink) {
    std::vector<std::byte>& block = Buffers().Out;
    uint32_t crc = CrcInit;
    for (size_t read = FirstRead; want > 0;) {
        const auto part = static_cast<size_t>(std::min<uint64_t>(want, NextRead(read)));
        if (archive.ReadAt(offset, block.data(), part) != part) {
            throw EMemberDataError("its data ends before its stated size");
        }
        const std::span<const std::byte> bytes(block.data(), part);
        crc = CrcContinue(crc, bytes);
        sink(bytes);
        offset += part;
        want -= part;
    }
    return ~crc;
}

// Deflate through ISA-L, behind the same interface as the library decoders;
// it borrows the thread's inflate state, which is large.
class TInflateDecoder final : public IStreamDecoder {
public:
    TInflateDecoder() : state_(Buffers().State.get()) {
        isal_inflate_init(state_);
        state_->crc_flag = ISAL_DEFLATE;
    }
    TDecodeStep Decode(std::span<const std::byte> in, std::span<std::byte> out) override {
        state_->next_in = reinterpret_cast<uint8_t*>(const_cast<std::byte*>(in.data()));
        state_->avail_in = static_cast<uint32_t>(in.size());
        state_->next_out = reinterpret_cast<uint8_t*>(out.data());
        state_->avail_out = static_cast<uint32_t>(out.size());
        if (isal_inflate(state_) < 0) {
            throw ECodecError("invalid compressed data");
        }
        return {in.size() - state_->avail_in, out.size() - state_->avail_out,
                state_->block_state == ISAL_BLOCK_FINISH};
    }

private:
    inflate_state* state_;
};

// The decoder for a member's method.
std::unique_ptr<IStreamDecoder> DecoderFor(const ZipDirEntry& entry) {
    switch (entry.CompressionMethod) {
    case Deflated:
        return std::make_unique<TInflateDecoder>();
    case Bzip2:
        return MakeBzip2Decoder();
    case Lzma:
        return MakeZipLzmaDecoder(entry.UncompressedSize);
    case Zstd:
        return MakeZstdDecoder();
    default:
        return MakeXzDecoder();
    }
}

EMemberDataError NotDecompressing(const ECodecError& error) {
    return EMemberDataError(std::string("its data does not decompress (") + error.what() + ")");
}

// Decompresses a member, handing out its first want bytes (all of them,
// checked to be exactly its size, when whole), never more than its stated
// size. first: the data's first bytes when they were read already (at most
// its compressed size of them).
uint32_t ReadDecoded(const TFileReader& archive, const ZipDirEntry& entry, uint64_t offset,
                     uint64_t want, bool whole,
                     const std::function<void(std::span<const std::byte>)>& sink,
                     std::span<const std::byte> first = {}) {
    TBuffers& buffers = Buffers();
    std::unique_ptr<IStreamDecoder> decoder;
    try {
        decoder = DecoderFor(entry);
    } catch (const ECodecError& error) {
        throw NotDecompressing(error);
    } catch (const ESystemLibraryError& error) {
        throw EMemberDataError(error.what());
    }
    uint64_t compressed = entry.CompressedSize - first.size();
    offset += first.size();
    std::span<const std::byte> input = first;
    uint32_t crc = CrcInit;
    uint64_t handedOut = 0;
    size_t read = whole ? FirstRead : FirstPartRead;
    bool finished = false;
    while (!finished && (whole || handedOut < want)) {
        if (input.empty() && compressed > 0) {
            const auto part = static_cast<size_t>(std::min<uint64_t>(compressed, NextRead(read)));
            if (archive.ReadAt(offset, buffers.In.data(), part) != part) {
                throw EMemberDataError("its compressed data ends early");
            }
            offset += part;
            compressed -= part;
            input = std::span<const std::byte>(buffers.In.data(), part);
        }
        // A part read stops where it is asked to; a whole one takes what comes.
        const size_t room =
            whole ? BlockSize
                  : static_cast<size_t>(std::min<uint64_t>(BlockSize, want - handedOut));
        TDecodeStep step;
        try {
            step = decoder->Decode(input, std::span(buffers.Out.data(), room));
        } catch (const ECodecError& error) {
            throw NotDecompressing(error);
        }
        input = input.subspan(step.Consumed);
        finished = step.Finished;
        if (step.Produced == 0 && step.Consumed == 0 && !finished) {
            throw EMemberDataError("its compressed data ends early");
        }
        if (step.Produced > want - handedOut) {
            throw EMemberDataError("its data is longer than its stated size");
        }
        const std::span<const std::byte> bytes(buffers.Out.data(), step.Produced);
        crc = CrcContinue(crc, bytes);
        sink(bytes);
        handedOut += step.Produced;
    }
    if (handedOut != want) {
        throw EMemberDataError("its data is shorter than its stated size");
    }
    return ~crc;
}

} // namespace

bool DecodedByLibrary(uint16_t method) {
    return method == Bzip2 || method == Lzma || method == Zstd || method == Xz;
}

namespace {

// Where the data of entry begins, from its local header's first bytes.
std::optional<uint64_t> DataOffsetFrom(std::span<const uint8_t> local, const ZipDirEntry& entry,
                                       uint64_t dataEnd) {
    if ((entry.GeneralPurposeFlag & Encrypted) != 0 || entry.Zip64 ||
        (entry.CompressionMethod != Stored && entry.CompressionMethod != Deflated &&
         !DecodedByLibrary(entry.CompressionMethod)) ||
        local.size() < LocalHeaderSize || LoadU32(local.data()) != LocalSignature ||
        LoadU16(&local[26]) != entry.FileNameLength) {
        return std::nullopt;
    }
    const uint64_t data = uint64_t{entry.LocalHeaderOffset} + LocalHeaderSize +
                          LoadU16(&local[26]) + LoadU16(&local[28]);
    if (data > dataEnd || dataEnd - data < entry.CompressedSize) {
        return std::nullopt;
    }
    if (entry.CompressionMethod == Stored && entry.CompressedSize != entry.UncompressedSize) {
        return std::nullopt;
    }
    return data;
}

} // namespace

std::optional<uint64_t> MemberDataOffset(const TFileReader& archive, const ZipDirEntry& entry,
                                         uint64_t dataEnd) {
    std::array<uint8_t, LocalHeaderSize> local{};
    if (!archive.IsOpen() ||
        archive.ReadAt(entry.LocalHeaderOffset, local.data(), local.size()) != local.size()) {
        return std::nullopt;
    }
    return DataOffsetFrom(local, entry, dataEnd);
}

bool ReadMemberData(const TFileReader& archive, const ZipDirEntry& entry, uint64_t dataEnd,
                    const std::function<void(std::span<const std::byte>)>& sink) {
    const std::optional<uint64_t> data = MemberDataOffset(archive, entry, dataEnd);
    if (!data) {
        return false;
    }
    const uint32_t crc =
        entry.CompressionMethod == Stored
            ? ReadStored(archive, *data, entry.UncompressedSize, sink)
            : ReadDecoded(archive, entry, *data, entry.UncompressedSize, true, sink);
    if (crc != entry.Crc) {
        throw EMemberDataError("Bad crc");
    }
    return true;
}

bool ReadMemberStart(const TFileReader& archive, const ZipDirEntry& entry, uint64_t dataEnd,
                     std::span<std::byte> out) {
    // The local header and the data's first part in one read: a header's
    // worth of a member usually lies within it.
    std::array<std::byte, LocalHeaderSize + 256 + FirstPartRead> head;
    if (!archive.IsOpen()) {
        return false;
    }
    const size_t got = archive.ReadAt(entry.LocalHeaderOffset, head.data(), head.size());
    const std::optional<uint64_t> data = DataOffsetFrom(
        std::span(reinterpret_cast<const uint8_t*>(head.data()), got), entry, dataEnd);
    if (!data || out.size() > entry.UncompressedSize) {
        return false;
    }
    const uint64_t skip = *data - entry.LocalHeaderOffset;
    std::span<const std::byte> first;
    if (skip < got) {
        first = std::span<const std::byte>(head).subspan(
            skip, std::min<uint64_t>(got - skip, entry.CompressedSize));
    }
    size_t filled = 0;
    const auto sink = [&](std::span<const std::byte> bytes) {
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += bytes.size();
    };
    try {
        if (entry.CompressionMethod == Stored) {
            ReadStored(archive, *data, out.size(), sink);
        } else {
            // Only deflate's first bytes are worth taking from the header's read.
            ReadDecoded(archive, entry, *data, out.size(), false, sink,
                        entry.CompressionMethod == Deflated ? first : std::span<const std::byte>{});
        }
    } catch (const EMemberDataError&) {
        return false;
    }
    return filled == out.size();
}

} // namespace tabula
