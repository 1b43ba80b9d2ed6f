#include "core/datafile/DatafileReaders.h"
#include "core/datafile/LogiqxVocabulary.h"
#include "core/datafile/XmlLibrary.h"
#include "core/datafile/XmlPull.h"
#include "core/platform/SharedLibrary.h"

#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <new>
#include <optional>

namespace tabula {

namespace {

const char* const Revision = " of the Logiqx datafile (revision 1.5)";

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
        : fileName_(fileName), rows_(opened_, fileName) {
        if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
            Refuse(fileName_, 0, "the file is too large for an XML datafile");
        }
        pull_ = std::make_unique<TXmlPull>(bytes, "a datafile");
    }
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
    // The next node, passing over comments, processing instructions and the
    // document type; false at the document's end.
    bool NextNode() {
        try {
            if (!pull_->Next()) {
                return false;
            }
        } catch (const EXmlTreeError& error) {
            Refuse(fileName_, error.Line, error.what());
        }
        type_ = pull_->Type();
        name_ = pull_->Name();
        return true;
    }

    std::size_t Line() { return pull_->Line(); }
    bool IsText() const { return pull_->IsText(); }

    // Calls child for each element inside the current one (positioned on its
    // start, with its line), which must read the child whole; refuses text.
    void Children(const std::string& parent, const std::function<void(std::size_t)>& child) {
        if (pull_->IsEmptyElement()) {
            return;
        }
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                return;
            }
            if (type_ == XML_READER_TYPE_ELEMENT) {
                child(Line());
            } else if (IsText()) {
                const std::string text = pull_->Value();
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
        if (pull_->IsEmptyElement()) {
            return text;
        }
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                return text;
            }
            if (IsText()) {
                text += pull_->Value();
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
        for (auto& [name, value] : pull_->Attributes()) {
            if (!allowed(name)) {
                Refuse(fileName_, line,
                       "the attribute \"" + name + "\" of <" + element + "> is not" + Revision);
            }
            attributes.emplace_back(std::move(name), std::move(value));
        }
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

    const std::string& fileName_;
    TOpenedDatafile opened_;
    TGameRowBuilder rows_;
    std::unique_ptr<TXmlPull> pull_;
    int type_ = 0;
    std::string name_;
    bool anyGame_ = false;
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
