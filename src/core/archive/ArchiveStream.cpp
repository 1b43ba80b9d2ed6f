#include "core/archive/ArchiveStream.h"

#include "core/bytes/ByteCursor.h"
#include "core/platform/SharedLibrary.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <cstring>
#include <vector>

namespace tabula {

namespace {

#define TABULA_ARCHIVE_FUNCTIONS(F)                                                                \
    F(archive_read_new)                                                                            \
    F(archive_read_free)                                                                           \
    F(archive_read_support_format_7zip)                                                            \
    F(archive_read_support_format_rar)                                                             \
    F(archive_read_support_format_rar5)                                                            \
    F(archive_read_set_read_callback)                                                              \
    F(archive_read_set_seek_callback)                                                              \
    F(archive_read_set_callback_data)                                                              \
    F(archive_read_open1)                                                                          \
    F(archive_read_next_header)                                                                    \
    F(archive_read_data_block)                                                                     \
    F(archive_error_string)                                                                        \
    F(archive_entry_pathname_utf8)                                                                 \
    F(archive_entry_pathname)                                                                      \
    F(archive_entry_size)                                                                          \
    F(archive_entry_size_is_set)                                                                   \
    F(archive_entry_filetype)                                                                      \
    F(archive_entry_hardlink)                                                                      \
    F(archive_entry_is_encrypted)

// Loaded when the first 7z or RAR archive is read: it brings a dozen
// libraries with it, which a scan of zip archives never needs.
TABULA_SYSTEM_FUNCTIONS(TArchiveLibrary, Library, TABULA_LIBARCHIVE_SONAME,
                        TABULA_ARCHIVE_FUNCTIONS)

constexpr size_t SourceBlock = size_t{64} << 10;

// Archive-library texts that say a password is needed.
bool SaysEncrypted(const char* text) {
    return text != nullptr &&
           (std::strstr(text, "ncrypt") != nullptr || std::strstr(text, "assword") != nullptr);
}

} // namespace

// The archive's bytes, handed to the library from the file already open.
struct TArchiveStream::TSource {
    const TFileReader& File;
    uint64_t Position = 0;
    std::vector<std::byte> Block = std::vector<std::byte>(SourceBlock);
    bool ReadFailed = false;
    bool ReachedEnd = false; // a read found no more bytes

    static la_ssize_t Read(::archive*, void* data, const void** block) {
        auto& source = *static_cast<TSource*>(data);
        const size_t got = source.File.ReadAt(source.Position, source.Block.data(), SourceBlock);
        if (got < SourceBlock && source.Position + got < source.File.Size()) {
            source.ReadFailed = true;
            return -1;
        }
        source.Position += got;
        source.ReachedEnd = source.ReachedEnd || got == 0;
        *block = source.Block.data();
        return static_cast<la_ssize_t>(got);
    }

