#include "core/header/Detector.h"

#include <algorithm>
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

bool Holds(const TDetectorTest& test, uint64_t size, const TBytesAt& bytesAt) {
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
    std::vector<uint8_t> bytes(test.Value.size());
    if (!bytesAt(*at, bytes)) {
        return false;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        switch (test.Kind) {
        case TDetectorTest::TKind::And:
            bytes[i] &= test.Mask[i];
            break;
        case TDetectorTest::TKind::Or:
            bytes[i] |= test.Mask[i];
            break;
        case TDetectorTest::TKind::Xor:
            bytes[i] ^= test.Mask[i];
            break;
        default:
            break;
        }
    }
    return bytes == test.Value;
}

} // namespace

TDetectorSet::TDetectorSet(std::vector<TDetector> detectors) : detectors_(std::move(detectors)) {
    for (const TDetector& detector : detectors_) {
        for (const TDetectorRule& rule : detector.Rules) {
            for (const TDetectorTest& test : rule.Tests) {
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
    for (const TDetector& detector : detectors_) {
        for (const TDetectorRule& rule : detector.Rules) {
            const bool passes =
                std::all_of(rule.Tests.begin(), rule.Tests.end(), [&](const TDetectorTest& test) {
                    return Holds(test, size, bytesAt) == test.Result;
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
    return Match(size, [&](uint64_t offset, std::span<uint8_t> out) {
        if (offset + out.size() <= head.size()) {
            std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(offset), out.size(),
                        out.begin());
            return true;
        }
        const uint64_t tailStart = size - tail.size();
        if (offset >= tailStart && offset + out.size() <= size) {
            std::copy_n(tail.begin() + static_cast<std::ptrdiff_t>(offset - tailStart), out.size(),
                        out.begin());
            return true;
        }
        return false;
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

} // namespace tabula
