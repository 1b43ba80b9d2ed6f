// Joining a split set into one ordinary archive: the set is read three times
// in order (central headers, local headers with their data, central headers
// again) and the output is written in one forward pass, with every offset and
// disk number rewritten for a single file.
#include "core/zip/ZipComponent.h"

#include "core/platform/OutputFile.h"
#include "core/platform/ProcessPaths.h"
#include "core/platform/SequentialFile.h"
#include "core/platform/Trash.h"
#include "core/zip/VolumeNames.h"
#include "core/zip/ZipMessages.h"
#include "core/zip/ZipText.h"

#include <algorithm>
#include <deque>
#include <new>
#include <optional>
#include <unordered_map>

namespace tabula {

using namespace ZipFormat;

namespace {

constexpr size_t DescriptorSize = 16;
constexpr size_t CopyBlock = 8192;
constexpr uint16_t DescriptorFlag = 0x0008;
constexpr uint32_t DescriptorSignature = 0x08074b50;

// The output name for a given file name: its extension becomes ".zip".
std::string WithZipExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    return (dot == std::string::npos || dot < nameStart ? path : path.substr(0, dot)) + ".zip";
}

// The rows of a table by a key, each row taken once, in table order.
class TFreeRows {
public:
    void Add(const std::string& key, size_t row) { rows_[key].push_back(row); }
    // The first row of key that placed does not say is taken already.
    template <class IsPlaced> std::optional<size_t> Take(const std::string& key, IsPlaced placed) {
        const auto found = rows_.find(key);
        if (found == rows_.end()) {
            return std::nullopt;
        }
        std::deque<size_t>& free = found->second;
        while (!free.empty() && placed(free.front())) {
            free.pop_front();
        }
        if (free.empty()) {
            return std::nullopt;
        }
        const size_t row = free.front();
        free.pop_front();
        return row;
    }

private:
    std::unordered_map<std::string, std::deque<size_t>> rows_;
};

} // namespace

// One row per central header, in directory order.
struct TZipComponent::TSpanMember {
    std::string Name; // the stored bytes, whole whatever their length
    uint16_t VersionMadeBy = 0;
    uint16_t Flags = 0;
    uint32_t CompressedSize = 0;
    uint64_t NewOffset = 0; // of its local header in the output
    bool Placed = false;
};

// The joined archive being written, through one copy buffer.
class TZipComponent::TSpanWriter {
public:
    explicit TSpanWriter(TZipComponent& owner) : Buffer(CopyBlock), owner_(owner) {}

    // Writes all of data or fails with code.
    void Write(const void* data, size_t count, int code) {
        const size_t written = File.Write(data, count);
        if (written > 0 && owner_.copying_ && owner_.onProgress_) {
            owner_.onProgress_(owner_, ProgressType::progBytes, {}, static_cast<int64_t>(written));
        }
        if (written < count) {
            throw EZipComponent(code, true);
        }
    }

    TOutputFile File;
    std::vector<uint8_t> Buffer;

private:
    TZipComponent& owner_;
};

TSpanResult TZipComponent::ReadSpan(const std::string& archive, std::string& output) {
    // Inside Extract the component stays busy after the join, and the listed
    // archive's records come back afterwards: the join reads its set's
    // records into the same fields.
    const bool wasBusy = busy_;
    busy_ = true;
    struct TRestore {
        TListingState& State;
        TListingState Saved = State;
        ~TRestore() { State = std::move(Saved); }
    } restore{state_};
    TZipBusyScope pointer(ui_);
    std::optional<TSpanWriter> out;
    std::vector<TSpanMember> table;
    TSpanResult result = TSpanResult::Joined;
    try {
        out.emplace(*this);
        JoinSpan(archive, output, *out, table);
    } catch (...) {
        result = ReportSpanFailure();
    }
    copying_ = false;
    if (onProgress_) {
        try {
            onProgress_(*this, ProgressType::progBatchEnd, {}, 0);
        } catch (...) {
        }
    }
    table.clear();
    input_.Close();
    if (out) {
        out->File.Close();
    }
    if (result != TSpanResult::Joined) {
        if (out && !out->File.Path().empty()) {
            RemoveFile(out->File.Path());
        }
        output.clear();
    }
    busy_ = wasBusy;
    return result;
}

