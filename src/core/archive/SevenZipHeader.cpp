// The listing of a 7z archive from its header alone. Every field passes
// through a bounds-checked cursor and every count is held against the bytes
// left, since the header is read before anything in the archive is trusted.

#include "core/archive/SevenZipHeader.h"

#include "core/archive/Codecs.h"
#include "core/bytes/ByteCursor.h"
#include "core/checksum/CrcUpdate.h"

#include <algorithm>
#include <array>
#include <memory>

namespace tabula {

ESevenZipError::ESevenZipError(TSevenZipFault fault, const std::string& what)
    : std::runtime_error(what), fault_(fault) {}

namespace {

using TReadAt = std::function<size_t(uint64_t, uint8_t*, size_t)>;

constexpr std::array<uint8_t, 6> Signature = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t SignatureHeaderSize = 32;
// Caps far above any real listing, so that a forged size cannot make us
// read or inflate gigabytes before finding out.
constexpr uint64_t MaxNextHeaderSize = uint64_t{64} << 20;
constexpr uint64_t MaxDecodedHeaderSize = uint64_t{256} << 20;
constexpr int MaxHeaderEncodings = 4;
// A packed header of a few KiB can unpack to a count of millions; each
// member costs far more memory than its header bytes, so the count is held
// to what any collection could hold.
constexpr uint32_t MaxMembers = uint32_t{1} << 22;
constexpr uint64_t MaxFolderStreams = 64;

constexpr std::array<uint8_t, 4> AesMethod = {0x06, 0xF1, 0x07, 0x01};
constexpr std::array<uint8_t, 3> LzmaMethod = {0x03, 0x01, 0x01};
constexpr uint8_t Lzma2Method = 0x21;
constexpr uint32_t DirectoryAttribute = 0x10;
constexpr uint32_t UnixExtension = 0x8000;
constexpr uint32_t UnixFileType = 0170000;
constexpr uint32_t UnixSymbolicLink = 0120000;

// Property ids.
constexpr uint64_t IdEnd = 0x00, IdHeader = 0x01, IdArchiveProperties = 0x02,
                   IdAdditionalStreamsInfo = 0x03, IdMainStreamsInfo = 0x04, IdFilesInfo = 0x05,
                   IdPackInfo = 0x06, IdUnpackInfo = 0x07, IdSubStreamsInfo = 0x08, IdSize = 0x09,
                   IdCrc = 0x0A, IdFolder = 0x0B, IdCodersUnpackSize = 0x0C,
                   IdNumUnpackStream = 0x0D, IdEmptyStream = 0x0E, IdEmptyFile = 0x0F,
                   IdAnti = 0x10, IdName = 0x11, IdWinAttributes = 0x15, IdEncodedHeader = 0x17;

[[noreturn]] void Fail(TSevenZipFault fault, const std::string& what) {
    throw ESevenZipError(fault, what);
}

[[noreturn]] void Damaged(const std::string& what) {
    Fail(TSevenZipFault::Damaged, what);
}

void DamagedIf(bool bad, const char* what) {
    if (bad) {
        Damaged(what);
    }
}

uint64_t CheckedAdd(uint64_t a, uint64_t b) {
    DamagedIf(b > UINT64_MAX - a, "its sizes overflow");
    return a + b;
}

uint32_t CrcOfBytes(std::span<const uint8_t> bytes) {
    return ~CrcContinue(CrcInit, std::as_bytes(bytes));
}

bool Bit(std::span<const uint8_t> bits, size_t index) {
    return index / 8 < bits.size() && (bits[index / 8] & (0x80 >> (index % 8))) != 0;
}

// The header's fields through the bounds-checked cursor: running out of
// header is damage, whichever field it cuts.
class THeaderReader {
public:
    explicit THeaderReader(std::span<const uint8_t> bytes) : cursor_(bytes) {}

    size_t Remaining() const { return cursor_.Remaining(); }
    uint8_t Byte() { return Checked(cursor_.U8()); }
    uint32_t U32() { return Checked(cursor_.U32()); }
    std::span<const uint8_t> Bytes(uint64_t count) {
        return Checked(cursor_.Bytes(static_cast<size_t>(std::min<uint64_t>(count, SIZE_MAX))));
    }

    // The variable-length number: each leading 1-bit of the first byte adds
    // one more little-endian byte below the first byte's remaining bits.
    uint64_t Number() {
        const uint8_t first = Byte();
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> i);
            if ((first & mask) == 0) {
                return value | (static_cast<uint64_t>(first & (mask - 1)) << (8 * i));
            }
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
        }
        return value;
    }

