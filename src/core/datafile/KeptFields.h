#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tabula {

// What an opened datafile holds that the table does not show, kept so that a
// save writes it back. Names are those of the Logiqx vocabulary (revision
// 1.5), which the ClrMamePro reader maps its keys onto, so both formats
// carry the same things.

using TKeptAttributes = std::vector<std::pair<std::string, std::string>>;

// An element: a text element ("year", "comment") has Text, an empty element
// ("disk", "release", "clrmamepro") has Attributes, in the order read.
struct TKeptElement {
    std::string Name;
    std::string Text;
    TKeptAttributes Attributes;

    bool operator==(const TKeptElement&) const = default;
};

// A game's attributes beside name and cloneof ("romof", "isbios", ...) and
// its children beside its roms, in the order read. A game without a rom
// keeps its name and cloneof here too.
struct TKeptGame {
    TKeptAttributes Attributes;
    std::vector<TKeptElement> Elements;

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
    // The rom's attributes beside name, size and the digests ("merge",
    // "status", "date").
    TKeptAttributes RomAttributes;
    // Games without a rom that stood just before this row's game.
    std::vector<TKeptGame> GamesBefore;
};

// What a datafile's header holds beside the credits.
struct TKeptHeader {
    // The sectioned datafile's "[DAT]" version and the "[EMULATOR]" keys the
    // credits do not fill.
    std::string DatVersion = "1.90";
    std::string Exe;
    std::string RunCmd;
    std::string RomsPaths;
    // The Logiqx root's attributes ("build", "debug").
    TKeptAttributes RootAttributes;
    // Header elements beside name, version, date, author and comment:
    // "description" when it is not the name, "category", "email", "homepage",
    // "url", "clrmamepro", "romcenter".
    std::vector<TKeptElement> Elements;
    // Games without a rom after the last row.
    std::vector<TKeptGame> GamesAfter;
};

// The value of an attribute, or nullptr.
const std::string* KeptValue(const TKeptAttributes& attributes, const std::string& name);
// The first element of that name, or nullptr.
const TKeptElement* KeptElement(const std::vector<TKeptElement>& elements, const std::string& name);

} // namespace tabula
