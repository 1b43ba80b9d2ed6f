#pragma once

#include "core/header/Detector.h"
#include "core/platform/FileReader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tabula {

struct TPathStatus;

// The bytes [From, To) a cut leaves of a member of size bytes.
struct TCutRange {
    uint64_t From = 0;
    uint64_t To = 0;
    int64_t Size() const { return static_cast<int64_t>(To - From); }
};
TCutRange CutRange(const TCut& cut, uint64_t size);

// Nothing is cut but the first bytes: the rest is hashed as it stands.
inline bool CutsStartOnly(const TCut& cut, uint64_t size) {
    return cut.End >= size && cut.Operation == TByteOperation::None;
}

// The detector file whose rule gave cut; empty for the cut of a mode.
std::string DetectorOf(const TCut& cut);

// The cut of a file read at random through bytesAt: the first passing
// rule's, else the whole file.
TCut JudgeFile(const TDetectorSet& detectors, uint64_t size, const TBytesAt& bytesAt);

// A member's first and last bytes, as many as the detectors test, kept from
// its bytes handed in order.
class THeadTail {
public:
    THeadTail(const TDetectorSet& detectors, uint64_t size);
    void Feed(std::span<const std::byte> block);
    std::optional<TCut> Match() const;
    const std::vector<uint8_t>& Head() const { return head_; }

private:
    const TDetectorSet& detectors_;
    uint64_t size_;
    uint64_t position_ = 0;
    std::vector<uint8_t> head_;
    std::vector<uint8_t> tail_;
};

// Throws ECrcZipError: "File "<archive's own name>": what".
[[noreturn]] void FailArchive(const std::string& path, const std::string& what);

// Throws what Collect throws for a path that is missing or not regular.
void RefuseUnlessRegular(const TPathStatus& status, const std::string& path);

} // namespace tabula
