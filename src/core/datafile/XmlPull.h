#pragma once

#include "core/datafile/XmlTree.h"

#include <libxml/xmlreader.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabula {

struct TXmlLibrary;

// XML bytes read node by node through libxml2's text reader: no network, no
// DTD loaded, no entity substituted. What libxml2 finds wrong, a cut-short
// file and an entity reference throw EXmlTreeError with their line.
class TXmlPull {
public:
    // kind names what the bytes are ("a datafile") in the entity's refusal.
    TXmlPull(std::string_view bytes, std::string kind);
    ~TXmlPull();
    TXmlPull(const TXmlPull&) = delete;
    TXmlPull& operator=(const TXmlPull&) = delete;

    // The next node, passing over comments, processing instructions, the
    // document type and the declaration; false at the document's end.
    bool Next();
    int Type() const { return type_; }
    // Of the current node.
    const std::string& Name() const { return name_; }
    std::string Value();
    bool IsEmptyElement();
    bool IsText() const;
    std::size_t Line();
    // The current element's attributes; the reader stays on the element.
    std::vector<std::pair<std::string, std::string>> Attributes();

    // The document type declaration passed over, once Next has gone past it.
    struct TDocumentType {
        std::string Name;
        std::string PublicId;
        std::string SystemId;
    };
    const std::optional<TDocumentType>& DocumentType() const { return doctype_; }

private:
#if LIBXML_VERSION >= 21200
    static void OnError(void* self, const xmlError* error);
#else
    static void OnError(void* self, xmlErrorPtr error);
#endif

    const TXmlLibrary& xml_;
    std::string kind_;
    xmlTextReaderPtr reader_ = nullptr;
    std::optional<std::pair<std::size_t, std::string>> error_;
    std::size_t lastLine_ = 1;
    int type_ = 0;
    std::string name_;
    std::optional<TDocumentType> doctype_;
};

} // namespace tabula
