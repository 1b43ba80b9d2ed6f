#pragma once

#include "core/checksum/RomHashes.h"
#include "core/header/Detector.h"
#include "core/platform/SequentialFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

class IZipUi;

// One checksum result: a ROM's name, its CRC-32 as eight hexadecimal digits
// and its size in bytes without the header (any size a file can have).
struct TCrcItem {
    // Loose file: the full path as given. Archive member: the member's name as
    // the zip reader gives it (folders separated by "\"), lower-cased.
    std::string Name;
    // Upper-case digits for a loose file, lower-case for an archive member.
    std::string CrcText;
    int64_t Size = 0;
    // Lower-case hexadecimal digests of the same bytes as the CRC, when the
    // collector was asked for them; empty otherwise.
    std::string Md5{};
    std::string Sha1{};
    std::string Sha256{};
    // An archive member's name as the archive stores it (not lower-cased);
    // empty for a loose file, whose Name already is.
    std::string NameOnDisk{};
    // The detector file whose rule cut the bytes checksummed; empty when no
    // rule did (or none was asked).
    std::string Detector{};
};

// The file to collect does not exist.
class ECrcFileNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An archive's directory could not be read, or a member not extracted.
class ECrcZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that exists could not be read (or is not a regular file); the
// message names the file.
class ECrcFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings a collector reads, set for every file of a scan at once.
struct TCollectorFlags {
    bool SnesMode = false;      // cut the SNES copier header inferred from the size
    bool NesMode = false;       // cut the 16-byte NES header
    bool ZipMode = false;       // read ".zip", ".7z" and ".rar" files as archives
    bool RemoveBadSize = false; // SNES mode: drop ROMs that fail the size rule
    bool SkipTxtFiles = false;  // ".txt" files and members yield nothing
    // NES and SNES modes: a member's CRC without its header from the CRC the
    // archive stores (see TrustedZipCrc.h); members it cannot do are extracted.
    bool TrustZipCrc = false;
    // MD5, SHA-1 and SHA-256 beside the CRC, of the same bytes. A member's are read
    // from its data, decompressed in memory, whatever TrustZipCrc says.
    THashKinds Hashes{};
    // Headers found by their content: each loose file and member is judged
    // by these rules and cut as the first passing rule says (whole when none
    // does); NesMode and SnesMode are then not looked at. Null: not used.
    const TDetectorSet* Detectors = nullptr;
    // What the caller found at the file's path just before, so the collector
    // need not look again; null: the collector looks itself.
    const TPathStatus* KnownStatus = nullptr;
    // Set by a zip's listing: whether reading the archive reads volumes
    // other than its own file (its end record names another disk, or may).
    // Null: not asked; left empty when the file was no zip or not listed.
    std::optional<bool>* ListedSpan = nullptr;
};

// One member of a container as its source hands it to the collector.
struct TMember {
    // As its row names it (see TCrcItem::Name), and as the container stores
    // it (empty for a loose file).
    std::string Name;
    std::string NameOnDisk;
    uint64_t Size = 0;
    // False for an entry that counts for the size rule but holds no ROM.
    bool HoldsRom = true;
};

// What reading one member gave: the CRC-32 of its bytes after the cut, their
// number, and the detector file whose rule cut them (empty when none did).
struct TMemberResult {
    uint32_t Crc = 0;
    int64_t Size = 0;
    std::string Detector;
};

// The members of one file (a loose file is its own one member), handed out
// in order. The source knows its container; the collector does every step
// that is the same for all of them.
class IMemberSource {
public:
    virtual ~IMemberSource() = default;
    // The next member, or false when none is left. Entries that are no file
    // (folders) are passed over; damage found on the way throws.
    virtual bool Next(TMember& member) = 0;
    // Checksums the member Next gave last: cut as cut says, unless the
    // collector's detectors judge it otherwise; its bytes after the cut also
    // go to hashes when there are any.
    virtual TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) = 0;
    // How many members there may be, to make room for their rows at once.
    virtual std::size_t CountHint() const { return 0; }
    // A loose file's CRC is written in upper-case digits, a member's in lower.
    virtual bool UpperCaseCrc() const { return false; }
};

// The checksum collector: turns one file into checksum results, one per ROM
// (a loose file yields at most one, an archive one per member), applying the
// NES and SNES header rules. Use once: set FileName and the flags, call
// Collect, read the items.
class TCrc32 : public TCollectorFlags {
public:
    TCrc32();
    ~TCrc32();
    TCrc32(const TCrc32&) = delete;
    TCrc32& operator=(const TCrc32&) = delete;

    // Assigning the path of the file to collect empties the result list.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& path);

    // Every flag at once.
    void SetFlags(const TCollectorFlags& flags) { static_cast<TCollectorFlags&>(*this) = flags; }
    const TCollectorFlags& Flags() const { return *this; }

    // Shows the zip component's messages and pumps events during extraction;
    // may be null (nothing shown).
    IZipUi* Ui = nullptr;

    // Appends the results of FileName. Throws ECrcFileNotFound, ECrcZipError or
    // ECrcFileError; results appended before a failure stay.
    void Collect();

    // Takes every member of source through the steps all members share: the
    // ".txt" rule, the cut of the mode, the read and the row. A bad size in
    // SNES mode with RemoveBadSize ends the source, keeping what came before.
    void Take(IMemberSource& source);

    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    const TCrcItem& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    const std::vector<TCrcItem>& ItemList() const { return items_; }
    // The results, moved out: the list is empty afterwards.
    std::vector<TCrcItem> TakeItems() { return std::move(items_); }

    // The copier header size the SNES rule infers from a size: the remainder
    // of size / 8192 rounded to the nearest integer, ties to even; 0 to 4096.
    static int32_t SnesHeaderSize(int64_t size);

    // The user's temporary directory ($TMPDIR, else /tmp); the private
    // directory for extracted members is made inside it.
    const std::string& TempPath() const { return tempPath_; }

private:
    // The cut of the NES and SNES rules for a file or member of size bytes;
    // nothing when the SNES bad-size rule drops it.
    std::optional<TCut> ModeCut(uint64_t size) const;
    void AddRow(const TMember& member, const TMemberResult& result, bool upperCase,
                std::unique_ptr<TRomHashes> hashes);
    // Puts the digests still being computed into their items.
    void FinishDigests();

    std::string tempPath_;
    std::string fileName_;
    std::vector<TCrcItem> items_;
    // Items whose digests are still being computed, by index: finished
    // together, so that reading the next member overlaps hashing this one.
    std::vector<std::pair<size_t, std::unique_ptr<TRomHashes>>> pendingDigests_;
};

// A name 7-Zip gives a volume of a split set ("set.7z.001", "set.7z.002").
bool IsSevenZipVolumeName(const std::string& path);

} // namespace tabula
