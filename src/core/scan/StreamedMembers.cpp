#include "core/scan/StreamedMembers.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/SharedLibrary.h"
#include "core/scan/CutFeed.h"
#include "core/scan/MemberCut.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tabula {

namespace {

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

void OpenOrRefuse(TFileReader& file, const std::string& path) {
    if (!file.Open(path)) {
        throw ECrcFileError("File " + QuotedPath(path) + " cannot be read");
    }
}

// Why the library could not give a member's bytes, as the row's failure says it.
std::string StreamFault(const EArchiveStreamError& error) {
    // The library checks a 7z member's CRC itself, at its end.
    const std::string what = error.what();
    const bool method =
        what.find("codec") != std::string::npos || what.find("nsupported") != std::string::npos;
    return what.find("CRC") != std::string::npos ? ": Bad crc (" + what + ")"
           : error.Kind() == EArchiveStreamError::TKind::Encrypted
               ? " is encrypted; encrypted archives are not read (" + what + ")"
           : method ? " cannot be read: its compression method is not supported (" + what + ")"
                    : " is damaged: " + what;
}

// Reads the stream's current member, of size bytes, whole: judged by the
// detectors when there are any (the bytes their rules test are held back
// until they are in: the whole member when a rule tests its last bytes),
// cut, checksummed and checked against storedCrc.
TMemberResult ReadStreamed(TArchiveStream& stream, const std::string& archive,
                           const TMember& member, std::optional<uint32_t> storedCrc,
                           const TCut& modeCut, const TDetectorSet* detectors, TRomHashes* hashes) {
    const uint64_t size = member.Size;
    const uint64_t prefix = detectors != nullptr ? std::min(detectors->PrefixNeeded(), size) : 0;
    const uint64_t suffix = detectors != nullptr ? std::min(detectors->SuffixNeeded(), size) : 0;
    const uint64_t holdUntil = suffix > 0 ? size : prefix;
    std::vector<uint8_t> held;
    uint32_t crc = CrcInit;
    uint32_t whole = CrcInit;
    TCut cut = modeCut;
    TCutRange range;
    std::optional<TCutFeed> feed;
    const auto decide = [&] {
        if (detectors != nullptr) {
            const std::span<const uint8_t> bytes(held);
            cut = detectors
                      ->Match(size, bytes.first(std::min<size_t>(prefix, bytes.size())),
                              bytes.last(std::min<size_t>(suffix, bytes.size())))
                      .value_or(modeCut);
        }
        range = CutRange(cut, size);
        feed.emplace(range.From, range.To, cut.Operation, crc, hashes);
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
        FailArchive(archive, "member " + QuotedPath(member.Name) + StreamFault(error));
    }
    if (handedOut != size) {
        FailArchive(archive, "member " + QuotedPath(member.Name) +
                                 ": its data is shorter than its stated size");
    }
    if (!feed) {
        decide();
    }
    feed->Finish();
    if (storedCrc && ~whole != *storedCrc) {
        FailArchive(archive, "member " + QuotedPath(member.Name) + ": Bad crc");
    }
    return {~crc, range.Size(), DetectorOf(cut)};
}

} // namespace

bool IsSevenZipVolumeName(const std::string& path) {
    // set.7z.001, set.7z.002, ...: what 7-Zip names the volumes of a split set.
    const std::string name = LowerCase(ShortFileName(path));
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && dot >= 3 &&
           IsDigits(std::string_view(name).substr(dot + 1)) && name.compare(dot - 3, 3, ".7z") == 0;
}