    // A count of items that each take at least a byte of what follows, so
    // that no forged count can allocate more than the header's size.
    uint32_t Count() {
        const uint64_t count = Number();
        DamagedIf(count > Remaining() || count > UINT32_MAX,
                  "it counts more items than its header holds");
        return static_cast<uint32_t>(count);
    }

    std::span<const uint8_t> Bits(size_t count) { return Bytes((count + 7) / 8); }

    // A property's data as a reader of its own.
    THeaderReader Property() { return THeaderReader(Bytes(Number())); }

    // Passes over properties that do not matter here until id.
    void SkipTo(uint64_t id) {
        for (uint64_t next = Number(); next != id; next = Number()) {
            DamagedIf(next == IdEnd, "its header lacks a required entry");
            Property();
        }
    }

    // Reads properties from id up to the end mark, passing over all but a
    // kCRC, whose count digests it returns (none without a kCRC).
    std::vector<std::optional<uint32_t>> CrcsToEnd(uint64_t id, size_t count) {
        std::vector<std::optional<uint32_t>> crcs;
        for (; id != IdEnd; id = Number()) {
            if (id == IdCrc) {
                crcs = Digests(count);
            } else {
                Property();
            }
        }
        return crcs;
    }

    std::vector<std::optional<uint32_t>> Digests(size_t count) {
        const bool allDefined = Byte() != 0;
        const std::span<const uint8_t> defined =
            allDefined ? std::span<const uint8_t>() : Bits(count);
        std::vector<std::optional<uint32_t>> digests(count);
        for (size_t i = 0; i < count; ++i) {
            if (allDefined || Bit(defined, i)) {
                digests[i] = U32();
            }
        }
        return digests;
    }

private:
    template <class T> T Checked(T value) {
        DamagedIf(!cursor_.Ok(), "its header ends early");
        return value;
    }

    TByteCursor cursor_;
};

// One stream of a folder's output: the bytes of one member.
struct TStream {
    uint64_t Size = 0;
    std::optional<uint32_t> Crc;
    uint32_t Folder = 0;
    uint64_t Offset = 0; // in its folder's output
};

// What a StreamsInfo block describes: packed streams, the folders that read
// them, and the streams their outputs are cut into.
struct TStreams {
    uint64_t PackStart = SignatureHeaderSize;
    std::vector<uint64_t> PackSizes;
    std::vector<TSevenZipFolder> Folders;
    std::vector<TStream> List;
    uint64_t PackedEnd = SignatureHeaderSize;
};

TSevenZipCoder ReadCoder(THeaderReader& reader) {
    const uint8_t flags = reader.Byte();
    DamagedIf((flags & 0xC0) != 0 || (flags & 0x0F) > 8, "a coder of a folder is malformed");
    TSevenZipCoder coder;
    const auto method = reader.Bytes(flags & 0x0F);
    coder.Method.assign(method.begin(), method.end());
    if ((flags & 0x10) != 0) {
        const uint64_t in = reader.Number();
        const uint64_t out = reader.Number();
        DamagedIf(in == 0 || out == 0 || in > MaxFolderStreams || out > MaxFolderStreams,
                  "a coder of a folder has impossible stream counts");
        coder.InStreams = static_cast<uint32_t>(in);
        coder.OutStreams = static_cast<uint32_t>(out);
    }
    if ((flags & 0x20) != 0) {
        const auto properties = reader.Bytes(reader.Number());
        coder.Properties.assign(properties.begin(), properties.end());
    }
    return coder;
}

// Returns the one index below count that used does not hold.
uint32_t OnlyUnused(const std::vector<bool>& used) {
    return static_cast<uint32_t>(std::find(used.begin(), used.end(), false) - used.begin());
}

TSevenZipFolder ReadFolder(THeaderReader& reader) {
    TSevenZipFolder folder;
    const uint32_t coders = reader.Count();
    DamagedIf(coders == 0 || coders > MaxFolderStreams,
              "a folder has an impossible number of coders");
    uint64_t inTotal = 0;
    uint64_t outTotal = 0;
    for (uint32_t i = 0; i < coders; ++i) {
        folder.Coders.push_back(ReadCoder(reader));
        const TSevenZipCoder& coder = folder.Coders.back();
        inTotal += coder.InStreams;
        outTotal += coder.OutStreams;
        folder.Encrypted |= std::ranges::equal(coder.Method, AesMethod);
    }
    // Every out stream but the folder's output feeds an in stream; the in
    // streams left over are read from the packed streams.
    const uint64_t bindPairs = outTotal - 1;
    DamagedIf(inTotal > MaxFolderStreams || outTotal > MaxFolderStreams || inTotal <= bindPairs,
              "a folder's streams do not connect");
    std::vector<bool> inUsed(inTotal);
    std::vector<bool> outUsed(outTotal);
    for (uint64_t i = 0; i < bindPairs; ++i) {
        const uint64_t in = reader.Number();
        const uint64_t out = reader.Number();
        DamagedIf(in >= inTotal || out >= outTotal || inUsed[in] || outUsed[out],
                  "a folder's streams do not connect");
        inUsed[in] = outUsed[out] = true;
        folder.BindPairs.emplace_back(static_cast<uint32_t>(in), static_cast<uint32_t>(out));
    }
    folder.MainOutStream = OnlyUnused(outUsed);
    folder.OutSizes.resize(outTotal);
    // A lone packed stream feeds the one unbound in stream, so is not named.
    const uint64_t packed = inTotal - bindPairs;
    for (uint64_t i = 0; i < packed; ++i) {
        const uint64_t in = packed == 1 ? OnlyUnused(inUsed) : reader.Number();
        DamagedIf(in >= inTotal || inUsed[in], "a folder's streams do not connect");
        inUsed[in] = true;
        folder.PackedStreams.push_back(static_cast<uint32_t>(in));
    }
    return folder;
}

