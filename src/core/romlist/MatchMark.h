#pragma once

#include <cstdint>

namespace tabula {

// What naming a row from reference datafiles found for it.
enum class TMatchMark : std::uint8_t {
    None,      // never matched (or a blank row)
    Same,      // a reference rom matched and its names were already the row's
    Renamed,   // a reference rom matched on a digest; the row took its names
    ByCrc,     // renamed on the CRC and size alone
    Ambiguous, // roms of several reference sets matched; the first one's names
    Unknown,   // no reference rom matched
};

// The mark as the table's "Match" column and tabula-cli show it; "" for None.
constexpr const char* MatchMarkText(TMatchMark mark) {
    switch (mark) {
    case TMatchMark::Same:
        return "same";
    case TMatchMark::Renamed:
        return "renamed";
    case TMatchMark::ByCrc:
        return "by CRC";
    case TMatchMark::Ambiguous:
        return "ambiguous";
    case TMatchMark::Unknown:
        return "unknown";
    case TMatchMark::None:
        break;
    }
    return "";
}

} // namespace tabula
