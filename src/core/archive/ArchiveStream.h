#pragma once

#include "core/platform/FileReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

struct archive;
struct archive_entry;

namespace tabula {

// The archive or a member cannot be read: the message says why, naming
// neither the archive nor the member.
class EArchiveStreamError : public std::runtime_error {
public:
    enum class TKind { Damaged, Encrypted };
    EArchiveStreamError(TKind kind, const std::string& what)
        : std::runtime_error(what), kind_(kind) {}
    TKind Kind() const { return kind_; }

private:
    TKind kind_;
};

// The formats read through the system's archive library.
enum class TStreamFormat { SevenZip, Rar };

// One member as the archive library lists it.
struct TStreamEntry {
    std::string Name; // as stored, in UTF-8 where the archive says how
    uint64_t Size = 0;
    bool SizeKnown = false;
    bool IsDirectory = false;
    // A symbolic or hard link: no data of its own.
    bool IsLink = false;
    bool Encrypted = false;
};

// Reads the members of a 7z or RAR archive front to back, each once, in
// the order they are stored: a solid block is decompressed once for all its
// members. Nothing is written to disk. The library is loaded at first use.
class TArchiveStream {
public:
    // Reads from file, open, from its first byte. Throws EArchiveStreamError
    // when the archive cannot be opened as format.
    TArchiveStream(const TFileReader& file, TStreamFormat format);
    ~TArchiveStream();
    TArchiveStream(const TArchiveStream&) = delete;
    TArchiveStream& operator=(const TArchiveStream&) = delete;

    // The next member; false after the last. Throws EArchiveStreamError.
    bool Next(TStreamEntry& entry);
    // Hands the current member's data to sink, block after block, never
    // more than limit bytes in all (beyond it: EArchiveStreamError).
    void ReadData(uint64_t limit, const std::function<void(std::span<const std::byte>)>& sink);

private:
    struct TSource;
    [[noreturn]] void Fail(const char* doing) const;

    std::unique_ptr<TSource> source_;
    archive* archive_ = nullptr;
    archive_entry* entry_ = nullptr;
};

// What a RAR archive's main header says, read before the library is asked.
struct TRarFacts {
    bool IsRar = false;
    bool Volume = false;           // one volume of a multi-volume set
    bool HeadersEncrypted = false; // its listing itself needs a password
};
TRarFacts ReadRarFacts(const TFileReader& file);

} // namespace tabula