// Gives each folder its packed streams, which lie one after another from
// the start of the packed data in folder order.
void PlacePackedStreams(TStreams& streams) {
    const std::vector<uint64_t>& packSizes = streams.PackSizes;
    size_t next = 0;
    uint64_t offset = streams.PackStart;
    for (TSevenZipFolder& folder : streams.Folders) {
        DamagedIf(folder.PackedStreams.size() > packSizes.size() - next,
                  "its folders need more packed streams than it lists");
        folder.PackOffset = offset;
        for (size_t i = 0; i < folder.PackedStreams.size(); ++i, ++next) {
            folder.PackSizes.push_back(packSizes[next]);
            folder.PackedSize = CheckedAdd(folder.PackedSize, packSizes[next]);
        }
        offset = CheckedAdd(offset, folder.PackedSize);
    }
    DamagedIf(next != packSizes.size(), "it lists packed streams that no folder reads");
    streams.PackedEnd = offset;
}

void ReadPackInfo(THeaderReader& reader, TStreams& streams) {
    streams.PackStart = CheckedAdd(SignatureHeaderSize, reader.Number());
    streams.PackSizes.resize(reader.Count());
    reader.SkipTo(IdSize);
    for (uint64_t& size : streams.PackSizes) {
        size = reader.Number();
    }
    reader.CrcsToEnd(reader.Number(), streams.PackSizes.size()); // of no use to a listing
}

void ReadUnpackInfo(THeaderReader& reader, TStreams& streams) {
    reader.SkipTo(IdFolder);
    const uint32_t count = reader.Count();
    DamagedIf(reader.Byte() != 0, "its folders lie outside the header");
    for (uint32_t i = 0; i < count; ++i) {
        streams.Folders.push_back(ReadFolder(reader));
    }
    reader.SkipTo(IdCodersUnpackSize);
    for (TSevenZipFolder& folder : streams.Folders) {
        for (uint64_t& size : folder.OutSizes) {
            size = reader.Number();
        }
        folder.UnpackSize = folder.OutSizes[folder.MainOutStream];
    }
    const auto crcs = reader.CrcsToEnd(reader.Number(), count);
    for (size_t i = 0; i < crcs.size(); ++i) {
        streams.Folders[i].UnpackCrc = crcs[i];
    }
}

// Cuts each folder's output into its streams: counts per folder, the sizes
// of all but each folder's last stream (that one takes the rest), and the
// CRCs a lone stream cannot take from its folder. Without this block, each
// folder's output is one stream.
void ReadSubStreamsInfo(THeaderReader& reader, TStreams& streams, bool present) {
    const size_t folders = streams.Folders.size();
    std::vector<uint32_t> counts(folders, 1);
    uint64_t id = present ? reader.Number() : IdEnd;
    for (; id != IdSize && id != IdCrc && id != IdEnd; id = reader.Number()) {
        if (id != IdNumUnpackStream) {
            reader.Property();
            continue;
        }
        for (uint32_t& count : counts) {
            count = reader.Count();
        }
    }
    for (size_t f = 0; f < folders; ++f) {
        DamagedIf(id != IdSize && counts[f] > 1, "its stream sizes are missing");
        const uint64_t whole = streams.Folders[f].UnpackSize;
        uint64_t sum = 0;
        for (uint32_t s = 0; s < counts[f]; ++s) {
            DamagedIf(s + 1 == counts[f] && sum > whole, "its stream sizes exceed their folder's");
            const uint64_t size = s + 1 < counts[f] ? reader.Number() : whole - sum;
            const bool lone = counts[f] == 1 && streams.Folders[f].UnpackCrc.has_value();
            streams.List.push_back({size, lone ? streams.Folders[f].UnpackCrc : std::nullopt,
                                    static_cast<uint32_t>(f), sum});
            sum = CheckedAdd(sum, size);
        }
    }
    if (id == IdSize) {
        id = reader.Number();
    }
    std::vector<TStream*> unknown;
    for (TStream& stream : streams.List) {
        if (!stream.Crc) {
            unknown.push_back(&stream);
        }
    }
    const auto crcs = reader.CrcsToEnd(id, unknown.size());
    for (size_t i = 0; i < crcs.size(); ++i) {
        unknown[i]->Crc = crcs[i];
    }
}

