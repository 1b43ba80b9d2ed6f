// The listing of a 7z archive from its header alone. Every field passes
// through a bounds-checked cursor and every count is held against the bytes
// left, since the header is read before anything in the archive is trusted.
//
// This file reads the signature header and the header it points at, unpacks
// a packed header, and puts the header's blocks together into the listing;
// the blocks themselves are read in SevenZipStreams.cpp and SevenZipFiles.cpp.

#include "core/archive/SevenZipHeader.h"

#include "core/archive/Codecs.h"
#include "core/archive/SevenZipHeaderReader.h"
#include "core/bytes/ByteCursor.h"
#include "core/checksum/CrcUpdate.h"

#include <algorithm>
#include <array>
#include <memory>

namespace tabula {

ESevenZipError::ESevenZipError(TSevenZipFault fault, const std::string& what)
    : std::runtime_error(what), fault_(fault) {}

namespace {

using namespace sevenzip;

using TReadAt = std::function<size_t(uint64_t, uint8_t*, size_t)>;

constexpr std::array<uint8_t, 6> Signature = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
// Caps far above any real listing, so that a forged size cannot make us
// read or inflate gigabytes before finding out.
constexpr uint64_t MaxNextHeaderSize = uint64_t{64} << 20;
constexpr uint64_t MaxDecodedHeaderSize = uint64_t{256} << 20;
constexpr int MaxHeaderEncodings = 4;

constexpr std::array<uint8_t, 3> LzmaMethod = {0x03, 0x01, 0x01};
constexpr uint8_t Lzma2Method = 0x21;

uint32_t CrcOfBytes(std::span<const uint8_t> bytes) {
    return ~CrcContinue(CrcInit, std::as_bytes(bytes));
}

TSevenZipListing ReadPlainHeader(THeaderReader& reader) {
    TSevenZipListing listing;
    TStreams streams;
    uint64_t id = reader.Number();
    if (id == IdArchiveProperties) {
        while (reader.Number() != IdEnd) {
            reader.Property();
        }
        id = reader.Number();
    }
    if (id == IdAdditionalStreamsInfo) {
        ReadStreamsInfo(reader);
        id = reader.Number();
    }
    if (id == IdMainStreamsInfo) {
        streams = ReadStreamsInfo(reader);
        id = reader.Number();
    }
    if (id == IdFilesInfo) {
        listing.Members = ReadFilesInfo(reader);
        id = reader.Number();
    }
    DamagedIf(id != IdEnd, "its header is out of order");
    listing.Folders = streams.Folders;
    listing.PackedEnd = streams.PackedEnd;
    // Members with data take the streams in order.
    size_t next = 0;
    for (TSevenZipMember& member : listing.Members) {
        if (!member.HasStream) {
            continue;
        }
        DamagedIf(next == streams.List.size(), "it lists more members with data than streams");
        const TStream& stream = streams.List[next++];
        member.Size = stream.Size;
        member.Crc = stream.Crc;
        member.Folder = stream.Folder;
        member.FolderOffset = stream.Offset;
        ++listing.Folders[member.Folder].Streams;
    }
    DamagedIf(next != streams.List.size(), "it lists more streams than members with data");
    return listing;
}

// Reads exactly size bytes at offset, or says the file ends first.
std::vector<uint8_t> ReadExactly(const TReadAt& readAt, uint64_t offset, uint64_t size) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (readAt(offset, bytes.data(), bytes.size()) != bytes.size()) {
        Fail(TSevenZipFault::Truncated, "it ends inside its header");
    }
    return bytes;
}

std::vector<uint8_t> Inflate(IStreamDecoder& decoder, std::span<const uint8_t> packed,
                             uint64_t unpackSize) {
    std::vector<uint8_t> out;
    size_t consumed = 0;
    size_t produced = 0;
    while (produced < unpackSize) {
        if (produced == out.size()) {
            // Grown as output arrives, so a forged size costs no more than
            // the data really yields.
            out.resize(static_cast<size_t>(std::min<uint64_t>(
                unpackSize, std::max<uint64_t>(uint64_t{1} << 16, out.size() * 2))));
        }
        const TDecodeStep step =
            decoder.Decode(std::as_bytes(packed.subspan(consumed)),
                           std::as_writable_bytes(std::span(out).subspan(produced)));
        consumed += std::min(step.Consumed, packed.size() - consumed);
        produced += std::min(step.Produced, out.size() - produced);
        DamagedIf(produced < unpackSize &&
                      (step.Finished || (step.Consumed == 0 && step.Produced == 0)),
                  "its header does not decompress: it ends before its stated size");
    }
    return out;
}

// Unpacks the header an encoded header describes: one folder of one coder,
// stored between the packed data and the header pointing at it.
std::vector<uint8_t> DecodeHeader(THeaderReader& reader, uint64_t headerStart,
                                  const TReadAt& readAt) {
    const TStreams streams = ReadStreamsInfo(reader);
    DamagedIf(streams.Folders.size() != 1 || streams.List.size() != 1,
              "its packed header is not one stream");
    const TSevenZipFolder& folder = streams.Folders[0];
    if (folder.Encrypted) {
        Fail(TSevenZipFault::Encrypted, "its header is encrypted");
    }
    const std::vector<uint8_t>& method = folder.Coders[0].Method;
    const bool copy = method.empty() || (method.size() == 1 && method[0] == 0);
    const bool lzma = std::ranges::equal(method, LzmaMethod);
    const bool lzma2 = method.size() == 1 && method[0] == Lzma2Method;
    const bool simple = folder.Coders.size() == 1 && folder.Coders[0].InStreams == 1 &&
                        folder.Coders[0].OutStreams == 1;
    if (!simple || !(copy || lzma || lzma2)) {
        Fail(TSevenZipFault::Unsupported, "its header is packed by a method not supported");
    }
    DamagedIf(folder.UnpackSize > MaxDecodedHeaderSize || folder.PackedSize > MaxNextHeaderSize,
              "its packed header is too large");
    DamagedIf(streams.PackedEnd > headerStart, "its packed header overlaps the header");
    std::vector<uint8_t> packed = ReadExactly(readAt, folder.PackOffset, folder.PackedSize);
    std::vector<uint8_t> header;
    if (copy) {
        DamagedIf(packed.size() != folder.UnpackSize, "its stored header is not its stated size");
        header = std::move(packed);
    } else {
        try {
            const auto properties = std::span<const uint8_t>(folder.Coders[0].Properties);
            const auto decoder = lzma ? MakeLzmaDecoder(properties, folder.UnpackSize)
                                      : MakeLzma2Decoder(properties, folder.UnpackSize);
            header = Inflate(*decoder, packed, folder.UnpackSize);
        } catch (const ECodecError& error) {
            Damaged(std::string("its header does not decompress: ") + error.what());
        }
    }
    DamagedIf(streams.List[0].Crc && *streams.List[0].Crc != CrcOfBytes(header),
              "its unpacked header CRC does not match");
    return header;
}

// The signature header: where the header lies, its size and CRC.
struct TStartHeader {
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint32_t Crc = 0;
};

TStartHeader ReadStartHeader(uint64_t fileSize, const TReadAt& readAt) {
    std::array<uint8_t, SignatureHeaderSize> bytes{};
    const size_t got =
        readAt(0, bytes.data(), static_cast<size_t>(std::min<uint64_t>(fileSize, bytes.size())));
    DamagedIf(got < Signature.size() || !HasSevenZipSignature(bytes),
              "it does not start with the 7z signature");
    if (got < bytes.size()) {
        Fail(TSevenZipFault::Truncated, "it ends inside its signature header");
    }
    TByteCursor cursor(bytes.data(), bytes.size());
    cursor.Skip(Signature.size());
    DamagedIf(cursor.U8() != 0, "its format version is not known");
    cursor.Skip(1); // minor versions only add
    DamagedIf(cursor.U32() != CrcOfBytes(std::span(bytes).subspan(12)),
              "its start header CRC does not match");
    TStartHeader start;
    start.Offset = cursor.U64();
    start.Size = cursor.U64();
    start.Crc = cursor.U32();
    DamagedIf(start.Size > MaxNextHeaderSize, "its header is too large");
    DamagedIf(start.Size == 0 && start.Offset != 0, "its header is empty");
    const uint64_t room = fileSize - SignatureHeaderSize;
    if (start.Offset > room || start.Size > room - start.Offset) {
        Fail(TSevenZipFault::Truncated, "its header lies beyond the end of the file");
    }
    return start;
}

} // namespace

