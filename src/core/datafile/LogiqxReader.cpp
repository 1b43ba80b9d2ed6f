#include "core/datafile/DatafileReaders.h"
#include "core/platform/SharedLibrary.h"
#include "core/text/BlankText.h"
#include "core/text/ErrorText.h"
#include "core/xml/XmlLibrary.h"
#include "core/xml/XmlPull.h"

#include <libxml/parser.h>

#include <climits>
#include <memory>

namespace tabula {

namespace {

void Trim(std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

class TLogiqxReader {
public:
    TLogiqxReader(std::string_view bytes, const std::string& fileName, IDatafileContent& content)
        : fileName_(fileName), rows_(content, TDatafileFormat::Logiqx, fileName) {
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

    void Read(std::string_view bytes) {
        // The rows' room at once: growing it would move them again and again.
        std::size_t roms = 0;
        for (std::size_t at = bytes.find("<rom "); at != std::string_view::npos;
             at = bytes.find("<rom ", at + 5)) {
            ++roms;
        }
        rows_.Expect(roms);
        TKeptHeader* header = &rows_.Header();
        if (!NextNode() || type_ != XML_READER_TYPE_ELEMENT) {
            Refuse(fileName_, Line(), "the XML holds no element: it is not a datafile");
        }
        if (Name() != "datafile" && Name() != "mame") {
            Refuse(fileName_, Line(),
                   "this is not a Logiqx datafile: its root element is " +
                       QuotedForMessage("<" + Name() + ">"));
        }
        header->RootName = Name();
        header->RootAttributes = pull_->Attributes();
        header->Doctype = Doctype();
        bool anyGame = false;
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                break;
            }
            if (IsText()) {
                if (const std::string text = pull_->Value(); !IsBlankText(text)) {
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
            if (Name() == "header" && header->Element.Name.empty() && !anyGame) {
                Header(*header);
            } else if (Name() == "game" || Name() == "machine") {
                Game(line);
                anyGame = true;
            } else {
                // Anything else between the games stays in its place.
                rows_.AddGame({TKeptOrigin::Logiqx, Element(), 0}, {}, line);
            }
        }
        if (type_ != XML_READER_TYPE_END_ELEMENT) {
            Refuse(fileName_, Line(),
                   "the file ends inside <" + header->RootName + ">: it is cut short");
        }
        // Whatever follows the root is an error of the XML itself.
        while (NextNode()) {
        }
        if (!anyGame) {
            Refuse(fileName_, Line(), "the datafile holds no game");
        }
        rows_.Finish();
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
        return true;
    }

    std::size_t Line() { return pull_->Line(); }
    const std::string& Name() const { return pull_->Name(); }
    void AddText(std::string& text) {
        if (text.empty()) {
            text = pull_->Value(); // most texts come in one piece
        } else {
            text += pull_->Value();
        }
    }
    bool IsText() const { return pull_->IsText(); }
    // Text that is only blanks: the layout between elements.
    bool IsLayout() const {
        return type_ == XML_READER_TYPE_WHITESPACE ||
               type_ == XML_READER_TYPE_SIGNIFICANT_WHITESPACE;
    }

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
        TKeptElement element{Name(), {}, pull_->Attributes(), {}};
        while (NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                if (!element.Children.empty()) {
                    Trim(element.Text); // text beside elements: its layout is the writer's
                }
                return element;
            }
            if (type_ == XML_READER_TYPE_ELEMENT) {
                if (element.Children.empty()) {
                    element.Children.reserve(4);
                    if (IsBlankText(element.Text)) {
                        element.Text.clear(); // trimmed at the end in any case
                    }
                }
                element.Children.push_back(Element());
            } else if (IsText() &&
                       !(IsLayout() && element.Text.empty() && !element.Children.empty())) {
                AddText(element.Text);
            }
        }
        Refuse(fileName_, Line(), "the file ends inside <" + element.Name + ">: it is cut short");
    }

    void Header(TKeptHeader& header) {
        header.Element = Element();
        rows_.TakeCredits(header.Element);
    }

    void Game(std::size_t gameLine) {
        TKeptGame game{TKeptOrigin::Logiqx, {Name(), {}, pull_->Attributes(), {}}, 0};
        std::vector<TGameRowBuilder::TRom> roms;
        bool closed = false;
        while (!closed && NextNode()) {
            if (type_ == XML_READER_TYPE_END_ELEMENT) {
                closed = true;
            } else if (type_ == XML_READER_TYPE_ELEMENT) {
                if (Name() == "rom") {
                    if (roms.empty()) {
                        game.RomsAt = game.Element.Children.size();
                    }
                    const std::size_t line = Line();
                    roms.push_back({Element(), line});
                } else {
                    if (game.Element.Children.empty()) {
                        game.Element.Children.reserve(4); // a game's handful of fields
                    }
                    game.Element.Children.push_back(Element());
                }
            } else if (IsText() && !(IsLayout() && game.Element.Text.empty())) {
                AddText(game.Element.Text); // trimmed at the end
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
    TGameRowBuilder rows_;
    std::unique_ptr<TXmlPull> pull_;
    int type_ = 0;
};

} // namespace

void ReadLogiqx(std::string_view bytes, const std::string& fileName, IDatafileContent& content) {
    try {
        XmlLibrary();
    } catch (const ESystemLibraryError& error) {
        Refuse(fileName, 0, error.what());
    }
    TLogiqxReader(bytes, fileName, content).Read(bytes);
}

} // namespace tabula
