#include "core/scan/Crc32.h"

#include "core/scan/CutFeed.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/CurrentDirectory.h"
#include "core/platform/FileReader.h"
#include "core/platform/OutputFile.h"
#include "core/platform/PrivateDirectory.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"
#include "core/zip/MemberData.h"
#include "core/zip/TrustedZipCrc.h"
#include "core/zip/ZipComponent.h"
#include "core/zip/ZipFormat.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

namespace tabula {

namespace {

// A path or name in a message: names on disk are bytes, messages are text.
std::string Quoted(const std::string& text) {
    return "\"" + PathText(text) + "\"";
}

// A member name for a message, up to a NUL it may hold.
std::string NameUpToNul(const std::string& name) {
    return name.substr(0, name.find('\0'));
}

// Members whose digests may be still in the making at once: enough to keep
// the helper busy, few enough that their contexts cost nothing.
constexpr size_t MaxPendingDigests = 64;

// A folder stored in the archive: nothing to checksum and nothing to extract.
bool IsFolderEntry(const ZipDirEntry& entry) {
    return entry.UncompressedSize == 0 && !entry.FileName.empty() &&
           (entry.FileName.back() == '\\' || entry.FileName.back() == '/');
}

// The file the extraction of member left in the current directory (the
// extraction folder), which held nothing before. The library names it after
// the member's stored bytes, which may differ from the listed name in case or
// encoding.
std::string ExtractedCopy(const std::string& archivePath, const std::string& member) {
    const std::vector<std::string> entries = DirectoryEntries(".");
    if (entries.size() == 1) {
        return entries.front();
    }
    const std::string bare = ShortFileName(member);
    const auto named = std::find_if(entries.begin(), entries.end(),
                                    [&](const std::string& entry) { return entry == bare; });
    if (named != entries.end()) {
        return *named;
    }
    throw ECrcFileError("Member " + Quoted(member) + " of " + Quoted(ShortFileName(archivePath)) +
                        " was not extracted");
}

} // namespace

void TCrc32::CollectArchive() {
    const std::string archiveName = ShortFileName(fileName_);
    // Still the same file once the current directory has moved into the
    // extraction folder. A listing reads the directory alone and needs none.
    const bool readsMembers = NesMode || SnesMode || Hashes.Any() || Detectors != nullptr;
    if (readsMembers) {
        absoluteArchive_ = AbsolutePath(fileName_);
    }
    TZipComponent zip(Ui);
    // Members read directly are read from the file listed, not opened again.
    zip.KeepListedArchiveOpen(readsMembers);
    const TZipComponent::TOutcome listed = zip.ListArchive(fileName_);
    // A file that is not there, or no regular file, was left unlisted.
    RefuseUnlessRegular(zip.ZipStatus());
    if (!listed.Ok()) {
        throw ECrcZipError("File " + Quoted(archiveName) + ": " + listed.Message);
    }

    listedArchive_ = zip.ZipStatus();
    trustedArchive_ = zip.TakeListedArchive();
    const std::span<const ZipDirEntry> entries = zip.DirEntries();
    if (const auto overlap = OverlappingEntries(entries, zip.LastDisk() != 0)) {
        throw ECrcZipError("File " + Quoted(archiveName) + ": members " +
                           Quoted(NameUpToNul(entries[overlap->first].FileName)) + " and " +
                           Quoted(NameUpToNul(entries[overlap->second].FileName)) +
                           " share their bytes (overlapping entries, a form of decompression "
                           "bomb); the archive is not read");
    }
    // Stored names of the members extracted so far: the library finds a
    // member by its name, so a second member of the same name is out of reach.
    std::unordered_set<std::string> extractedNames;
    items_.reserve(items_.size() + entries.size());
    for (const ZipDirEntry& entry : entries) {
        const std::string name = LowerCase(entry.FileName);
        if (entry.RawFileName.find('\0') != std::string::npos) {
            throw ECrcZipError("File " + Quoted(archiveName) + ": member " +
                               Quoted(NameUpToNul(name)) +
                               " is damaged: its name holds a NUL byte");
        }
        const uint32_t size = entry.UncompressedSize;
        if (SkipTxtFiles && FileExtension(name) == ".txt") {
            continue;
        }
        if (IsFolderEntry(entry)) {
            continue;
        }
        // A bad SNES size ends the whole archive, keeping what came before.
        if (!SetModeCut(size)) {
            return;
        }
        // Judged by its first and last bytes; one that cannot be read in
        // place is judged as its extracted copy, like a loose file.
        bool judgeExtracted = false;
        if (Detectors != nullptr) {
            const TMemberCut judged = DetectMember(zip, entry, name);
            judgeExtracted = !judged.Readable;
            if (judged.Cut) {
                headerSize_ = static_cast<int64_t>(judged.Cut->Start);
                cutEnd_ = judged.Cut->End;
                cutOperation_ = judged.Cut->Operation;
                cutDetector_ = judged.Cut->From->FileName;
            }
        }
        const bool cutsStartOnly =
            cutEnd_ >= size && cutOperation_ == TByteOperation::None && !judgeExtracted;
        const int64_t cutSize = std::max<int64_t>(
            0, static_cast<int64_t>(std::min<uint64_t>(cutEnd_, size)) - headerSize_);
        const bool cut = headerSize_ != 0 || !cutsStartOnly;
        if (Hashes.Any() ||
            (Detectors != nullptr && cut && !judgeExtracted && !(TrustZipCrc && cutsStartOnly))) {
            // Digests need the bytes, and so does a detector's cut (but for a
            // header with trusted CRCs): the directory's CRC cannot give them.
            auto hashes = Hashes.Any() ? std::make_unique<TRomHashes>(Hashes) : nullptr;
            if (const std::optional<TCrcResult> read =
                    ReadInMemory(zip, entry, name, hashes.get())) {
                AddItem(name, LowerCase(HexText(read->Crc)), read->Size, {}, entry.FileName);
                items_.back().Detector = cutDetector_;
                if (hashes) {
                    pendingDigests_.emplace_back(items_.size() - 1, std::move(hashes));
                    if (pendingDigests_.size() >= MaxPendingDigests) {
                        FinishDigests();
                    }
                }
                continue;
            }
        }
        if (headerSize_ == 0 && cutsStartOnly && !Hashes.Any()) {
            // The directory already knows: nothing is decompressed.
            AddItem(name, LowerCase(HexText(entry.Crc)), size, {}, entry.FileName);
            items_.back().Detector = cutDetector_;
        } else if (const auto trusted = Hashes.Any() || !cutsStartOnly
                                            ? std::nullopt
                                            : TrustedCrcOfJudged(zip, entry)) {
            AddItem(name, LowerCase(HexText(*trusted)), cutSize, {}, entry.FileName);
            items_.back().Detector = cutDetector_;
        } else if (const auto read = DecodedByLibrary(entry.CompressionMethod)
                                         ? ReadInMemory(zip, entry, name, nullptr)
                                         : std::nullopt) {
            AddItem(name, LowerCase(HexText(read->Crc)), read->Size, {}, entry.FileName);
            items_.back().Detector = cutDetector_;
        } else {
            if (!extractedNames.insert(entry.RawFileName).second) {
                throw ECrcZipError("File " + Quoted(archiveName) + ": member " + Quoted(name) +
                                   " is stored twice under the same name; the second cannot be "
                                   "extracted apart from the first");
            }
            // Checked on both sides: the library opens the archive anew.
            RefuseIfArchiveChanged();
            TCrcResult result = CrcOfZipMember(fileName_, entry, name, zip.LastDisk());
            RefuseIfArchiveChanged();
            AddItem(name, LowerCase(HexText(result.Crc)), result.Size, std::move(result.Digests),
                    entry.FileName);
            items_.back().Detector = std::move(result.Detector);
        }
    }
}

const TFileReader* TCrc32::DirectArchive() {
    // One opening of the archive serves all its members.
    if (!trustedArchive_) {
        auto reader = std::make_unique<TFileReader>();
        if (!reader->Open(absoluteArchive_) ||
            !(reader->Identity() == TFileIdentity{listedArchive_.Device, listedArchive_.Inode})) {
            RefuseIfArchiveChanged();
            return nullptr; // extraction tells what is wrong
        }
        trustedArchive_ = std::move(reader);
    }
    return trustedArchive_.get();
}

namespace {

// A member of a split set can be read directly only when its header lies on
// the last volume, the file listed; in a set the directory may start on
// another volume, so the file's end bounds the data then.
std::optional<uint64_t> DirectDataEnd(const TZipComponent& zip, const ZipDirEntry& entry,
                                      const TFileReader& archive) {
    if (zip.LastDisk() != 0 && entry.DiskNumberStart != zip.LastDisk()) {
        return std::nullopt;
    }
    return zip.LastDisk() == 0 && zip.DirectoryOffset() >= 0
               ? static_cast<uint64_t>(zip.DirectoryOffset())
               : archive.Size();
}

} // namespace

std::optional<uint32_t> TCrc32::TrustedCrcOfJudged(const TZipComponent& zip,
                                                   const ZipDirEntry& entry) {
    // The header was decompressed to judge the member: it is not read again.
    if (Detectors != nullptr && TrustZipCrc &&
        static_cast<uint64_t>(headerSize_) <= detectedHead_.size()) {
        return TrustedCrcFromHeader(
            entry,
            std::as_bytes(std::span(detectedHead_.data(), static_cast<std::size_t>(headerSize_))));
    }
    return TrustedCrc(zip, entry);
}

std::optional<uint32_t> TCrc32::TrustedCrc(const TZipComponent& zip, const ZipDirEntry& entry) {
    const TFileReader* archive = TrustZipCrc ? DirectArchive() : nullptr;
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(zip, entry, *archive) : std::nullopt;
    if (!dataEnd) {
        return std::nullopt;
    }
    if (headerSize_ > int64_t{UINT32_MAX}) {
        return std::nullopt;
    }
    return TrustedCrcWithoutHeader(*archive, entry, static_cast<uint32_t>(headerSize_), *dataEnd);
}

std::optional<TCrc32::TCrcResult> TCrc32::ReadInMemory(const TZipComponent& zip,
                                                       const ZipDirEntry& entry,
                                                       const std::string& memberName,
                                                       TRomHashes* hashes) {
    const TFileReader* archive = DirectArchive();
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(zip, entry, *archive) : std::nullopt;
    if (!dataEnd) {
        return std::nullopt;
    }
    // The CRC and the digests take the cut alone; the whole member's CRC is
    // checked by the reader.
    const uint64_t size = entry.UncompressedSize;
    const uint64_t from = std::min(static_cast<uint64_t>(headerSize_), size);
    const uint64_t to = std::clamp(cutEnd_, from, size);
    uint32_t crc = CrcInit;
    TCutFeed feed(from, to, cutOperation_, crc, hashes);
    try {
        const bool read = ReadMemberData(
            *archive, entry, *dataEnd, [&](std::span<const std::byte> block) { feed.Feed(block); });
        if (!read) {
            return std::nullopt;
        }
    } catch (const EMemberDataError& error) {
        throw ECrcZipError("File " + Quoted(ShortFileName(fileName_)) + ": member " +
                           Quoted(memberName) + ": " + error.what());
    }
    feed.Finish();
    RefuseIfArchiveChanged();
    return TCrcResult{~crc, static_cast<int64_t>(to - from), {}, cutDetector_};
}

TCrc32::TMemberCut TCrc32::DetectMember(const TZipComponent& zip, const ZipDirEntry& entry,
                                        const std::string& memberName) {
    TMemberCut judged;
    const TFileReader* archive = DirectArchive();
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(zip, entry, *archive) : std::nullopt;
    if (!dataEnd) {
        return judged;
    }
    const uint64_t size = entry.UncompressedSize;
    const uint64_t suffix = std::min(Detectors->SuffixNeeded(), size);
    std::vector<uint8_t>& head = detectedHead_;
    head.clear();
    if (suffix == 0) {
        // The first bytes alone, decompressed only as far as the tests ask:
        // most rules look at a few bytes, and a rule that looks further is
        // given a longer start, decompressed anew.
        bool unreadable = false;
        const auto bytesAt = [&](uint64_t offset, std::size_t count) -> const uint8_t* {
            const uint64_t end = offset + count;
            if (end > head.size()) {
                const uint64_t want = std::min(size, std::max<uint64_t>(end, 16));
                head.resize(static_cast<std::size_t>(want));
                if (!ReadMemberStart(*archive, entry, *dataEnd,
                                     std::as_writable_bytes(std::span(head)))) {
                    head.clear();
                    unreadable = true;
                    return nullptr;
                }
            }
            return head.data() + offset;
        };
        std::optional<TCut> cut = Detectors->Match(size, bytesAt);
        if (unreadable) {
            return judged;
        }
        judged.Readable = true;
        judged.Cut = std::move(cut);
        return judged;
    }
    // Tests from the end: the member is read through, its first and last
    // bytes kept.
    const uint64_t prefix = std::min(Detectors->PrefixNeeded(), size);
    head.resize(static_cast<std::size_t>(prefix));
    std::vector<uint8_t> tail(static_cast<std::size_t>(suffix));
    uint64_t position = 0;
    try {
        const bool read =
            ReadMemberData(*archive, entry, *dataEnd, [&](std::span<const std::byte> block) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
                for (std::size_t i = 0; i < block.size(); ++i, ++position) {
                    if (position < prefix) {
                        head[static_cast<std::size_t>(position)] = bytes[i];
                    }
                    if (position >= size - suffix) {
                        tail[static_cast<std::size_t>(position - (size - suffix))] = bytes[i];
                    }
                }
            });
        if (!read) {
            return judged;
        }
    } catch (const EMemberDataError& error) {
        throw ECrcZipError("File " + Quoted(ShortFileName(fileName_)) + ": member " +
                           Quoted(memberName) + ": " + error.what());
    }
    judged.Readable = true;
    judged.Cut = Detectors->Match(size, head, tail);
    return judged;
}

