#include "core/xml/XmlPull.h"

#include "core/text/BlankText.h"
#include "core/text/ErrorText.h"
#include "core/xml/XmlLibrary.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <new>

namespace tabula {

namespace {

std::string Text(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

// Whether "<", "!", CR and LF are their ASCII bytes, as libxml2 tells the
// encoding from the first bytes: not UTF-16 or UCS-4 (a byte order mark or a
// zero byte) nor EBCDIC ("<?xm" as 4C 6F A7 94).
bool AsciiCompatible(std::string_view bytes) {
    const std::string_view start = bytes.substr(0, 4);
    return !start.starts_with("\xFE\xFF") && !start.starts_with("\xFF\xFE") &&
           start != "\x4C\x6F\xA7\x94" && start.find('\0') == std::string_view::npos;
}

bool HasLoneCr(std::string_view bytes) {
    for (std::size_t at = bytes.find('\r'); at != std::string_view::npos;
         at = bytes.find('\r', at + 1)) {
        if (at + 1 == bytes.size() || bytes[at + 1] != '\n') {
            return true;
        }
    }
    return false;
}

// The XML rules read a lone CR as LF, but libxml2 counts lines by LF alone.
std::string WithLoneCrsAsLf(std::string_view bytes) {
    std::string out(bytes);
    for (std::size_t at = 0; at < out.size(); ++at) {
        if (out[at] == '\r' && (at + 1 == out.size() || out[at + 1] != '\n')) {
            out[at] = '\n';
        }
    }
    return out;
}

// The line of the byte at offset (not the end), CR LF, CR and LF each ending
// one.
std::size_t LineAt(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t at = 0; at < offset; ++at) {
        if (bytes[at] == '\n' || (bytes[at] == '\r' && bytes[at + 1] != '\n')) {
            ++line;
        }
    }
    return line;
}

// libxml2's message quotes names from the input, each up to 50,000 bytes.
std::string Bounded(const std::string& message) {
    return message.size() <= 2 * MaxQuoted ? message : QuotedForMessage(message);
}

std::string NotWellFormed(const std::string& message) {
    return "the XML is not well-formed (" + Bounded(message) + ")";
}

const char* const CutShort = "the file ends before its elements are closed: it is cut short";

// Each piece libxml2 is given, but the last: small enough for few nodes to
// wait, large enough that the pieces cost nothing. The last piece is at most
// Tail long, so that a fault libxml2 meets while it is given lies at the end.
constexpr std::size_t Piece = 1 << 16;
constexpr std::size_t Tail = 512;

} // namespace

// libxml2 says what it finds through the thread's handlers, stderr unless
// set: for each call into it they are the pull reader's, and the caller's
// again after it. Set where they are kept, found once: through the setters,
// a call per node took a third of a datafile's read.
class TXmlPull::TErrorRoute {
public:
    explicit TErrorRoute(TXmlPull& pull)
        : handlers_(pull.handlers_), generic_(*handlers_.Generic),
          genericContext_(*handlers_.GenericContext), structured_(*handlers_.Structured),
          structuredContext_(*handlers_.StructuredContext) {
        *handlers_.Generic = &TXmlPull::OnGenericError;
        *handlers_.GenericContext = &pull;
        *handlers_.Structured = &TXmlPull::OnError;
        *handlers_.StructuredContext = &pull;
    }
    ~TErrorRoute() {
        *handlers_.Generic = generic_;
        *handlers_.GenericContext = genericContext_;
        *handlers_.Structured = structured_;
        *handlers_.StructuredContext = structuredContext_;
    }
    TErrorRoute(const TErrorRoute&) = delete;
    TErrorRoute& operator=(const TErrorRoute&) = delete;

private:
    const THandlers& handlers_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
};

// libxml2's calls as it parses: each adds a node, or stops the parse.
struct TXmlPull::TCallbacks {
    static TXmlPull& Pull(void* context) { return *static_cast<TXmlPull*>(context); }

    static void StartElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                             const xmlChar*, int namespaceCount, const xmlChar** namespaces,
                             int attributeCount, int defaulted, const xmlChar** attributes) {
        TXmlPull& pull = Pull(context);
        const auto qualified = [](const xmlChar* prefix, const xmlChar* name) {
            return prefix == nullptr ? Text(name) : Text(prefix) + ":" + Text(name);
        };
        TNode& node = pull.Added(XML_READER_TYPE_ELEMENT);
        node.Name = qualified(prefix, localName);
        // The defaults of the document type's attribute lists come last: an
        // attribute not written is not read.
        attributeCount -= defaulted;
        node.Attributes.reserve(static_cast<std::size_t>(namespaceCount + attributeCount));
        // Namespace declarations read as the attributes they are written as.
        for (int i = 0; i < namespaceCount; ++i) {
            const xmlChar* name = namespaces[2 * i];
            node.Attributes.emplace_back(name == nullptr ? "xmlns" : "xmlns:" + Text(name),
                                         Text(namespaces[2 * i + 1]));
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar* const* attribute = attributes + 5 * i;
            node.Attributes.emplace_back(
                qualified(attribute[1], attribute[0]),
                std::string(reinterpret_cast<const char*>(attribute[3]),
                            static_cast<std::size_t>(attribute[4] - attribute[3])));
        }
        ++pull.depth_;
    }