TSevenZipMembers::TSevenZipMembers(const TCrc32& collector)
    : collector_(collector), fileName_(collector.FileName()) {
    OpenOrRefuse(file_, fileName_);
    ReadListing();
    for (const TSevenZipMember& member : listing_.Members) {
        if (member.HasStream && member.Folder < listing_.Folders.size() &&
            listing_.Folders[member.Folder].Encrypted) {
            FailArchive(fileName_, "member " + QuotedPath(RowName(member.Name)) +
                                       " is encrypted; encrypted archives are not read");
        }
    }
    const TCollectorFlags& flags = collector.Flags();
    readsAll_ = flags.NesMode || flags.SnesMode || flags.Detectors != nullptr || flags.Hashes.Any();
    const bool readsAny =
        readsAll_ ||
        std::any_of(
            listing_.Members.begin(), listing_.Members.end(), [&](const TSevenZipMember& member) {
                return !member.IsDirectory && !member.IsAnti && !member.IsLink &&
                       !(flags.SkipTxtFiles && FileExtension(RowName(member.Name)) == ".txt") &&
                       member.HasStream && !member.Crc;
            });
    if (readsAny) {
        RefuseBomb();
        OpenStream();
    }
}

void TSevenZipMembers::ReadListing() {
    const bool volume = IsSevenZipVolumeName(fileName_);
    const std::string multiVolume =
        "it is one volume of a multi-volume 7z set; such sets are not read";
    try {
        listing_ =
            ReadSevenZipListing(file_.Size(), [&](uint64_t offset, uint8_t* out, size_t count) {
                return file_.ReadAt(offset, out, count);
            });
    } catch (const ESevenZipError& error) {
        switch (error.Fault()) {
        case TSevenZipFault::Encrypted:
            FailArchive(fileName_, "it is encrypted (its listing needs a password); encrypted "
                                   "archives are not read");
        case TSevenZipFault::Truncated:
            FailArchive(fileName_, volume ? multiVolume
                                          : std::string("it is damaged: ") + error.what() +
                                                " (the file is cut short)");
        case TSevenZipFault::Unsupported:
            FailArchive(fileName_, std::string("it cannot be read: ") + error.what());
        case TSevenZipFault::Damaged:
            FailArchive(fileName_,
                        volume ? multiVolume : std::string("it is damaged: ") + error.what());
        }
    } catch (const ESystemLibraryError& error) {
        FailArchive(fileName_, error.what());
    }
}

void TSevenZipMembers::RefuseBomb() const {
    uint64_t unpacked = 0;
    for (const TSevenZipFolder& folder : listing_.Folders) {
        unpacked += std::min(folder.UnpackSize, std::numeric_limits<uint64_t>::max() - unpacked);
    }
    if (unpacked > DecompressionBound(file_.Size())) {
        FailArchive(fileName_, "its members would decompress to " + std::to_string(unpacked) +
                                   " bytes from " + std::to_string(file_.Size()) +
                                   " (a decompression bomb); the archive is not read");
    }
}

void TSevenZipMembers::OpenStream() {
    try {
        stream_ = std::make_unique<TArchiveStream>(file_, TStreamFormat::SevenZip);
    } catch (const EArchiveStreamError& error) {
        FailArchive(fileName_, std::string("it is damaged: ") + error.what());
    } catch (const ESystemLibraryError& error) {
        FailArchive(fileName_, error.what());
    }
}

bool TSevenZipMembers::Next(TMember& member) {
    while (next_ < listing_.Members.size()) {
        const TSevenZipMember& listed = listing_.Members[next_++];
        std::string name = RowName(listed.Name);
        // The library walks the same list; the two must agree member by member.
        TStreamEntry entry;
        if (stream_) {
            try {
                // A link's data is its target, which the library does not count.
                if (!stream_->Next(entry) ||
                    (!entry.IsDirectory && !entry.IsLink && entry.Size != listed.Size)) {
                    FailArchive(fileName_,
                                "it is damaged: its members are not where its header says");
                }
            } catch (const EArchiveStreamError& error) {
                FailArchive(fileName_, "member " + QuotedPath(name) + ": " + error.what());
            }
        }
        if (listed.IsDirectory || listed.IsAnti || listed.IsLink) {
            continue;
        }
        member_ = &listed;
        // A link holds no ROM; the library gives no data for it.
        member = {std::move(name), listed.Name, listed.Size, !entry.IsLink};
        return true;
    }
    return false;
}