void TCrc32::RefuseIfArchiveChanged() const {
    const TPathStatus now = StatPath(absoluteArchive_);
    if (now.Kind != listedArchive_.Kind || now.Device != listedArchive_.Device ||
        now.Inode != listedArchive_.Inode || now.Size != listedArchive_.Size ||
        !(now.Modified == listedArchive_.Modified) || !(now.Changed == listedArchive_.Changed)) {
        throw ECrcZipError("File " + Quoted(ShortFileName(fileName_)) +
                           " was replaced or changed while it was read; its remaining members "
                           "were not read");
    }
}

const std::string& TCrc32::JoinedSet(const std::string& archivePath) {
    if (joinedSet_.empty()) {
        TZipComponent joiner(Ui);
        joiner.SetErrCode(0);
        // Beside the extraction folder, which must hold nothing but members.
        try {
            joinDir_ = std::make_unique<TPrivateDirectory>(tempPath_, "tabula-join-");
        } catch (const EPrivateDirectoryError& error) {
            throw ECrcZipError(error.what());
        }
        std::string joined = joinDir_->Path() + "/";
        if (joiner.ReadSpan(archivePath, joined) != TSpanResult::Joined) {
            throw ECrcZipError(joiner.Message());
        }
        joinedSet_ = joined;
    }
    return joinedSet_;
}

