#include "core/header/Detector.h"

#include <algorithm>
#include <array>
#include <bit>

namespace tabula {

namespace {

// Where a test's or a range's offset lies in a file of size bytes; none when
// it lies before the start.
std::optional<uint64_t> Position(int64_t offset, uint64_t size) {
    if (offset >= 0) {
        return static_cast<uint64_t>(offset);
    }
    const uint64_t back = static_cast<uint64_t>(-(offset + 1)) + 1;
    return back <= size ? std::optional<uint64_t>(size - back) : std::nullopt;
}

bool Compare(uint64_t left, TDetectorTest::TOperator op, uint64_t right) {
    switch (op) {
    case TDetectorTest::TOperator::Less:
        return left < right;
    case TDetectorTest::TOperator::Greater:
        return left > right;
    case TDetectorTest::TOperator::Equal:
        break;
    }
    return left == right;
}

// The file's first bytes, asked for once: most tests look at them.
struct TFirstBytes {
    const uint8_t* Bytes = nullptr;
    uint64_t Count = 0;
};

bool Holds(const TDetectorTest& test, uint64_t size, const TBytesAt& bytesAt,
           const TFirstBytes& first) {
    if (test.Kind == TDetectorTest::TKind::File) {
        if (test.PowerOfTwo) {
            return std::has_single_bit(size);
        }
        return Compare(test.Modulus ? size % *test.Modulus : size, test.Operator, test.Size);
    }
    const std::optional<uint64_t> at = Position(test.Offset, size);
    if (!at || *at > size || size - *at < test.Value.size()) {
        return false; // the bytes are not there
    }
    const uint8_t* bytes = *at + test.Value.size() <= first.Count ? first.Bytes + *at
                                                                  : bytesAt(*at, test.Value.size());
    if (bytes == nullptr) {
        return false;
    }
    if (test.Kind == TDetectorTest::TKind::Data) {
        // Magic numbers differ at once: the first byte settles most tests.
        return bytes[0] == test.Value[0] &&
               std::equal(test.Value.begin() + 1, test.Value.end(), bytes + 1);
    }
    for (std::size_t i = 0; i < test.Value.size(); ++i) {
        const uint8_t mask = test.Mask[i];
        const uint8_t combined = test.Kind == TDetectorTest::TKind::And  ? bytes[i] & mask
                                 : test.Kind == TDetectorTest::TKind::Or ? bytes[i] | mask
                                                                         : bytes[i] ^ mask;
        if (combined != test.Value[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

TDetectorSet::TDetectorSet(std::vector<TDetector> detectors) : detectors_(std::move(detectors)) {
    for (const TDetector& detector : detectors_) {
        for (const TDetectorRule& rule : detector.Rules) {
            TQuickCheck& quick = quick_.emplace_back();
            for (const TDetectorTest& test : rule.Tests) {
                if (!quick.Has && test.Kind == TDetectorTest::TKind::Data && test.Result &&
                    test.Offset >= 0 && test.Offset < 16) {
                    quick = {true, static_cast<uint8_t>(test.Offset), test.Value.front()};
                }
                if (test.Kind == TDetectorTest::TKind::File) {
                    continue;
                }
                const auto length = static_cast<uint64_t>(test.Value.size());
                if (test.Offset >= 0) {
                    prefix_ = std::max(prefix_, static_cast<uint64_t>(test.Offset) + length);
                } else {
                    suffix_ = std::max(suffix_, static_cast<uint64_t>(-test.Offset));
                }
            }
        }
    }
}

std::optional<TCut> TDetectorSet::Match(uint64_t size, const TBytesAt& bytesAt) const {
    // A header's worth from the start in one call; copied, as a later call
    // for bytes further on may move what the first one pointed at.
    constexpr uint64_t FirstCount = 16;
    std::array<uint8_t, FirstCount> firstCopy{};
    TFirstBytes first;
    if (const uint64_t count = std::min({FirstCount, size, prefix_}); count > 0) {
        if (const uint8_t* bytes = bytesAt(0, static_cast<std::size_t>(count))) {
            std::copy_n(bytes, count, firstCopy.begin());
            first = {firstCopy.data(), count};
        }
    }
    std::size_t ruleIndex = 0;
    for (const TDetector& detector : detectors_) {
        for (const TDetectorRule& rule : detector.Rules) {
            const TQuickCheck& quick = quick_[ruleIndex++];
            if (quick.Has && quick.Offset < first.Count &&
                first.Bytes[quick.Offset] != quick.Byte) {
                continue;
            }
            const bool passes =
                std::all_of(rule.Tests.begin(), rule.Tests.end(), [&](const TDetectorTest& test) {
                    return Holds(test, size, bytesAt, first) == test.Result;
                });
            if (!passes) {
                continue;
            }
            const std::optional<uint64_t> start = Position(rule.Start, size);
            const std::optional<uint64_t> end = rule.End ? Position(*rule.End, size) : size;
            // A range the file cannot hold cuts nothing: the next rule is tried.
            if (!start || !end || *end > size || *start > *end) {
                continue;
            }
            return TCut{*start, *end, rule.Operation, &detector};
        }
    }
    return std::nullopt;
}

std::optional<TCut> TDetectorSet::Match(uint64_t size, std::span<const uint8_t> head,
                                        std::span<const uint8_t> tail) const {
    return Match(size, [&](uint64_t offset, std::size_t count) -> const uint8_t* {
        if (offset + count <= head.size()) {
            return head.data() + offset;
        }
        const uint64_t tailStart = size - tail.size();
        if (offset >= tailStart && offset + count <= size) {
            return tail.data() + (offset - tailStart);
        }
        return nullptr;
    });
}

void ApplyByteOperation(TByteOperation operation, std::span<uint8_t> bytes) {
    switch (operation) {
    case TByteOperation::None:
        return;
    case TByteOperation::Bitswap:
        for (uint8_t& byte : bytes) {
            uint8_t reversed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                reversed = static_cast<uint8_t>(reversed | (((byte >> bit) & 1u) << (7 - bit)));
            }
            byte = reversed;
        }
        return;
    case TByteOperation::Byteswap:
        for (std::size_t i = 0; i + 2 <= bytes.size(); i += 2) {
            std::swap(bytes[i], bytes[i + 1]);
        }
        return;
    case TByteOperation::Wordswap:
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            std::swap(bytes[i], bytes[i + 2]);
            std::swap(bytes[i + 1], bytes[i + 3]);
        }
        return;
    case TByteOperation::WordByteswap:
        for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
            std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                         bytes.begin() + static_cast<std::ptrdiff_t>(i + 4));
        }
        return;
    }
}

const TDetector& NesModeRules() {
    static const TDetector rules{"nes.xml", "NES header mode", {}, {}, {}};
    return rules;
}

const TDetector& SnesModeRules() {
    static const TDetector rules{"snes.xml", "SNES header mode", {}, {}, {}};
    return rules;
}

} // namespace tabula
