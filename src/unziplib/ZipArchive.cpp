#include "unziplib/ZipArchive.h"

#include "core/bytes/ByteCursor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tabula::unziplib {

namespace {

constexpr uint32_t CentralHeaderSignature = 0x02014b50;
constexpr uint32_t LocalHeaderSignature = 0x04034b50;
constexpr size_t EndRecordSize = 22;
constexpr size_t CentralHeaderSize = 46;
constexpr size_t LocalHeaderSize = 30;
constexpr size_t MaxCommentSize = 65535;
constexpr uint16_t Zip64ExtraId = 0x0001;

// Does the extra field carry a zip64 record? Then the 32-bit values the
// directory shows are placeholders this reader cannot use.
bool HasZip64Extra(TByteCursor extra) {
    while (extra.Has(4)) {
        const uint16_t id = extra.U16();
        const uint16_t size = extra.U16();
        if (id == Zip64ExtraId)
            return true;
        if (!extra.Skip(size))
            break;
    }
    return false;
}

// Marks the members whose local header and data, as far as the directory
// tells (the header with the central name, then the compressed bytes), share
// bytes with another member's. Extracting those would let a small archive
// write its one stream many times over.
void MarkOverlaps(std::vector<TZipMember>& members) {
    std::vector<size_t> order(members.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return members[a].LocalHeaderOffset < members[b].LocalHeaderOffset;
    });
    uint64_t reach = 0;
    size_t reacher = members.size();
    for (const size_t i : order) {
        TZipMember& member = members[i];
        // Its real sizes live in a zip64 field this reader does not take;
        // it is never extracted, and its placeholder size says nothing.
        if (member.NeedsZip64)
            continue;
        if (reacher != members.size() && member.LocalHeaderOffset < reach) {
            member.Overlaps = true;
            members[reacher].Overlaps = true;
        }
        const uint64_t end =
            member.LocalHeaderOffset + LocalHeaderSize + member.Name.size() + member.CompressedSize;
        if (end > reach) {
            reach = end;
            reacher = i;
        }
    }
}

// The directory last read, for the next call on the same unchanged file.
std::mutex LastMutex;
std::shared_ptr<const TZipArchive::TDirectory> Last;

// What tells the file apart from any other, and from itself changed.
void TakeIdentity(const struct stat& info, TZipArchive::TDirectory& directory) {
    directory.Device = static_cast<uint64_t>(info.st_dev);
    directory.Inode = static_cast<uint64_t>(info.st_ino);
    directory.Size = static_cast<uint64_t>(info.st_size);
    directory.ModifiedSeconds = info.st_mtim.tv_sec;
    directory.ModifiedNanoseconds = info.st_mtim.tv_nsec;
    directory.ChangedSeconds = info.st_ctim.tv_sec;
    directory.ChangedNanoseconds = info.st_ctim.tv_nsec;
}

// The directory last read, when it was read from this same file unchanged.
std::shared_ptr<const TZipArchive::TDirectory> KeptDirectory(const TZipArchive::TDirectory& file) {
    std::lock_guard lock(LastMutex);
    if (Last && Last->Device == file.Device && Last->Inode == file.Inode &&
        Last->Size == file.Size && Last->ModifiedSeconds == file.ModifiedSeconds &&
        Last->ModifiedNanoseconds == file.ModifiedNanoseconds &&
        Last->ChangedSeconds == file.ChangedSeconds &&
        Last->ChangedNanoseconds == file.ChangedNanoseconds) {
        return Last;
    }
    return nullptr;
}

// The end record's fields that place the central directory.
struct TEndRecord {
    uint16_t Entries = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
    uint64_t Position = 0; // where the record starts in the file
};

bool ReadEndRecord(const TZipArchive& archive, const std::string& path, uint64_t fileSize,
                   TEndRecord& record, std::string& error) {
    const std::string notZip = path + " is not a zipfile (no end of central directory)";
    if (fileSize < EndRecordSize) {
        error = notZip;
        return false;
    }

    // The end record sits within the last 22 + 65535 bytes; the highest match wins.
    const size_t tailSize =
        static_cast<size_t>(std::min<uint64_t>(fileSize, EndRecordSize + MaxCommentSize));
    std::vector<uint8_t> tail(tailSize);
    const uint64_t tailStart = fileSize - tailSize;
    if (!archive.ReadAt(tail.data(), tailSize, tailStart)) {
        error = "error reading the end of " + path;
        return false;
    }
    size_t found = tailSize;
    for (size_t p = tailSize - EndRecordSize + 1; p-- > 0;) {
        if (tail[p] == 'P' && tail[p + 1] == 'K' && tail[p + 2] == 5 && tail[p + 3] == 6) {
            found = p;
            break;
        }
    }
    if (found == tailSize) {
        error = notZip;
        return false;
    }

    TByteCursor end(tail.data() + found, EndRecordSize);
    end.Skip(10); // signature, disk numbers, entries on this disk
    record.Entries = end.U16();
    record.DirectorySize = end.U32();
    record.DirectoryOffset = end.U32();
    if (record.Entries == 0xFFFF || record.DirectorySize == 0xFFFFFFFFu ||
        record.DirectoryOffset == 0xFFFFFFFFu) {
        error = path + " is a zip64 archive, which is not supported";
        return false;
    }
    record.Position = tailStart + found;
    return true;
}

} // namespace

std::string FoldedMemberName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c == '\\')
            c = '/';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

const std::vector<TZipMember>& TZipArchive::Members() const {
    static const std::vector<TZipMember> none;
    return directory_ ? directory_->Members : none;
}

