#include "core/datafile/LogiqxWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/GameRom.h"
#include "core/datafile/LogiqxVocabulary.h"
#include "core/datafile/XmlLibrary.h"
#include "core/platform/SharedLibrary.h"

#include <algorithm>
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
        const std::string name = DatafileHeaderName(info_);
        CheckCredit(name, "System");
        xml_.xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr);
        xml_.xmlTextWriterWriteDTD(writer_, X("datafile"),
                                   X("-//Logiqx//DTD ROM Management Datafile//EN"),
                                   X("http://www.logiqx.com/Dats/datafile.dtd"), nullptr);
        xml_.xmlTextWriterStartElement(writer_, X("datafile"));
        const TKeptHeader* kept = info_.Kept.get();
        if (kept != nullptr) {
            Attributes(kept->RootAttributes);
        }
        // The header's children in the DTD's order, the credits among those kept.
        std::vector<TKeptElement> children =
            kept != nullptr ? kept->Elements : std::vector<TKeptElement>();
        const auto add = [&children](const char* key, const std::string& text) {
            children.push_back({key, text, {}});
        };
        add("name", name);
        if (KeptElement(children, "description") == nullptr) {
            add("description", name);
        }
        add("version", credits.Version);
        if (!credits.Date.empty()) {
            add("date", credits.Date);
        }
        add("author", credits.Author);
        if (!credits.Comment.empty()) {
            add("comment", WithLineFeeds(credits.Comment));
        }
        if (const std::string detector = HeaderDetectorName(info_);
            !detector.empty() && KeptElement(children, "clrmamepro") == nullptr) {
            children.push_back({"clrmamepro", {}, {{"header", detector}}});
        }
        xml_.xmlTextWriterStartElement(writer_, X("header"));
        Elements(InRankOrder(std::move(children), HeaderChildRank));
        xml_.xmlTextWriterEndElement(writer_); // header
        return Taken();
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        const std::optional<TGameRom> rom = GameRomOf(row, extras, rowIndex, XmlRefuses, XmlReason);
        if (!rom) {
            return {};
        }
        const TKeptRow* kept = extras.Kept.get();
        const TKeptGame* keptGame = kept != nullptr ? kept->Game.get() : nullptr;
        if (!gameOpen_ || rom->Game != game_ || keptGame != nullptr) {
            CloseGame();
            if (kept != nullptr) {
                RomlessGames(kept->GamesBefore);
            }
            if (keptGame == nullptr) {
                // A scan's game: its name, and its parent's when a clone.
                xml_.xmlTextWriterStartElement(writer_, X("game"));
                xml_.xmlTextWriterWriteAttribute(writer_, X("name"), X(rom->Game));
                if (!rom->CloneOf.empty()) {
                    xml_.xmlTextWriterWriteAttribute(writer_, X("cloneof"), X(rom->CloneOf));
                }
                xml_.xmlTextWriterWriteElement(writer_, X("description"), X(rom->Game));
                afterRoms_.clear();
            } else {
                StartKeptGame(*rom, *keptGame);
            }
            game_ = rom->Game;
            gameOpen_ = true;
        }
        xml_.xmlTextWriterStartElement(writer_, X("rom"));
        xml_.xmlTextWriterWriteAttribute(writer_, X("name"), X(rom->Name));
        xml_.xmlTextWriterWriteAttribute(writer_, X("size"), X(std::to_string(rom->Size)));
        // In the DTD's order, which the kept ones ("merge", "status",
        // "date") all follow.
        for (const auto& [key, value] :
             {std::pair{"crc", &rom->Crc}, {"sha1", &rom->Sha1}, {"md5", &rom->Md5}}) {
            if (!value->empty()) {
                xml_.xmlTextWriterWriteAttribute(writer_, X(key), X(*value));
            }
        }
        if (kept != nullptr) {
            Attributes(InRankOrder(kept->RomAttributes, RomAttributeRank));
        }
        xml_.xmlTextWriterEndElement(writer_);
        // Taken in pieces of many rows: a piece per row costs more than its row.
        return ++untaken_ % 256 == 0 ? Taken() : std::string();
    }

    std::string End() override {
        CloseGame();
        if (info_.Kept != nullptr) {
            RomlessGames(info_.Kept->GamesAfter);
        }
        if (games_ == 0) {
            throw EDatafileError("A Logiqx datafile holds at least one game: the table has no rom");
        }
        xml_.xmlTextWriterEndElement(writer_); // datafile
        xml_.xmlTextWriterEndDocument(writer_);
        return Taken();
    }

private:
    // A game read from a file: what it kept beside its rows, in the DTD's order.
    void StartKeptGame(const TGameRom& rom, const TKeptGame& game) {
        TKeptAttributes attributes = game.Attributes;
        attributes.insert(attributes.begin(), {"name", rom.Game});
        if (!rom.CloneOf.empty()) {
            attributes.emplace_back("cloneof", rom.CloneOf);
        }
        std::vector<TKeptElement> children = game.Elements;
        if (KeptElement(children, "description") == nullptr) {
            children.push_back({"description", rom.Game, {}});
        }
        children = InRankOrder(std::move(children), GameChildRank);
        // The children that follow the roms wait for the game's end.
        const auto roms = std::find_if(children.begin(), children.end(), [](const TKeptElement& e) {
            return GameChildRank(e.Name) > RomRank;
        });
        afterRoms_.assign(roms, children.end());
        children.erase(roms, children.end());
        xml_.xmlTextWriterStartElement(writer_, X("game"));
        Attributes(InRankOrder(std::move(attributes), GameAttributeRank));
        Elements(children);
    }

    void CloseGame() {
        if (gameOpen_) {
            Elements(afterRoms_);
            xml_.xmlTextWriterEndElement(writer_);
            gameOpen_ = false;
            ++games_;
        }
    }

    void RomlessGames(const std::vector<TKeptGame>& games) {
        for (const TKeptGame& game : games) {
            xml_.xmlTextWriterStartElement(writer_, X("game"));
            Attributes(InRankOrder(game.Attributes, GameAttributeRank));
            Elements(InRankOrder(game.Elements, GameChildRank));
            xml_.xmlTextWriterEndElement(writer_);
            ++games_;
        }
    }

    void Attributes(const TKeptAttributes& attributes) {
        for (const auto& [key, value] : attributes) {
            xml_.xmlTextWriterWriteAttribute(writer_, X(key), X(value));
        }
    }

    void Elements(const std::vector<TKeptElement>& elements) {
        for (const TKeptElement& element : elements) {
            if (IsTextElement(element.Name)) {
                xml_.xmlTextWriterWriteElement(writer_, X(element.Name), X(element.Text));
            } else {
                xml_.xmlTextWriterStartElement(writer_, X(element.Name));
                Attributes(element.Attributes);
                xml_.xmlTextWriterEndElement(writer_);
            }
        }
    }

    static void CheckCredit(const std::string& text, const char* label) {
        if (const auto cp = RefusedCharacter(text, XmlRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + XmlReason);
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
    std::string game_;
    bool gameOpen_ = false;
    std::vector<TKeptElement> afterRoms_; // of the open game
    size_t games_ = 0;
    size_t untaken_ = 0; // rows written since the last piece was taken
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
