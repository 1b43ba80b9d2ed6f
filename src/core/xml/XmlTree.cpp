#include "core/xml/XmlTree.h"

#include "core/xml/XmlPull.h"

#include <optional>

namespace tabula {

const std::string* TXmlElement::Attribute(std::string_view name) const {
    for (const auto& [key, value] : Attributes) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

namespace {

void Close(std::vector<TXmlElement>& open, std::optional<TXmlElement>& root) {
    TXmlElement done = std::move(open.back());
    open.pop_back();
    if (open.empty()) {
        root = std::move(done);
    } else {
        open.back().Children.push_back(std::move(done));
    }
}

} // namespace

TXmlElement ReadXmlTree(std::string_view bytes) {
    TXmlPull pull(bytes, "this file");
    std::vector<TXmlElement> open;
    std::optional<TXmlElement> root;
    std::size_t line = 1;
    while (pull.Next()) {
        line = pull.Line();
        if (pull.Type() == XML_READER_TYPE_ELEMENT) {
            if (open.empty() && root) {
                throw EXmlTreeError("a second root element", line);
            }
            open.push_back({pull.Name(), pull.Attributes(), {}, {}, line});
        } else if (pull.Type() == XML_READER_TYPE_END_ELEMENT) {
            Close(open, root);
        } else if (pull.IsText() && !open.empty()) {
            open.back().Text += pull.Value();
        }
    }
    if (!root || !open.empty()) {
        throw EXmlTreeError("the file ends before its elements are closed: it is cut short", line);
    }
    return std::move(*root);
}

} // namespace tabula
