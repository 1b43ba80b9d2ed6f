#pragma once

#include "core/romlist/RomTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tabula {

// Tells where the sets of a datafile's rows begin, as the writers group
// them: a row starts a set when its set full name differs from the row
// before, or when it was read as the first row of a game of its own.
class TSetRuns {
public:
    bool Starts(const TRomTable::TRow& row, const TRowExtras& extras);

private:
    std::string last_;
    bool any_ = false;
};

// The roms of one or more reference datafiles, found by their checksums:
// SHA-256, SHA-1, MD5, and CRC with size. A rom whose status is "nodump",
// or that has no checksum, is never found.
class TReferenceIndex {
public:
    TReferenceIndex();
    ~TReferenceIndex();
    TReferenceIndex(const TReferenceIndex&) = delete;
    TReferenceIndex& operator=(const TReferenceIndex&) = delete;

    // Reads the datafile (any format the open command reads) and adds its
    // sets after those already added. Throws as ReadDatafile does; a file
    // that cannot be read adds nothing.
    void AddFile(const std::string& fileName);

    // What a row's checksums found.
    struct TFound {
        static constexpr std::uint32_t NoRom = UINT32_MAX;
        std::uint32_t Rom = NoRom; // the first matching rom in the references' order
        bool Ambiguous = false;    // roms of more than one set matched
        bool ByCrc = false;        // the first rom matched on the CRC and size alone
        bool Checked = false;      // the row has a checksum to look for
    };
    // A reference rom matches when the strongest checksum both it and the
    // row have is equal. The sets of every matching rom are marked in
    // matchedSets (one flag per set) when it is given.
    TFound Find(const TRomTable::TRow& row, const TRowExtras& extras,
                std::vector<std::uint8_t>* matchedSets = nullptr) const;

    std::size_t RomCount() const { return roms_.size(); }
    std::size_t SetCount() const { return sets_.size(); }
    // The names a matched rom gives: its set's full name, its clone full
    // name (the set's own when it is no clone) and its own name.
    const std::string& SetName(std::uint32_t rom) const;
    const std::string& CloneName(std::uint32_t rom) const;
    const std::string& RomName(std::uint32_t rom) const { return romNames_[rom]; }

    // The files added, in order, with the number of sets each gave.
    struct TFile {
        std::string Name;
        std::size_t Sets = 0;
    };
    const std::vector<TFile>& Files() const { return files_; }
    // The set holds a rom that can be found (not all of its roms are nodumps).
    bool Findable(std::size_t set) const { return sets_[set].Findable; }

private:
    enum TKind : int { Sha256, Sha1, Md5, CrcSize, KindCount };
    struct TKey {
        std::array<std::uint8_t, 32> Sha256{};
        std::array<std::uint8_t, 20> Sha1{};
        std::array<std::uint8_t, 16> Md5{};
        std::int64_t Size = -1;
        std::uint32_t Crc = 0;
        std::uint8_t Has = 0; // bit k: the kind k is there
        bool HasKind(int kind) const { return (Has >> kind) & 1; }
    };
    struct TRom {
        TKey Key;
        std::uint32_t Set = 0;
    };
    struct TSet {
        std::string Name;
        std::string CloneOf;
        bool Findable = false;
    };
    class TContent;

    static TKey KeyOf(const TRomTable::TRow& row, const TRowExtras& extras);
    static std::uint64_t HashOf(const TKey& key, int kind);
    static bool Equal(const TKey& a, const TKey& b, int kind);
    void Build();

    std::vector<TRom> roms_;
    std::vector<std::string> romNames_;
    std::vector<TSet> sets_;
    std::vector<TFile> files_;
    // Per kind, an open-addressed table of the roms that have that kind,
    // each slot carrying the key's hash and which kinds the rom has, so a
    // look-up reads a rom only when it is likely the one.
    struct TSlot {
        std::uint64_t Hash = 0;
        std::uint32_t Rom = UINT32_MAX; // UINT32_MAX: an empty slot
        std::uint8_t Has = 0;
    };
    std::array<std::vector<TSlot>, KindCount> slots_;
};

} // namespace tabula
