#pragma once

#include "core/platform/CurrentDirectory.h"
#include "core/platform/SequentialFile.h"
#include "core/scan/Crc32.h"
#include "core/zip/ZipComponent.h"

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

namespace tabula {

class TFileReader;
class TPrivateDirectory;

// The members of a zip archive, listed through our own reader of its
// directory. Each is taken by the cheapest route that gives its bytes after
// the cut: the CRC the directory stores, the trusted CRC of the rest after a
// header, the member decompressed in memory, or (the last resort) its copy
// extracted by the unzip library into a private folder.
class TZipMembers final : public IMemberSource {
public:
    // Lists the archive; throws what Collect throws when it cannot.
    explicit TZipMembers(const TCrc32& collector);
    ~TZipMembers() override;
    TZipMembers(const TZipMembers&) = delete;
    TZipMembers& operator=(const TZipMembers&) = delete;

    bool Next(TMember& member) override;
    std::size_t CountHint() const override;
    TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) override;

private:
    // What a member's first and last bytes tell, when it can be read directly.
    struct TJudged {
        bool Readable = false;
        std::optional<TCut> Cut;
    };
    TJudged DetectMember(const ZipDirEntry& entry, const std::string& memberName);
    // The first bytes alone, decompressed only as far as the rules ask.
    TJudged DetectFromStart(const ZipDirEntry& entry, const TFileReader& archive, uint64_t dataEnd);
    // The member's CRC without its header from the archive's stored CRC,
    // when TrustZipCrc is set and the member allows it.
    std::optional<uint32_t> TrustedCrc(const ZipDirEntry& entry, uint64_t headerSize);
    // The same, from the bytes read to judge the member when they hold its header.
    std::optional<uint32_t> TrustedCrcOfJudged(const ZipDirEntry& entry, uint64_t headerSize);
    // The member read whole in memory, its CRC and hashes taken after the
    // cut; nothing when the member cannot be read that way (it is then
    // extracted). Throws ECrcZipError, naming the member, for damaged data.
    std::optional<TMemberResult> ReadInMemory(const ZipDirEntry& entry,
                                              const std::string& memberName, const TCut& cut,
                                              TRomHashes* hashes);
    // Extracts one member into the private directory, checksums it like a
    // loose file and removes it again. A member of a split set comes from
    // the set joined once for the whole archive.
    TMemberResult Extracted(const ZipDirEntry& entry, const std::string& memberName,
                            const TCut& cut, TRomHashes* hashes);
    // Makes the extraction folder the current directory, once per archive.
    void EnterExtractionFolder();
    // The archive opened once for the routes that read it directly, checked
    // to be the file the listing read; null when it is not.
    const TFileReader* DirectArchive();
    // Where a member read directly must end; nothing when it cannot be.
    std::optional<uint64_t> DirectDataEnd(const ZipDirEntry& entry, const TFileReader& archive);
    // Throws when the archive at the collected path is no longer the file
    // its listing read (replaced, or written to): its members could come
    // from another archive than the one listed.
    void RefuseIfArchiveChanged() const;
    // The joined copy of the split set, made on first use.
    const std::string& JoinedSet();
    [[noreturn]] void FailMember(const std::string& memberName, const std::string& what) const;

    const TCrc32& collector_;
    const std::string& fileName_;
    TZipComponent zip_;
    std::span<const ZipDirEntry> entries_;
    std::size_t next_ = 0;
    const ZipDirEntry* entry_ = nullptr;
    // Stored names of the members extracted so far: the library finds a
    // member by its name, so a second member of the same name is out of reach.
    std::unordered_set<std::string> extractedNames_;
    // Still the same file once the current directory has moved into the
    // extraction folder.
    std::string absoluteArchive_;
    // The archive as its listing found it.
    TPathStatus listedArchive_;
    // The archive as the direct routes read it.
    std::unique_ptr<TFileReader> directArchive_;
    // The member's first bytes as the rules asked for them.
    std::vector<uint8_t> judgedHead_;
    // Directories only this archive uses, made on first use and removed at
    // the end: the one members are extracted into, which holds nothing
    // else, and the one holding the joined copy of a split set.
    std::unique_ptr<TPrivateDirectory> extractDir_;
    std::unique_ptr<TPrivateDirectory> joinDir_;
    std::string joinedSet_;
    // The current directory is the process's: one archive at a time may
    // move it, from its first extraction to its end (collectors on other
    // threads use absolute paths and never look at it).
    std::unique_lock<std::mutex> extractionTurn_;
    // The previous current directory comes back at the end.
    std::optional<TCurrentDirectoryScope> insideExtractDir_;
};

} // namespace tabula
