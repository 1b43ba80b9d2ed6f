#include "core/datafile/LogiqxWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/GameRom.h"

#include <libxml/xmlwriter.h>

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
        : info_(info), buffer_(xmlBufferCreate()), writer_(xmlNewTextWriterMemory(buffer_, 0)) {
        if (buffer_ == nullptr || writer_ == nullptr) {
            throw std::bad_alloc();
        }
        xmlTextWriterSetIndent(writer_, 1);
        xmlTextWriterSetIndentString(writer_, X("\t"));
    }
    ~TLogiqxWriter() override {
        xmlFreeTextWriter(writer_); // frees nothing of the buffer
        xmlBufferFree(buffer_);
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
        xmlTextWriterStartDocument(writer_, "1.0", "UTF-8", nullptr);
        xmlTextWriterWriteDTD(writer_, X("datafile"),
                              X("-//Logiqx//DTD ROM Management Datafile//EN"),
                              X("http://www.logiqx.com/Dats/datafile.dtd"), nullptr);
        xmlTextWriterStartElement(writer_, X("datafile"));
        xmlTextWriterStartElement(writer_, X("header"));
        Element("name", name);
        Element("description", name);
        Element("version", credits.Version);
        if (!credits.Date.empty()) {
            Element("date", credits.Date);
        }
        Element("author", credits.Author);
        if (!credits.Comment.empty()) {
            Element("comment", WithLineFeeds(credits.Comment));
        }
        if (const std::string detector = HeaderDetectorName(info_.Mode); !detector.empty()) {
            xmlTextWriterStartElement(writer_, X("clrmamepro"));
            xmlTextWriterWriteAttribute(writer_, X("header"), X(detector));
            xmlTextWriterEndElement(writer_);
        }
        xmlTextWriterEndElement(writer_); // header
        return Taken();
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        const std::optional<TGameRom> rom = GameRomOf(row, extras, rowIndex, XmlRefuses, XmlReason);
        if (!rom) {
            return {};
        }
        if (!gameOpen_ || rom->Game != game_) {
            if (gameOpen_) {
                xmlTextWriterEndElement(writer_);
            }
            xmlTextWriterStartElement(writer_, X("game"));
            xmlTextWriterWriteAttribute(writer_, X("name"), X(rom->Game));
            if (!rom->CloneOf.empty()) {
                xmlTextWriterWriteAttribute(writer_, X("cloneof"), X(rom->CloneOf));
            }
            Element("description", rom->Game);
            game_ = rom->Game;
            gameOpen_ = true;
            ++games_;
        }
        xmlTextWriterStartElement(writer_, X("rom"));
        xmlTextWriterWriteAttribute(writer_, X("name"), X(rom->Name));
        xmlTextWriterWriteAttribute(writer_, X("size"), X(std::to_string(rom->Size)));
        // In the DTD's order.
        for (const auto& [key, value] :
             {std::pair{"crc", &rom->Crc}, {"sha1", &rom->Sha1}, {"md5", &rom->Md5}}) {
            if (!value->empty()) {
                xmlTextWriterWriteAttribute(writer_, X(key), X(*value));
            }
        }
        xmlTextWriterEndElement(writer_);
        return Taken();
    }

    std::string End() override {
        if (games_ == 0) {
            throw EDatafileError("A Logiqx datafile holds at least one game: the table has no rom");
        }
        xmlTextWriterEndElement(writer_); // game
        xmlTextWriterEndElement(writer_); // datafile
        xmlTextWriterEndDocument(writer_);
        return Taken();
    }

private:
    void Element(const char* name, const std::string& text) {
        xmlTextWriterWriteElement(writer_, X(name), X(text));
    }

    static void CheckCredit(const std::string& text, const char* label) {
        if (const auto cp = RefusedCharacter(text, XmlRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + XmlReason);
        }
    }

    // What was written since the last call.
    std::string Taken() {
        xmlTextWriterFlush(writer_);
        std::string bytes(reinterpret_cast<const char*>(xmlBufferContent(buffer_)),
                          static_cast<size_t>(xmlBufferLength(buffer_)));
        xmlBufferEmpty(buffer_);
        return bytes;
    }

    TDatafileInfo info_;
    xmlBufferPtr buffer_;
    xmlTextWriterPtr writer_;
    std::string game_;
    bool gameOpen_ = false;
    size_t games_ = 0;
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeLogiqxWriter(const TDatafileInfo& info) {
    return std::make_unique<TLogiqxWriter>(info);
}

} // namespace tabula