void TZipComponent::JoinSpan(const std::string& archive, std::string& output, TSpanWriter& out,
                             std::vector<TSpanMember>& table) {
    // A named output is written beside its name and put in place at the end.
    std::string finalName;
    driveRoot_ = Facts().RootOf(archive, StatPath(archive).Device);
    state_.CurrentVolume = -1;
    newVolumeWanted_ = false;
    copying_ = false;
    state_.WorkingFileName = archive;
    state_.SetName = archive;
    input_.ForgetOpened();
    CreateSpanOutput(output, out, finalName);
    FindLastVolume();

    const TFileTime kept = input_.ModifiedTime();
    state_.LastDisk = static_cast<int>(state_.EndRecord.ThisDisk);
    state_.CurrentVolume = state_.LastDisk;
    // The joined archive's end record must count every member.
    if (state_.EndRecord.TotalEntries >= Saturated16) {
        throw EZipComponent(ZipMsg::Zip64TooLarge, true);
    }
    SeekSpanDirectory();
    uint64_t byteTotal = 0;
    table = ReadSpanDirectory(byteTotal);

    OpenVolume(0);
    copying_ = true;
    if (onProgress_) {
        onProgress_(*this, ProgressType::progFileCount, {}, static_cast<int64_t>(table.size()));
        onProgress_(*this, ProgressType::progByteTotal, {}, static_cast<int64_t>(byteTotal));
    }
    std::array<uint8_t, 4> marker{};
    if (input_.Read(marker.data(), marker.size()) < marker.size() ||
        LoadU32(marker.data()) != SpanMarker) {
        throw EZipComponent(ZipMsg::SpanMarkerRead, true);
    }
    CopySpanMembers(table, out);
    copying_ = false;

    SeekSpanDirectory();
    const uint64_t directory = WriteSpanDirectory(table, out);
    WriteSpanEndRecord(out, directory);
    out.File.SetModifiedTime(kept);
    if (!out.File.Close()) {
        throw EZipComponent(ZipMsg::EndRecordWrite, true);
    }
    output = finalName.empty() ? out.File.Path() : PlaceSpanOutput(out, finalName);
}

TSpanResult TZipComponent::ReportSpanFailure() {
    try {
        throw;
    } catch (const EZipComponent& error) {
        try {
            ReportException(error);
        } catch (...) {
        }
        return TSpanResult::ReportedFailure;
    } catch (const std::bad_alloc&) {
        try {
            ReportError(ZipMsg::MemoryExhausted);
        } catch (...) {
        }
        return TSpanResult::OutOfMemory;
    } catch (...) {
        try {
            ReportError(ZipMsg::SpanUnknownError);
        } catch (...) {
        }
        return TSpanResult::OtherFailure;
    }
}

void TZipComponent::CreateSpanOutput(const std::string& output, TSpanWriter& out,
                                     std::string& finalName) {
    if (output.empty() || output.back() == '/' || IsExistingDirectory(output)) {
        // A temporary copy: readable by its owner only.
        const TCreateResult made =
            out.File.CreateUnique(output.empty() ? "." : output, "zip", ".zip", true);
        if (made == TCreateResult::NameFailed) {
            throw EZipComponent(ZipMsg::TempFileFailed, true);
        }
        if (made != TCreateResult::Created) {
            throw EZipComponent(ZipMsg::OutputCreateFailed, true);
        }
        return;
    }
    // Nothing of that name is touched before the joined archive is complete.
    finalName = WithZipExtension(output);
    const size_t slash = finalName.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : finalName.substr(0, slash + 1);
    if (out.File.CreateUnique(folder, ".tabula-join-", ".tmp", false) != TCreateResult::Created) {
        throw EZipComponent(ZipMsg::OutputCreateFailed, true);
    }
}

