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
// DTD loaded, no entity declared or referred to (but the five predefined ones
// and character references). What libxml2 finds wrong, a cut-short file and
// an entity throw EXmlTreeError with their line; libxml2 itself writes
// nothing to stderr. Used on the thread that made it.
class TXmlPull {
public:
    // kind names what the bytes are ("a datafile") in the entity's refusal.
    // The bytes must outlive the reader.
    TXmlPull(std::string_view bytes, std::string kind);
    ~TXmlPull();
    TXmlPull(const TXmlPull&) = delete;
    TXmlPull& operator=(const TXmlPull&) = delete;

    // The next node, passing over comments, processing instructions, the
    // document type and the declaration; false at the document's end.
    bool Next();
    int Type() const { return type_; }
    // Of the current node; a text has none.
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
    class TErrorRoute;

    // Where the constructing thread keeps libxml2's error handlers.
    struct THandlers {
        xmlGenericErrorFunc* Generic;
        void** GenericContext;
        xmlStructuredErrorFunc* Structured;
        void** StructuredContext;
    };

    struct TError {
        std::size_t Line = 0;
        std::string Message; // whole, as thrown
    };

#if LIBXML_VERSION >= 21200
    static void OnError(void* self, const xmlError* error);
#else
    static void OnError(void* self, xmlErrorPtr error);
#endif
    static void OnGenericError(void* self, const char* format, ...);
    bool EndedInside(const xmlError& error) const;
    std::string DeclaresEntity() const;
    std::string EntityRefusal(std::string_view name) const;
    [[noreturn]] void Throw();

    const TXmlLibrary& xml_;
    std::string kind_;
    THandlers handlers_;
    std::string normalised_; // the input with lone CRs made LF, when it holds one
    xmlTextReaderPtr reader_ = nullptr;
    std::optional<TError> error_;
    int type_ = 0;
    std::string name_;
    std::optional<TDocumentType> doctype_;
};

} // namespace tabula
