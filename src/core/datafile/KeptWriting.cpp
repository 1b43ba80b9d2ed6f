#include "core/datafile/KeptWriting.h"

#include "core/datafile/DatafileVocabulary.h"
#include "core/datafile/GameRom.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>

namespace tabula {

namespace {

bool IsText(const TKeptElement& element) {
    return element.Attributes.empty() && element.Children.empty();
}

} // namespace

void SetChild(std::vector<TKeptElement>& children, std::string_view name, const std::string* text,
              int (*rank)(std::string_view), std::size_t* split) {
    const auto at = std::find_if(children.begin(), children.end(), [name](const TKeptElement& e) {
        return e.Name == name && IsText(e);
    });
    const auto index = static_cast<std::size_t>(at - children.begin());
    if (at != children.end()) {
        if (text != nullptr) {
            at->Text = *text;
        } else {
            children.erase(at);
            if (split != nullptr && index < *split) {
                --*split;
            }
        }
        return;
    }
    if (text == nullptr) {
        return;
    }
    const int own = rank(name);
    const auto before = std::find_if(children.begin(), children.end(),
                                     [&](const TKeptElement& e) { return rank(e.Name) > own; });
    const auto position = static_cast<std::size_t>(before - children.begin());
    children.insert(before, TKeptElement{std::string(name), *text, {}, {}});
    if (split != nullptr && position <= *split) {
        ++*split;
    }
}

std::vector<TKeptElement> HeaderChildren(const TKeptElement& kept, const TDatafileInfo& info,
                                         const std::string& comment,
                                         int (*rank)(std::string_view)) {
    std::vector<TKeptElement> children = kept.Children;
    const TKeptElement* nameElement = KeptElement(children, "name");
    const bool hadName = nameElement != nullptr;
    const std::string nameAsRead = hadName ? nameElement->Text : std::string();
    const std::string name = DatafileHeaderName(info);
    const TDatafileCredits& credits = info.Credits;
    const auto description =
        std::find_if(children.begin(), children.end(),
                     [](const TKeptElement& e) { return e.Name == "description" && IsText(e); });
    if (description == children.end()) {
        SetChild(children, "description", &name, rank);
    } else if (hadName && description->Text == nameAsRead) {
        description->Text = name;
    }
    SetChild(children, "name", &name, rank);
    SetChild(children, "version", &credits.Version, rank);
    SetChild(children, "date", credits.Date.empty() ? nullptr : &credits.Date, rank);
    SetChild(children, "author", &credits.Author, rank);
    SetChild(children, "comment", comment.empty() ? nullptr : &comment, rank);
    return children;
}

void SetGameNames(std::vector<TKeptElement>& children, const std::string* nameAsRead,
                  const std::string& name, const std::string& cloneOf,
                  int (*rank)(std::string_view), std::size_t& split, bool namesAreChildren) {
    const auto description = std::find_if(children.begin(), children.end(), [](const auto& e) {
        return e.Name == "description" && IsText(e);
    });
    if (description != children.end() && nameAsRead != nullptr &&
        description->Text == *nameAsRead) {
        description->Text = name;
    }
    if (namesAreChildren) {
        SetChild(children, "name", &name, rank, &split);
        SetChild(children, "cloneof", cloneOf.empty() ? nullptr : &cloneOf, rank, &split);
    }
}

std::vector<TRomField> RomFields(const TGameRom& rom, const TKeptElement* kept,
                                 std::span<const std::string_view> order) {
    // The row's values by the names of order, which are those of the row's attributes.
    assert(order.size() <= 32);
    const auto own = [&rom](std::string_view key) -> std::optional<std::string> {
        if (key == "name") {
            return rom.Name;
        }
        if (key == "size") {
            return rom.Size ? std::optional(std::to_string(*rom.Size)) : std::nullopt;
        }
        const std::string& digits = key == "crc"    ? rom.Crc
                                    : key == "md5"  ? rom.Md5
                                    : key == "sha1" ? rom.Sha1
                                                    : rom.Sha256;
        return digits.empty() ? std::nullopt : std::optional(digits);
    };
    std::vector<TRomField> fields;
    fields.reserve(order.size() + (kept != nullptr ? kept->Attributes.size() : 0));
    std::uint32_t placed = 0; // a bit for each name of order
    const auto place = [&](std::size_t index) {
        if ((placed & (1u << index)) == 0) {
            placed |= 1u << index;
            if (auto value = own(order[index])) {
                fields.push_back({order[index], std::move(*value), true});
            }
        }
    };
    if (kept != nullptr) {
        for (const auto& [key, value] : kept->Attributes) {
            const auto at = std::find(order.begin(), order.end(), key);
            if (at != order.end()) {
                place(static_cast<std::size_t>(at - order.begin()));
            } else {
                fields.push_back({key, value, false});
            }
        }
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        place(i);
    }
    return fields;
}

const TKeptElement* HeaderIn(const TKeptHeader* kept, TKeptOrigin origin, TKeptElement& converted,
                             TDroppedNames& dropped) {
    if (kept == nullptr || kept->Element.Name.empty()) {
        return nullptr;
    }
    if (kept->Origin == origin) {
        return &kept->Element;
    }
    converted = ConvertedHeader(kept->Element, kept->Origin, dropped);
    return &converted;
}

const TKeptGame* GameIn(const TKeptGame& game, TKeptOrigin origin, TKeptGame& converted,
                        TDroppedNames& dropped) {
    if (game.Origin == origin) {
        return &game;
    }
    converted = ConvertedGame(game, dropped);
    return converted.Element.Name.empty() ? nullptr : &converted;
}

const TKeptElement* RomIn(const TKeptRow& row, TKeptOrigin origin, TKeptElement& converted,
                          TDroppedNames& dropped) {
    if (row.Rom.Name.empty()) {
        return nullptr;
    }
    if (row.RomOrigin == origin) {
        return &row.Rom;
    }
    converted = ConvertedRom(row.Rom, row.RomOrigin, dropped);
    return &converted;
}

} // namespace tabula