std::string TZipComponent::PlaceSpanOutput(TSpanWriter& out, const std::string& finalName) {
    if (const auto existing = FileIdentityOf(finalName)) {
        // Never in place of a volume just read.
        const auto& read = input_.OpenedFiles();
        if (std::find(read.begin(), read.end(), *existing) != read.end()) {
            throw EZipComponent(ZipMsg::OutputCreateFailed, true);
        }
        if (howToDelete_ == DeleteOpts::htdAllowUndo && !MoveToTrash(finalName)) {
            throw EZipComponent(ZipMsg::OutputCreateFailed, true);
        }
    }
    if (!RenameFile(out.File.Path(), finalName)) {
        throw EZipComponent(ZipMsg::OutputCreateFailed, true);
    }
    return finalName;
}

void TZipComponent::FindLastVolume() {
    for (int attempt = 0;; ++attempt) {
        const TDriveKind kind = AskForVolume();
        if (attempt > 0 && IsFixedOrNetwork(kind)) {
            const int number = NumberBeforeExtension(state_.WorkingFileName);
            if (number == 1) {
                throw EZipComponent(ZipMsg::FirstDiskOfSet, true);
            }
            throw EZipComponent(ZipMsg::NthDiskOfSet, std::max(number, 0));
        }
        newVolumeWanted_ = true;
        if (LocateEndRecord(false)) {
            return;
        }
    }
}

void TZipComponent::SeekSpanDirectory() {
    const int startDisk = static_cast<int>(state_.EndRecord.DirStartDisk);
    if (startDisk != state_.CurrentVolume) {
        OpenVolume(startDisk);
    }
    if (state_.EndRecord.DirOffset > INT64_MAX ||
        !input_.Seek(static_cast<int64_t>(state_.EndRecord.DirOffset))) {
        throw EZipComponent(ZipMsg::EndSeekError, true);
    }
}

void TZipComponent::ReadSpanCentralHeader(std::array<uint8_t, CentralHeaderSize>& header,
                                          std::string& name) {
    // A header is never split: a short read means the next volume goes on.
    while (input_.Read(header.data(), header.size()) < header.size()) {
        if (state_.CurrentVolume >= state_.LastDisk) {
            throw EZipComponent(ZipMsg::CentralHeaderRead, true);
        }
        OpenVolume(state_.CurrentVolume + 1);
    }
    if (LoadU32(header.data()) != CentralSignature) {
        throw EZipComponent(ZipMsg::CentralSignature, true);
    }
    name.assign(LoadU16(&header[28]), '\0');
    if (input_.Read(name.data(), name.size()) < name.size()) {
        throw EZipComponent(ZipMsg::CentralNameRead, true);
    }
}

std::vector<TZipComponent::TSpanMember> TZipComponent::ReadSpanDirectory(uint64_t& byteTotal) {
    std::vector<TSpanMember> table;
    std::array<uint8_t, CentralHeaderSize> header{};
    std::string name;
    // The count is the archive's word; the rows grow only with headers read.
    for (uint64_t i = 0; i < state_.EndRecord.TotalEntries; ++i) {
        ReadSpanCentralHeader(header, name);
        TSpanMember member;
        member.Name = name;
        member.VersionMadeBy = LoadU16(&header[4]);
        member.Flags = LoadU16(&header[8]);
        member.CompressedSize = LoadU32(&header[20]);
        // A field only a Zip64 extra field completes cannot be rewritten here.
        if (member.CompressedSize == Saturated32 || LoadU16(&header[34]) == Saturated16 ||
            LoadU32(&header[42]) == Saturated32) {
            throw EZipComponent(ZipMsg::Zip64TooLarge, true);
        }
        const uint16_t extraLength = LoadU16(&header[30]);
        const uint16_t commentLength = LoadU16(&header[32]);
        byteTotal += name.size() + member.CompressedSize + extraLength + commentLength;
        table.push_back(std::move(member));
        if (!input_.Skip(uint64_t{extraLength} + commentLength)) {
            throw EZipComponent(ZipMsg::EndSeekError, true);
        }
    }
    return table;
}

