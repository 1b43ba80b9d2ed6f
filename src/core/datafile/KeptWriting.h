#pragma once

#include "core/datafile/DatafileFormat.h"
#include "core/romlist/KeptFields.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

// What the Logiqx and ClrMamePro writers share in writing kept trees back.

// Sets the text of the first child named name (a text child), inserting one
// before the first child of a higher rank when there is none, or removes it
// when text is null. split, when given, counts the children before the roms
// and follows an insertion or a removal in front of it.
void SetChild(std::vector<TKeptElement>& children, std::string_view name, const std::string* text,
              int (*rank)(std::string_view), std::size_t* split = nullptr);

// The header's children as a save writes them: those kept (already in the
// target format's shape) in their order, the first child of each credit
// holding the credit, a description that said the name saying the new
// name, and the credits the file did not have placed by rank. comment is
// the comment as the format writes it.
std::vector<TKeptElement> HeaderChildren(const TKeptElement& kept, const TDatafileInfo& info,
                                         const std::string& comment, int (*rank)(std::string_view));

// The game's children (target shape) with its name, clone and a description
// that said the name following the row; split as SetChild's.
void SetGameNames(std::vector<TKeptElement>& children, const std::string* nameAsRead,
                  const std::string& name, const std::string& cloneOf,
                  int (*rank)(std::string_view), std::size_t& split, bool namesAreChildren);

struct TGameRom;

// One attribute of a rom as written: the kept rom's in their order, the
// row's values (name, size, digests) in their places, and the row's values
// the kept rom had not after them in order; a row value the row lacks is
// not written.
struct TRomField {
    std::string_view Key;
    std::string Value;
    bool FromRow = false;
};
std::vector<TRomField> RomFields(const TGameRom& rom, const TKeptElement* kept,
                                 std::span<const std::string_view> order);

// The kept header in origin's shape: as read when it came from there,
// converted otherwise (what does not fit counted in dropped); null for none.
const TKeptElement* HeaderIn(const TKeptHeader* kept, TKeptOrigin origin, TKeptElement& converted,
                             TDroppedNames& dropped);
// The same for a game and a rom.
const TKeptGame* GameIn(const TKeptGame& game, TKeptOrigin origin, TKeptGame& converted,
                        TDroppedNames& dropped);
const TKeptElement* RomIn(const TKeptRow& row, TKeptOrigin origin, TKeptElement& converted,
                          TDroppedNames& dropped);

} // namespace tabula