    static la_int64_t Seek(::archive*, void* data, la_int64_t offset, int whence) {
        auto& source = *static_cast<TSource*>(data);
        const auto size = static_cast<la_int64_t>(source.File.Size());
        const la_int64_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? static_cast<la_int64_t>(source.Position)
                                                     : size;
        const la_int64_t target = base + offset;
        if (target < 0) {
            return ARCHIVE_FATAL;
        }
        source.Position = static_cast<uint64_t>(target);
        return target;
    }
};

TArchiveStream::TArchiveStream(const TFileReader& file, TStreamFormat format)
    : source_(std::make_unique<TSource>(TSource{file})) {
    const TArchiveLibrary& library = Library();
    archive_ = library.archive_read_new();
    if (archive_ == nullptr) {
        throw EArchiveStreamError(EArchiveStreamError::TKind::Damaged, "out of memory");
    }
    // One format only: a damaged 7z is never taken for some other format.
    if (format == TStreamFormat::SevenZip) {
        library.archive_read_support_format_7zip(archive_);
    } else {
        library.archive_read_support_format_rar(archive_);
        library.archive_read_support_format_rar5(archive_);
    }
    library.archive_read_set_read_callback(archive_, &TSource::Read);
    library.archive_read_set_seek_callback(archive_, &TSource::Seek);
    library.archive_read_set_callback_data(archive_, source_.get());
    if (library.archive_read_open1(archive_) != ARCHIVE_OK) {
        Fail("opening it");
    }
}

TArchiveStream::~TArchiveStream() {
    if (archive_ != nullptr) {
        Library().archive_read_free(archive_);
    }
}

void TArchiveStream::Fail(const char* doing) const {
    if (source_->ReadFailed) {
        throw EArchiveStreamError(EArchiveStreamError::TKind::Damaged,
                                  std::string("it could not be read (") + doing + ")");
    }
    const char* text = Library().archive_error_string(archive_);
    // A failure once the file's end was met: it is cut short.
    const std::string reason = std::string(text != nullptr ? text : "unknown error") +
                               (source_->ReachedEnd ? " (the archive ends early)" : "");
    throw EArchiveStreamError(SaysEncrypted(text) ? EArchiveStreamError::TKind::Encrypted
                                                  : EArchiveStreamError::TKind::Damaged,
                              reason);
}

bool TArchiveStream::Next(TStreamEntry& entry) {
    const TArchiveLibrary& library = Library();
    const int result = library.archive_read_next_header(archive_, &entry_);
    if (result == ARCHIVE_EOF) {
        return false;
    }
    if (result != ARCHIVE_OK) {
        Fail("reading a member's header");
    }
    const char* utf8 = library.archive_entry_pathname_utf8(entry_);
    const char* raw = utf8 != nullptr ? utf8 : library.archive_entry_pathname(entry_);
    entry.Name = raw != nullptr ? raw : "";
    entry.SizeKnown = library.archive_entry_size_is_set(entry_) != 0;
    const la_int64_t size = library.archive_entry_size(entry_);
    entry.Size = entry.SizeKnown && size > 0 ? static_cast<uint64_t>(size) : 0;
    entry.IsDirectory = library.archive_entry_filetype(entry_) == AE_IFDIR;
    entry.IsLink = library.archive_entry_filetype(entry_) == AE_IFLNK ||
                   library.archive_entry_hardlink(entry_) != nullptr;
    entry.Encrypted = library.archive_entry_is_encrypted(entry_) != 0;
    return true;
}

void TArchiveStream::ReadData(uint64_t limit,
                              const std::function<void(std::span<const std::byte>)>& sink) {
    const TArchiveLibrary& library = Library();
    uint64_t handedOut = 0;
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int result = library.archive_read_data_block(archive_, &block, &size, &offset);
        if (result == ARCHIVE_EOF) {
            return;
        }
        if (result != ARCHIVE_OK) {
            Fail("decompressing a member");
        }
        // A sparse member's holes come as a jump in offset: they are zeros.
        while (static_cast<uint64_t>(offset) > handedOut) {
            static constexpr std::array<std::byte, 4096> Zeros{};
            const auto gap = static_cast<size_t>(
                std::min<uint64_t>(Zeros.size(), static_cast<uint64_t>(offset) - handedOut));
            if (handedOut + gap > limit) {
                throw EArchiveStreamError(EArchiveStreamError::TKind::Damaged,
                                          "its data is longer than its stated size");
            }
            sink(std::span(Zeros.data(), gap));
            handedOut += gap;
        }
        if (size > limit - handedOut) {
            throw EArchiveStreamError(EArchiveStreamError::TKind::Damaged,
                                      "its data is longer than its stated size");
        }
        sink(std::span(static_cast<const std::byte*>(block), size));
        handedOut += size;
    }
}

namespace {

// RAR 5 numbers: seven bits a byte, low first, the top bit set on all but
// the last.
uint64_t ReadVint(TByteCursor& cursor) {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        const uint8_t byte = cursor.U8();
        value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
    cursor.Seek(cursor.Size() + 1); // too long: fails the cursor
    return 0;
}

} // namespace

TRarFacts ReadRarFacts(const TFileReader& file) {
    std::array<uint8_t, 64> head{};
    const size_t got = file.ReadAt(0, head.data(), head.size());
    TByteCursor cursor(head.data(), got);
    TRarFacts facts;
    const std::span<const uint8_t> signature = cursor.Bytes(7);
    static constexpr std::array<uint8_t, 7> Rar{'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    static constexpr std::array<uint8_t, 7> Rar5{'R', 'a', 'r', '!', 0x1A, 0x07, 0x01};
    if (!cursor.Ok()) {
        return facts;
    }
    if (std::equal(signature.begin(), signature.end(), Rar.begin())) {
        // The main header: its CRC, its type (0x73) and its flags.
        cursor.U16();
        const uint8_t type = cursor.U8();
        const uint16_t flags = cursor.U16();
        facts.IsRar = cursor.Ok() && type == 0x73;
        facts.Volume = facts.IsRar && (flags & 0x0001) != 0;
        facts.HeadersEncrypted = facts.IsRar && (flags & 0x0080) != 0;
        return facts;
    }
    if (std::equal(signature.begin(), signature.end(), Rar5.begin()) && cursor.U8() == 0x00) {
        cursor.U32(); // the header's CRC
        ReadVint(cursor);
        const uint64_t type = ReadVint(cursor);
        const uint64_t flags = ReadVint(cursor);
        if ((flags & 0x0001) != 0) {
            ReadVint(cursor); // the extra area's size
        }
        if ((flags & 0x0002) != 0) {
            ReadVint(cursor); // the data area's size
        }
        // An archive encryption header comes first when the listing is encrypted.
        facts.HeadersEncrypted = type == 4;
        const uint64_t archiveFlags = type == 1 ? ReadVint(cursor) : 0;
        facts.IsRar = cursor.Ok() && (type == 1 || type == 4);
        facts.Volume = facts.IsRar && (archiveFlags & 0x0001) != 0;
    }
    return facts;
}

} // namespace tabula