void TZipComponent::CopySpanMembers(std::vector<TSpanMember>& table, TSpanWriter& out) {
    // Local headers are matched to rows by name, ignoring case; the first
    // free row of the exact name wins, so members whose names differ only in
    // case each keep their own row. Rows are taken in directory order.
    TFreeRows byName;
    TFreeRows byFoldedName;
    for (size_t i = 0; i < table.size(); ++i) {
        byName.Add(table[i].Name, i);
        byFoldedName.Add(FoldedMemberName(table[i].Name), i);
    }
    const auto placed = [&table](size_t row) { return table[row].Placed; };
    std::array<uint8_t, LocalHeaderSize> local{};
    std::string name;
    for (size_t n = 0; n < table.size(); ++n) {
        ReadSpanLocalHeader(local, name);
        if (LoadU32(&local[18]) == Saturated32) {
            throw EZipComponent(ZipMsg::Zip64TooLarge, true);
        }
        std::optional<size_t> row = byName.Take(name, placed);
        if (!row) {
            row = byFoldedName.Take(FoldedMemberName(name), placed);
        }
        if (!row) {
            throw EZipComponent(ZipMsg::LocalNotInTable, true);
        }
        TSpanMember& member = table[*row];
        member.NewOffset = out.File.Position();
        member.Placed = true;
        CopySpanMember(local, name, member, out);
    }
}

void TZipComponent::ReadSpanLocalHeader(std::array<uint8_t, LocalHeaderSize>& local,
                                        std::string& name) {
    size_t got = input_.Read(local.data(), local.size());
    if (got == 0 && input_.Position() >= input_.Size() && state_.CurrentVolume < state_.LastDisk) {
        OpenVolume(state_.CurrentVolume + 1);
        got = input_.Read(local.data(), local.size());
    }
    if (got < local.size()) {
        throw EZipComponent(ZipMsg::LocalHeaderRead, true);
    }
    if (LoadU32(local.data()) != LocalSignature) {
        throw EZipComponent(ZipMsg::LocalSignature, true);
    }
    name.assign(LoadU16(&local[26]), '\0');
    if (input_.Read(name.data(), name.size()) < name.size()) {
        throw EZipComponent(ZipMsg::LocalNameRead, true);
    }
}

void TZipComponent::CopySpanMember(const std::array<uint8_t, LocalHeaderSize>& local,
                                   const std::string& name, const TSpanMember& member,
                                   TSpanWriter& out) {
    const uint16_t flags = LoadU16(&local[6]);
    const uint32_t localCompressed = LoadU32(&local[18]);
    const uint16_t extraLength = LoadU16(&local[28]);
    const std::string text =
        WithBackslashes(ZipTextToUtf8(name, member.VersionMadeBy, member.Flags, codePage_));
    if (onMessage_) {
        onMessage_(*this, 0, ZipMessageText(ZipMsg::Copying) + text);
    }
    // A member written with a data descriptor has its size only in the
    // central header.
    const uint64_t compressed = localCompressed != 0 ? localCompressed : member.CompressedSize;
    const bool descriptor = (flags & DescriptorFlag) != 0;
    if (onProgress_) {
        onProgress_(*this, ProgressType::progFileStart, text,
                    static_cast<int64_t>(LocalHeaderSize + name.size() + extraLength + compressed +
                                         (descriptor ? DescriptorSize : 0)));
    }
    out.Write(local.data(), local.size(), ZipMsg::LocalHeaderWrite);
    out.Write(name.data(), name.size(), ZipMsg::LocalHeaderWrite);
    CopySpanBytes(extraLength, ZipMsg::LocalExtraRead, out);
    CopySpanBytes(compressed, ZipMsg::DataRead, out);
    if (descriptor) {
        // 16 bytes with their signature; some writers leave it out (12).
        std::array<uint8_t, 4> head{};
        ReadSpanBytes(head.data(), head.size(), ZipMsg::DescriptorCopy);
        out.Write(head.data(), head.size(), ZipMsg::DescriptorCopy);
        CopySpanBytes(LoadU32(head.data()) == DescriptorSignature ? DescriptorSize - 4
                                                                  : DescriptorSize - 8,
                      ZipMsg::DescriptorCopy, out);
    }
}

