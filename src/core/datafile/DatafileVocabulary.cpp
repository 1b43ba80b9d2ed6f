#include "core/datafile/DatafileVocabulary.h"
#include "core/text/BlankText.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <utility>

namespace tabula {

namespace {

template <std::size_t N>
int RankIn(const std::array<std::string_view, N>& names, std::string_view name) {
    const auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

constexpr std::array<std::string_view, 14> HeaderChildren = {
    "id",    "name",     "description", "category", "version", "date",       "author",
    "email", "homepage", "url",         "subset",   "comment", "clrmamepro", "romcenter"};
constexpr std::array<std::string_view, 16> ClrMameProHeader = {
    "name",   "description",  "category",    "version",     "date",   "author",
    "email",  "homepage",     "url",         "id",          "subset", "comment",
    "header", "forcemerging", "forcenodump", "forcepacking"};
constexpr std::array<std::string_view, 4> HeaderFlags = {"header", "forcemerging", "forcenodump",
                                                         "forcepacking"};

constexpr std::array<std::string_view, 10> GameAttributes = {
    "name",     "sourcefile", "isbios",    "cloneof", "romof",
    "sampleof", "board",      "rebuildto", "id",      "cloneofid"};
// The text keys frontends' databases give a game, which Logiqx holds as
// text elements of the same names.
constexpr std::array<std::string_view, 16> GameTexts = {
    "category",    "game_id",   "region",    "serial",    "releaseyear", "releasemonth",
    "releaseday",  "developer", "publisher", "franchise", "genre",       "users",
    "esrb_rating", "tags",      "homepage",  "download"};
constexpr std::array<std::string_view, 6> GameChildrenBeforeRoms = {
    "comment", "description", "year", "manufacturer", "release", "biosset"};
constexpr std::array<std::string_view, 10> GameChildrenAfterRoms = {
    "disk",  "sample", "archive", "chip",      "display",
    "video", "sound",  "input",   "dipswitch", "driver"};

constexpr std::array<std::string_view, 28> TextElements = {
    "name",         "description", "category",  "version",   "date",      "author",
    "email",        "homepage",    "url",       "comment",   "year",      "manufacturer",
    "id",           "subset",      "game_id",   "region",    "serial",    "releaseyear",
    "releasemonth", "releaseday",  "developer", "publisher", "franchise", "genre",
    "users",        "esrb_rating", "tags",      "download"};

constexpr std::array<std::string_view, 13> RomAttributes = {
    "name",   "size", "crc",    "sha1",   "md5", "sha256", "merge",
    "status", "date", "serial", "header", "mia", "genre"};
constexpr std::array<std::string_view, 6> RowAttributes = {"name", "size", "crc",
                                                           "md5",  "sha1", "sha256"};
constexpr std::array<std::string_view, 5> Credits = {"name", "version", "date", "author",
                                                     "comment"};

bool In(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Counted once per element of every game: the name is made in a buffer, and
// only a name not yet counted is copied.
void Drop(TDroppedNames& dropped, std::initializer_list<std::string_view> parts) {
    thread_local std::string what;
    what.clear();
    for (const std::string_view part : parts) {
        what += part;
    }
    if (const auto at = dropped.find(what); at != dropped.end()) {
        ++at->second;
    } else {
        dropped.emplace(what, 1);
    }
}

void Drop(TDroppedNames& dropped, const std::string& what) {
    Drop(dropped, {std::string_view(what)});
}

std::string Tag(std::string_view name) {
    return "<" + std::string(name) + ">";
}

std::string Key(std::string_view name) {
    return "\"" + std::string(name) + "\"";
}

template <class T, class Rank> void SortByRank(std::vector<T>& items, Rank rank) {
    constexpr std::size_t Few = 32;
    if (items.size() > Few) {
        std::stable_sort(items.begin(), items.end(),
                         [&rank](const T& a, const T& b) { return rank(a) < rank(b); });
        return;
    }
    // A game's handful of fields, mostly in order already: sorted in place,
    // each ranked once, nothing allocated.
    std::array<int, Few> ranks;
    for (std::size_t next = 0; next < items.size(); ++next) {
        const int value = rank(items[next]);
        std::size_t at = next;
        while (at > 0 && ranks[at - 1] > value) {
            ranks[at] = ranks[at - 1];
            --at;
        }
        ranks[at] = value;
        const auto first = items.begin() + static_cast<std::ptrdiff_t>(at);
        const auto last = items.begin() + static_cast<std::ptrdiff_t>(next);
        std::rotate(first, last, last + 1);
    }
}

// An element that carries attributes (a block of "key value" pairs and
// nested blocks) in the other format's shape.
TKeptElement ConvertedAttributeElement(const TKeptElement& element, TKeptOrigin from,
                                       TDroppedNames& dropped) {
    TKeptElement out{element.Name, {}, {}, {}};
    // Only a disk's status is the format's "flags", as a rom's is.
    const bool disk = element.Name == "disk";
    for (const auto& [key, value] : element.Attributes) {
        out.Attributes.emplace_back(!disk                         ? std::string_view(key)
                                    : from == TKeptOrigin::Logiqx ? ClrMameProKeyName(key)
                                                                  : LogiqxAttributeName(key),
                                    value);
    }
    for (const TKeptElement& child : element.Children) {
        if (IsKnownNested(element.Name, child.Name)) {
            out.Children.push_back(ConvertedAttributeElement(child, from, dropped));
        } else {
            Drop(dropped,
                 (from == TKeptOrigin::Logiqx ? Tag(child.Name) : Key(child.Name)) + " in " +
                     (from == TKeptOrigin::Logiqx ? Tag(element.Name) : Key(element.Name)));
        }
    }
    if (from == TKeptOrigin::Logiqx && !IsBlankText(element.Text)) {
        Drop(dropped, {"text of <", element.Name, ">"});
    }
    return out;
}

// A Logiqx game child as a ClrMamePro field; false when it has no room.
bool ToClrMamePro(const TKeptElement& child, const std::string& gameTag, TKeptElement& field,
                  TDroppedNames& dropped) {
    const int rank = GameChildRank(child.Name);
    if (rank < 0 || rank == RomRank) {
        Drop(dropped, {"<", child.Name, "> in ", gameTag});
        return false;
    }
    if (IsTextElement(child.Name)) {
        field = {child.Name, child.Text, {}, {}};
        for (const auto& attribute : child.Attributes) {
            Drop(dropped, {"attribute \"", attribute.first, "\" of <", child.Name, ">"});
        }
        return true;
    }
    if (child.Name == "sample" && child.Attributes.size() == 1 &&
        child.Attributes.front().first == "name" && child.Children.empty()) {
        field = {child.Name, child.Attributes.front().second, {}, {}};
        return true;
    }
    field = ConvertedAttributeElement(child, TKeptOrigin::Logiqx, dropped);
    return true;
}

// A ClrMamePro game key as a Logiqx child; false when it has no room.
bool ToLogiqx(const TKeptElement& field, const std::string& gameTag, TKeptElement& child,
              TDroppedNames& dropped) {
    const int rank = GameChildRank(field.Name);
    const bool block = !field.Attributes.empty() || !field.Children.empty();
    if (rank < 0 || rank == RomRank || (IsTextElement(field.Name) && block)) {
        Drop(dropped, {"\"", field.Name, "\" in ", gameTag});
        return false;
    }
    if (IsTextElement(field.Name)) {
        child = {field.Name, field.Text, {}, {}};
        return true;
    }
    if (!block) {
        // "sample name" is the format's short form of a sample's block.
        if (field.Name != "sample") {
            Drop(dropped, {"\"", field.Name, "\" in ", gameTag});
            return false;
        }
        child = {field.Name, {}, {{"name", field.Text}}, {}};
        return true;
    }
    child = ConvertedAttributeElement(field, TKeptOrigin::ClrMamePro, dropped);
    return true;
}

std::size_t CountBelow(const std::vector<TKeptElement>& children, int (*rank)(std::string_view),
                       int limit) {
    return static_cast<std::size_t>(
        std::count_if(children.begin(), children.end(),
                      [&](const TKeptElement& child) { return rank(child.Name) < limit; }));
}

// Both formats' games have a description; one converted without gets the name.
void AddDescription(std::vector<TKeptElement>& children, const std::string* name) {
    if (name != nullptr && KeptElement(children, "description") == nullptr) {
        children.push_back({"description", *name, {}, {}});
    }
}

TKeptGame LogiqxGameAsClrMamePro(const TKeptGame& game, TDroppedNames& dropped) {
    const std::string gameTag = Tag(game.Element.Name);
    TKeptGame out{TKeptOrigin::ClrMamePro, {"game", {}, {}, {}}, 0};
    std::vector<TKeptElement>& fields = out.Element.Children;
    fields.reserve(game.Element.Attributes.size() + game.Element.Children.size() + 1);
    for (const auto& [key, value] : game.Element.Attributes) {
        if (GameAttributeRank(key) < 0) {
            Drop(dropped, {"attribute \"", key, "\" of ", gameTag});
        } else {
            fields.push_back({key, value, {}, {}});
        }
    }
    for (const TKeptElement& child : game.Element.Children) {
        TKeptElement field;
        if (ToClrMamePro(child, gameTag, field, dropped)) {
            fields.push_back(std::move(field));
        }
    }
    AddDescription(fields, KeptValue(game.Element.Attributes, "name"));
    SortByRank(fields, [](const TKeptElement& e) { return ClrMameProGameRank(e.Name); });
    out.RomsAt = CountBelow(fields, ClrMameProGameRank, RomRank);
    return out;
}

TKeptGame ClrMameProGameAsLogiqx(const TKeptGame& game, TDroppedNames& dropped) {
    const std::string gameTag = Key(game.Element.Name);
    TKeptGame out{TKeptOrigin::Logiqx, {"game", {}, {}, {}}, 0};
    for (const TKeptElement& field : game.Element.Children) {
        const bool block = !field.Attributes.empty() || !field.Children.empty();
        if (GameAttributeRank(field.Name) >= 0 && !block) {
            out.Element.Attributes.emplace_back(field.Name, field.Text);
            continue;
        }
        TKeptElement child;
        if (ToLogiqx(field, gameTag, child, dropped)) {
            out.Element.Children.push_back(std::move(child));
        }
    }
    SortByRank(out.Element.Attributes, [](const std::pair<std::string, std::string>& a) {
        return GameAttributeRank(a.first);
    });
    AddDescription(out.Element.Children, KeptValue(out.Element.Attributes, "name"));
    SortByRank(out.Element.Children, [](const TKeptElement& e) { return GameChildRank(e.Name); });
    out.RomsAt = CountBelow(out.Element.Children, GameChildRank, RomRank);
    return out;
}

bool IsGameTag(std::string_view name, TKeptOrigin origin) {
    return name == "game" || name == "machine" ||
           (origin == TKeptOrigin::ClrMamePro && name == "resource");
}

int GameChildRankOf(std::string_view name) {
    if (name == "rom") {
        return RomRank;
    }
    if (const int rank = RankIn(GameChildrenBeforeRoms, name); rank >= 0) {
        // The frontends' text keys follow manufacturer.
        return rank < 4 ? rank : rank + 50;
    }
    if (const int rank = RankIn(GameTexts, name); rank >= 0) {
        return 10 + rank;
    }
    if (const int rank = RankIn(GameChildrenAfterRoms, name); rank >= 0) {
        return RomRank + 1 + rank;
    }
    return -1;
}

int ClrMameProGameRankOf(std::string_view name) {
    // Texts first, then the Logiqx attributes, then the blocks around the roms.
    if (name == "name") {
        return 0;
    }
    if (name == "rom") {
        return RomRank;
    }
    if (const int rank = RankIn(GameChildrenBeforeRoms, name); rank >= 0) {
        // comment after description, as the format's writers have it
        constexpr std::array<int, 6> Order = {2, 1, 3, 4, 70, 71};
        return Order[static_cast<std::size_t>(rank)];
    }
    if (const int rank = RankIn(GameTexts, name); rank >= 0) {
        return 10 + rank;
    }
    if (const int rank = RankIn(GameAttributes, name); rank >= 0) {
        // cloneof, romof, sampleof before sourcefile and isbios
        constexpr std::array<int, 10> Order = {0, 43, 44, 40, 41, 42, 45, 46, 47, 48};
        return Order[static_cast<std::size_t>(rank)];
    }
    if (const int rank = RankIn(GameChildrenAfterRoms, name); rank >= 0) {
        return RomRank + 1 + rank;
    }
    return -1;
}

// A rank asked for every field of every game, found by hash: the ranks of all
// the names the lists hold, made once (any other name has none).
class TRankTable {
public:
    explicit TRankTable(int (*rank)(std::string_view)) {
        const auto add = [&](const auto& names) {
            for (const std::string_view name : names) {
                if (const int value = rank(name); value >= 0) {
                    ranks_.emplace(name, value);
                }
            }
        };
        add(HeaderChildren);
        add(ClrMameProHeader);
        add(GameAttributes);
        add(GameTexts);
        add(GameChildrenBeforeRoms);
        add(GameChildrenAfterRoms);
        add(TextElements);
        add(RomAttributes);
        add(std::array<std::string_view, 2>{"name", "rom"});
    }
    int operator()(std::string_view name) const {
        const auto at = ranks_.find(name);
        return at == ranks_.end() ? -1 : at->second;
    }

private:
    std::unordered_map<std::string_view, int> ranks_;
};

int TextElementRank(std::string_view name) {
    return RankIn(TextElements, name);
}

int GameAttributeRankOf(std::string_view name) {
    return RankIn(GameAttributes, name);
}

int RomAttributeRank(std::string_view name) {
    return RankIn(RomAttributes, name);
}

} // namespace

int HeaderChildRank(std::string_view name) {
    return RankIn(HeaderChildren, name);
}

int ClrMameProHeaderRank(std::string_view name) {
    return RankIn(ClrMameProHeader, name);
}

bool IsHeaderFlag(std::string_view name) {
    return RankIn(HeaderFlags, name) >= 0;
}

int GameAttributeRank(std::string_view name) {
    static const TRankTable ranks(GameAttributeRankOf);
    return ranks(name);
}

int GameChildRank(std::string_view name) {
    static const TRankTable ranks(GameChildRankOf);
    return ranks(name);
}

int ClrMameProGameRank(std::string_view name) {
    static const TRankTable ranks(ClrMameProGameRankOf);
    return ranks(name);
}

bool IsTextElement(std::string_view name) {
    static const TRankTable ranks(TextElementRank);
    return ranks(name) >= 0;
}

bool IsKnownNested(std::string_view parent, std::string_view child) {
    return (parent == "input" && child == "control") ||
           (parent == "dipswitch" && child == "dipvalue");
}

bool IsKnownRomAttribute(std::string_view name) {
    static const TRankTable ranks(RomAttributeRank);
    return ranks(name) >= 0;
}

std::string_view LogiqxAttributeName(std::string_view clrMameProKey) {
    return clrMameProKey == "flags" ? std::string_view("status") : clrMameProKey;
}

std::string_view ClrMameProKeyName(std::string_view logiqxAttribute) {
    return logiqxAttribute == "status" ? std::string_view("flags") : logiqxAttribute;
}

bool IsRowAttribute(std::string_view name) {
    return RankIn(RowAttributes, name) >= 0;
}

bool IsCreditChild(std::string_view name) {
    return RankIn(Credits, name) >= 0;
}

TKeptGame ConvertedGame(const TKeptGame& game, TDroppedNames& dropped) {
    if (!IsGameTag(game.Element.Name, game.Origin)) {
        Drop(dropped, game.Origin == TKeptOrigin::Logiqx
                          ? Tag(game.Element.Name) + " in the datafile"
                          : Key(game.Element.Name) + " block");
        return {game.Origin == TKeptOrigin::Logiqx ? TKeptOrigin::ClrMamePro : TKeptOrigin::Logiqx,
                {},
                0};
    }
    if (game.Origin == TKeptOrigin::Logiqx) {
        if (!IsBlankText(game.Element.Text)) {
            Drop(dropped, {"text of <", game.Element.Name, ">"});
        }
        return LogiqxGameAsClrMamePro(game, dropped);
    }
    return ClrMameProGameAsLogiqx(game, dropped);
}

TKeptElement ConvertedRom(const TKeptElement& rom, TKeptOrigin from, TDroppedNames& dropped) {
    const bool logiqx = from == TKeptOrigin::Logiqx;
    TKeptElement out{"rom", {}, {}, {}};
    for (const auto& [key, value] : rom.Attributes) {
        const std::string_view name = logiqx ? key : LogiqxAttributeName(key);
        if (!IsKnownRomAttribute(name)) {
            Drop(dropped,
                 {logiqx ? "attribute \"" : "\"", key, logiqx ? "\" of <rom>" : "\" in rom"});
            continue;
        }
        out.Attributes.emplace_back(logiqx ? ClrMameProKeyName(key) : name, value);
    }
    for (const TKeptElement& child : rom.Children) {
        Drop(dropped, {logiqx ? "<" : "\"", child.Name, logiqx ? "> in <rom>" : "\" in rom"});
    }
    if (logiqx && !IsBlankText(rom.Text)) {
        Drop(dropped, "text of <rom>");
    }
    return out;
}

TKeptElement ConvertedHeader(const TKeptElement& header, TKeptOrigin from, TDroppedNames& dropped) {
    TKeptElement out;
    if (from == TKeptOrigin::Logiqx) {
        out.Name = "clrmamepro";
        for (const TKeptElement& child : header.Children) {
            if (child.Name == "clrmamepro") {
                for (const auto& [key, value] : child.Attributes) {
                    if (IsHeaderFlag(key)) {
                        out.Children.push_back({key, value, {}, {}});
                    } else {
                        Drop(dropped, "attribute " + Key(key) + " of <clrmamepro>");
                    }
                }
            } else if (HeaderChildRank(child.Name) >= 0 && IsTextElement(child.Name)) {
                out.Children.push_back({child.Name, child.Text, {}, {}});
            } else {
                Drop(dropped, Tag(child.Name) + " in <header>");
            }
        }
        SortByRank(out.Children,
                   [](const TKeptElement& e) { return ClrMameProHeaderRank(e.Name); });
        return out;
    }
    out.Name = "header";
    TKeptElement flags{"clrmamepro", {}, {}, {}};
    for (const TKeptElement& field : header.Children) {
        const bool block = !field.Attributes.empty() || !field.Children.empty();
        if (IsHeaderFlag(field.Name) && !block) {
            flags.Attributes.emplace_back(field.Name, field.Text);
        } else if (HeaderChildRank(field.Name) >= 0 && IsTextElement(field.Name) && !block) {
            out.Children.push_back({field.Name, field.Text, {}, {}});
        } else {
            Drop(dropped, Key(field.Name) + " in clrmamepro");
        }
    }
    if (!flags.Attributes.empty()) {
        out.Children.push_back(std::move(flags));
    }
    SortByRank(out.Children, [](const TKeptElement& e) { return HeaderChildRank(e.Name); });
    return out;
}

void CountDroppedGame(const TKeptGame& game, TDroppedNames& dropped) {
    const bool logiqx = game.Origin == TKeptOrigin::Logiqx;
    if (!IsGameTag(game.Element.Name, game.Origin)) {
        Drop(dropped, logiqx ? Tag(game.Element.Name) + " in the datafile"
                             : Key(game.Element.Name) + " block");
        return;
    }
    const std::string gameTag = logiqx ? Tag(game.Element.Name) : Key(game.Element.Name);
    for (const auto& attribute : game.Element.Attributes) {
        if (!In(attribute.first, {"name", "cloneof"})) {
            Drop(dropped, {"attribute \"", attribute.first, "\" of ", gameTag});
        }
    }
    for (const TKeptElement& child : game.Element.Children) {
        if (!In(child.Name, {"name", "cloneof", "description"})) {
            Drop(dropped, {logiqx ? "<" : "\"", child.Name, logiqx ? "> in " : "\" in ", gameTag});
        }
    }
}

void CountDroppedRom(const TKeptElement& rom, TKeptOrigin origin, TDroppedNames& dropped) {
    const bool logiqx = origin == TKeptOrigin::Logiqx;
    for (const auto& attribute : rom.Attributes) {
        if (!IsRowAttribute(attribute.first)) { // digests are counted with the row
            Drop(dropped, {logiqx ? "attribute \"" : "\"", attribute.first,
                           logiqx ? "\" of <rom>" : "\" in rom"});
        }
    }
    for (const TKeptElement& child : rom.Children) {
        Drop(dropped, {logiqx ? "<" : "\"", child.Name, logiqx ? "> in <rom>" : "\" in rom"});
    }
}

void CountDroppedHeader(const TKeptElement& header, TKeptOrigin origin, TDroppedNames& dropped) {
    const bool logiqx = origin == TKeptOrigin::Logiqx;
    for (const TKeptElement& child : header.Children) {
        if (!IsCreditChild(child.Name) && child.Name != "description") {
            Drop(dropped,
                 logiqx ? Tag(child.Name) + " in <header>" : Key(child.Name) + " in clrmamepro");
        }
    }
}

const std::string* KeptValue(const TKeptAttributes& attributes, const std::string& name) {
    for (const auto& [key, value] : attributes) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

const TKeptElement* KeptElement(const std::vector<TKeptElement>& elements,
                                const std::string& name) {
    for (const TKeptElement& element : elements) {
        if (element.Name == name) {
            return &element;
        }
    }
    return nullptr;
}

const std::string* KeptGameName(const TKeptGame& game) {
    if (game.Origin == TKeptOrigin::Logiqx) {
        return KeptValue(game.Element.Attributes, "name");
    }
    const TKeptElement* name = KeptElement(game.Element.Children, "name");
    return name != nullptr ? &name->Text : nullptr;
}

std::string DroppedText(const TDroppedNames& dropped, const char* formatName) {
    if (dropped.empty()) {
        return {};
    }
    std::string note;
    const char* separator = " ";
    for (const auto& [name, count] : dropped) {
        if (name == LostCloneName) {
            continue;
        }
        if (note.empty()) {
            note = std::string("the ") + formatName +
                   " datafile has no room for these, which were not written:";
        }
        note += separator + name + " (" + std::to_string(count) + ")";
        separator = ", ";
    }
    if (const auto lost = dropped.find(LostCloneName); lost != dropped.end()) {
        note += note.empty() ? "" : "; ";
        note += lost->second == 1
                    ? std::string("1 game names a parent the file does not hold: its cloneof")
                    : std::to_string(lost->second) +
                          " games name a parent the file does not hold: their cloneof";
        note += " was left out";
    }
    return note;
}

} // namespace tabula