TMemberResult TSevenZipMembers::Read(const TMember& member, const TCut& cut, TRomHashes* hashes) {
    const TSevenZipMember& listed = *member_;
    if (!listed.HasStream || (!readsAll_ && listed.Crc)) {
        // The header knows: nothing is decompressed. An empty member's
        // digests are those of no bytes.
        return {listed.HasStream ? *listed.Crc : 0, static_cast<int64_t>(listed.Size), {}};
    }
    return ReadStreamed(*stream_, fileName_, member, listed.Crc, cut, collector_.Detectors, hashes);
}

TRarMembers::TRarMembers(const TCrc32& collector)
    : collector_(collector), fileName_(collector.FileName()) {
    OpenOrRefuse(file_, fileName_);
    const TRarFacts facts = ReadRarFacts(file_);
    if (!facts.IsRar) {
        FailArchive(fileName_, "it is damaged: it is not a RAR archive");
    }
    if (facts.HeadersEncrypted) {
        FailArchive(fileName_, "it is encrypted (its listing needs a password); encrypted "
                               "archives are not read");
    }
    if (facts.Volume) {
        FailArchive(fileName_,
                    "it is one volume of a multi-volume RAR set; such sets are not read");
    }
    bound_ = DecompressionBound(file_.Size());
    try {
        stream_ = std::make_unique<TArchiveStream>(file_, TStreamFormat::Rar);
    } catch (...) {
        Fail(std::current_exception());
    }
}

void TRarMembers::Fail(const std::exception_ptr& error) const {
    try {
        std::rethrow_exception(error);
    } catch (const EArchiveStreamError& streamError) {
        FailArchive(fileName_, streamError.Kind() == EArchiveStreamError::TKind::Encrypted
                                   ? std::string("it is encrypted; encrypted archives are not "
                                                 "read (") +
                                         streamError.what() + ")"
                                   : std::string("it is damaged: ") + streamError.what());
    } catch (const ESystemLibraryError& libraryError) {
        FailArchive(fileName_, libraryError.what());
    }
}

bool TRarMembers::Next(TMember& member) {
    try {
        if (!NextFile()) {
            return false;
        }
    } catch (const EArchiveStreamError&) {
        Fail(std::current_exception());
    } catch (const ESystemLibraryError&) {
        Fail(std::current_exception());
    }
    member = {RowName(entry_.Name), entry_.Name, entry_.Size, true};
    return true;
}

bool TRarMembers::NextFile() {
    // RAR members are always decompressed: the library gives no CRC.
    while (stream_->Next(entry_)) {
        const std::string name = RowName(entry_.Name);
        if (entry_.IsDirectory || entry_.IsLink) {
            continue;
        }
        if (entry_.Encrypted) {
            FailArchive(fileName_, "member " + QuotedPath(name) +
                                       " is encrypted; encrypted archives are not read");
        }
        if (!entry_.SizeKnown) {
            // What RAR 5 lists for a hard link or a file copy: an entry
            // with no size and no data of its own, no ROM.
            try {
                stream_->ReadData(0, [](std::span<const std::byte>) {});
                continue;
            } catch (const EArchiveStreamError&) {
                FailArchive(fileName_, "member " + QuotedPath(name) + " does not state its size");
            }
        }
        declared_ += std::min(entry_.Size, std::numeric_limits<uint64_t>::max() - declared_);
        if (declared_ > bound_) {
            FailArchive(fileName_, "its members would decompress to more than " +
                                       std::to_string(bound_) + " bytes from " +
                                       std::to_string(file_.Size()) +
                                       " (a decompression bomb); the archive is not read");
        }
        return true;
    }
    return false;
}

TMemberResult TRarMembers::Read(const TMember& member, const TCut& cut, TRomHashes* hashes) {
    try {
        return ReadStreamed(*stream_, fileName_, member, std::nullopt, cut, collector_.Detectors,
                            hashes);
    } catch (const EArchiveStreamError&) {
        Fail(std::current_exception());
    } catch (const ESystemLibraryError&) {
        Fail(std::current_exception());
    }
}

} // namespace tabula
