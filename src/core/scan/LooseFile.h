#pragma once

#include "core/scan/Crc32.h"

#include <string>

namespace tabula {

// Checksums the file at path as a loose ROM: cut as cut says, or, with
// detectors, as the first rule its bytes pass says (whole when none does);
// the bytes after the cut also go to hashes when there are any. Throws
// ECrcFileError when the file cannot be read.
TMemberResult ChecksumFile(const std::string& path, const TCut& cut, const TDetectorSet* detectors,
                           TRomHashes* hashes);
// The same for a file already open.
TMemberResult ChecksumFile(const TSequentialFile& file, const TCut& cut,
                           const TDetectorSet* detectors, TRomHashes* hashes);

// A file that is no archive: one member, itself, named by its full path.
class TLooseFile final : public IMemberSource {
public:
    TLooseFile(const TCollectorFlags& flags, std::string path, uint64_t size)
        : flags_(flags), path_(std::move(path)), size_(size) {}
    bool Next(TMember& member) override;
    TMemberResult Read(const TMember& member, const TCut& cut, TRomHashes* hashes) override;
    bool UpperCaseCrc() const override { return true; }

private:
    const TCollectorFlags& flags_;
    std::string path_;
    uint64_t size_;
    bool handedOut_ = false;
};

} // namespace tabula
