#include "core/datafile/XmlTree.h"

#include "core/datafile/XmlLibrary.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <new>
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

std::string Text(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

class TTreeReader {
public:
    explicit TTreeReader(std::string_view bytes) : xml_(XmlLibrary()) {
        if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
            throw EXmlTreeError("the file is too large", 0);
        }
        reader_ = xml_.xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                          nullptr, XML_PARSE_NONET | XML_PARSE_BIG_LINES);
        if (reader_ == nullptr) {
            throw std::bad_alloc();
        }
        xml_.xmlTextReaderSetStructuredErrorHandler(reader_, &TTreeReader::OnError, this);
        lastLine_ = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    }
    ~TTreeReader() { xml_.xmlFreeTextReader(reader_); }
    TTreeReader(const TTreeReader&) = delete;
    TTreeReader& operator=(const TTreeReader&) = delete;

    TXmlElement Read() {
        std::vector<TXmlElement> open;
        std::optional<TXmlElement> root;
        while (Next()) {
            const int type = xml_.xmlTextReaderNodeType(reader_);
            if (type == XML_READER_TYPE_ELEMENT) {
                if (open.empty() && root) {
                    throw EXmlTreeError("a second root element", Line());
                }
                TXmlElement element;
                element.Name = Text(xml_.xmlTextReaderConstName(reader_));
                element.Line = Line();
                const bool empty = xml_.xmlTextReaderIsEmptyElement(reader_) == 1;
                while (xml_.xmlTextReaderMoveToNextAttribute(reader_) == 1) {
                    element.Attributes.emplace_back(Text(xml_.xmlTextReaderConstName(reader_)),
                                                    Text(xml_.xmlTextReaderConstValue(reader_)));
                }
                xml_.xmlTextReaderMoveToElement(reader_);
                open.push_back(std::move(element));
                if (empty) {
                    Close(open, root);
                }
            } else if (type == XML_READER_TYPE_END_ELEMENT) {
                Close(open, root);
            } else if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                       type == XML_READER_TYPE_WHITESPACE ||
                       type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE) {
                if (!open.empty()) {
                    open.back().Text += Text(xml_.xmlTextReaderConstValue(reader_));
                }
            } else if (type == XML_READER_TYPE_ENTITY_REFERENCE) {
                throw EXmlTreeError("the XML refers to an entity", Line());
            }
        }
        if (!root || !open.empty()) {
            throw EXmlTreeError("the file ends before its elements are closed: it is cut short",
                                lastLine_);
        }
        return std::move(*root);
    }

private:
#if LIBXML_VERSION >= 21200
    static void OnError(void* self, const xmlError* error) {
#else
    static void OnError(void* self, xmlErrorPtr error) {
#endif
        auto* reader = static_cast<TTreeReader*>(self);
        if (error != nullptr && error->level >= XML_ERR_ERROR && !reader->error_) {
            std::string message = error->message != nullptr ? error->message : "an XML error";
            while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
                message.pop_back();
            }
            reader->error_ =
                std::make_pair(static_cast<std::size_t>(std::max(error->line, 0)), message);
        }
    }

    bool Next() {
        const int result = xml_.xmlTextReaderRead(reader_);
        if (result < 0 || error_) {
            const auto [line, message] =
                error_ ? *error_ : std::make_pair(Line(), std::string("unreadable XML"));
            if (message.starts_with("Premature end of data") || line + 1 >= lastLine_) {
                throw EXmlTreeError("the file ends before its elements are closed: it is cut "
                                    "short (" +
                                        message + ")",
                                    line);
            }
            throw EXmlTreeError("the XML is not well-formed (" + message + ")", line);
        }
        return result == 1;
    }

    static void Close(std::vector<TXmlElement>& open, std::optional<TXmlElement>& root) {
        TXmlElement done = std::move(open.back());
        open.pop_back();
        if (open.empty()) {
            root = std::move(done);
        } else {
            open.back().Children.push_back(std::move(done));
        }
    }

    std::size_t Line() {
        const xmlNodePtr node = xml_.xmlTextReaderCurrentNode(reader_);
        const long line = node != nullptr ? xml_.xmlGetLineNo(node) : -1;
        return line > 0 ? static_cast<std::size_t>(line)
                        : static_cast<std::size_t>(
                              std::max(xml_.xmlTextReaderGetParserLineNumber(reader_), 0));
    }

    const TXmlLibrary& xml_;
    xmlTextReaderPtr reader_ = nullptr;
    std::optional<std::pair<std::size_t, std::string>> error_;
    std::size_t lastLine_ = 1;
};

} // namespace

TXmlElement ReadXmlTree(std::string_view bytes) {
    return TTreeReader(bytes).Read();
}

} // namespace tabula
