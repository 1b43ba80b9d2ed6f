#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabula {

// A small XML document read whole into a tree, through the same libxml2
// reader and with the same safety as the datafile reader: no network, no
// DTD loaded, no entity declared or referred to.
struct TXmlElement {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Attributes;
    std::string Text; // the text directly inside, whitespace included
    std::vector<TXmlElement> Children;
    std::size_t Line = 0;

    // The attribute's value, or null when the element has none of that name.
    const std::string* Attribute(std::string_view name) const;
};

class EXmlTreeError : public std::runtime_error {
public:
    EXmlTreeError(const std::string& message, std::size_t line)
        : std::runtime_error(message), Line(line) {}
    std::size_t Line; // 0 when the fault is not on a line
};

// The document's root element. Throws EXmlTreeError when the bytes are not
// well-formed XML, are cut short or declare or refer to an entity;
// ESystemLibraryError when libxml2 cannot be loaded.
TXmlElement ReadXmlTree(std::string_view bytes);

} // namespace tabula
