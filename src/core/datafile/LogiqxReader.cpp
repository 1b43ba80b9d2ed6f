#include "core/datafile/DatafileReaders.h"
#include "core/datafile/LogiqxVocabulary.h"
#include "core/datafile/XmlLibrary.h"
#include "core/platform/SharedLibrary.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <new>
#include <optional>

namespace tabula {

namespace {

const char* const Revision = " of the Logiqx datafile (revision 1.5)";

std::string Text(const xmlChar* text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

bool IsWhitespace(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// The XML's line ends are LF; the credits' comment joins its lines with CR LF.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

class TLogiqxReader {
public:
    TLogiqxReader(std::string_view bytes, const std::string& fileName)
        : xml_(XmlLibrary()), fileName_(fileName), rows_(opened_, fileName) {
        if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
            Refuse(fileName_, 0, "the file is too large for an XML datafile");
        }
        // No network, no external DTD, no entity substituted into the text:
        // the file alone is read.
        reader_ = xml_.xmlReaderForMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                          nullptr, XML_PARSE_NONET | XML_PARSE_BIG_LINES);
        if (reader_ == nullptr) {
            throw std::bad_alloc();
        }
        xml_.xmlTextReaderSetStructuredErrorHandler(reader_, &TLogiqxReader::OnError, this);
        lastLine_ = 1 + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    }
    ~TLogiqxReader() { xml_.xmlFreeTextReader(reader_); }
    TLogiqxReader(const TLogiqxReader&) = delete;
    TLogiqxReader& operator=(const TLogiqxReader&) = delete;

    TOpenedDatafile Read(std::string_view bytes) {
        opened_.Format = TDatafileFormat::Logiqx;
        // The rows' room at once: growing it would move them again and again.
        std::size_t roms = 0;
        for (std::size_t at = bytes.find("<rom "); at != std::string_view::npos;
             at = bytes.find("<rom ", at + 5)) {
            ++roms;
        }
        opened_.Rows.reserve(roms);
        opened_.Extras.reserve(roms);
        auto header = std::make_shared<TKeptHeader>();
        if (!NextNode() || type_ != XML_READER_TYPE_ELEMENT) {
            Refuse(fileName_, Line(), "the XML holds no element: it is not a datafile");
        }
        if (name_ != "datafile") {
            Refuse(fileName_, Line(),
                   "this is not a Logiqx datafile: its root element is <" + name_ + ">");
        }
        header->RootAttributes = Attributes("datafile", [](const std::string& attribute) {
            return attribute == "build" || attribute == "debug";
        });
        bool headerSeen = false;
        Children("datafile", [&](std::size_t line) {
            if (name_ == "header" && !headerSeen && !anyGame_) {
                headerSeen = true;
                Header(*header);
            } else if (name_ == "game") {
                Game(line);
            } else {
                Misplaced("datafile", line);
            }
        });
        // Whatever follows the root is an error of the XML itself.
        while (NextNode()) {
        }
        if (!anyGame_) {
            Refuse(fileName_, Line(), "the datafile holds no game");
        }
        rows_.Finish(*header);
        opened_.Header = std::move(header);
        return std::move(opened_);
    }

private:
#if LIBXML_VERSION >= 21200
    static void OnError(void* self, const xmlError* error) {
#else
    static void OnError(void* self, xmlErrorPtr error) {
#endif
        auto* reader = static_cast<TLogiqxReader*>(self);
        if (error != nullptr && error->level >= XML_ERR_ERROR && !reader->error_) {
            std::string message = error->message != nullptr ? error->message : "an XML error";
            while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
                message.pop_back();
            }
            reader->error_ =
                std::make_pair(static_cast<std::size_t>(std::max(error->line, 0)), message);
        }
    }

    // The next node, skipping comments, processing instructions and the
    // document type; false at the document's end.
    bool NextNode() {
        while (true) {
            const int result = xml_.xmlTextReaderRead(reader_);
            if (result < 0 || error_) {
                const auto [line, message] =
                    error_ ? *error_ : std::make_pair(Line(), std::string("unreadable XML"));
                // The parser reads ahead, so where this reader stands says
                // nothing; an error on the input's last line is its end.
                if (message.starts_with("Premature end of data") || line + 1 >= lastLine_) {
                    Refuse(fileName_, line,
                           "the file ends before its elements are closed: it is cut short (" +
                               message + ")");
                }
                Refuse(fileName_, line, "the XML is not well-formed (" + message + ")");
            }
            if (result == 0) {
                return false;
            }
            type_ = xml_.xmlTextReaderNodeType(reader_);
            if (type_ == XML_READER_TYPE_COMMENT ||
                type_ == XML_READER_TYPE_PROCESSING_INSTRUCTION ||
                type_ == XML_READER_TYPE_DOCUMENT_TYPE ||
                type_ == XML_READER_TYPE_XML_DECLARATION) {
                continue;
            }
            if (type_ == XML_READER_TYPE_ENTITY_REFERENCE) {
                Refuse(fileName_, Line(),
                       "the XML refers to an entity it declares itself, "
                       "which a datafile does not use");
            }
            name_ = Text(xml_.xmlTextReaderConstName(reader_));
            return true;
        }
    }

    std::size_t Line() {
        const xmlNodePtr node = xml_.xmlTextReaderCurrentNode(reader_);
        const long line = node != nullptr ? xml_.xmlGetLineNo(node) : -1;
        return line > 0 ? static_cast<std::size_t>(line)
                        : static_cast<std::size_t>(
                              std::max(xml_.xmlTextReaderGetParserLineNumber(reader_), 0));
    }

    bool IsText() const {
        return type_ == XML_READER_TYPE_TEXT || type_ == XML_READER_TYPE_CDATA ||
               type_ == XML_READER_TYPE_WHITESPACE ||
               type_ == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
    }

    // Calls child for each element inside the current one (positioned on its
    // start, with its line), which must read the child whole; refuses text.
    void Children(const std::string& parent, const std::function<void(std::size_t)>& child) {
        if (xml_.xmlTextReaderIsEmptyElement(reader_) == 1) {
            return;
        }
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                return;
            }
            if (type_ == XML_READER_TYPE_ELEMENT) {
                child(Line());
            } else if (IsText()) {
                const std::string text = Text(xml_.xmlTextReaderConstValue(reader_));
                if (!IsWhitespace(text)) {
                    Refuse(fileName_, Line(),
                           "the text \"" + text + "\" stands in <" + parent +
                               ">, which holds only elements");
                }
            }
        }
        Refuse(fileName_, Line(), "the file ends inside <" + parent + ">: it is cut short");
    }

