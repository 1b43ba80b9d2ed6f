#include "core/scan/MemberCut.h"

#include "core/platform/SequentialFile.h"
#include "core/scan/Crc32.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tabula {

TCutRange CutRange(const TCut& cut, uint64_t size) {
    const uint64_t from = std::min(cut.Start, size);
    return {from, std::clamp(cut.End, from, size)};
}

std::string DetectorOf(const TCut& cut) {
    return cut.From != nullptr ? cut.From->FileName : std::string();
}

TCut JudgeFile(const TDetectorSet& detectors, uint64_t size, const TBytesAt& bytesAt) {
    return detectors.Match(size, bytesAt).value_or(TCut{0, size, TByteOperation::None, nullptr});
}

THeadTail::THeadTail(const TDetectorSet& detectors, uint64_t size)
    : detectors_(detectors), size_(size),
      head_(static_cast<std::size_t>(std::min(detectors.PrefixNeeded(), size))),
      tail_(static_cast<std::size_t>(std::min(detectors.SuffixNeeded(), size))) {}

void THeadTail::Feed(std::span<const std::byte> block) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    const uint64_t tailFrom = size_ - tail_.size();
    for (std::size_t i = 0; i < block.size(); ++i, ++position_) {
        if (position_ < head_.size()) {
            head_[static_cast<std::size_t>(position_)] = bytes[i];
        }
        if (position_ >= tailFrom) {
            tail_[static_cast<std::size_t>(position_ - tailFrom)] = bytes[i];
        }
    }
}

std::optional<TCut> THeadTail::Match() const {
    return detectors_.Match(size_, head_, tail_);
}

void FailArchive(const std::string& path, const std::string& what) {
    throw ECrcZipError("File " + QuotedPath(ShortFileName(path)) + ": " + what);
}

void RefuseUnlessRegular(const TPathStatus& status, const std::string& path) {
    if (status.Kind == TPathKind::Missing && status.Error != 0 && status.Error != ENOENT) {
        // There, perhaps, but out of reach (its folder unreadable or gone).
        throw ECrcFileError("File " + QuotedPath(path) +
                            " cannot be reached: " + std::strerror(status.Error));
    }
    if (status.Kind == TPathKind::Missing) {
        throw ECrcFileNotFound("File " + QuotedPath(path) + " not found.");
    }
    if (status.Kind != TPathKind::Regular) {
        // Opening a FIFO or a device could block the scan or never end.
        throw ECrcFileError("File " + QuotedPath(path) + " is not a regular file");
    }
}

} // namespace tabula
