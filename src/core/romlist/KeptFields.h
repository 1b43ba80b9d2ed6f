#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tabula {

// What an opened datafile holds that the table does not show, kept as it was
// read (every element, attribute, key and block, known or not, in its order)
// so that a save in the same format writes it back, and a save in the other
// format carries what that format has room for.

using TKeptAttributes = std::vector<std::pair<std::string, std::string>>;

// The format a kept thing was read from: it is written back as it stands in
// the same format, and converted for the other.
enum class TKeptOrigin { Logiqx, ClrMamePro };

// One node of a kept tree. In Logiqx XML an element: its name, attributes,
// child elements and text. In the ClrMamePro text a key: "key value" has
// Text; "key ( ... )" has the block's "key value" pairs as Attributes and its
// nested blocks as Children.
struct TKeptElement {
    std::string Name;
    std::string Text;
    TKeptAttributes Attributes;
    std::vector<TKeptElement> Children;

    bool operator==(const TKeptElement&) const = default;
};

// A game as read, its roms left out: in Logiqx the element ("game",
// "machine") with its attributes, name and cloneof among them; in ClrMamePro
// the block, every key of it a child ("name", "cloneof", "year" ...). A game
// without a rom, and any other block or element between the games, is kept
// the same way.
struct TKeptGame {
    TKeptOrigin Origin = TKeptOrigin::Logiqx;
    TKeptElement Element;
    // The children before this index stood before the game's first rom.
    std::size_t RomsAt = 0;

    bool operator==(const TKeptGame&) const = default;
};

// What a row read from a datafile carries; a row without it (a scan's) is
// written with the formats' constants.
struct TKeptRow {
    // Fields 7 and 8 of a sectioned game line as read.
    std::string FirstFlag = "N";
    std::string SecondFlag = "O";
    // Set on the first row of a game that has more than its name and roms
    // (or shares its name with the game before): the row starts that game.
    std::shared_ptr<const TKeptGame> Game;
    // The rom element or block as read, when it has more than the writers
    // make of the row or another order; its name, size and digests stand for
    // the row's cells, whose values are written in their places. Empty Name:
    // none kept.
    TKeptOrigin RomOrigin = TKeptOrigin::Logiqx;
    TKeptElement Rom;
    // Games without a rom (and other items) that stood just before this row's game.
    std::vector<TKeptGame> GamesBefore;
};

// The document type of a Logiqx file as read.
struct TKeptDoctype {
    std::string Name;
    std::string PublicId;
    std::string SystemId;
};

// What a datafile's header holds beside the credits.
struct TKeptHeader {
    // The sectioned datafile's "[DAT]" version and the "[EMULATOR]" keys the
    // credits do not fill.
    std::string DatVersion = "1.90";
    std::string Exe;
    std::string RunCmd;
    std::string RomsPaths;
    TKeptOrigin Origin = TKeptOrigin::Logiqx;
    // Logiqx: the root element's name and attributes ("build", "debug"), and
    // the document type (none when the file had none).
    std::string RootName = "datafile";
    TKeptAttributes RootAttributes;
    std::shared_ptr<const TKeptDoctype> Doctype;
    // The header as read: Logiqx's <header>, ClrMamePro's "clrmamepro" block
    // (every key a child). The credits' children ("name", "version",
    // "author", ...) stand where the credits are written. Empty Name: the
    // file had none.
    TKeptElement Element;
    // The file wrote its hexadecimal digits in upper case.
    bool UpperHex = false;
    // Games without a rom after the last row.
    std::vector<TKeptGame> GamesAfter;
};

// What a save had no room for, by name ("<video> in <game>"), with how often.
using TDroppedNames = std::map<std::string, std::size_t>;

// The value of an attribute, or nullptr.
const std::string* KeptValue(const TKeptAttributes& attributes, const std::string& name);
// The first element of that name, or nullptr.
const TKeptElement* KeptElement(const std::vector<TKeptElement>& elements, const std::string& name);

// The name a kept game was read with: Logiqx's attribute, ClrMamePro's key; nullptr for none.
const std::string* KeptGameName(const TKeptGame& game);

// The name under which a save counts the games whose cloneof it left out,
// as naming no game of the file.
inline constexpr const char* LostCloneName = "cloneof";

// "the F datafile has no room for these, which were not written: A (n), B
// (m)" for a save in the format named F, and "N games name a parent the
// file does not hold: their cloneof was left out" for LostCloneName; ""
// when nothing was dropped.
std::string DroppedText(const TDroppedNames& dropped, const char* formatName);

} // namespace tabula
