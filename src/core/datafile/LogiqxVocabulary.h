#pragma once

#include "core/datafile/KeptFields.h"

#include <string_view>

namespace tabula {

// The elements and attributes of revision 1.5 of the Logiqx datafile, and the
// orders its DTD gives them: what the readers accept and the writers follow.

// The rank of a header child in the DTD's order; -1 for a name it has not.
int HeaderChildRank(std::string_view name);
// The rank of a game child; roms rank RomRank; -1 for a name it has not.
int GameChildRank(std::string_view name);
constexpr int RomRank = 6;
// The rank of an attribute of game or rom; -1 for a name it has not.
int GameAttributeRank(std::string_view name);
int RomAttributeRank(std::string_view name);
// True for the header and game children that hold text ("year"); the others
// ("disk", "clrmamepro") are empty and carry attributes.
bool IsTextElement(std::string_view name);
// True when the empty element may carry the attribute.
bool HasAttribute(std::string_view element, std::string_view attribute);
// The attributes an empty element must carry (such as "name"), ", "-joined; "" for none.
std::string_view RequiredAttributes(std::string_view element);

// Attributes sorted by rank, keeping the order read among equals.
TKeptAttributes InRankOrder(TKeptAttributes attributes, int (*rank)(std::string_view));
// Elements sorted by rank, keeping the order read among equals.
std::vector<TKeptElement> InRankOrder(std::vector<TKeptElement> elements,
                                      int (*rank)(std::string_view));

} // namespace tabula
