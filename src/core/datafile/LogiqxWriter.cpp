#include "core/datafile/LogiqxWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileVocabulary.h"
#include "core/datafile/GameRom.h"
#include "core/datafile/KeptWriting.h"
#include "core/platform/SharedLibrary.h"
#include "core/xml/XmlLibrary.h"

#include <algorithm>
#include <array>
#include <new>

namespace tabula {

namespace {

bool XmlRefuses(char32_t cp) {
    return cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r';
}

const char* const XmlReason = "which XML 1.0 cannot hold";

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

const xmlChar* X(const std::string& text) {
    return X(text.c_str());
}

// XML reads CR LF as LF: the comment's lines are written with LF alone.
std::string WithLineFeeds(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            i += i + 1 < text.size() && text[i + 1] == '\n' ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsGame(const std::string& tag) {
    return tag == "game" || tag == "machine";
}

class TLogiqxWriter : public IDatafileWriter {
public:
    explicit TLogiqxWriter(const TDatafileInfo& info)
        : xml_(XmlLibrary()), info_(info), buffer_(xml_.xmlBufferCreate()),
          writer_(xml_.xmlNewTextWriterMemory(buffer_, 0)) {
        if (buffer_ == nullptr || writer_ == nullptr) {
            throw std::bad_alloc();
        }
        xml_.xmlTextWriterSetIndent(writer_, 1);
        xml_.xmlTextWriterSetIndentString(writer_, X("\t"));
        const TKeptHeader* kept = info_.Kept.get();
        upperHex_ = kept != nullptr && kept->UpperHex;
    }
    ~TLogiqxWriter() override {
        xml_.xmlFreeTextWriter(writer_); // frees nothing of the buffer
        xml_.xmlBufferFree(buffer_);
    }
    TLogiqxWriter(const TLogiqxWriter&) = delete;
    TLogiqxWriter& operator=(const TLogiqxWriter&) = delete;

    std::string Begin() override {
        const TDatafileCredits& credits = info_.Credits;
        CheckCredit(credits.System, "System");
        CheckCredit(credits.Version, "Datafile Version");
        CheckCredit(credits.Date, "Date");
        CheckCredit(credits.Author, "Author");
        CheckCredit(credits.Comment, "Comment");
        CheckCredit(DatafileHeaderName(info_), "System");
        const TKeptHeader* kept = info_.Kept.get();
        const bool ours = kept != nullptr && kept->Origin == TKeptOrigin::Logiqx;
        xml_.xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr);
        if (!ours) {
            xml_.xmlTextWriterWriteDTD(writer_, X("datafile"),
                                       X("-//Logiqx//DTD ROM Management Datafile//EN"),
                                       X("http://www.logiqx.com/Dats/datafile.dtd"), nullptr);
        } else if (const TKeptDoctype* doctype = kept->Doctype.get()) {
            const auto id = [](const std::string& text) {
                return text.empty() ? nullptr : X(text);
            };
            xml_.xmlTextWriterWriteDTD(writer_, X(doctype->Name), id(doctype->PublicId),
                                       id(doctype->SystemId), nullptr);
        }
        xml_.xmlTextWriterStartElement(writer_, X(ours ? kept->RootName : "datafile"));
        if (ours) {
            Attributes(kept->RootAttributes);
        }
        TKeptElement converted;
        const TKeptElement* header = HeaderIn(kept, TKeptOrigin::Logiqx, converted, dropped_);
        std::vector<TKeptElement> children =
            HeaderChildren(header != nullptr ? *header : TKeptElement{"header", {}, {}, {}}, info_,
                           WithLineFeeds(credits.Comment), HeaderChildRank);
        if (const std::string detector = HeaderDetectorName(info_);
            !detector.empty() && KeptElement(children, "clrmamepro") == nullptr) {
            children.push_back({"clrmamepro", {}, {{"header", detector}}, {}});
        }
        xml_.xmlTextWriterStartElement(writer_, X("header"));
        if (header != nullptr) {
            Attributes(header->Attributes);
        }
        Elements(children);
        xml_.xmlTextWriterEndElement(writer_); // header
        return Taken();
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        std::optional<TGameRom> rom =
            GameRomOf(row, extras, rowIndex, XmlRefuses, XmlReason, upperHex_);
        if (!rom) {
            return {};
        }
        const TKeptRow* kept = extras.Kept.get();
        const TKeptGame* keptGame = kept != nullptr ? kept->Game.get() : nullptr;
        if (!gameOpen_ || rom->Game != game_ || keptGame != nullptr) {
            CloseGame();
            if (LeaveOutLostClone(*rom, info_.Games.get())) {
                ++dropped_[LostCloneName];
            }
            if (kept != nullptr) {
                Items(kept->GamesBefore);
            }
            TKeptGame converted;
            const TKeptGame* game =
                keptGame != nullptr ? GameIn(*keptGame, TKeptOrigin::Logiqx, converted, dropped_)
                                    : nullptr;
            if (game == nullptr) {
                // A scan's game: its name, and its parent's when a clone.
                xml_.xmlTextWriterStartElement(writer_, X("game"));
                xml_.xmlTextWriterWriteAttribute(writer_, X("name"), X(rom->Game));
                if (!rom->CloneOf.empty()) {
                    xml_.xmlTextWriterWriteAttribute(writer_, X("cloneof"), X(rom->CloneOf));
                }
                xml_.xmlTextWriterWriteElement(writer_, X("description"), X(rom->Game));
                afterRoms_.clear();
            } else {
                StartKeptGame(*rom, *game);
            }
            game_ = rom->Game;
            gameOpen_ = true;
        }
        TKeptElement converted;
        const TKeptElement* keptRom =
            kept != nullptr ? RomIn(*kept, TKeptOrigin::Logiqx, converted, dropped_) : nullptr;
        Rom(*rom, keptRom);
        // Taken in pieces of many rows: a piece per row costs more than its row.
        return ++untaken_ % 256 == 0 ? Taken() : std::string();
    }

    std::string End() override {
        CloseGame();
        if (info_.Kept != nullptr) {
            Items(info_.Kept->GamesAfter);
        }
        if (games_ == 0) {
            throw EDatafileError("A Logiqx datafile holds at least one game: the table has no rom");
        }
        xml_.xmlTextWriterEndElement(writer_); // datafile
        xml_.xmlTextWriterEndDocument(writer_);
        return Taken();
    }

    TDroppedNames Dropped() const override { return dropped_; }

private:
    // A game read from a file: what it kept beside its rows, in its place.
    void StartKeptGame(const TGameRom& rom, const TKeptGame& game) {
        xml_.xmlTextWriterStartElement(writer_, X(game.Element.Name));
        bool cloneWritten = false;
        for (const auto& [key, value] : game.Element.Attributes) {
            if (key == "name") {
                Attribute(key, rom.Game);
            } else if (key == "cloneof") {
                cloneWritten = true;
                if (!rom.CloneOf.empty()) {
                    Attribute(key, rom.CloneOf);
                }
            } else {
                Attribute(key, value);
            }
        }
        if (!cloneWritten && !rom.CloneOf.empty()) {
            Attribute("cloneof", rom.CloneOf);
        }
        std::vector<TKeptElement> children = game.Element.Children;
        std::size_t split = std::min(game.RomsAt, children.size());
        SetGameNames(children, KeptGameName(game), rom.Game, rom.CloneOf, GameChildRank, split,
                     false);
        if (!game.Element.Text.empty()) {
            xml_.xmlTextWriterWriteString(writer_, X(game.Element.Text));
        }
        afterRoms_.assign(children.begin() + static_cast<std::ptrdiff_t>(split), children.end());
        children.resize(split);
        Elements(children);
    }

    void Rom(const TGameRom& rom, const TKeptElement* kept) {
        static constexpr std::array<std::string_view, 6> Order = {"name", "size", "crc",
                                                                  "sha1", "md5",  "sha256"};
        xml_.xmlTextWriterStartElement(writer_, X("rom"));
        for (const TRomField& field : RomFields(rom, kept, Order)) {
            Attribute(std::string(field.Key), field.Value);
        }
        if (kept != nullptr) {
            if (!kept->Text.empty() && kept->Children.empty()) {
                xml_.xmlTextWriterWriteString(writer_, X(kept->Text));
            }
            Elements(kept->Children);
        }
        xml_.xmlTextWriterEndElement(writer_);
    }

    void CloseGame() {
        if (gameOpen_) {
            Elements(afterRoms_);
            xml_.xmlTextWriterEndElement(writer_);
            gameOpen_ = false;
            ++games_;
        }
    }

    // Games without a rom and other items between the games, as kept.
    void Items(const std::vector<TKeptGame>& items) {
        for (const TKeptGame& item : items) {
            TKeptGame converted;
            if (const TKeptGame* game = GameIn(item, TKeptOrigin::Logiqx, converted, dropped_)) {
                Element(game->Element);
                games_ += IsGame(game->Element.Name) ? 1 : 0;
            }
        }
    }

    void Attribute(const std::string& key, const std::string& value) {
        CheckKept(key, value);
        xml_.xmlTextWriterWriteAttribute(writer_, X(key), X(value));
    }

    void Attributes(const TKeptAttributes& attributes) {
        for (const auto& [key, value] : attributes) {
            Attribute(key, value);
        }
    }

    void Elements(const std::vector<TKeptElement>& elements) {
        for (const TKeptElement& element : elements) {
            Element(element);
        }
    }

    void Element(const TKeptElement& element) {
        CheckKept(element.Name, element.Text);
        if (IsTextElement(element.Name) && element.Attributes.empty() && element.Children.empty()) {
            xml_.xmlTextWriterWriteElement(writer_, X(element.Name), X(element.Text));
            return;
        }
        xml_.xmlTextWriterStartElement(writer_, X(element.Name));
        Attributes(element.Attributes);
        if (!element.Text.empty()) {
            xml_.xmlTextWriterWriteString(writer_, X(element.Text));
        }
        Elements(element.Children);
        xml_.xmlTextWriterEndElement(writer_);
    }

    static void CheckCredit(const std::string& text, const char* label) {
        if (const auto cp = RefusedCharacter(text, XmlRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + XmlReason);
        }
    }

    // A kept text was read from XML, so it holds nothing XML cannot; one
    // converted from ClrMamePro is checked all the same.
    static void CheckKept(const std::string& name, const std::string& text) {
        if (const auto cp = RefusedCharacter(text, XmlRefuses)) {
            throw EDatafileError("The field \"" + name + "\" holds " + CharacterText(*cp) + ", " +
                                 XmlReason);
        }
    }

    // What was written since the last call.
    std::string Taken() {
        xml_.xmlTextWriterFlush(writer_);
        std::string bytes(reinterpret_cast<const char*>(xml_.xmlBufferContent(buffer_)),
                          static_cast<size_t>(xml_.xmlBufferLength(buffer_)));
        xml_.xmlBufferEmpty(buffer_);
        return bytes;
    }

    const TXmlLibrary& xml_;
    TDatafileInfo info_;
    xmlBufferPtr buffer_;
    xmlTextWriterPtr writer_;
    bool upperHex_ = false;
    std::string game_;
    bool gameOpen_ = false;
    std::vector<TKeptElement> afterRoms_; // of the open game
    size_t games_ = 0;
    size_t untaken_ = 0; // rows written since the last piece was taken
    TDroppedNames dropped_;
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeLogiqxWriter(const TDatafileInfo& info) {
    try {
        XmlLibrary();
    } catch (const ESystemLibraryError& error) {
        throw EDatafileError(error.what());
    }
    return std::make_unique<TLogiqxWriter>(info);
}

} // namespace tabula
