#include "core/scan/ZipMembers.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/FileReader.h"
#include "core/platform/OutputFile.h"
#include "core/platform/PrivateDirectory.h"
#include "core/platform/SequentialFile.h"
#include "core/scan/CutFeed.h"
#include "core/scan/LooseFile.h"
#include "core/scan/MemberCut.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"
#include "core/zip/MemberData.h"
#include "core/zip/TrustedZipCrc.h"
#include "core/zip/ZipFormat.h"

#include <algorithm>
#include <memory>

namespace tabula {

namespace {

// A member name for a message, up to a NUL it may hold.
std::string NameUpToNul(const std::string& name) {
    return name.substr(0, name.find('\0'));
}

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
    throw ECrcFileError("Member " + QuotedPath(member) + " of " +
                        QuotedPath(ShortFileName(archivePath)) + " was not extracted");
}

} // namespace

TZipMembers::TZipMembers(const TCrc32& collector)
    : collector_(collector), fileName_(collector.FileName()), zip_(collector.Ui) {
    const TCollectorFlags& flags = collector.Flags();
    // A listing reads the directory alone and needs no more.
    const bool readsMembers =
        flags.NesMode || flags.SnesMode || flags.Hashes.Any() || flags.Detectors != nullptr;
    if (readsMembers) {
        absoluteArchive_ = AbsolutePath(fileName_);
    }
    // Members read directly are read from the file listed, not opened again.
    zip_.KeepListedArchiveOpen(readsMembers);
    const TZipComponent::TOutcome listed = zip_.ListArchive(fileName_);
    // A file that is not there, or no regular file, was left unlisted.
    RefuseUnlessRegular(zip_.ZipStatus(), fileName_);
    if (!listed.Ok()) {
        throw ECrcZipError("File " + QuotedPath(ShortFileName(fileName_)) + ": " + listed.Message);
    }
    if (flags.ListedSpan != nullptr) {
        *flags.ListedSpan = zip_.SpansVolumes();
    }
    listedArchive_ = zip_.ZipStatus();
    directArchive_ = zip_.TakeListedArchive();
    entries_ = zip_.DirEntries();
    if (const auto overlap = OverlappingEntries(entries_, zip_.LastDisk() != 0)) {
        FailArchive(fileName_,
                    "members " + QuotedPath(NameUpToNul(entries_[overlap->first].FileName)) +
                        " and " + QuotedPath(NameUpToNul(entries_[overlap->second].FileName)) +
                        " share their bytes (overlapping entries, a form of decompression "
                        "bomb); the archive is not read");
    }
}

TZipMembers::~TZipMembers() {
    // Extracted members never outlive the archive, whatever way it ends.
    insideExtractDir_.reset();
    if (extractionTurn_.owns_lock()) {
        extractionTurn_.unlock();
    }
    extractDir_.reset();
    joinDir_.reset();
    directArchive_.reset();
}

std::size_t TZipMembers::CountHint() const {
    return entries_.size();
}

bool TZipMembers::Next(TMember& member) {
    while (next_ < entries_.size()) {
        const ZipDirEntry& entry = entries_[next_++];
        std::string name = LowerCase(entry.FileName);
        if (entry.RawFileName.find('\0') != std::string::npos) {
            FailArchive(fileName_, "member " + QuotedPath(NameUpToNul(name)) +
                                       " is damaged: its name holds a NUL byte");
        }
        if (IsFolderEntry(entry)) {
            continue;
        }
        entry_ = &entry;
        member = {std::move(name), entry.FileName, entry.UncompressedSize, true};
        return true;
    }
    return false;
}

