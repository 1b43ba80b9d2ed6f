#include "core/scan/Crc32.h"

#include "core/archive/ArchiveStream.h"
#include "core/archive/SevenZipHeader.h"
#include "core/checksum/CrcUpdate.h"
#include "core/platform/FileReader.h"
#include "core/platform/SharedLibrary.h"
#include "core/scan/CutFeed.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace tabula {

namespace {

// A name in a message: names on disk are bytes, messages are text. Built in
// steps: GCC 12 warns wrongly on the sum of three strings here (-Wrestrict).
std::string Quoted(const std::string& text) {
    std::string quoted(1, '"');
    quoted += PathText(text);
    quoted += '"';
    return quoted;
}

// What one archive may make the scan decompress: 1024 times its own size
// (LZMA packs a ROM of one repeated byte about that well, and better only
// data made to be a bomb), plus 256 MiB so that small archives of
// well-packed ROMs always pass.
constexpr uint64_t BombRatio = 1024;
constexpr uint64_t BombAllowance = uint64_t{256} << 20;

uint64_t DecompressionBound(uint64_t archiveSize) {
    if (archiveSize > (std::numeric_limits<uint64_t>::max() - BombAllowance) / BombRatio) {
        return std::numeric_limits<uint64_t>::max();
    }
    return archiveSize * BombRatio + BombAllowance;
}

// A stored name as a row names it: folders separated by "\", as in a zip.
std::string RowName(const std::string& stored) {
    std::string name = LowerCase(stored);
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool IsSevenZipVolumeName(const std::string& path) {
    // set.7z.001, set.7z.002, ...: what 7-Zip names the volumes of a split set.
    const std::string name = LowerCase(ShortFileName(path));
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && dot >= 3 &&
           IsDigits(std::string_view(name).substr(dot + 1)) && name.compare(dot - 3, 3, ".7z") == 0;
}

void TCrc32::FailArchive(const std::string& what) const {
    throw ECrcZipError("File " + Quoted(ShortFileName(fileName_)) + ": " + what);
}

bool TCrc32::SetModeCut(int64_t size) {
    headerSize_ = 0;
    cutEnd_ = UINT64_MAX;
    cutOperation_ = TByteOperation::None;
    cutDetector_.clear();
    if (SnesMode) {
        if (size < 8192 && RemoveBadSize) {
            return false;
        }
        headerSize_ = SnesHeaderSize(size);
        if (headerSize_ != 0 && headerSize_ != 512 && RemoveBadSize) {
            return false;
        }
    }
    if (NesMode) {
        headerSize_ = 16;
    }
    return true;
}

void TCrc32::AddMemberRow(const std::string& name, const std::string& nameOnDisk, TCrcResult result,
                          std::unique_ptr<TRomHashes> hashes) {
    AddItem(name, LowerCase(HexText(result.Crc)), result.Size, {}, nameOnDisk);
    items_.back().Detector = std::move(result.Detector);
    if (hashes) {
        pendingDigests_.emplace_back(items_.size() - 1, std::move(hashes));
        if (pendingDigests_.size() >= 64) {
            FinishDigests();
        }
    }
}

TCrc32::TCrcResult TCrc32::ReadStreamedMember(TArchiveStream& stream, uint64_t size,
                                              const std::string& memberName,
                                              std::optional<uint32_t> storedCrc,
                                              TRomHashes* hashes) {
    // With a detector the cut is known once the bytes its rules test are
    // in: they are held back until then (the whole member when a rule tests
    // its last bytes).
    const uint64_t prefix = Detectors != nullptr ? std::min(Detectors->PrefixNeeded(), size) : 0;
    const uint64_t suffix = Detectors != nullptr ? std::min(Detectors->SuffixNeeded(), size) : 0;
    const uint64_t holdUntil = suffix > 0 ? size : prefix;
    std::vector<uint8_t> held;
    uint32_t crc = CrcInit;
    uint32_t whole = CrcInit;
    uint64_t from = 0;
    uint64_t to = 0;
    std::optional<TCutFeed> feed;
    const auto decide = [&] {
        if (Detectors != nullptr) {
            const std::span<const uint8_t> bytes(held);
            const std::optional<TCut> cut =
                Detectors->Match(size, bytes.first(std::min<size_t>(prefix, bytes.size())),
                                 bytes.last(std::min<size_t>(suffix, bytes.size())));
            if (cut) {
                headerSize_ = static_cast<int64_t>(cut->Start);
                cutEnd_ = cut->End;
                cutOperation_ = cut->Operation;
                cutDetector_ = cut->From->FileName;
            }
        }
        from = std::min(static_cast<uint64_t>(headerSize_), size);
        to = std::clamp(cutEnd_, from, size);
        feed.emplace(from, to, cutOperation_, crc, hashes);
        feed->Feed(std::as_bytes(std::span(held)));
        held = {};
    };
    if (holdUntil == 0) {
        decide();
    }
    uint64_t handedOut = 0;
    try {
        stream.ReadData(size, [&](std::span<const std::byte> block) {
            whole = CrcContinue(whole, block);
            handedOut += block.size();
            if (feed) {
                feed->Feed(block);
                return;
            }
            const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
            held.insert(held.end(), bytes, bytes + block.size());
            if (held.size() >= holdUntil) {
                decide();
            }
        });
    } catch (const EArchiveStreamError& error) {
        // The library checks a 7z member's CRC itself, at its end.
        const std::string what = error.what();
        const bool method =
            what.find("codec") != std::string::npos || what.find("nsupported") != std::string::npos;
        FailArchive("member " + Quoted(memberName) +
                    (what.find("CRC") != std::string::npos ? ": Bad crc (" + what + ")"
                     : error.Kind() == EArchiveStreamError::TKind::Encrypted
                         ? " is encrypted; encrypted archives are not read (" + what + ")"
                     : method
                         ? " cannot be read: its compression method is not supported (" + what + ")"
                         : " is damaged: " + what));
    }
    if (handedOut != size) {
        FailArchive("member " + Quoted(memberName) + ": its data is shorter than its stated size");
    }
    if (!feed) {
        decide();
    }
    feed->Finish();
    if (storedCrc && ~whole != *storedCrc) {
        FailArchive("member " + Quoted(memberName) + ": Bad crc");
    }
    return TCrcResult{~crc, static_cast<int64_t>(to - from), {}, cutDetector_};
}

void TCrc32::CollectSevenZip() {
    TFileReader file;
    if (!file.Open(fileName_)) {
        throw ECrcFileError("File " + Quoted(fileName_) + " cannot be read");
    }
    const bool volume = IsSevenZipVolumeName(fileName_);
    const std::string multiVolume =
        "it is one volume of a multi-volume 7z set; such sets are not read";
    TSevenZipListing listing;
    try {
        listing =
            ReadSevenZipListing(file.Size(), [&](uint64_t offset, uint8_t* out, size_t count) {
                return file.ReadAt(offset, out, count);
            });
    } catch (const ESevenZipError& error) {
        switch (error.Fault()) {
        case TSevenZipFault::Encrypted:
            FailArchive("it is encrypted (its listing needs a password); encrypted archives are "
                        "not read");
        case TSevenZipFault::Truncated:
            FailArchive(volume ? multiVolume
                               : std::string("it is damaged: ") + error.what() +
                                     " (the file is cut short)");
        case TSevenZipFault::Unsupported:
            FailArchive(std::string("it cannot be read: ") + error.what());
        case TSevenZipFault::Damaged:
            FailArchive(volume ? multiVolume : std::string("it is damaged: ") + error.what());
        }
    } catch (const ESystemLibraryError& error) {
        FailArchive(error.what());
    }
    for (const TSevenZipMember& member : listing.Members) {
        if (member.HasStream && member.Folder < listing.Folders.size() &&
            listing.Folders[member.Folder].Encrypted) {
            FailArchive("member " + Quoted(RowName(member.Name)) +
                        " is encrypted; encrypted archives are not read");
        }
    }
    const auto skipped = [&](const TSevenZipMember& member) {
        return member.IsDirectory || member.IsAnti || member.IsLink ||
               (SkipTxtFiles && FileExtension(RowName(member.Name)) == ".txt");
    };
    const bool readsAll = NesMode || SnesMode || Detectors != nullptr || Hashes.Any();
    const bool readsAny =
        readsAll || std::any_of(listing.Members.begin(), listing.Members.end(),
                                [&](const TSevenZipMember& member) {
                                    return !skipped(member) && member.HasStream && !member.Crc;
                                });
    if (readsAny) {
        uint64_t unpacked = 0;
        for (const TSevenZipFolder& folder : listing.Folders) {
            unpacked +=
                std::min(folder.UnpackSize, std::numeric_limits<uint64_t>::max() - unpacked);
        }
        if (unpacked > DecompressionBound(file.Size())) {
            FailArchive("its members would decompress to " + std::to_string(unpacked) +
                        " bytes from " + std::to_string(file.Size()) +
                        " (a decompression bomb); the archive is not read");
        }
    }
    std::unique_ptr<TArchiveStream> stream;
    try {
        if (readsAny) {
            stream = std::make_unique<TArchiveStream>(file, TStreamFormat::SevenZip);
        }
    } catch (const EArchiveStreamError& error) {
        FailArchive(std::string("it is damaged: ") + error.what());
    } catch (const ESystemLibraryError& error) {
        FailArchive(error.what());
    }
    items_.reserve(items_.size() + listing.Members.size());
    for (const TSevenZipMember& member : listing.Members) {
        const std::string name = RowName(member.Name);
        // The library walks the same list; the two must agree member by member.
        TStreamEntry entry;
        if (stream) {
            try {
                // A link's data is its target, which the library does not count.
                if (!stream->Next(entry) ||
                    (!entry.IsDirectory && !entry.IsLink && entry.Size != member.Size)) {
                    FailArchive("it is damaged: its members are not where its header says");
                }
            } catch (const EArchiveStreamError& error) {
                FailArchive("member " + Quoted(name) + ": " + error.what());
            }
        }
        if (skipped(member)) {
            continue;
        }
        if (!SetModeCut(static_cast<int64_t>(member.Size))) {
            return;
        }
        if (entry.IsLink) {
            continue; // a link holds no ROM; the library gives no data for it
        }
        const bool reads = member.HasStream && (readsAll || !member.Crc);
        if (!reads) {
            // The header knows: nothing is decompressed.
            const uint32_t crc = member.HasStream ? *member.Crc : 0;
            // An empty member's digests are those of no bytes.
            AddMemberRow(name, member.Name,
                         TCrcResult{crc, static_cast<int64_t>(member.Size), {}, {}},
                         Hashes.Any() ? std::make_unique<TRomHashes>(Hashes) : nullptr);
            continue;
        }
        auto hashes = Hashes.Any() ? std::make_unique<TRomHashes>(Hashes) : nullptr;
        TCrcResult result =
            ReadStreamedMember(*stream, member.Size, name, member.Crc, hashes.get());
        AddMemberRow(name, member.Name, std::move(result), std::move(hashes));
    }
}

void TCrc32::CollectRar() {
    TFileReader file;
    if (!file.Open(fileName_)) {
        throw ECrcFileError("File " + Quoted(fileName_) + " cannot be read");
    }
    const TRarFacts facts = ReadRarFacts(file);
    if (!facts.IsRar) {
        FailArchive("it is damaged: it is not a RAR archive");
    }
    if (facts.HeadersEncrypted) {
        FailArchive("it is encrypted (its listing needs a password); encrypted archives are not "
                    "read");
    }
    if (facts.Volume) {
        FailArchive("it is one volume of a multi-volume RAR set; such sets are not read");
    }
    const uint64_t bound = DecompressionBound(file.Size());
    uint64_t declared = 0;
    try {
        TArchiveStream stream(file, TStreamFormat::Rar);
        TStreamEntry entry;
        // RAR members are always decompressed: the library gives no CRC.
        while (stream.Next(entry)) {
            const std::string name = RowName(entry.Name);
            if (entry.IsDirectory || entry.IsLink) {
                continue;
            }
            if (entry.Encrypted) {
                FailArchive("member " + Quoted(name) +
                            " is encrypted; encrypted archives are not read");
            }
            if (!entry.SizeKnown) {
                // What RAR 5 lists for a hard link or a file copy: an entry
                // with no size and no data of its own, no ROM.
                try {
                    stream.ReadData(0, [](std::span<const std::byte>) {});
                    continue;
                } catch (const EArchiveStreamError&) {
                    FailArchive("member " + Quoted(name) + " does not state its size");
                }
            }
            declared += std::min(entry.Size, std::numeric_limits<uint64_t>::max() - declared);
            if (declared > bound) {
                FailArchive("its members would decompress to more than " + std::to_string(bound) +
                            " bytes from " + std::to_string(file.Size()) +
                            " (a decompression bomb); the archive is not read");
            }
            if (SkipTxtFiles && FileExtension(name) == ".txt") {
                continue;
            }
            if (!SetModeCut(static_cast<int64_t>(entry.Size))) {
                return;
            }
            auto hashes = Hashes.Any() ? std::make_unique<TRomHashes>(Hashes) : nullptr;
            TCrcResult result =
                ReadStreamedMember(stream, entry.Size, name, std::nullopt, hashes.get());
            AddMemberRow(name, entry.Name, std::move(result), std::move(hashes));
        }
    } catch (const EArchiveStreamError& error) {
        FailArchive(error.Kind() == EArchiveStreamError::TKind::Encrypted
                        ? std::string("it is encrypted; encrypted archives are not read (") +
                              error.what() + ")"
                        : std::string("it is damaged: ") + error.what());
    } catch (const ESystemLibraryError& error) {
        FailArchive(error.what());
    }
}

} // namespace tabula