    static void EndElement(void* context, const xmlChar* localName, const xmlChar* prefix,
                           const xmlChar*) {
        TXmlPull& pull = Pull(context);
        TNode& node = pull.Added(XML_READER_TYPE_END_ELEMENT);
        node.Name = prefix == nullptr ? Text(localName) : Text(prefix) + ":" + Text(localName);
        pull.rootClosed_ = --pull.depth_ == 0;
    }

    static void Characters(void* context, const xmlChar* text, int length) {
        TXmlPull& pull = Pull(context);
        // The pieces of one run of text make one node.
        TNode& node = pull.inText_ ? pull.nodes_.back() : pull.Added(XML_READER_TYPE_TEXT);
        node.Text.append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
        pull.inText_ = true;
    }

    static void Cdata(void* context, const xmlChar* text, int length) {
        TXmlPull& pull = Pull(context);
        pull.Added(XML_READER_TYPE_CDATA)
            .Text.assign(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }

    static void InternalSubset(void* context, const xmlChar* name, const xmlChar* publicId,
                               const xmlChar* systemId) {
        Pull(context).doctype_ = TDocumentType{Text(name), Text(publicId), Text(systemId)};
    }

    // Only where the bytes could not be searched before (UTF-16).
    static void EntityDeclaration(void* context, const xmlChar*, int, const xmlChar*,
                                  const xmlChar*, xmlChar*) {
        TXmlPull& pull = Pull(context);
        pull.Stop({pull.ParserLine(), pull.DeclaresEntity()});
    }

    static void Reference(void* context, const xmlChar* name) {
        TXmlPull& pull = Pull(context);
        pull.Stop({pull.ParserLine(), pull.EntityRefusal(Text(name))});
    }
};

TXmlPull::TXmlPull(std::string_view bytes, std::string kind)
    : xml_(XmlLibrary()),
      kind_(std::move(kind)), handlers_{xml_.__xmlGenericError(), xml_.__xmlGenericErrorContext(),
                                        xml_.__xmlStructuredError(),
                                        xml_.__xmlStructuredErrorContext()} {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        throw EXmlTreeError("the file is too large for " + kind_, 0);
    }
    end_.Type = 0;
    node_ = &end_;
    if (AsciiCompatible(bytes)) {
        // Refused before libxml2 reads a byte: an entity's expansion is what
        // makes a small file take gigabytes. A declaration of any kind starts
        // so; in a comment it is refused too. Thrown by the first Next(),
        // where the readers take libxml2's refusals.
        if (const std::size_t at = bytes.find("<!ENTITY"); at != std::string_view::npos) {
            error_ = {LineAt(bytes, at), DeclaresEntity()};
            allGiven_ = true;
            return;
        }
        if (HasLoneCr(bytes)) {
            normalised_ = WithLoneCrsAsLf(bytes);
            bytes = normalised_;
        }
    }
    bytes_ = bytes;
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &TCallbacks::StartElement;
    sax.endElementNs = &TCallbacks::EndElement;
    sax.characters = &TCallbacks::Characters;
    sax.ignorableWhitespace = &TCallbacks::Characters;
    sax.cdataBlock = &TCallbacks::Cdata;
    sax.internalSubset = &TCallbacks::InternalSubset;
    sax.entityDecl = &TCallbacks::EntityDeclaration;
    sax.reference = &TCallbacks::Reference;
    sax.serror = &TXmlPull::OnError;
    const TErrorRoute route(*this);
    // The first bytes tell libxml2 the encoding.
    given_ = std::min<std::size_t>(bytes_.size(), 4);
    // The callbacks and serror are called with this.
    parser_ =
        xml_.xmlCreatePushParserCtxt(&sax, this, bytes_.data(), static_cast<int>(given_), nullptr);
    if (parser_ == nullptr) {
        throw std::bad_alloc();
    }
    // Entities are replaced so that attribute values come whole; none is
    // ever declared, so none can grow.
    xml_.xmlCtxtUseOptions(parser_, XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_NOENT);
}

TXmlPull::~TXmlPull() {
    const TErrorRoute route(*this);
    if (parser_ != nullptr) {
        // Where an entity is declared (refused) libxml2 makes a document to
        // hold it, which the context leaves to its owner.
        if (parser_->myDoc != nullptr) {
            xml_.xmlFreeDoc(parser_->myDoc);
        }
        xml_.xmlFreeParserCtxt(parser_);
    }
}

std::string TXmlPull::DeclaresEntity() const {
    return "the XML declares an entity, which " + kind_ + " does not use";
}

