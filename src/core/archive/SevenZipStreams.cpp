// The StreamsInfo block of a 7z header: the packed streams, the folders
// whose coders read them, and the streams each folder's output is cut into.

#include "core/archive/SevenZipHeaderReader.h"

#include <array>

namespace tabula::sevenzip {

namespace {

constexpr uint64_t MaxFolderStreams = 64;
constexpr std::array<uint8_t, 4> AesMethod = {0x06, 0xF1, 0x07, 0x01};

uint64_t CheckedAdd(uint64_t a, uint64_t b) {
    DamagedIf(b > UINT64_MAX - a, "its sizes overflow");
    return a + b;
}

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

} // namespace

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

} // namespace tabula::sevenzip