    // The text of the current element, which holds no element.
    std::string ElementText() {
        const std::string element = name_;
        std::string text;
        if (xml_.xmlTextReaderIsEmptyElement(reader_) == 1) {
            return text;
        }
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                return text;
            }
            if (IsText()) {
                text += Text(xml_.xmlTextReaderConstValue(reader_));
            } else {
                Misplaced(element, Line());
            }
        }
        Refuse(fileName_, Line(), "the file ends inside <" + element + ">: it is cut short");
    }

    // The current element's attributes, each one allowed; leaves the reader on the element.
    TKeptAttributes Attributes(const std::string& element,
                               const std::function<bool(const std::string&)>& allowed) {
        TKeptAttributes attributes;
        const std::size_t line = Line();
        while (xml_.xmlTextReaderMoveToNextAttribute(reader_) == 1) {
            std::string name = Text(xml_.xmlTextReaderConstName(reader_));
            if (!allowed(name)) {
                Refuse(fileName_, line,
                       "the attribute \"" + name + "\" of <" + element + "> is not" + Revision);
            }
            attributes.emplace_back(std::move(name), Text(xml_.xmlTextReaderConstValue(reader_)));
        }
        xml_.xmlTextReaderMoveToElement(reader_);
        return attributes;
    }

    // An element that holds nothing but its attributes.
    TKeptElement EmptyElement(std::size_t line) {
        TKeptElement element{name_, {}, {}};
        element.Attributes = Attributes(element.Name, [&element](const std::string& attribute) {
            return HasAttribute(element.Name, attribute);
        });
        for (const std::string_view required : {"name", "region", "description"}) {
            if (RequiredAttributes(element.Name).find(required) != std::string_view::npos &&
                KeptValue(element.Attributes, std::string(required)) == nullptr) {
                Refuse(fileName_, line,
                       "<" + element.Name + "> has no attribute \"" + std::string(required) + "\"");
            }
        }
        Children(element.Name, [&](std::size_t childLine) { Misplaced(element.Name, childLine); });
        return element;
    }

    [[noreturn]] void Misplaced(const std::string& parent, std::size_t line) {
        const bool known = HeaderChildRank(name_) >= 0 || GameChildRank(name_) >= 0 ||
                           name_ == "header" || name_ == "game" || name_ == "datafile";
        Refuse(fileName_, line,
               known ? "the element <" + name_ + "> cannot stand in <" + parent + ">"
                     : "the element <" + name_ + "> is not" + Revision);
    }

    void Header(TKeptHeader& header) {
        Attributes("header", [](const std::string&) { return false; });
        std::string name;
        std::vector<bool> seen(12);
        Children("header", [&](std::size_t line) {
            const int rank = HeaderChildRank(name_);
            if (rank < 0) {
                Misplaced("header", line);
            }
            if (seen[static_cast<std::size_t>(rank)]) {
                Refuse(fileName_, line, "<" + name_ + "> comes a second time in <header>");
            }
            seen[static_cast<std::size_t>(rank)] = true;
            if (!IsTextElement(name_)) {
                header.Elements.push_back(EmptyElement(line));
                return;
            }
            Attributes(name_, [](const std::string&) { return false; });
            const std::string element = name_;
            std::string text = ElementText();
            TDatafileCredits& credits = opened_.Credits;
            if (element == "name") {
                name = text;
                credits.System = std::move(text);
            } else if (element == "version") {
                credits.Version = std::move(text);
            } else if (element == "date") {
                credits.Date = std::move(text);
            } else if (element == "author") {
                credits.Author = std::move(text);
            } else if (element == "comment") {
                credits.Comment = WithCrLf(text);
            } else {
                header.Elements.push_back({element, std::move(text), {}});
            }
        });
        // The writers make the description from the name.
        std::erase_if(header.Elements, [&name](const TKeptElement& element) {
            return element.Name == "description" && element.Text == name;
        });
    }

    void Game(std::size_t gameLine) {
        TKeptAttributes attributes = Attributes(
            "game", [](const std::string& attribute) { return GameAttributeRank(attribute) >= 0; });
        std::vector<TKeptElement> elements;
        std::vector<TGameRowBuilder::TRom> roms;
        Children("game", [&](std::size_t line) {
            const int rank = GameChildRank(name_);
            if (rank < 0) {
                Misplaced("game", line);
            }
            if (rank == RomRank) {
                roms.push_back({Attributes("rom",
                                           [](const std::string& attribute) {
                                               return RomAttributeRank(attribute) >= 0;
                                           }),
                                line});
                Children("rom", [&](std::size_t childLine) { Misplaced("rom", childLine); });
            } else if (IsTextElement(name_)) {
                Attributes(name_, [](const std::string&) { return false; });
                const std::string element = name_;
                elements.push_back({element, ElementText(), {}});
            } else {
                elements.push_back(EmptyElement(line));
            }
        });
        rows_.AddGame(std::move(attributes), std::move(elements), std::move(roms), gameLine);
        anyGame_ = true;
    }

    const TXmlLibrary& xml_;
    const std::string& fileName_;
    TOpenedDatafile opened_;
    TGameRowBuilder rows_;
    xmlTextReaderPtr reader_ = nullptr;
    int type_ = 0;
    std::string name_;
    std::optional<std::pair<std::size_t, std::string>> error_;
    bool anyGame_ = false;
    std::size_t lastLine_ = 1;
};

} // namespace

TOpenedDatafile ReadLogiqx(std::string_view bytes, const std::string& fileName) {
    try {
        XmlLibrary();
    } catch (const ESystemLibraryError& error) {
        Refuse(fileName, 0, error.what());
    }
    return TLogiqxReader(bytes, fileName).Read(bytes);
}

} // namespace tabula