std::string TXmlPull::EntityRefusal(std::string_view name) const {
    return "the XML refers to the entity " + QuotedForMessage(name) + ", which " + kind_ +
           " does not use: only &amp; &lt; &gt; &quot; &apos; and character references are read";
}

void TXmlPull::Stop(TError error) {
    if (!error_) {
        error_ = std::move(error);
    }
    xml_.xmlStopParser(parser_);
}

std::size_t TXmlPull::ParserLine() const {
    const int line = parser_ != nullptr && parser_->input != nullptr ? parser_->input->line : 0;
    return static_cast<std::size_t>(std::max(line, 0));
}

TXmlPull::TNode& TXmlPull::Added(int type) {
    inText_ = false;
    TNode& node = nodes_.emplace_back();
    node.Type = type;
    node.Line = ParserLine();
    return node;
}

// Whether libxml2 stopped at the error because the input ended inside the
// document: all of it was given to the parser, which had not yet closed the
// root element. A wrong end tag at the end is not a cut.
bool TXmlPull::EndedInside(const xmlError& error) const {
    return error.domain == XML_FROM_PARSER && error.code != XML_ERR_TAG_NAME_MISMATCH &&
           allGiven_ && !rootClosed_; // after the root, whatever follows is extra
}

#if LIBXML_VERSION >= 21200
void TXmlPull::OnError(void* self, const xmlError* error) {
#else
void TXmlPull::OnError(void* self, xmlErrorPtr error) {
#endif
    auto* pull = static_cast<TXmlPull*>(self);
    if (error == nullptr || pull->error_) {
        return;
    }
    const std::size_t line = static_cast<std::size_t>(std::max(error->line, 0));
    // An undeclared entity is only a warning where the document names an
    // external DTD, which is never loaded.
    if (error->code == XML_ERR_UNDECLARED_ENTITY || error->code == XML_WAR_UNDECLARED_ENTITY) {
        pull->Stop({line, pull->EntityRefusal(error->str1 != nullptr ? error->str1 : "")});
        return;
    }
    if (error->level < XML_ERR_ERROR) {
        return;
    }
    std::string message = error->message != nullptr ? error->message : "an XML error";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    if (!pull->EndedInside(*error)) {
        pull->error_ = {line, NotWellFormed(message)};
    } else if (error->code == XML_ERR_DOCUMENT_END) {
        pull->error_ = {line, CutShort}; // libxml2's "Extra content" says nothing of a cut
    } else {
        pull->error_ = {line, std::string(CutShort) + " (" + Bounded(message) + ")"};
    }
}

void TXmlPull::OnGenericError(void* self, const char* format, ...) {
    auto* pull = static_cast<TXmlPull*>(self);
    if (pull->error_) {
        return;
    }
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    pull->error_ = {pull->ParserLine(), NotWellFormed(message)};
}

void TXmlPull::Throw() {
    const TError error = error_ ? *error_ : TError{Line(), NotWellFormed("unreadable XML")};
    throw EXmlTreeError(error.Message, error.Line);
}

// Gives libxml2 the next piece; false once all was given, or it stopped.
bool TXmlPull::Parse() {
    if (allGiven_ || error_) {
        return false;
    }
    const std::size_t left = bytes_.size() - given_;
    const std::size_t size = left <= Tail ? left : std::min(Piece, left - Tail);
    allGiven_ = size == left;
    const TErrorRoute route(*this);
    const int result = xml_.xmlParseChunk(parser_, bytes_.data() + given_, static_cast<int>(size),
                                          allGiven_ ? 1 : 0);
    given_ += size;
    if (result != 0 && !error_) {
        error_ = {ParserLine(), NotWellFormed("unreadable XML")};
    }
    return true;
}

bool TXmlPull::Next() {
    while (true) {
        // A text at the end of a piece may go on in the next one.
        const bool openText = inText_ && next_ + 1 == nodes_.size();
        if (next_ < nodes_.size() && !(openText && !allGiven_ && !error_)) {
            break;
        }
        if (openText) {
            TNode text = std::move(nodes_.back());
            nodes_.clear();
            nodes_.push_back(std::move(text));
        } else {
            nodes_.clear();
            inText_ = false;
        }
        next_ = 0;
        if (!Parse()) {
            node_ = &end_;
            if (error_) {
                Throw();
            }
            return false;
        }
    }
    node_ = &nodes_[next_++];
    // A text of blanks alone is the layout between elements.
    if (node_->Type == XML_READER_TYPE_TEXT && IsBlankText(node_->Text)) {
        node_->Type = XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
    }
    return true;
}

bool TXmlPull::IsText() const {
    const int type = node_->Type;
    return type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
           type == XML_READER_TYPE_WHITESPACE || type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
}

std::size_t TXmlPull::Line() const {
    return node_ != &end_ ? node_->Line : ParserLine();
}

} // namespace tabula
