#include "core/datafile/DatafileReaders.h"
#include "core/datafile/XmlLibrary.h"
#include "core/datafile/XmlPull.h"
#include "core/platform/SharedLibrary.h"
#include "core/text/ErrorText.h"

#include <libxml/parser.h>

#include <climits>
#include <memory>

namespace tabula {

namespace {

bool IsWhitespace(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

void Trim(std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
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
        try {
            pull_ = std::make_unique<TXmlPull>(bytes, "a datafile");
        } catch (const EXmlTreeError& error) {
            Refuse(fileName_, error.Line, error.what());
        }
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
        header->Origin = TKeptOrigin::Logiqx;
        if (!NextNode() || type_ != XML_READER_TYPE_ELEMENT) {
            Refuse(fileName_, Line(), "the XML holds no element: it is not a datafile");
        }
        if (name_ != "datafile" && name_ != "mame") {
            Refuse(fileName_, Line(),
                   "this is not a Logiqx datafile: its root element is " +
                       QuotedForMessage("<" + name_ + ">"));
        }
        header->RootName = name_;
        header->RootAttributes = pull_->Attributes();
        header->Doctype = Doctype();
        bool anyGame = false;
        const bool empty = pull_->IsEmptyElement();
        while (!empty && NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                break;
            }
            if (IsText()) {
                if (const std::string text = pull_->Value(); !IsWhitespace(text)) {
                    Refuse(fileName_, Line(),
                           "the text " + QuotedForMessage(text) + " stands in <" +
                               header->RootName + ">, which holds only elements");
                }
                continue;
            }
            if (type_ != XML_READER_TYPE_ELEMENT) {
                continue;
            }
            const std::size_t line = Line();
            if (name_ == "header" && header->Element.Name.empty() && !anyGame) {
                Header(*header);
            } else if (name_ == "game" || name_ == "machine") {
                Game(line);
                anyGame = true;
            } else {
                // Anything else between the games stays in its place.
                rows_.AddGame({TKeptOrigin::Logiqx, Element(), 0}, {}, line);
            }
        }
        if (type_ != XML_READER_TYPE_END_ELEMENT && !empty) {
            Refuse(fileName_, Line(),
                   "the file ends inside <" + header->RootName + ">: it is cut short");
        }
        // Whatever follows the root is an error of the XML itself.
        while (NextNode()) {
        }
        if (!anyGame) {
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

    std::shared_ptr<const TKeptDoctype> Doctype() {
        const auto doctype = pull_->DocumentType();
        if (!doctype) {
            return nullptr;
        }
        return std::make_shared<const TKeptDoctype>(
            TKeptDoctype{doctype->Name, doctype->PublicId, doctype->SystemId});
    }

    // The current element read whole: attributes, children, text. Text
    // between child elements that is only whitespace is layout, not kept.
    TKeptElement Element() {
        TKeptElement element{name_, {}, pull_->Attributes(), {}};
        if (pull_->IsEmptyElement()) {
            return element;
        }
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                if (!element.Children.empty()) {
                    Trim(element.Text); // text beside elements: its layout is the writer's
                }
                return element;
            }
            if (type_ == XML_READER_TYPE_ELEMENT) {
                element.Children.push_back(Element());
            } else if (IsText()) {
                element.Text += pull_->Value();
            }
        }
        Refuse(fileName_, Line(), "the file ends inside <" + element.Name + ">: it is cut short");
    }

    void Header(TKeptHeader& header) {
        header.Element = Element();
        TDatafileCredits& credits = opened_.Credits;
        // The first of each credit's elements is the credit.
        bool seen[5] = {};
        for (const TKeptElement& child : header.Element.Children) {
            const auto take = [&](int index, const char* name, std::string& credit) {
                if (!seen[index] && child.Name == name && child.Children.empty()) {
                    seen[index] = true;
                    credit = child.Text;
                }
            };
            take(0, "name", credits.System);
            take(1, "version", credits.Version);
            take(2, "date", credits.Date);
            take(3, "author", credits.Author);
            if (!seen[4] && child.Name == "comment" && child.Children.empty()) {
                seen[4] = true;
                credits.Comment = WithCrLf(child.Text);
            }
        }
    }

    void Game(std::size_t gameLine) {
        TKeptGame game{TKeptOrigin::Logiqx, {name_, {}, pull_->Attributes(), {}}, 0};
        std::vector<TGameRowBuilder::TRom> roms;
        bool closed = pull_->IsEmptyElement();
        while (!closed && NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                closed = true;
            } else if (type_ == XML_READER_TYPE_ELEMENT) {
                const std::size_t line = Line();
                if (name_ == "rom") {
                    if (roms.empty()) {
                        game.RomsAt = game.Element.Children.size();
                    }
                    roms.push_back({Element(), line});
                } else {
                    game.Element.Children.push_back(Element());
                }
            } else if (IsText()) {
                game.Element.Text += pull_->Value();
            }
        }
        if (!closed) {
            Refuse(fileName_, Line(),
                   "the file ends inside <" + game.Element.Name + ">: it is cut short");
        }
        Trim(game.Element.Text);
        if (roms.empty()) {
            game.RomsAt = game.Element.Children.size();
        }
        rows_.AddGame(std::move(game), std::move(roms), gameLine);
    }

    const std::string& fileName_;
    TOpenedDatafile opened_;
    TGameRowBuilder rows_;
    std::unique_ptr<TXmlPull> pull_;
    int type_ = 0;
    std::string name_;
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
