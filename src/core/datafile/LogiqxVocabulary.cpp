#include "core/datafile/LogiqxVocabulary.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tabula {

namespace {

template <std::size_t N>
int RankIn(const std::array<std::string_view, N>& names, std::string_view name) {
    const auto at = std::find(names.begin(), names.end(), name);
    return at == names.end() ? -1 : static_cast<int>(at - names.begin());
}

constexpr std::array<std::string_view, 12> HeaderChildren = {
    "name",  "description", "category", "version", "date",       "author",
    "email", "homepage",    "url",      "comment", "clrmamepro", "romcenter"};
constexpr std::array<std::string_view, 10> GameChildren = {
    "comment", "description", "year", "manufacturer", "release",
    "biosset", "rom",         "disk", "sample",       "archive"};
constexpr std::array<std::string_view, 8> GameAttributes = {
    "name", "sourcefile", "isbios", "cloneof", "romof", "sampleof", "board", "rebuildto"};
constexpr std::array<std::string_view, 8> RomAttributes = {"name", "size",  "crc",    "sha1",
                                                           "md5",  "merge", "status", "date"};
constexpr std::array<std::string_view, 12> TextElements = {
    "name",  "description", "category", "version", "date", "author",
    "email", "homepage",    "url",      "comment", "year", "manufacturer"};

struct TElementAttributes {
    std::string_view Element;
    std::array<std::string_view, 7> Attributes;
    std::string_view Required;
};

constexpr std::array<TElementAttributes, 7> EmptyElements = {{
    {"clrmamepro", {"header", "forcemerging", "forcenodump", "forcepacking"}, ""},
    {"romcenter",
     {"plugin", "rommode", "biosmode", "samplemode", "lockrommode", "lockbiosmode",
      "locksamplemode"},
     ""},
    {"release", {"name", "region", "language", "date", "default"}, "name, region"},
    {"biosset", {"name", "description", "default"}, "name, description"},
    {"disk", {"name", "sha1", "md5", "merge", "status"}, "name"},
    {"sample", {"name"}, "name"},
    {"archive", {"name"}, "name"},
}};

const TElementAttributes* EmptyElement(std::string_view name) {
    for (const TElementAttributes& element : EmptyElements) {
        if (element.Element == name) {
            return &element;
        }
    }
    return nullptr;
}

std::string_view NameOf(const std::pair<std::string, std::string>& attribute) {
    return attribute.first;
}

std::string_view NameOf(const TKeptElement& element) {
    return element.Name;
}

template <class T> std::vector<T> Ranked(std::vector<T> items, int (*rank)(std::string_view)) {
    std::stable_sort(items.begin(), items.end(),
                     [rank](const T& a, const T& b) { return rank(NameOf(a)) < rank(NameOf(b)); });
    return items;
}

} // namespace

int HeaderChildRank(std::string_view name) {
    return RankIn(HeaderChildren, name);
}

int GameChildRank(std::string_view name) {
    return RankIn(GameChildren, name);
}

int GameAttributeRank(std::string_view name) {
    return RankIn(GameAttributes, name);
}

int RomAttributeRank(std::string_view name) {
    return RankIn(RomAttributes, name);
}

bool IsTextElement(std::string_view name) {
    return RankIn(TextElements, name) >= 0;
}

bool HasAttribute(std::string_view element, std::string_view attribute) {
    const TElementAttributes* found = EmptyElement(element);
    return found != nullptr && !attribute.empty() &&
           std::find(found->Attributes.begin(), found->Attributes.end(), attribute) !=
               found->Attributes.end();
}

std::string_view RequiredAttributes(std::string_view element) {
    const TElementAttributes* found = EmptyElement(element);
    return found == nullptr ? std::string_view() : found->Required;
}

TKeptAttributes InRankOrder(TKeptAttributes attributes, int (*rank)(std::string_view)) {
    return Ranked(std::move(attributes), rank);
}

std::vector<TKeptElement> InRankOrder(std::vector<TKeptElement> elements,
                                      int (*rank)(std::string_view)) {
    return Ranked(std::move(elements), rank);
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

} // namespace tabula
