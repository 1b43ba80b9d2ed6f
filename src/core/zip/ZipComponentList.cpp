// The directory reader of TZipComponent: find the end record, then read every
// central header through a bounds-checked cursor. Every number in the archive
// is untrusted: lengths are checked against the bytes the file really holds
// before anything is allocated for them.

#include "core/zip/ZipComponent.h"

#include "core/platform/SequentialFile.h"
#include "core/zip/EndRecordSearch.h"
#include "core/zip/ZipMessages.h"
#include "core/zip/ZipText.h"

#include <algorithm>
#include <array>
#include <new>

namespace tabula {

using namespace ZipFormat;

namespace {

// Volumes of a set on labelled disks are named "PKBACK# " and a three-digit number.
int LabelDiskNumber(const std::string& label) {
    constexpr std::string_view Prefix = "PKBACK# ";
    if (!label.starts_with(Prefix) || label.size() == Prefix.size()) {
        return 0;
    }
    int number = 0;
    for (const char c : label.substr(Prefix.size(), 3)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

} // namespace

// The last clean listing of an ordinary archive and the file it was read
// from: the checksum collector lists an archive once per member it extracts.
// Each thread keeps its own, as each scan worker collects its own archives.
struct TZipComponent::TKeptListing {
    std::string Path; // as it was given
    TPathStatus Status;
    CodePageOpts CodePage = CodePageOpts::cpAuto;
    std::shared_ptr<TListing> Listing;
    TEndRecord EndRecord;
    std::string ArchiveComment;
    bool MultiVolume = false;
    int64_t DirOffset = 0;
    uint64_t FileSize = 0, EndOfZipData = 0, EndRecordPosition = 0, DirectoryEnd = 0;
};

std::unique_ptr<TZipComponent::TKeptListing>& TZipComponent::Kept() {
    thread_local std::unique_ptr<TKeptListing> kept;
    return kept;
}

bool TZipComponent::KeptListingFits() const {
    const auto& kept = Kept();
    // The same file (whatever name led to it), unchanged since it was read
    // (a write also moves its change time, which nobody can set back), read
    // the same way.
    return kept && kept->CodePage == codePage_ && zipStatus_.Kind == TPathKind::Regular &&
           kept->Status.Device == zipStatus_.Device && kept->Status.Inode == zipStatus_.Inode &&
           kept->Status.Size == zipStatus_.Size && kept->Status.Modified == zipStatus_.Modified &&
           kept->Status.Changed == zipStatus_.Changed;
}

bool TZipComponent::UseKeptListing() {
    const auto& kept = Kept();
    if (!KeptListingFits()) {
        return false;
    }
    listing_ = kept->Listing;
    state_.EndRecord = kept->EndRecord;
    state_.ArchiveComment = kept->ArchiveComment;
    state_.MultiVolume = kept->MultiVolume;
    dirOffset_ = kept->DirOffset;
    fileSize_ = kept->FileSize;
    endOfZipData_ = kept->EndOfZipData;
    endRecordPosition_ = kept->EndRecordPosition;
    directoryEnd_ = kept->DirectoryEnd;
    state_.LastDisk = 0;
    state_.CurrentVolume = 0;
    return true;
}

void TZipComponent::KeepListing() {
    auto kept = std::make_unique<TKeptListing>();
    kept->Path = zipFilename_;
    kept->Status = zipStatus_;
    kept->CodePage = codePage_;
    kept->Listing = listing_;
    kept->EndRecord = state_.EndRecord;
    kept->ArchiveComment = state_.ArchiveComment;
    kept->MultiVolume = state_.MultiVolume;
    kept->DirOffset = dirOffset_;
    kept->FileSize = fileSize_;
    kept->EndOfZipData = endOfZipData_;
    kept->EndRecordPosition = endRecordPosition_;
    kept->DirectoryEnd = directoryEnd_;
    Kept() = std::move(kept);
}

void TZipComponent::List() {
    listing_ = std::make_shared<TListing>();
    fileSize_ = 0;
    dirOffset_ = 0;
    state_.ArchiveComment.clear();
    state_.MultiVolume = false;
    // The file is looked at through the descriptor it is then read by: one
    // lookup of its path, and what is read is what was looked at. A file
    // that will not open is looked at by its path, to tell why.
    // An archive listed last under the same name is only looked at by its
    // path: when it did not change, its kept listing is all that is read
    // (once per member the collector extracts).
    const bool sameName = Kept() && Kept()->Path == zipFilename_;
    if (sameName) {
        zipStatus_ = StatPath(zipFilename_);
    }
    if (!sameName || !KeptListingFits()) {
        zipStatus_ = input_.Open(zipFilename_) ? input_.Status() : StatPath(zipFilename_);
    }
    if (zipStatus_.Kind != TPathKind::Regular) {
        input_.Close();
        FireDirUpdate();
        return;
    }
    TZipBusyScope busy(ui_);
    bool failed = true;
    try {
        ReadDirectory();
        failed = false;
    } catch (const EZipComponent& error) {
        ReportException(error);
    } catch (const std::bad_alloc&) {
        ReportError(ZipMsg::MemoryExhausted);
    } catch (...) {
        ReportError(ZipMsg::ListUnknownError);
    }
    if (failed) {
        zipFilename_.clear();
        // What a failed listing leaves still tells a set's first volume.
        if (headPending_ && input_.IsOpen()) {
            ReadFirstVolumeMarker();
        }
    }
    headPending_ = false;
    busy.End();
    listedArchive_.reset();
    if (!failed && keepListedArchive_ && input_.IsOpen() &&
        input_.Status().Inode == zipStatus_.Inode && input_.Status().Device == zipStatus_.Device) {
        listedArchive_ = std::make_unique<TFileReader>(input_.TakeFile());
    }
    input_.Close();
    FireDirUpdate();
}

void TZipComponent::ReadDirectory() {
    state_.WorkingFileName = zipFilename_;
    state_.SetName = zipFilename_;
    driveRoot_ = Facts().RootOf(zipFilename_, zipStatus_.Device);
    if (!CheckDrive()) {
        throw EZipComponent(ZipMsg::DriveUndefined, driveRoot_);
    }
    if (UseKeptListing()) {
        return;
    }
    const uint64_t reportsBefore = reports_;
    LocateEndRecord(true);
    state_.LastDisk = static_cast<int>(state_.EndRecord.ThisDisk);
    if (state_.LastDisk > 0 && headPending_) {
        ReadFirstVolumeMarker(); // before another volume is opened
    }
    // The file given is the set's last volume: a directory cut short here
    // has no next volume to go on in.
    state_.CurrentVolume = state_.LastDisk;
    if (state_.LastDisk > 0) {
        state_.MultiVolume = true;
    }
    // The directory is read from where a directory of the stated size ends
    // exactly at the end record, so data prepended without fixing the stored
    // offset (a self-extracting stub) does not matter.
    int64_t offset = -1;
    if (state_.EndRecord.ThisDisk == state_.EndRecord.DirStartDisk) {
        if (state_.EndRecord.DirSize <= directoryEnd_) {
            offset = static_cast<int64_t>(directoryEnd_ - state_.EndRecord.DirSize);
        }
    } else {
        OpenVolume(static_cast<int>(state_.EndRecord.DirStartDisk));
        endOfZipData_ = input_.Size();
        offset = state_.EndRecord.DirOffset > INT64_MAX
                     ? -1
                     : static_cast<int64_t>(state_.EndRecord.DirOffset);
    }
    dirOffset_ = offset;
    if (offset < 0 || state_.EndRecord.DirOffset != static_cast<uint64_t>(offset)) {
        ReportError(ZipMsg::StructureWarning);
    }
    if (!input_.Seek(offset)) {
        throw EZipComponent(ZipMsg::SeekError, true);
    }
    ReadCentralHeaders();
    SettleFirstVolumeMarker();
    state_.LastDisk = static_cast<int>(state_.EndRecord.ThisDisk);
    // Only a listing that went without a word is worth repeating silently.
    if (reports_ == reportsBefore && state_.LastDisk == 0) {
        KeepListing();
    }
}

void TZipComponent::ReadCentralHeaders() {
    // Each header takes at least 46 bytes of the file, so a lying count can
    // reserve no more than the file could hold.
    const uint64_t left = input_.Size() > input_.Position() ? input_.Size() - input_.Position() : 0;
    listing_->Entries.reserve(static_cast<size_t>(
        std::min<uint64_t>(state_.EndRecord.TotalEntries, left / CentralHeaderSize + 1)));
    for (uint64_t i = 0; i < state_.EndRecord.TotalEntries; ++i) {
        ZipDirEntry entry;
        while (!ReadCentralHeader(entry)) {
            // A header is never split across volumes: a short read means the
            // directory goes on at the start of the next one.
            if (state_.CurrentVolume >= state_.LastDisk) {
                throw EZipComponent(ZipMsg::CentralHeaderRead, true);
            }
            OpenVolume(state_.CurrentVolume + 1);
        }
        entry.RawFileName = ReadBounded(entry.FileNameLength, ZipMsg::CentralNameRead);
        entry.FileName = WithBackslashes(ZipTextToUtf8(entry.RawFileName, entry.VersionMadeBy,
                                                       entry.GeneralPurposeFlag, codePage_));
        if (NeedsZip64Extra(entry)) {
            const std::string extra = ReadBounded(entry.ExtraFieldLength, ZipMsg::Zip64TooLarge);
            const auto bytes =
                std::span(reinterpret_cast<const uint8_t*>(extra.data()), extra.size());
            const TZip64Fix fix = ApplyZip64Extra(entry, bytes);
            if (fix == TZip64Fix::Missing || fix == TZip64Fix::TooLarge) {
                throw EZipComponent(ZipMsg::Zip64TooLarge, true);
            }
            entry.Zip64 = fix == TZip64Fix::Fixed;
        } else if (!input_.Skip(entry.ExtraFieldLength)) {
            throw EZipComponent(ZipMsg::SeekError, true);
        }
        if (entry.FileCommentLength > 0) {
            const std::string comment =
                ReadBounded(entry.FileCommentLength, ZipMsg::FileCommentRead);
            entry.FileComment =
                ZipTextToUtf8(comment, entry.VersionMadeBy, entry.GeneralPurposeFlag, codePage_);
        }
        listing_->Entries.push_back(std::move(entry));
    }
}

bool TZipComponent::ReadCentralHeader(ZipDirEntry& entry) {
    std::array<uint8_t, CentralHeaderSize> header{};
    if (input_.Read(header.data(), header.size()) < header.size()) {
        return false;
    }
    TByteCursor cursor(header);
    if (tabula::ReadCentralHeader(cursor, entry) != CentralSignature) {
        throw EZipComponent(ZipMsg::CentralSignature, true);
    }
    return true;
}

std::string TZipComponent::ReadBounded(uint64_t length, int shortReadId) {
    const uint64_t left = input_.Size() > input_.Position() ? input_.Size() - input_.Position() : 0;
    if (length > left) {
        throw EZipComponent(shortReadId, true);
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    if (input_.Read(bytes.data(), bytes.size()) < bytes.size()) {
        throw EZipComponent(shortReadId, true);
    }
    return bytes;
}

bool TZipComponent::ReadFirstVolumeMarker() {
    headPending_ = false;
    std::array<uint8_t, 8> head{};
    if (input_.ReadAt(0, head.data(), head.size()) == head.size()) {
        TByteCursor cursor(head);
        if (cursor.U32() == SpanMarker && cursor.U32() == LocalSignature) {
            state_.MultiVolume = true;
            return true;
        }
    }
    return false;
}

void TZipComponent::SettleFirstVolumeMarker() {
    if (!headPending_ || !input_.IsOpen()) {
        headPending_ = false;
        return;
    }
    // An archive whose first member starts the file, where its directory
    // says, cannot start with the marker: no read is needed to know.
    const auto& entries = listing_->Entries;
    if (!entries.empty() && entries.front().LocalHeaderOffset == 0 &&
        state_.EndRecord.DirOffset == static_cast<uint64_t>(dirOffset_)) {
        headPending_ = false;
        return;
    }
    ReadFirstVolumeMarker();
}

bool TZipComponent::LocateEndRecord(bool strict) {
    state_.ArchiveComment.clear();
    bool firstVolumeMarker = false;
    headPending_ = false;
    endRecordPosition_ = 0;
    if (!input_.Open(state_.WorkingFileName)) {
        if (strict) {
            throw EZipComponent(ZipMsg::InputMissing, true);
        }
        ReportError(ZipMsg::OpenFailed);
        return false;
    }
    const int labelDisk = LabelDiskNumber(volumeLabel_);
    input_.PrefetchTail();

    // The first bytes tell the first volume of a set. Unless they came with
    // the end of a small file, they are read only when the directory does
    // not already tell (SettleFirstVolumeMarker).
    if (input_.Holds(0, 8)) {
        firstVolumeMarker = ReadFirstVolumeMarker();
    } else {
        headPending_ = true;
    }

    fileSize_ = input_.Size();
    endOfZipData_ = fileSize_;
    if (fileSize_ >= EndRecordSize) {
        std::array<uint8_t, EndRecordSize> last{};
        if (input_.ReadAt(fileSize_ - EndRecordSize, last.data(), last.size()) == last.size()) {
            TByteCursor cursor(last);
            if (const auto record = ReadEndRecord(cursor)) {
                state_.EndRecord = *record;
                endRecordPosition_ = fileSize_ - EndRecordSize;
                ApplyZip64EndRecord();
                return true;
            }
        }

        // One read of the largest tail that can hold the record, searched in memory.
        const auto length = static_cast<size_t>(std::min<uint64_t>(fileSize_, MaxEndSearch));
        std::vector<uint8_t> tail(length);
        const uint64_t tailStart = fileSize_ - length;
        if (input_.ReadAt(tailStart, tail.data(), length) == length) {
            if (const auto match = SearchEndRecord(tail, fileSize_)) {
                state_.EndRecord = match->Record;
                endRecordPosition_ = tailStart + match->Position;
                endOfZipData_ = match->EndOfZipData;
                if (match->Garbage) {
                    ReportError(ZipMsg::GarbageWarning);
                }
                state_.ArchiveComment = ArchiveCommentToUtf8(match->Comment);
                ApplyZip64EndRecord();
                return true;
            }
        } else if (strict) {
            throw EZipComponent(ZipMsg::EndReadError, true);
        }
    }
    if (!strict) {
        return false;
    }
    if (headPending_) {
        firstVolumeMarker = ReadFirstVolumeMarker();
    }
    FailNoEndRecord(firstVolumeMarker, labelDisk);
}

void TZipComponent::ApplyZip64EndRecord() {
    directoryEnd_ = endRecordPosition_;
    if (!state_.EndRecord.NeedsZip64() || endRecordPosition_ < Zip64LocatorSize) {
        return;
    }
    std::array<uint8_t, Zip64LocatorSize> locatorBytes{};
    const uint64_t locatorPosition = endRecordPosition_ - Zip64LocatorSize;
    if (input_.ReadAt(locatorPosition, locatorBytes.data(), locatorBytes.size()) <
        locatorBytes.size()) {
        return;
    }
    TByteCursor locatorCursor(locatorBytes);
    const auto locator = ReadZip64Locator(locatorCursor);
    if (!locator) {
        return; // a plain archive that happens to hold 65535 members
    }
    // Like the directory, the Zip64 end record is expected right before what
    // follows it; the stored offset is the second choice.
    std::optional<TZip64EndRecord> zip64;
    uint64_t zip64Position = 0;
    for (const uint64_t candidate :
         {locatorPosition >= Zip64EndRecordSize ? locatorPosition - Zip64EndRecordSize : UINT64_MAX,
          locator->Zip64EndOffset}) {
        if (candidate > locatorPosition || locatorPosition - candidate < Zip64EndRecordSize) {
            continue;
        }
        std::array<uint8_t, Zip64EndRecordSize> bytes{};
        if (input_.ReadAt(candidate, bytes.data(), bytes.size()) < bytes.size()) {
            continue;
        }
        TByteCursor cursor(bytes);
        zip64 = ReadZip64EndRecord(cursor);
        if (zip64) {
            zip64Position = candidate;
            break;
        }
    }
    if (!zip64) {
        throw EZipComponent(ZipMsg::EndReadError, true);
    }
    const TEndRecord& wide = zip64->Values;
    if (state_.EndRecord.ThisDisk == Saturated16) {
        state_.EndRecord.ThisDisk = wide.ThisDisk;
    }
    if (state_.EndRecord.DirStartDisk == Saturated16) {
        state_.EndRecord.DirStartDisk = wide.DirStartDisk;
    }
    if (state_.EndRecord.EntriesOnDisk == Saturated16) {
        state_.EndRecord.EntriesOnDisk = wide.EntriesOnDisk;
    }
    if (state_.EndRecord.TotalEntries == Saturated16) {
        state_.EndRecord.TotalEntries = wide.TotalEntries;
    }
    if (state_.EndRecord.DirSize == Saturated32) {
        state_.EndRecord.DirSize = wide.DirSize;
    }
    if (state_.EndRecord.DirOffset == Saturated32) {
        state_.EndRecord.DirOffset = wide.DirOffset;
    }
    // No set has more volumes than a 16-bit disk number counts.
    if (state_.EndRecord.ThisDisk > Saturated16 || state_.EndRecord.DirStartDisk > Saturated16) {
        throw EZipComponent(ZipMsg::Zip64TooLarge, true);
    }
    directoryEnd_ = zip64Position;
}

void TZipComponent::FailNoEndRecord(bool firstVolumeMarker, int labelDisk) const {
    if (!firstVolumeMarker && labelDisk != 0) {
        throw EZipComponent(ZipMsg::NthDiskOfSet, labelDisk);
    }
    if (firstVolumeMarker && labelDisk == 1) {
        throw EZipComponent(ZipMsg::FirstDiskOfSet, true);
    }
    if (firstVolumeMarker) {
        throw EZipComponent(ZipMsg::FirstFileOfSet, true);
    }
    throw EZipComponent(ZipMsg::NotZipArchive, false);
}

} // namespace tabula
