#include "core/reference/ReferenceIndex.h"

#include "core/datafile/DatafileRead.h"
#include "core/romlist/KeptFields.h"
#include "core/text/BlankText.h"
#include "core/text/HexDigit.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tabula {

bool TSetRuns::Starts(const TRomTable::TRow& row, const TRowExtras& extras) {
    const bool starts = !any_ || row[1] != last_ || (extras.Kept && extras.Kept->Game);
    if (starts) {
        last_ = row[1];
        any_ = true;
    }
    return starts;
}

namespace {

constexpr std::uint32_t End = UINT32_MAX;

// Exactly N bytes of hexadecimal digits, either case; false for anything else.
template <std::size_t N> bool ParseDigest(std::string_view hex, std::array<std::uint8_t, N>& out) {
    if (hex.size() != 2 * N) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        const int high = HexDigitValue(hex[2 * i]);
        const int low = HexDigitValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

// One to eight hexadecimal digits, as the readers take a CRC.
bool ParseCrc(std::string_view text, std::uint32_t& crc) {
    text = TrimmedBlanks(text);
    if (text.empty() || text.size() > 8) {
        return false;
    }
    crc = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        crc = crc << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Decimal digits up to 2^63 - 1.
bool ParseSize(std::string_view text, std::int64_t& size) {
    text = TrimmedBlanks(text);
    if (text.empty() || text.size() > 19) {
        return false;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    size = static_cast<std::int64_t>(value);
    return true;
}

// A rom the reference lists as not dumped: Logiqx's status, ClrMamePro's flags.
bool IsNodump(const TRowExtras& extras) {
    if (!extras.Kept || extras.Kept->Rom.Name.empty()) {
        return false;
    }
    for (const auto& [name, value] : extras.Kept->Rom.Attributes) {
        if ((name == "status" || name == "flags") && value == "nodump") {
            return true;
        }
    }
    return false;
}

std::uint64_t Mix(std::uint64_t value) {
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    return value;
}

template <std::size_t N> std::uint64_t FirstWord(const std::array<std::uint8_t, N>& digest) {
    std::uint64_t word = 0;
    std::memcpy(&word, digest.data(), sizeof word);
    return word; // a digest's bytes are spread evenly already
}

} // namespace

// The rows of a file as a reader gives them, added as roms and sets.
class TReferenceIndex::TContent : public IDatafileContent {
public:
    explicit TContent(TReferenceIndex& index) : index_(index) {}
    void Expect(std::size_t rows) override {
        index_.roms_.reserve(index_.roms_.size() + rows);
        index_.romNames_.reserve(index_.romNames_.size() + rows);
    }
    void Begin(TDatafileFormat, const TDatafileCredits&,
               std::shared_ptr<const TKeptHeader>) override {}
    void Add(TRomTable::TRow row, TRowExtras extras) override {
        if (runs_.Starts(row, extras)) {
            index_.sets_.push_back({std::move(row[1]), std::move(row[3]), false});
            ++Sets;
        }
        TRom rom;
        rom.Set = static_cast<std::uint32_t>(index_.sets_.size() - 1);
        if (!IsNodump(extras)) {
            rom.Key = KeyOf(row, extras);
        }
        index_.sets_.back().Findable = index_.sets_.back().Findable || rom.Key.Has != 0;
        index_.roms_.push_back(rom);
        index_.romNames_.push_back(std::move(row[4]));
    }
    void End() override {}

    std::size_t Sets = 0;

private:
    TReferenceIndex& index_;
    TSetRuns runs_;
};

TReferenceIndex::TReferenceIndex() = default;
TReferenceIndex::~TReferenceIndex() = default;

void TReferenceIndex::AddFile(const std::string& fileName) {
    const std::size_t roms = roms_.size();
    const std::size_t sets = sets_.size();
    TContent content(*this);
    try {
        ReadDatafile(fileName, content);
    } catch (...) {
        roms_.resize(roms);
        romNames_.resize(roms);
        sets_.resize(sets);
        throw;
    }
    files_.push_back({fileName, content.Sets});
    Build();
}

const std::string& TReferenceIndex::SetName(std::uint32_t rom) const {
    return sets_[roms_[rom].Set].Name;
}

const std::string& TReferenceIndex::CloneName(std::uint32_t rom) const {
    return sets_[roms_[rom].Set].CloneOf;
}

TReferenceIndex::TKey TReferenceIndex::KeyOf(const TRomTable::TRow& row, const TRowExtras& extras) {
    TKey key;
    const auto has = [&key](int kind) { key.Has |= static_cast<std::uint8_t>(1 << kind); };
    if (ParseDigest(extras.Sha256, key.Sha256)) {
        has(Sha256);
    }
    if (ParseDigest(extras.Sha1, key.Sha1)) {
        has(Sha1);
    }
    if (ParseDigest(extras.Md5, key.Md5)) {
        has(Md5);
    }
    if (ParseCrc(row[5], key.Crc) && ParseSize(row[6], key.Size)) {
        has(CrcSize);
    }
    return key;
}

std::uint64_t TReferenceIndex::HashOf(const TKey& key, int kind) {
    switch (kind) {
    case Sha256:
        return FirstWord(key.Sha256);
    case Sha1:
        return FirstWord(key.Sha1);
    case Md5:
        return FirstWord(key.Md5);
    default:
        return Mix(static_cast<std::uint64_t>(key.Size) * 0x9E3779B97F4A7C15ULL ^ key.Crc);
    }
}

bool TReferenceIndex::Equal(const TKey& a, const TKey& b, int kind) {
    switch (kind) {
    case Sha256:
        return a.Sha256 == b.Sha256;
    case Sha1:
        return a.Sha1 == b.Sha1;
    case Md5:
        return a.Md5 == b.Md5;
    default:
        return a.Crc == b.Crc && a.Size == b.Size;
    }
}

void TReferenceIndex::Build() {
    for (int kind = 0; kind < KindCount; ++kind) {
        const std::size_t count = static_cast<std::size_t>(std::count_if(
            roms_.begin(), roms_.end(), [kind](const TRom& rom) { return rom.Key.HasKind(kind); }));
        std::vector<TSlot>& slots = slots_[kind];
        // At most three slots in four taken, so a probe meets an empty one soon.
        slots.assign(std::bit_ceil(count + count / 3 + 1), TSlot{});
        const std::uint64_t mask = slots.size() - 1;
        // In the references' order, so equal keys are met in that order.
        for (std::size_t r = 0; r < roms_.size(); ++r) {
            const TKey& key = roms_[r].Key;
            if (!key.HasKind(kind)) {
                continue;
            }
            const std::uint64_t hash = HashOf(key, kind);
            std::uint64_t i = hash & mask;
            while (slots[i].Rom != End) {
                i = (i + 1) & mask;
            }
            slots[i] = {hash, static_cast<std::uint32_t>(r), key.Has};
        }
    }
}

TReferenceIndex::TFound TReferenceIndex::Find(const TRomTable::TRow& row, const TRowExtras& extras,
                                              std::vector<std::uint8_t>* matchedSets) const {
    TFound found;
    const TKey key = KeyOf(row, extras);
    found.Checked = key.Has != 0;
    std::uint32_t firstSet = End;
    for (int kind = 0; kind < KindCount; ++kind) {
        if (!key.HasKind(kind)) {
            continue;
        }
        // A rom found by this kind must share no stronger one with the row:
        // the strongest checksum both have decides.
        const std::uint8_t stronger = static_cast<std::uint8_t>(key.Has & ((1 << kind) - 1));
        const std::vector<TSlot>& slots = slots_[kind];
        const std::uint64_t hash = HashOf(key, kind);
        const std::uint64_t mask = slots.size() - 1;
        for (std::uint64_t i = hash & mask; slots[i].Rom != End; i = (i + 1) & mask) {
            const TSlot& slot = slots[i];
            if (slot.Hash != hash || (slot.Has & stronger) != 0 ||
                !Equal(roms_[slot.Rom].Key, key, kind)) {
                continue;
            }
            const std::uint32_t set = roms_[slot.Rom].Set;
            if (matchedSets != nullptr) {
                (*matchedSets)[set] = 1;
            }
            if (firstSet == End) {
                firstSet = set;
            } else if (set != firstSet) {
                found.Ambiguous = true;
            }
            if (slot.Rom < found.Rom) {
                found.Rom = slot.Rom;
                found.ByCrc = kind == CrcSize;
            }
        }
    }
    return found;
}

} // namespace tabula
