#include "core/datafile/XmlPull.h"

#include "core/datafile/XmlLibrary.h"
#include "core/text/ErrorText.h"

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

// The name of the first entity the attribute's value refers to, or null.
const xmlChar* EntityReferredTo(xmlNodePtr attribute) {
    if (attribute == nullptr || attribute->type != XML_ATTRIBUTE_NODE) {
        return nullptr; // a namespace declaration has no children
    }
    for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
        if (child->type == XML_ENTITY_REF_NODE) {
            return child->name;
        }
    }
    return nullptr;
}

bool DeclaresEntities(xmlNodePtr node) {
    if (node == nullptr || node->type != XML_DTD_NODE) {
        return false;
    }
    const auto* dtd = reinterpret_cast<xmlDtdPtr>(node);
    return dtd->entities != nullptr || dtd->pentities != nullptr;
}

// The element's attributes read from its node, when each is a plain name
// with a value of one text: no namespace, nothing referred to.
bool PlainAttributes(xmlNodePtr node, std::vector<std::pair<std::string, std::string>>& out) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE || node->nsDef != nullptr) {
        return false;
    }
    std::size_t count = 0;
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
        const xmlNodePtr value = attribute->children;
        if (attribute->ns != nullptr ||
            (value != nullptr && (value->type != XML_TEXT_NODE || value->next != nullptr))) {
            return false;
        }
        ++count;
    }
    out.reserve(count);
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr;
         attribute = attribute->next) {
        const xmlNodePtr value = attribute->children;
        out.emplace_back(Text(attribute->name), value != nullptr ? Text(value->content) : "");
    }
    return true;
}

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

TXmlPull::TXmlPull(std::string_view bytes, std::string kind)
    : xml_(XmlLibrary()),
      kind_(std::move(kind)), handlers_{xml_.__xmlGenericError(), xml_.__xmlGenericErrorContext(),
                                        xml_.__xmlStructuredError(),
                                        xml_.__xmlStructuredErrorContext()} {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        throw EXmlTreeError("the file is too large for " + kind_, 0);
    }
    if (AsciiCompatible(bytes)) {
        // Refused before libxml2 reads a byte: an entity's expansion is what
        // makes a small file take gigabytes. A declaration of any kind starts
        // so; in a comment it is refused too. Thrown by the first Next(),
        // where the readers take libxml2's refusals.
        if (const std::size_t at = bytes.find("<!ENTITY"); at != std::string_view::npos) {
            error_ = {LineAt(bytes, at), DeclaresEntity()};
            return;
        }
        if (HasLoneCr(bytes)) {
            normalised_ = WithLoneCrsAsLf(bytes);
            bytes = normalised_;
        }
    }
    const TErrorRoute route(*this);
    reader_ =
        xml_.xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_BIG_LINES | XML_PARSE_COMPACT);
    if (reader_ == nullptr) {
        throw std::bad_alloc();
    }
    xml_.xmlTextReaderSetStructuredErrorHandler(reader_, &TXmlPull::OnError, this);
}

TXmlPull::~TXmlPull() {
    const TErrorRoute route(*this);
    xml_.xmlFreeTextReader(reader_);
}

std::string TXmlPull::DeclaresEntity() const {
    return "the XML declares an entity, which " + kind_ + " does not use";
}

std::string TXmlPull::EntityRefusal(std::string_view name) const {
    return "the XML refers to the entity " + QuotedForMessage(name) + ", which " + kind_ +
           " does not use: only &amp; &lt; &gt; &quot; &apos; and character references are read";
}

// Whether libxml2 stopped at the error because the input ended inside the
// document: all of it was given to the parser, which had not yet closed the
// root element. A wrong end tag at the end is not a cut.
bool TXmlPull::EndedInside(const xmlError& error) const {
    if (error.domain != XML_FROM_PARSER || error.ctxt == nullptr || reader_ == nullptr ||
        error.code == XML_ERR_TAG_NAME_MISMATCH ||
        xml_.xmlTextReaderReadState(reader_) != XML_TEXTREADER_MODE_EOF) {
        return false;
    }
    const auto* parser = static_cast<const xmlParserCtxt*>(error.ctxt);
    if (parser->instate == XML_PARSER_EPILOG) {
        return false; // the root is closed: what follows it is extra
    }
    if ((parser->instate == XML_PARSER_COMMENT || parser->instate == XML_PARSER_PI) &&
        parser->nameNr == 0 && parser->myDoc != nullptr) {
        for (xmlNodePtr node = parser->myDoc->children; node != nullptr; node = node->next) {
            if (node->type == XML_ELEMENT_NODE) {
                return false; // a comment after the root
            }
        }
    }
    return true;
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
        pull->error_ = {line, pull->EntityRefusal(error->str1 != nullptr ? error->str1 : "")};
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
    const int line =
        pull->reader_ != nullptr ? pull->xml_.xmlTextReaderGetParserLineNumber(pull->reader_) : 0;
    pull->error_ = {static_cast<std::size_t>(std::max(line, 0)), NotWellFormed(message)};
}