TMemberResult TZipMembers::Read(const TMember& member, const TCut& modeCut, TRomHashes* hashes) {
    const TCollectorFlags& flags = collector_.Flags();
    const ZipDirEntry& entry = *entry_;
    const uint64_t size = entry.UncompressedSize;
    // Judged by its first and last bytes; one that cannot be read in place
    // is judged as its extracted copy, like a loose file.
    TCut cut = modeCut;
    bool judgeExtracted = false;
    if (flags.Detectors != nullptr) {
        const TJudged judged = DetectMember(entry, member.Name);
        judgeExtracted = !judged.Readable;
        cut = judged.Cut.value_or(modeCut);
    }
    const bool startOnly = CutsStartOnly(cut, size) && !judgeExtracted;
    const bool cuts = cut.Start != 0 || !startOnly;
    const bool digests = flags.Hashes.Any();
    if (digests || (flags.Detectors != nullptr && cuts && !judgeExtracted &&
                    !(flags.TrustZipCrc && startOnly))) {
        // Digests need the bytes, and so does a detector's cut (but for a
        // header with trusted CRCs): the directory's CRC cannot give them.
        if (std::optional<TMemberResult> read = ReadInMemory(entry, member.Name, cut, hashes)) {
            return std::move(*read);
        }
    }
    if (!digests && startOnly) {
        if (cut.Start == 0) {
            // The directory already knows: nothing is decompressed.
            return {entry.Crc, static_cast<int64_t>(size), DetectorOf(cut)};
        }
        if (const auto trusted = TrustedCrcOfJudged(entry, cut.Start)) {
            return {*trusted, CutRange(cut, size).Size(), DetectorOf(cut)};
        }
    }
    if (DecodedByLibrary(entry.CompressionMethod)) {
        if (std::optional<TMemberResult> read = ReadInMemory(entry, member.Name, cut, hashes)) {
            return std::move(*read);
        }
    }
    if (!extractedNames_.insert(entry.RawFileName).second) {
        FailArchive(fileName_, "member " + QuotedPath(member.Name) +
                                   " is stored twice under the same name; the second cannot be "
                                   "extracted apart from the first");
    }
    // The library opens the archive anew: a change since the listing shows
    // after the extraction, and is what a failed one is reported as.
    std::optional<TMemberResult> result;
    try {
        result = Extracted(entry, member.Name, modeCut, hashes);
    } catch (...) {
        RefuseIfArchiveChanged();
        throw;
    }
    RefuseIfArchiveChanged();
    return std::move(*result);
}

const TFileReader* TZipMembers::DirectArchive() {
    // One opening of the archive serves all its members.
    if (!directArchive_) {
        auto reader = std::make_unique<TFileReader>();
        if (!reader->Open(absoluteArchive_) ||
            !(reader->Identity() == TFileIdentity{listedArchive_.Device, listedArchive_.Inode})) {
            RefuseIfArchiveChanged();
            return nullptr; // extraction tells what is wrong
        }
        directArchive_ = std::move(reader);
    }
    return directArchive_.get();
}

// A member of a split set can be read directly only when its header lies on
// the last volume, the file listed; in a set the directory may start on
// another volume, so the file's end bounds the data then.
std::optional<uint64_t> TZipMembers::DirectDataEnd(const ZipDirEntry& entry,
                                                   const TFileReader& archive) {
    if (zip_.LastDisk() != 0 && entry.DiskNumberStart != zip_.LastDisk()) {
        return std::nullopt;
    }
    return zip_.LastDisk() == 0 && zip_.DirectoryOffset() >= 0
               ? static_cast<uint64_t>(zip_.DirectoryOffset())
               : archive.Size();
}

std::optional<uint32_t> TZipMembers::TrustedCrcOfJudged(const ZipDirEntry& entry,
                                                        uint64_t headerSize) {
    // The header was decompressed to judge the member: it is not read again.
    if (collector_.Detectors != nullptr && collector_.TrustZipCrc &&
        headerSize <= judgedHead_.size()) {
        return TrustedCrcFromHeader(
            entry,
            std::as_bytes(std::span(judgedHead_.data(), static_cast<std::size_t>(headerSize))));
    }
    return TrustedCrc(entry, headerSize);
}

