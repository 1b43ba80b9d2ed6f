#pragma once

#include "core/checksum/RomHashes.h"
#include "core/header/Detector.h"
#include "core/platform/CurrentDirectory.h"
#include "core/platform/SequentialFile.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

class IZipUi;
class TArchiveStream;
class TFileReader;
class TPrivateDirectory;
class TZipComponent;
struct ZipDirEntry;

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

// The checksum collector: turns one file into checksum results, one per ROM
// (a loose file yields at most one, a zip archive one per member), applying
// the NES and SNES header rules. Use once: set FileName and the flags, call
// Collect, read the items.
class TCrc32 {
public:
    TCrc32();
    ~TCrc32();
    TCrc32(const TCrc32&) = delete;
    TCrc32& operator=(const TCrc32&) = delete;

    // Assigning the path of the file to collect empties the result list.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& path);

    bool SnesMode = false;      // cut the SNES copier header inferred from the size
    bool NesMode = false;       // cut the 16-byte NES header
    bool ZipMode = false;       // read ".zip", ".7z" and ".rar" files as archives
    bool SkipTxtFiles = false;  // ".txt" files and members yield nothing
    bool RemoveBadSize = false; // SNES mode: drop ROMs that fail the size rule
    // NES and SNES modes: a member's CRC without its header from the CRC the
    // archive stores (see TrustedZipCrc.h); members it cannot do are extracted.
    bool TrustZipCrc = false;
    // MD5, SHA-1 and SHA-256 beside the CRC, of the same bytes. A member's are read
    // from its data, decompressed in memory, whatever TrustZipCrc says.
    THashKinds Hashes;
    // Headers found by their content: each loose file and member is judged
    // by these rules and cut as the first passing rule says (whole when none
    // does); NesMode and SnesMode are then not looked at. Null: not used.
    const TDetectorSet* Detectors = nullptr;

    // Shows the zip component's messages and pumps events during extraction;
    // may be null (nothing shown).
    IZipUi* Ui = nullptr;

    // Appends the results of FileName. Throws ECrcFileNotFound, ECrcZipError or
    // ECrcFileError; results appended before a failure stay.
    void Collect();

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
    struct TCrcResult {
        uint32_t Crc = 0;
        int64_t Size = 0; // without the header
        TRomHashes::TDigests Digests;
        std::string Detector; // the detector file whose rule cut it, if one did
    };
    // What a member's first and last bytes tell, when it can be read directly.
    struct TMemberCut {
        bool Readable = false;
        std::optional<TCut> Cut;
    };
    TMemberCut DetectMember(const TZipComponent& zip, const ZipDirEntry& entry,
                            const std::string& memberName);

    // Throws what Collect throws for a file that is missing or not regular.
    void RefuseUnlessRegular(const TPathStatus& status) const;
    void CollectLooseFile(uint64_t fileSize);
    void CollectArchive();
    // 7z and RAR archives, read through the archive library (and a 7z's
    // header through our own reader, which knows its CRCs).
    void CollectSevenZip();
    void CollectRar();
    // Reads the stream's current member, of size bytes, whole: judged by a
    // detector when asked, cut, checksummed and checked against storedCrc.
    TCrcResult ReadStreamedMember(TArchiveStream& stream, uint64_t size,
                                  const std::string& memberName, std::optional<uint32_t> storedCrc,
                                  TRomHashes* hashes);
    // Sets the cut of a member of size bytes by the NES and SNES rules;
    // false when the SNES bad-size rule ends the archive.
    bool SetModeCut(int64_t size);
    // Adds a member's row, its digests to come from hashes when there are any.
    void AddMemberRow(const std::string& name, const std::string& nameOnDisk, TCrcResult result,
                      std::unique_ptr<TRomHashes> hashes);
    // The archive named in a failure's message.
    [[noreturn]] void FailArchive(const std::string& what) const;
    // Checksums path from headerSize_ to its end, streaming it in blocks.
    TCrcResult CrcOfFile(const std::string& path) const;
    // Extracts one member into the private directory, checksums it like a
    // loose file and removes it again. A member of a split set (lastDisk
    // above 0) comes from the set joined once for the whole archive.
    TCrcResult CrcOfZipMember(const std::string& archivePath, const ZipDirEntry& entry,
                              const std::string& memberName, int lastDisk);
    // The member's CRC without its header from the archive's stored CRC,
    // when TrustZipCrc is set and the member allows it.
    std::optional<uint32_t> TrustedCrc(const TZipComponent& zip, const ZipDirEntry& entry);
    // The same, from the bytes read to judge the member when they hold its header.
    std::optional<uint32_t> TrustedCrcOfJudged(const TZipComponent& zip, const ZipDirEntry& entry);
    // The member read whole in memory, its CRC and hashes taken after the
    // header; nothing when the member cannot be read that way (it is then
    // extracted). Throws ECrcZipError, naming the member, for damaged data.
    std::optional<TCrcResult> ReadInMemory(const TZipComponent& zip, const ZipDirEntry& entry,
                                           const std::string& memberName, TRomHashes* hashes);
    // Puts the digests still being computed into their items.
    void FinishDigests();
    // The archive opened once for the routes that read it directly, checked
    // to be the file the listing read; null when it is not.
    const TFileReader* DirectArchive();
    // Throws when the archive at the collected path is no longer the file
    // its listing read (replaced, or written to): its members could come
    // from another archive than the one listed.
    void RefuseIfArchiveChanged() const;
    // The joined copy of the split set archivePath, made on first use.
    const std::string& JoinedSet(const std::string& archivePath);
    void AddItem(std::string name, std::string crcText, int64_t size,
                 TRomHashes::TDigests digests = {}, std::string nameOnDisk = {});

    std::string tempPath_;
    std::string fileName_;
    std::vector<TCrcItem> items_;
    // Items whose digests are still being computed, by index: finished
    // together, so that reading the next member overlaps hashing this one.
    std::vector<std::pair<size_t, std::unique_ptr<TRomHashes>>> pendingDigests_;
    int64_t headerSize_ = 0;
    // The end of what is hashed (absolute; past the end means the end) and
    // the order its bytes are put in: set by a detector's rule.
    uint64_t cutEnd_ = UINT64_MAX;
    TByteOperation cutOperation_ = TByteOperation::None;
    std::string cutDetector_;
    // The member's first bytes as the rules asked for them (Detect mode).
    std::vector<uint8_t> detectedHead_;
    // Directories only this collector uses, made on first use and removed
    // when Collect ends: the one members are extracted into, which holds
    // nothing else, and the one holding the joined copy of a split set.
    std::unique_ptr<TPrivateDirectory> extractDir_;
    std::unique_ptr<TPrivateDirectory> joinDir_;
    // The current directory is the process's: one collector at a time may
    // move it, from its first extraction until Collect ends (collectors on
    // other threads use absolute paths and never look at it).
    std::unique_lock<std::mutex> extractionTurn_;
    // The extraction folder is the current directory while members of the
    // archive are extracted; the previous one comes back when Collect ends.
    std::optional<TCurrentDirectoryScope> insideExtractDir_;
    std::string absoluteArchive_;
    // The archive as its listing found it.
    TPathStatus listedArchive_;
    std::string joinedSet_;
    // The archive as trusted CRCs read it, open while Collect runs.
    std::unique_ptr<TFileReader> trustedArchive_;
};

// A name 7-Zip gives a volume of a split set ("set.7z.001", "set.7z.002").
bool IsSevenZipVolumeName(const std::string& path);

} // namespace tabula