uint64_t TZipComponent::WriteSpanDirectory(const std::vector<TSpanMember>& table,
                                           TSpanWriter& out) {
    std::array<uint8_t, CentralHeaderSize> header{};
    std::string name;
    const uint64_t directory = out.File.Position();
    for (const TSpanMember& member : table) {
        ReadSpanCentralHeader(header, name);
        if (member.NewOffset >= Saturated32) {
            throw EZipComponent(ZipMsg::Zip64TooLarge, true);
        }
        StoreU16(&header[34], 0);
        StoreU32(&header[42], static_cast<uint32_t>(member.NewOffset));
        out.Write(header.data(), header.size(), ZipMsg::CentralHeaderWrite);
        out.Write(name.data(), name.size(), ZipMsg::CentralHeaderWrite);
        CopySpanBytes(LoadU16(&header[30]), ZipMsg::CentralExtraRead, out);
        CopySpanBytes(LoadU16(&header[32]), ZipMsg::FileCommentRead, out);
    }
    return directory;
}

void TZipComponent::WriteSpanEndRecord(TSpanWriter& out, uint64_t offset) {
    const uint64_t size = out.File.Position() - offset;
    const uint64_t entries = state_.EndRecord.TotalEntries;
    if (entries >= Saturated16 || size >= Saturated32 || offset >= Saturated32) {
        throw EZipComponent(ZipMsg::Zip64TooLarge, true);
    }
    // One disk now: it holds every entry.
    std::array<uint8_t, EndRecordSize> record{};
    StoreU32(&record[0], EndSignature);
    StoreU16(&record[8], static_cast<uint16_t>(entries));
    StoreU16(&record[10], static_cast<uint16_t>(entries));
    StoreU32(&record[12], static_cast<uint32_t>(size));
    StoreU32(&record[16], static_cast<uint32_t>(offset));
    StoreU16(&record[20], state_.EndRecord.CommentLength);
    out.Write(record.data(), record.size(), ZipMsg::EndRecordWrite);

    // The comment follows the end record on the last volume.
    if (state_.CurrentVolume != state_.LastDisk) {
        OpenVolume(state_.LastDisk);
    }
    if (!input_.Seek(static_cast<int64_t>(endRecordPosition_ + EndRecordSize))) {
        throw EZipComponent(ZipMsg::ArchiveCommentRead, true);
    }
    CopySpanBytes(state_.EndRecord.CommentLength, ZipMsg::ArchiveCommentRead, out);
}

void TZipComponent::ReadSpanBytes(void* buffer, size_t count, int code) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const size_t got = input_.Read(bytes, count);
        bytes += got;
        count -= got;
        if (count > 0) {
            if (input_.Position() >= input_.Size() && state_.CurrentVolume < state_.LastDisk) {
                OpenVolume(state_.CurrentVolume + 1);
                continue;
            }
            throw EZipComponent(code, true);
        }
    }
}

void TZipComponent::CopySpanBytes(uint64_t count, int code, TSpanWriter& out) {
    while (count > 0) {
        const auto chunk = static_cast<size_t>(std::min<uint64_t>(CopyBlock, count));
        const size_t got = input_.Read(out.Buffer.data(), chunk);
        if (got > 0) {
            out.Write(out.Buffer.data(), got, code);
            count -= got;
        }
        if (got < chunk) {
            // Data runs on into the next volume; anywhere else it is cut short.
            if (input_.Position() >= input_.Size() && state_.CurrentVolume < state_.LastDisk) {
                OpenVolume(state_.CurrentVolume + 1);
                continue;
            }
            throw EZipComponent(code, true);
        }
    }
}

} // namespace tabula