std::optional<uint32_t> TZipMembers::TrustedCrc(const ZipDirEntry& entry, uint64_t headerSize) {
    const TFileReader* archive = collector_.TrustZipCrc ? DirectArchive() : nullptr;
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(entry, *archive) : std::nullopt;
    if (!dataEnd || headerSize > UINT32_MAX) {
        return std::nullopt;
    }
    return TrustedCrcWithoutHeader(*archive, entry, static_cast<uint32_t>(headerSize), *dataEnd);
}

void TZipMembers::FailMember(const std::string& memberName, const std::string& what) const {
    FailArchive(fileName_, "member " + QuotedPath(memberName) + ": " + what);
}

std::optional<TMemberResult> TZipMembers::ReadInMemory(const ZipDirEntry& entry,
                                                       const std::string& memberName,
                                                       const TCut& cut, TRomHashes* hashes) {
    const TFileReader* archive = DirectArchive();
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(entry, *archive) : std::nullopt;
    if (!dataEnd) {
        return std::nullopt;
    }
    // The CRC and the digests take the cut alone; the whole member's CRC is
    // checked by the reader.
    const TCutRange range = CutRange(cut, entry.UncompressedSize);
    uint32_t crc = CrcInit;
    TCutFeed feed(range.From, range.To, cut.Operation, crc, hashes);
    try {
        if (!ReadMemberData(*archive, entry, *dataEnd,
                            [&](std::span<const std::byte> block) { feed.Feed(block); })) {
            return std::nullopt;
        }
    } catch (const EMemberDataError& error) {
        FailMember(memberName, error.what());
    }
    feed.Finish();
    RefuseIfArchiveChanged();
    return TMemberResult{~crc, range.Size(), DetectorOf(cut)};
}

TZipMembers::TJudged TZipMembers::DetectMember(const ZipDirEntry& entry,
                                               const std::string& memberName) {
    const TFileReader* archive = DirectArchive();
    const std::optional<uint64_t> dataEnd =
        archive != nullptr ? DirectDataEnd(entry, *archive) : std::nullopt;
    if (!dataEnd) {
        return {};
    }
    const TDetectorSet& detectors = *collector_.Detectors;
    const uint64_t size = entry.UncompressedSize;
    if (std::min(detectors.SuffixNeeded(), size) == 0) {
        return DetectFromStart(entry, *archive, *dataEnd);
    }
    // Tests from the end: the member is read through, its first and last
    // bytes kept.
    THeadTail bytes(detectors, size);
    try {
        if (!ReadMemberData(*archive, entry, *dataEnd,
                            [&](std::span<const std::byte> block) { bytes.Feed(block); })) {
            return {};
        }
    } catch (const EMemberDataError& error) {
        FailMember(memberName, error.what());
    }
    judgedHead_ = bytes.Head();
    return {true, bytes.Match()};
}

TZipMembers::TJudged TZipMembers::DetectFromStart(const ZipDirEntry& entry,
                                                  const TFileReader& archive, uint64_t dataEnd) {
    // Most rules look at a few bytes, and a rule that looks further is
    // given a longer start, decompressed anew.
    const uint64_t size = entry.UncompressedSize;
    std::vector<uint8_t>& head = judgedHead_;
    head.clear();
    bool unreadable = false;
    const auto bytesAt = [&](uint64_t offset, std::size_t count) -> const uint8_t* {
        const uint64_t end = offset + count;
        if (end > head.size()) {
            const uint64_t want = std::min(size, std::max<uint64_t>(end, 16));
            head.resize(static_cast<std::size_t>(want));
            if (!ReadMemberStart(archive, entry, dataEnd,
                                 std::as_writable_bytes(std::span(head)))) {
                head.clear();
                unreadable = true;
                return nullptr;
            }
        }
        return head.data() + offset;
    };
    std::optional<TCut> cut = collector_.Detectors->Match(size, bytesAt);
    if (unreadable) {
        return {};
    }
    return {true, std::move(cut)};
}