TCrc32::TCrcResult TCrc32::CrcOfZipMember(const std::string& archivePath, const ZipDirEntry& entry,
                                          const std::string& memberName, int lastDisk) {
    if (!extractionTurn_.owns_lock()) {
        static std::mutex currentDirectory;
        extractionTurn_ = std::unique_lock(currentDirectory);
    }
    try {
        if (!extractDir_) {
            // The current directory stays in the extraction folder for all
            // of this archive's members.
            extractDir_ = std::make_unique<TPrivateDirectory>(tempPath_, "tabula-extract-");
            insideExtractDir_.emplace(extractDir_->Descriptor(), extractDir_->Path());
        }
    } catch (const EPrivateDirectoryError& error) {
        throw ECrcZipError(error.what());
    } catch (const ECurrentDirectoryError& error) {
        throw ECrcZipError(error.what());
    }
    // A split set is joined once; its members all come from the joined copy.
    const std::string archive = lastDisk != 0 ? JoinedSet(absoluteArchive_) : absoluteArchive_;
    const TPrivateDirectory& dir = *extractDir_;

    // Whatever happens, the extracted copy goes: the folder is emptied unless
    // the copy was found under its own name and removed.
    struct TEmptyAfterwards {
        const TPrivateDirectory& Dir;
        bool Removed = false;
        ~TEmptyAfterwards() {
            if (!Removed) {
                Dir.Empty();
            }
        }
    } emptyAfterwards{dir};

    TZipComponent zip(Ui);
    if (const TZipComponent::TOutcome listed = zip.ListArchive(archive); !listed.Ok()) {
        throw ECrcZipError(listed.Message);
    }
    // The member's own stored name: a folded one could name another member.
    zip.FileSpecs().clear();
    zip.FileSpecs().push_back(entry.RawFileName.empty() ? entry.FileName : entry.RawFileName);
    const TZipComponent::TOutcome extracted = zip.ExtractMembers();
    if (extracted.Code == TZipComponent::CrcErrorCode) {
        throw ECrcZipError("File " + Quoted(ShortFileName(archivePath)) + ": member " +
                           Quoted(memberName) + ": Bad crc");
    }
    if (!extracted.Ok()) {
        throw ECrcZipError(extracted.Message);
    }
    // The library writes the member under the bare name it is stored by
    // into the current directory, which is the extraction folder however its
    // path was renamed meanwhile; only when that name is not there is the
    // folder listed.
    const std::string named = ShortFileName(entry.RawFileName);
    if (!entry.RawFileName.empty() && IsExistingFile(named)) {
        const TCrcResult result = CrcOfFile(named);
        emptyAfterwards.Removed = dir.RemoveEntry(named);
        return result;
    }
    return CrcOfFile(ExtractedCopy(archivePath, memberName));
}

} // namespace tabula
