#pragma once

#include "core/romlist/KeptFields.h"

#include <string_view>

namespace tabula {

// The vocabulary both the Logiqx and the ClrMamePro format know (revision 1.5
// of the Logiqx DTD, and what curators, frontends and arcade emulators add),
// in the orders each writer gives it. A save in the format a thing was read
// from writes it as read, known or not; a save in the other format carries
// what is known here and drops the rest.

// The rank of a Logiqx header child (a key of the "clrmamepro" block); -1 for
// a name not known.
int HeaderChildRank(std::string_view name);
// The rank of a ClrMamePro header key; -1 for a name not known.
int ClrMameProHeaderRank(std::string_view name);
// True for the keys of the "clrmamepro" block that are the attributes of
// Logiqx's header element <clrmamepro>.
bool IsHeaderFlag(std::string_view name);

// The rank of a Logiqx game attribute (ClrMamePro game key); -1 for one not known.
int GameAttributeRank(std::string_view name);
// The rank of a Logiqx game child; "rom" ranks RomRank; -1 for one not known.
int GameChildRank(std::string_view name);
constexpr int RomRank = 100;
// The rank of a key in a ClrMamePro game block; "rom" ranks RomRank; -1 for one not known.
int ClrMameProGameRank(std::string_view name);

// True for the children (header's or game's) that hold only text ("year"):
// written as <year>text</year> even when empty.
bool IsTextElement(std::string_view name);
// True for a child element of a known game child that both formats carry
// (<input>'s <control>, <dipswitch>'s <dipvalue>).
bool IsKnownNested(std::string_view parent, std::string_view child);
// True for an attribute of rom (a key of a rom block) both formats know.
bool IsKnownRomAttribute(std::string_view name);

// The Logiqx name of a ClrMamePro key inside a block, and back: the format
// calls a rom's or disk's status "flags".
std::string_view LogiqxAttributeName(std::string_view clrMameProKey);
std::string_view ClrMameProKeyName(std::string_view logiqxAttribute);

// A kept item as the other format holds it, in that format's order; what the
// other format has no room for is left out and counted in dropped.
TKeptGame ConvertedGame(const TKeptGame& game, TDroppedNames& dropped);
TKeptElement ConvertedRom(const TKeptElement& rom, TKeptOrigin from, TDroppedNames& dropped);
TKeptElement ConvertedHeader(const TKeptElement& header, TKeptOrigin from, TDroppedNames& dropped);

// What a format without room for kept fields (the sectioned datafile) drops
// of a kept item: everything but the row's own cells.
void CountDroppedGame(const TKeptGame& game, TDroppedNames& dropped);
void CountDroppedRom(const TKeptElement& rom, TKeptOrigin origin, TDroppedNames& dropped);
void CountDroppedHeader(const TKeptElement& header, TKeptOrigin origin, TDroppedNames& dropped);

// True when the name stands for one of a row's cells in a rom (name, size, the digests).
bool IsRowAttribute(std::string_view name);
// True when the header child stands for a credit.
bool IsCreditChild(std::string_view name);

} // namespace tabula