TStreams ReadStreamsInfo(THeaderReader& reader) {
    TStreams streams;
    uint64_t id = reader.Number();
    if (id == IdPackInfo) {
        ReadPackInfo(reader, streams);
        id = reader.Number();
    }
    if (id == IdUnpackInfo) {
        ReadUnpackInfo(reader, streams);
        id = reader.Number();
    }
    PlacePackedStreams(streams);
    ReadSubStreamsInfo(reader, streams, id == IdSubStreamsInfo);
    if (id == IdSubStreamsInfo) {
        id = reader.Number();
    }
    DamagedIf(id != IdEnd, "its header is out of order");
    return streams;
}

void AppendUtf8(std::string& text, uint32_t code) {
    constexpr uint8_t Lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int more = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    text += static_cast<char>(Lead[more] | (code >> (6 * more)));
    for (int i = more - 1; i >= 0; --i) {
        text += static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F));
    }
}

// Names are zero-terminated UTF-16LE, one per member, filling the property.
void ReadNames(THeaderReader& property, std::vector<TSevenZipMember>& members) {
    DamagedIf(property.Byte() != 0, "its names lie outside the header");
    std::vector<uint32_t> units;
    for (TSevenZipMember& member : members) {
        units.clear();
        for (auto unit = property.Bytes(2); unit[0] != 0 || unit[1] != 0;
             unit = property.Bytes(2)) {
            units.push_back(static_cast<uint32_t>(unit[0] | unit[1] << 8));
        }
        for (size_t i = 0; i < units.size(); ++i) {
            uint32_t code = units[i];
            const bool high = code >= 0xD800 && code < 0xDC00;
            if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
            } else if (code >= 0xD800 && code < 0xE000) {
                code = 0xFFFD;
            }
            AppendUtf8(member.Name, code);
        }
    }
    DamagedIf(property.Remaining() != 0, "its names do not fill their space");
}

void ReadAttributes(THeaderReader& property, std::vector<TSevenZipMember>& members,
                    std::vector<bool>& directory) {
    const bool allDefined = property.Byte() != 0;
    const auto defined = allDefined ? std::span<const uint8_t>() : property.Bits(members.size());
    DamagedIf(property.Byte() != 0, "its attributes lie outside the header");
    for (size_t i = 0; i < members.size(); ++i) {
        if (allDefined || Bit(defined, i)) {
            const uint32_t attributes = property.U32();
            directory[i] = (attributes & DirectoryAttribute) != 0;
            // A Unix mode in the high half: a symbolic link stores its target as data.
            members[i].IsLink = (attributes & UnixExtension) != 0 &&
                                (attributes >> 16 & UnixFileType) == UnixSymbolicLink;
        }
    }
}

std::vector<TSevenZipMember> ReadFilesInfo(THeaderReader& reader) {
    const uint32_t count = reader.Count();
    DamagedIf(count > MaxMembers, "it lists an implausible number of members");
    std::vector<TSevenZipMember> members(count);
    std::vector<bool> directory(members.size());
    std::span<const uint8_t> emptyStream, emptyFile, anti;
    size_t empties = 0;
    for (uint64_t id = reader.Number(); id != IdEnd; id = reader.Number()) {
        THeaderReader property = reader.Property();
        if (id == IdEmptyStream) {
            emptyStream = property.Bits(members.size());
            empties = 0;
            for (size_t i = 0; i < members.size(); ++i) {
                empties += Bit(emptyStream, i);
            }
        } else if (id == IdEmptyFile) {
            emptyFile = property.Bits(empties);
        } else if (id == IdAnti) {
            anti = property.Bits(empties);
        } else if (id == IdName) {
            ReadNames(property, members);
        } else if (id == IdWinAttributes) {
            ReadAttributes(property, members, directory);
        }
    }
    for (size_t i = 0, empty = 0; i < members.size(); ++i) {
        if (!Bit(emptyStream, i)) {
            continue;
        }
        TSevenZipMember& member = members[i];
        member.HasStream = false;
        member.IsAnti = Bit(anti, empty);
        member.IsDirectory = directory[i] || !Bit(emptyFile, empty);
        ++empty;
    }
    return members;
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
