#pragma once

#include "core/archive/ArchiveStream.h"
#include "core/archive/SevenZipHeader.h"
#include "core/platform/FileReader.h"
#include "core/scan/Crc32.h"

#include <memory>

namespace tabula {

// The members of a 7z archive: listed by our own reader of its header, which
// knows their CRCs, and read in order through the archive library when their
// bytes are needed (a cut, digests, a member whose CRC the header lacks).
class TSevenZipMembers final : public IMemberSource {
public:
    // Reads the header; throws what Collect throws when it cannot.
    explicit TSevenZipMembers(const TCrc32& collector);
    bool Next(TMember& member) override;
    std::size_t CountHint() const override { return listing_.Members.size(); }
    TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) override;

private:
    void ReadListing();
    // Refuses what would make the scan decompress more than the bound.
    void RefuseBomb() const;
    void OpenStream();

    const TCrc32& collector_;
    const std::string& fileName_;
    TFileReader file_;
    TSevenZipListing listing_;
    // Every member is read (not only those the header gives no CRC).
    bool readsAll_ = false;
    std::unique_ptr<TArchiveStream> stream_; // null when nothing is read
    std::size_t next_ = 0;
    const TSevenZipMember* member_ = nullptr;
};

// The members of a RAR archive, all read through the archive library, which
// gives no CRC without reading them.
class TRarMembers final : public IMemberSource {
public:
    explicit TRarMembers(const TCrc32& collector);
    bool Next(TMember& member) override;
    TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) override;

private:
    // The next entry that holds a ROM, or false at the end.
    bool NextFile();
    // Turns what the library throws into the archive's failure.
    [[noreturn]] void Fail(const std::exception_ptr& error) const;

    const TCrc32& collector_;
    const std::string& fileName_;
    TFileReader file_;
    uint64_t bound_ = 0;
    uint64_t declared_ = 0;
    std::unique_ptr<TArchiveStream> stream_;
    TStreamEntry entry_;
};

} // namespace tabula
