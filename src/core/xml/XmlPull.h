#pragma once

#include "core/xml/XmlTree.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabula {

struct TXmlLibrary;

// XML bytes read node by node: libxml2 parses them in pieces and hands
// each element, end of element and text on as it finds it, no tree built. No
// network, no DTD loaded, no entity declared or referred to (but the five
// predefined ones and character references). What libxml2 finds wrong, a
// cut-short file and an entity throw EXmlTreeError with their line, once the
// nodes before the fault were read; libxml2 itself writes nothing to stderr.
// Used on the thread that made it.
class TXmlPull {
public:
    // kind names what the bytes are ("a datafile") in the entity's refusal.
    // The bytes must outlive the reader.
    TXmlPull(std::string_view bytes, std::string kind);
    ~TXmlPull();
    TXmlPull(const TXmlPull&) = delete;
    TXmlPull& operator=(const TXmlPull&) = delete;

    // The next node, passing over comments, processing instructions, the
    // document type and the declaration; false at the document's end. Every
    // element, empty or not, is followed by its end.
    bool Next();
    int Type() const { return node_->Type; }
    // Of the current element or end; a text has none.
    const std::string& Name() const { return node_->Name; }
    // Of the current text: a run of characters, or a CDATA section.
    const std::string& Value() const { return node_->Text; }
    bool IsText() const;
    // The line the current node was read on; at the end, the last line.
    std::size_t Line() const;
    // The current element's attributes, handed over: asked once.
    std::vector<std::pair<std::string, std::string>> Attributes() {
        return std::move(node_->Attributes);
    }

    // The document type declaration passed over, once Next has gone past it.
    struct TDocumentType {
        std::string Name;
        std::string PublicId;
        std::string SystemId;
    };
    const std::optional<TDocumentType>& DocumentType() const { return doctype_; }

private:
    class TErrorRoute;
    struct TCallbacks;

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

    struct TNode {
        int Type = 0;
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Attributes;
        std::string Text;
        std::size_t Line = 0;
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
    void Stop(TError error);
    std::size_t ParserLine() const;
    TNode& Added(int type);
    bool Parse();
    [[noreturn]] void Throw();

    const TXmlLibrary& xml_;
    std::string kind_;
    THandlers handlers_;
    std::string normalised_; // the input with lone CRs made LF, when it holds one
    std::string_view bytes_;
    std::size_t given_ = 0; // of bytes_, to the parser
    bool allGiven_ = false;
    xmlParserCtxtPtr parser_ = nullptr;
    std::optional<TError> error_;
    // The nodes of the last piece parsed; node_ is the current one.
    std::vector<TNode> nodes_;
    std::size_t next_ = 0;
    TNode* node_ = nullptr;
    TNode end_;           // the current node once the document has ended
    bool inText_ = false; // the last node is a text more characters join
    int depth_ = 0;
    bool rootClosed_ = false;
    std::optional<TDocumentType> doctype_;
};

} // namespace tabula
