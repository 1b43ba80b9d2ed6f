#include "core/scan/Crc32.h"

#include "core/platform/FileReader.h"
#include "core/scan/CutFeed.h"

#include "core/checksum/CrcUpdate.h"
#include "core/platform/PrivateDirectory.h"
#include "core/platform/SequentialFile.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

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

// A path or name in a message: names on disk are bytes, messages are text.
std::string Quoted(const std::string& text) {
    return "\"" + PathText(text) + "\"";
}

} // namespace

TCrc32::TCrc32() : tempPath_(TemporaryDirectory()) {}

TCrc32::~TCrc32() = default;

void TCrc32::SetFileName(const std::string& path) {
    fileName_ = path;
    items_.clear();
}

int32_t TCrc32::SnesHeaderSize(int64_t size) {
    // The nearest multiple of 8192, a tie going to the even multiple (the
    // default rounding mode); what lies beyond it is taken for the header.
    const double blocks = std::nearbyint(static_cast<double>(size) / 8192.0);
    const int64_t header = size - int64_t{8192} * static_cast<int64_t>(blocks);
    return header < 0 ? 0 : static_cast<int32_t>(header);
}

void TCrc32::RefuseUnlessRegular(const TPathStatus& status) const {
    if (status.Kind == TPathKind::Missing && status.Error != 0 && status.Error != ENOENT) {
        // There, perhaps, but out of reach (its folder unreadable or gone).
        throw ECrcFileError("File " + Quoted(fileName_) +
                            " cannot be reached: " + std::strerror(status.Error));
    }
    if (status.Kind == TPathKind::Missing) {
        throw ECrcFileNotFound("File " + Quoted(fileName_) + " not found.");
    }
    if (status.Kind != TPathKind::Regular) {
        // Opening a FIFO or a device could block the scan or never end.
        throw ECrcFileError("File " + Quoted(fileName_) + " is not a regular file");
    }
}

void TCrc32::Collect() {
    const std::string extension = LowerCase(FileExtension(fileName_));
    const bool archive = extension == ".zip" && ZipMode;
    const bool sevenZip = ZipMode && (extension == ".7z" || IsSevenZipVolumeName(fileName_));
    const bool rar = ZipMode && extension == ".rar";
    // An archive's status comes from its listing, which looks at it anyway.
    TPathStatus status;
    if (!archive) {
        status = StatPath(fileName_);
        RefuseUnlessRegular(status);
    }
    // Extracted members never outlive the call, whatever way it ends.
    struct TExtractDirCleanup {
        TCrc32& Collector;
        ~TExtractDirCleanup() {
            // Items collected before a failure keep their digests.
            Collector.FinishDigests();
            Collector.insideExtractDir_.reset();
            if (Collector.extractionTurn_.owns_lock()) {
                Collector.extractionTurn_.unlock();
            }
            Collector.extractDir_.reset();
            Collector.joinDir_.reset();
            Collector.joinedSet_.clear();
            Collector.trustedArchive_.reset();
        }
    } cleanup{*this};

    if (archive) {
        CollectArchive();
    } else if (sevenZip) {
        CollectSevenZip();
    } else if (rar) {
        CollectRar();
    } else {
        CollectLooseFile(status.Size);
    }
}

void TCrc32::CollectLooseFile(uint64_t fileSize) {
    if (SkipTxtFiles && LowerCase(FileExtension(fileName_)) == ".txt") {
        return;
    }
    headerSize_ = 0;
    if (SnesMode) {
        const auto size = static_cast<int64_t>(fileSize);
        if (size < 8192 && RemoveBadSize) {
            return;
        }
        headerSize_ = SnesHeaderSize(size);
        if (headerSize_ != 0 && headerSize_ != 512 && RemoveBadSize) {
            return;
        }
    }
    if (NesMode) {
        headerSize_ = 16;
    }
    TCrcResult result = CrcOfFile(fileName_);
    AddItem(fileName_, HexText(result.Crc), result.Size, std::move(result.Digests));
    items_.back().Detector = std::move(result.Detector);
}

TCrc32::TCrcResult TCrc32::CrcOfFile(const std::string& path) const {
    try {
        const TSequentialFile file(path);
        const uint64_t size = file.Size();
        TCut cut{static_cast<uint64_t>(headerSize_), size, TByteOperation::None, nullptr};
        if (Detectors != nullptr) {
            // Only the bytes the rules test are read for them.
            TFileReader judged;
            if (!judged.Open(path) || judged.Size() != size) {
                throw ECrcFileError("File " + Quoted(path) + " changed while it was read");
            }
            std::vector<uint8_t> bytes;
            const auto bytesAt = [&](uint64_t offset, std::size_t count) -> const uint8_t* {
                bytes.resize(count);
                return judged.ReadAt(offset, bytes.data(), count) == count ? bytes.data() : nullptr;
            };
            cut = Detectors->Match(size, bytesAt)
                      .value_or(TCut{0, size, TByteOperation::None, nullptr});
        }
        const uint64_t from = std::min(cut.Start, size);
        const uint64_t to = std::clamp(cut.End, from, size);
        uint32_t crc = CrcInit;
        // Each block is hashed while the CRC has just brought it into the cache.
        std::optional<TRomHashes> hashes;
        if (Hashes.Any()) {
            hashes.emplace(Hashes);
        }
        if (to > from) {
            const size_t bufferSize =
                static_cast<size_t>(std::min<uint64_t>(ReadBlockSize, size - from));
            if (to == size && cut.Operation == TByteOperation::None) {
                file.ReadFrom(from, ReadBuffer(bufferSize), [&](std::span<const std::byte> block) {
                    crc = CrcContinue(crc, block);
                    if (hashes) {
                        hashes->Update(block);
                    }
                });
            } else {
                TCutFeed feed(0, to - from, cut.Operation, crc, hashes ? &*hashes : nullptr);
                file.ReadFrom(from, ReadBuffer(bufferSize),
                              [&](std::span<const std::byte> block) { feed.Feed(block); });
                feed.Finish();
            }
        }
        return {~crc, static_cast<int64_t>(to - from),
                hashes ? hashes->Finish() : TRomHashes::TDigests{},
                cut.From != nullptr ? cut.From->FileName : std::string()};
    } catch (const EFileReadError& error) {
        throw ECrcFileError(error.what());
    }
}

void TCrc32::FinishDigests() {
    for (auto& [index, hashes] : pendingDigests_) {
        TRomHashes::TDigests digests = hashes->Finish();
        items_[index].Md5 = std::move(digests.Md5);
        items_[index].Sha1 = std::move(digests.Sha1);
        items_[index].Sha256 = std::move(digests.Sha256);
    }
    pendingDigests_.clear();
}

void TCrc32::AddItem(std::string name, std::string crcText, int64_t size,
                     TRomHashes::TDigests digests, std::string nameOnDisk) {
    items_.push_back({std::move(name), std::move(crcText), size, std::move(digests.Md5),
                      std::move(digests.Sha1), std::move(digests.Sha256), std::move(nameOnDisk)});
}

} // namespace tabula
