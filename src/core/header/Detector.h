#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

// How the bytes of a cut are put in order before they are hashed, in units
// counted from the cut's start (a last partial unit stays as it is).
enum class TByteOperation {
    None,
    Bitswap,      // the bits of each byte reversed
    Byteswap,     // the two bytes of each 16-bit unit swapped: AB -> BA
    Wordswap,     // the two 16-bit halves of each 32-bit unit swapped: ABCD -> CDAB
    WordByteswap, // the four bytes of each 32-bit unit reversed: ABCD -> DCBA
};

// One test of a rule. A negative offset counts from the end of the file.
struct TDetectorTest {
    enum class TKind { Data, And, Or, Xor, File };
    enum class TOperator { Equal, Less, Greater };
    TKind Kind = TKind::Data;
    bool Result = true; // what the comparison must give for the test to pass
    // Data: the bytes at Offset equal Value. And, Or, Xor: the bytes at Offset
    // combined with Mask equal Value.
    int64_t Offset = 0;
    std::vector<uint8_t> Value;
    std::vector<uint8_t> Mask;
    // File: the size compared with Size by Operator, or a power of two; with
    // Modulus, the size's remainder by it is what is compared.
    bool PowerOfTwo = false;
    uint64_t Size = 0;
    TOperator Operator = TOperator::Equal;
    std::optional<uint64_t> Modulus;
};

// The range a rule cuts when all its tests pass; a negative offset counts
// from the end, no End means the end of the file.
struct TDetectorRule {
    int64_t Start = 0;
    std::optional<int64_t> End;
    TByteOperation Operation = TByteOperation::None;
    std::vector<TDetectorTest> Tests;
    std::size_t Line = 0;
};

struct TDetector {
    std::string FileName; // the file it was read from, without its folder
    std::string Name;
    std::string Author;
    std::string Version;
    std::vector<TDetectorRule> Rules;
};

class EDetectorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A detector file's bytes, named fileName in messages. Throws EDetectorError,
// "Cannot read the detector "FILE": line N: ...", for XML that is not
// well-formed and for anything the format does not hold.
TDetector ReadDetector(std::string_view bytes, const std::string& fileName);
// The same from a file.
TDetector ReadDetectorFile(const std::string& path);
// The detectors shipped with the program: NES, FDS, Atari 7800, Atari Lynx
// and SNES copier headers.
std::vector<TDetector> BuiltInDetectors();

// What the NES and SNES header modes cut by, named as the shipped detector
// files of the same headers ("nes.xml", "snes.xml") so that a datafile's
// header names them alike; their rules are the modes' own code.
const TDetector& NesModeRules();
const TDetector& SnesModeRules();

// What is hashed of a file: bytes Start to End (exclusive), put in order by
// Operation. From names the detector whose rule gave it.
struct TCut {
    uint64_t Start = 0;
    uint64_t End = 0;
    TByteOperation Operation = TByteOperation::None;
    const TDetector* From = nullptr;
};

// The count bytes at offset of the file being judged, valid until the next
// call; null when they cannot be read.
using TBytesAt = std::function<const uint8_t*(uint64_t offset, std::size_t count)>;

// Detectors tried in order, each its rules in order: the first rule whose
// tests all pass gives the cut.
class TDetectorSet {
public:
    explicit TDetectorSet(std::vector<TDetector> detectors);

    // How many bytes the tests look at from the start of a file, and from its end.
    uint64_t PrefixNeeded() const { return prefix_; }
    uint64_t SuffixNeeded() const { return suffix_; }
    // The cut of a file of size bytes; none when no rule passes (the file is
    // hashed whole).
    std::optional<TCut> Match(uint64_t size, const TBytesAt& bytesAt) const;
    // The same from bytes in hand: the file's first bytes and its last ones
    // (the two may overlap or be the same).
    std::optional<TCut> Match(uint64_t size, std::span<const uint8_t> head,
                              std::span<const uint8_t> tail) const;
    const std::vector<TDetector>& Detectors() const { return detectors_; }

private:
    // A byte a rule's data test wants among a file's first bytes: a file
    // with another byte there fails the rule without the rest being looked at.
    struct TQuickCheck {
        bool Has = false;
        uint8_t Offset = 0;
        uint8_t Byte = 0;
    };

    std::vector<TDetector> detectors_;
    std::vector<TQuickCheck> quick_; // one per rule, in the order rules are tried
    uint64_t prefix_ = 0;
    uint64_t suffix_ = 0;
};

// The built-in detectors as a set, read once for the process. Prepare starts
// reading them on a thread of its own (loading the XML library is most of
// it), so that a scan can list its folder meanwhile; the set waits for it.
void PrepareBuiltInDetectorSet();
const TDetectorSet& BuiltInDetectorSet();

// Puts bytes in the order of operation, in place; bytes is a whole number of
// units from the cut's start but for the cut's last part.
void ApplyByteOperation(TByteOperation operation, std::span<uint8_t> bytes);

} // namespace tabula
