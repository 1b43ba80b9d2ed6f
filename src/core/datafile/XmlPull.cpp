#include "core/datafile/XmlPull.h"

#include "core/datafile/XmlLibrary.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <new>

namespace tabula {

namespace {

std::string Text(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

} // namespace

TXmlPull::TXmlPull(std::string_view bytes, std::string kind)
    : xml_(XmlLibrary()), kind_(std::move(kind)) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        throw EXmlTreeError("the file is too large for " + kind_, 0);
    }
    reader_ = xml_.xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                      nullptr, XML_PARSE_NONET | XML_PARSE_BIG_LINES);
    if (reader_ == nullptr) {
        throw std::bad_alloc();
    }
    xml_.xmlTextReaderSetStructuredErrorHandler(reader_, &TXmlPull::OnError, this);
    lastLine_ = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

TXmlPull::~TXmlPull() {
    xml_.xmlFreeTextReader(reader_);
}

#if LIBXML_VERSION >= 21200
void TXmlPull::OnError(void* self, const xmlError* error) {
#else
void TXmlPull::OnError(void* self, xmlErrorPtr error) {
#endif
    auto* pull = static_cast<TXmlPull*>(self);
    if (error != nullptr && error->level >= XML_ERR_ERROR && !pull->error_) {
        std::string message = error->message != nullptr ? error->message : "an XML error";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
            message.pop_back();
        }
        pull->error_ = std::make_pair(static_cast<std::size_t>(std::max(error->line, 0)), message);
    }
}

bool TXmlPull::Next() {
    while (true) {
        const int result = xml_.xmlTextReaderRead(reader_);
        if (result < 0 || error_) {
            const auto [line, message] =
                error_ ? *error_ : std::make_pair(Line(), std::string("unreadable XML"));
            // The parser reads ahead, so where this reader stands says
            // nothing; an error on the input's last line is its end.
            if (message.starts_with("Premature end of data") || line + 1 >= lastLine_) {
                throw EXmlTreeError(
                    "the file ends before its elements are closed: it is cut short (" + message +
                        ")",
                    line);
            }
            throw EXmlTreeError("the XML is not well-formed (" + message + ")", line);
        }
        if (result == 0) {
            return false;
        }
        type_ = xml_.xmlTextReaderNodeType(reader_);
        if (type_ == XML_READER_TYPE_DOCUMENT_TYPE) {
            const auto* dtd = reinterpret_cast<const xmlDtd*>(xml_.xmlTextReaderCurrentNode(reader_));
            if (dtd != nullptr && dtd->type == XML_DTD_NODE) {
                doctype_ = TDocumentType{Text(dtd->name), Text(dtd->ExternalID), Text(dtd->SystemID)};
            }
            continue;
        }
        if (type_ == XML_READER_TYPE_COMMENT || type_ == XML_READER_TYPE_PROCESSING_INSTRUCTION ||
            type_ == XML_READER_TYPE_XML_DECLARATION) {
            continue;
        }
        if (type_ == XML_READER_TYPE_ENTITY_REFERENCE) {
            throw EXmlTreeError("the XML refers to an entity it declares itself, which " + kind_ +
                                    " does not use",
                                Line());
        }
        name_ = Text(xml_.xmlTextReaderConstName(reader_));
        return true;
    }
}

std::string TXmlPull::Value() {
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
    while (xml_.xmlTextReaderMoveToNextAttribute(reader_) == 1) {
        attributes.emplace_back(Text(xml_.xmlTextReaderConstName(reader_)),
                                Text(xml_.xmlTextReaderConstValue(reader_)));
    }
    xml_.xmlTextReaderMoveToElement(reader_);
    return attributes;
}

} // namespace tabula
