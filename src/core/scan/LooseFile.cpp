#include "core/scan/LooseFile.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/FileAttributes.h"
#include "core/platform/FileReader.h"
#include "core/platform/SequentialFile.h"
#include "core/scan/CutFeed.h"
#include "core/scan/MemberCut.h"
#include "core/text/CodePages.h"

#include <algorithm>
#include <memory>
#include <new>

namespace tabula {

namespace {

// Small enough that each block is still in the processor's cache when the CRC
// reads it after the kernel's copy (64 KiB measured fastest: 0.28x rhash
// over 1 GiB, against 0.36x with 256 KiB), large enough that calls stay cheap.
constexpr size_t ReadBlockSize = size_t{64} << 10;

// The kernel copies into a page-aligned buffer several times faster than
// into one that starts a few bytes into a page, as malloc's large blocks do.
constexpr std::align_val_t ReadBufferAlignment{4096};

struct TAlignedDelete {
    void operator()(std::byte* bytes) const { ::operator delete[](bytes, ReadBufferAlignment); }
};

// One read block for every file a thread reads: a fresh block per file
// would cost the kernel a page fault for every page of it, each time.
std::span<std::byte> ReadBuffer(size_t size) {
    thread_local const std::unique_ptr<std::byte[], TAlignedDelete> block(
        static_cast<std::byte*>(::operator new[](ReadBlockSize, ReadBufferAlignment)));
    return {block.get(), std::min(size, ReadBlockSize)};
}

// The cut the detectors give the file; only the bytes their rules test are read.
TCut JudgedFile(const std::string& path, uint64_t size, const TDetectorSet& detectors) {
    TFileReader judged;
    if (!judged.Open(path) || judged.Size() != size) {
        throw ECrcFileError("File " + QuotedPath(path) + " changed while it was read");
    }
    std::vector<uint8_t> bytes;
    return JudgeFile(detectors, size, [&](uint64_t offset, std::size_t count) -> const uint8_t* {
        bytes.resize(count);
        return judged.ReadAt(offset, bytes.data(), count) == count ? bytes.data() : nullptr;
    });
}

} // namespace

TMemberResult ChecksumFile(const std::string& path, const TCut& modeCut,
                           const TDetectorSet* detectors, TRomHashes* hashes) {
    try {
        const TSequentialFile file(path);
        return ChecksumFile(file, modeCut, detectors, hashes);
    } catch (const EFileReadError& error) {
        throw ECrcFileError(error.what());
    }
}

TMemberResult ChecksumFile(const TSequentialFile& file, const TCut& modeCut,
                           const TDetectorSet* detectors, TRomHashes* hashes) {
    const std::string& path = file.Path();
    try {
        const uint64_t size = file.Size();
        const TCut cut = detectors != nullptr ? JudgedFile(path, size, *detectors) : modeCut;
        const TCutRange range = CutRange(cut, size);
        uint32_t crc = CrcInit;
        // Each block is hashed while the CRC has just brought it into the cache.
        if (range.To > range.From) {
            const size_t bufferSize =
                static_cast<size_t>(std::min<uint64_t>(ReadBlockSize, size - range.From));
            if (range.To == size && cut.Operation == TByteOperation::None) {
                file.ReadFrom(range.From, ReadBuffer(bufferSize),
                              [&](std::span<const std::byte> block) {
                                  crc = CrcContinue(crc, block);
                                  if (hashes != nullptr) {
                                      hashes->Update(block);
                                  }
                              });
            } else {
                TCutFeed feed(0, range.To - range.From, cut.Operation, crc, hashes);
                file.ReadFrom(range.From, ReadBuffer(bufferSize),
                              [&](std::span<const std::byte> block) { feed.Feed(block); });
                feed.Finish();
            }
        }
        return {~crc, range.Size(), DetectorOf(cut)};
    } catch (const EFileReadError& error) {
        throw ECrcFileError(error.what());
    }
}

bool TLooseFile::Next(TMember& member) {
    if (handedOut_) {
        return false;
    }
    handedOut_ = true;
    member = {path_, {}, size_, true};
    return true;
}

TMemberResult TLooseFile::Read(const TMember&, const TCut& cut, TRomHashes* hashes) {
    // An empty file has no bytes to read: an open would only tell that it
    // may be read, which one call asks where opening takes three. One that
    // may not is opened, so its failure is the open's own.
    if (size_ == 0 && flags_.Detectors == nullptr && IsReadableFile(path_)) {
        return {~CrcInit, 0, DetectorOf(cut)};
    }
    return ChecksumFile(path_, cut, flags_.Detectors, hashes);
}

} // namespace tabula