void TZipMembers::RefuseIfArchiveChanged() const {
    const TPathStatus now = StatPath(absoluteArchive_);
    if (now.Kind != listedArchive_.Kind || now.Device != listedArchive_.Device ||
        now.Inode != listedArchive_.Inode || now.Size != listedArchive_.Size ||
        !(now.Modified == listedArchive_.Modified) || !(now.Changed == listedArchive_.Changed)) {
        FailArchive(fileName_, "was replaced or changed while it was read; its remaining members "
                               "were not read");
    }
}

const std::string& TZipMembers::JoinedSet() {
    if (joinedSet_.empty()) {
        TZipComponent joiner(collector_.Ui);
        joiner.SetErrCode(0);
        // Beside the extraction folder, which must hold nothing but members.
        try {
            joinDir_ = std::make_unique<TPrivateDirectory>(collector_.TempPath(), "tabula-join-");
        } catch (const EPrivateDirectoryError& error) {
            throw ECrcZipError(error.what());
        }
        std::string joined = joinDir_->Path() + "/";
        if (joiner.ReadSpan(absoluteArchive_, joined) != TSpanResult::Joined) {
            throw ECrcZipError(joiner.Message());
        }
        joinedSet_ = joined;
    }
    return joinedSet_;
}

void TZipMembers::EnterExtractionFolder() {
    if (!extractionTurn_.owns_lock()) {
        static std::mutex currentDirectory;
        extractionTurn_ = std::unique_lock(currentDirectory);
    }
    try {
        if (!extractDir_) {
            // The current directory stays in the extraction folder for all
            // of this archive's members.
            extractDir_ =
                std::make_unique<TPrivateDirectory>(collector_.TempPath(), "tabula-extract-");
            insideExtractDir_.emplace(extractDir_->Descriptor(), extractDir_->Path());
        }
    } catch (const EPrivateDirectoryError& error) {
        throw ECrcZipError(error.what());
    } catch (const ECurrentDirectoryError& error) {
        throw ECrcZipError(error.what());
    }
}

TMemberResult TZipMembers::Extracted(const ZipDirEntry& entry, const std::string& memberName,
                                     const TCut& cut, TRomHashes* hashes) {
    EnterExtractionFolder();
    // A split set is joined once; its members all come from the joined copy.
    const std::string archive = zip_.LastDisk() != 0 ? JoinedSet() : absoluteArchive_;
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

    TZipComponent zip(collector_.Ui);
    if (const TZipComponent::TOutcome listed = zip.ListArchive(archive); !listed.Ok()) {
        throw ECrcZipError(listed.Message);
    }
    // The member's own stored name: a folded one could name another member.
    zip.FileSpecs().clear();
    zip.FileSpecs().push_back(entry.RawFileName.empty() ? entry.FileName : entry.RawFileName);
    const TZipComponent::TOutcome extracted = zip.ExtractMembers();
    if (extracted.Code == TZipComponent::CrcErrorCode) {
        FailMember(memberName, "Bad crc");
    }
    if (!extracted.Ok()) {
        throw ECrcZipError(extracted.Message);
    }
    // The library writes the member under the bare name it is stored by
    // into the current directory, which is the extraction folder however its
    // path was renamed meanwhile; only when that name is not there is the
    // folder listed.
    const std::string named = ShortFileName(entry.RawFileName);
    std::unique_ptr<TSequentialFile> file;
    try {
        if (!entry.RawFileName.empty()) {
            file = TSequentialFile::OpenIfPresent(named);
        }
    } catch (const EFileReadError& error) {
        throw ECrcFileError(error.what());
    }
    if (file) {
        TMemberResult result = ChecksumFile(*file, cut, collector_.Detectors, hashes);
        file.reset();
        emptyAfterwards.Removed = dir.RemoveEntry(named);
        return result;
    }
    return ChecksumFile(ExtractedCopy(fileName_, memberName), cut, collector_.Detectors, hashes);
}

} // namespace tabula