void TXmlPull::Throw() {
    const TError error = error_ ? *error_ : TError{Line(), NotWellFormed("unreadable XML")};
    throw EXmlTreeError(error.Message, error.Line);
}

bool TXmlPull::Next() {
    if (reader_ == nullptr) {
        Throw();
    }
    const TErrorRoute route(*this);
    while (true) {
        const int result = xml_.xmlTextReaderRead(reader_);
        if (result < 0 || error_) {
            Throw();
        }
        if (result == 0) {
            return false;
        }
        type_ = xml_.xmlTextReaderNodeType(reader_);
        if (type_ == XML_READER_TYPE_DOCUMENT_TYPE) {
            const xmlNodePtr node = xml_.xmlTextReaderCurrentNode(reader_);
            if (DeclaresEntities(node)) {
                // Only where the bytes could not be searched before (UTF-16).
                throw EXmlTreeError(DeclaresEntity(), Line());
            }
            const auto* dtd = reinterpret_cast<const xmlDtd*>(node);
            if (dtd != nullptr && dtd->type == XML_DTD_NODE) {
                doctype_ =
                    TDocumentType{Text(dtd->name), Text(dtd->ExternalID), Text(dtd->SystemID)};
            }
            continue;
        }
        if (type_ == XML_READER_TYPE_COMMENT || type_ == XML_READER_TYPE_PROCESSING_INSTRUCTION ||
            type_ == XML_READER_TYPE_XML_DECLARATION) {
            continue;
        }
        if (type_ == XML_READER_TYPE_ENTITY_REFERENCE) {
            throw EXmlTreeError(EntityRefusal(Text(xml_.xmlTextReaderConstName(reader_))), Line());
        }
        if (IsText()) {
            name_.clear(); // "#text" and the like, never asked for
        } else {
            name_ = Text(xml_.xmlTextReaderConstName(reader_));
        }
        return true;
    }
}

std::string TXmlPull::Value() {
    const TErrorRoute route(*this);
    return Text(xml_.xmlTextReaderConstValue(reader_));
}

bool TXmlPull::IsEmptyElement() {
    return xml_.xmlTextReaderIsEmptyElement(reader_) == 1;
}

bool TXmlPull::IsText() const {
    return type_ == XML_READER_TYPE_TEXT || type_ == XML_READER_TYPE_CDATA ||
           type_ == XML_READER_TYPE_WHITESPACE || type_ == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
}

std::size_t TXmlPull::Line() {
    const xmlNodePtr node = xml_.xmlTextReaderCurrentNode(reader_);
    const long line = node != nullptr ? xml_.xmlGetLineNo(node) : -1;
    return line > 0 ? static_cast<std::size_t>(line)
                    : static_cast<std::size_t>(
                          std::max(xml_.xmlTextReaderGetParserLineNumber(reader_), 0));
}

std::vector<std::pair<std::string, std::string>> TXmlPull::Attributes() {
    std::vector<std::pair<std::string, std::string>> attributes;
    if (PlainAttributes(xml_.xmlTextReaderCurrentNode(reader_), attributes)) {
        return attributes;
    }
    const TErrorRoute route(*this);
    while (xml_.xmlTextReaderMoveToNextAttribute(reader_) == 1) {
        // Its value would expand the entity, however often it is referred to.
        if (const xmlChar* entity = EntityReferredTo(xml_.xmlTextReaderCurrentNode(reader_))) {
            const std::string name = Text(entity);
            xml_.xmlTextReaderMoveToElement(reader_);
            throw EXmlTreeError(EntityRefusal(name), Line());
        }
        attributes.emplace_back(Text(xml_.xmlTextReaderConstName(reader_)),
                                Text(xml_.xmlTextReaderConstValue(reader_)));
    }
    xml_.xmlTextReaderMoveToElement(reader_);
    return attributes;
}

} // namespace tabula