size_t TZipArchive::Find(const std::string& spec) const {
    if (!directory_)
        return 0;
    if (const auto exact = directory_->FirstByName.find(spec);
        exact != directory_->FirstByName.end())
        return exact->second;
    const auto found = directory_->FirstByFoldedName.find(FoldedMemberName(spec));
    return found == directory_->FirstByFoldedName.end() ? directory_->Members.size()
                                                        : found->second;
}

TZipArchive::~TZipArchive() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool TZipArchive::ReadAt(void* buffer, size_t size, uint64_t offset) const {
    auto* out = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t got = ::pread(fd_, out, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool TZipArchive::Open(const std::string& path, std::string& error) {
    // O_NONBLOCK: a FIFO given as the archive must not hang the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error = "cannot open zipfile " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "zipfile " + path + " is not a regular file";
        return false;
    }
    auto directory = std::make_shared<TDirectory>();
    TakeIdentity(info, *directory);
    if (auto kept = KeptDirectory(*directory)) {
        directory_ = std::move(kept);
        return true;
    }
    TEndRecord end;
    if (!ReadEndRecord(*this, path, directory->Size, end, error)) {
        return false;
    }

    // The directory ends where the end record begins. Data in front of the
    // archive (a self-extractor stub) shifts every stored offset alike.
    if (end.DirectorySize > end.Position) {
        error = path + ": central directory size runs past the start of the file";
        return false;
    }
    const uint64_t directoryStart = end.Position - end.DirectorySize;
    if (end.DirectoryOffset > directoryStart) {
        error = path + ": central directory offset points past the directory";
        return false;
    }
    const int64_t shift = static_cast<int64_t>(directoryStart - end.DirectoryOffset);

    std::vector<uint8_t> bytes(end.DirectorySize);
    if (end.DirectorySize > 0 && !ReadAt(bytes.data(), end.DirectorySize, directoryStart)) {
        error = "error reading the central directory of " + path;
        return false;
    }
    directory->DirectoryStart = directoryStart;
    if (!ReadDirectory(bytes, end.Entries, shift, *directory, error))
        return false;
    directory_ = directory;
    std::lock_guard lock(LastMutex);
    Last = std::move(directory);
    return true;
}

bool TZipArchive::ReadDirectory(const std::vector<uint8_t>& directory, uint32_t entries,
                                int64_t shift, TDirectory& into, std::string& error) {
    TByteCursor cursor(directory.data(), directory.size());
    std::vector<TZipMember>& members = into.Members;
    members.clear();
    members.reserve(std::min<size_t>(entries, directory.size() / CentralHeaderSize));
    for (uint32_t i = 0; i < entries; ++i) {
        TByteCursor header(cursor.Bytes(CentralHeaderSize));
        if (!cursor.Ok()) {
            error = "central directory ends before entry " + std::to_string(i + 1);
            return false;
        }
        TZipMember member;
        const uint32_t signature = header.U32();
        header.Skip(4); // versions made by and needed
        member.Flags = header.U16();
        member.Method = header.U16();
        header.Skip(4); // modification time and date
        member.Crc = header.U32();
        member.CompressedSize = header.U32();
        member.UncompressedSize = header.U32();
        const uint16_t nameLength = header.U16();
        const uint16_t extraLength = header.U16();
        const uint16_t commentLength = header.U16();
        header.Skip(8); // disk number start, internal and external attributes
        const uint32_t localOffset = header.U32();
        if (signature != CentralHeaderSignature) {
            error = "bad central header signature at entry " + std::to_string(i + 1);
            return false;
        }
        member.Name = cursor.String(nameLength);
        const TByteCursor extra(cursor.Bytes(extraLength));
        cursor.Skip(commentLength);
        if (!cursor.Ok()) {
            error = "central directory entry " + std::to_string(i + 1) + " is cut short";
            return false;
        }
        member.NeedsZip64 = HasZip64Extra(extra) &&
                            (member.CompressedSize == 0xFFFFFFFFu ||
                             member.UncompressedSize == 0xFFFFFFFFu || localOffset == 0xFFFFFFFFu);
        member.LocalHeaderOffset = static_cast<uint64_t>(static_cast<int64_t>(localOffset) + shift);
        // The first of equal names is the one a spec finds.
        into.FirstByName.try_emplace(member.Name, members.size());
        into.FirstByFoldedName.try_emplace(FoldedMemberName(member.Name), members.size());
        members.push_back(std::move(member));
    }
    MarkOverlaps(members);
    return true;
}

bool TZipArchive::DataOffset(const TZipMember& member, uint64_t& offset, std::string& error) const {
    uint8_t raw[LocalHeaderSize];
    const uint64_t directoryStart = directory_->DirectoryStart;
    if (member.LocalHeaderOffset > directoryStart ||
        directoryStart - member.LocalHeaderOffset < LocalHeaderSize ||
        !ReadAt(raw, sizeof raw, member.LocalHeaderOffset)) {
        error = member.Name + ": local header lies outside the archive";
        return false;
    }
    TByteCursor header(raw, sizeof raw);
    const uint32_t signature = header.U32();
    header.Skip(22);
    const uint16_t nameLength = header.U16();
    const uint16_t extraLength = header.U16();
    if (signature != LocalHeaderSignature) {
        error = member.Name + ": bad local header signature";
        return false;
    }
    const uint64_t start = member.LocalHeaderOffset + LocalHeaderSize + nameLength + extraLength;
    if (start > directoryStart || directoryStart - start < member.CompressedSize) {
        error = member.Name + ": member data runs into the central directory";
        return false;
    }
    offset = start;
    return true;
}

} // namespace tabula::unziplib