bool HasSevenZipSignature(std::span<const uint8_t> first6) {
    return first6.size() >= Signature.size() &&
           std::equal(Signature.begin(), Signature.end(), first6.begin());
}

TSevenZipListing
ReadSevenZipListing(uint64_t fileSize,
                    const std::function<size_t(uint64_t, uint8_t*, size_t)>& readAt) {
    const TStartHeader start = ReadStartHeader(fileSize, readAt);
    const uint64_t headerStart = SignatureHeaderSize + start.Offset;
    std::vector<uint8_t> header = ReadExactly(readAt, headerStart, start.Size);
    DamagedIf(CrcOfBytes(header) != start.Crc, "its header CRC does not match");
    if (header.empty()) {
        TSevenZipListing empty;
        empty.PackedEnd = SignatureHeaderSize;
        return empty;
    }
    bool encoded = false;
    for (int level = 0;; ++level) {
        THeaderReader reader(header);
        const uint64_t id = reader.Number();
        if (id == IdHeader) {
            TSevenZipListing listing = ReadPlainHeader(reader);
            DamagedIf(listing.PackedEnd > headerStart, "its packed streams overlap its header");
            listing.HeaderWasEncoded = encoded;
            return listing;
        }
        DamagedIf(id != IdEncodedHeader, "its header is of an unknown kind");
        DamagedIf(level == MaxHeaderEncodings, "its header is packed too many times over");
        header = DecodeHeader(reader, headerStart, readAt);
        encoded = true;
    }
}

} // namespace tabula
