#include "core/datafile/ClrMameProWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/GameRom.h"

namespace tabula {

namespace {

bool QuotedRefuses(char32_t cp) {
    return cp < 0x20 || cp == 0x7F;
}

const char* const QuotedReason = "which the format's quoted strings cannot hold";

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// The comment's lines joined with a blank.
std::string OnOneLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += ' ';
            i += text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

class TClrMameProWriter : public IDatafileWriter {
public:
    explicit TClrMameProWriter(const TDatafileInfo& info) : info_(info) {}

    std::string Begin() override {
        const TDatafileCredits& credits = info_.Credits;
        const std::string name = DatafileHeaderName(info_);
        std::string out = "clrmamepro (\n";
        Field(out, "name", name, "System");
        Field(out, "description", name, "System");
        Field(out, "version", credits.Version, "Datafile Version");
        if (!credits.Date.empty()) {
            Field(out, "date", credits.Date, "Date");
        }
        Field(out, "author", credits.Author, "Author");
        if (!credits.Comment.empty()) {
            Field(out, "comment", OnOneLine(credits.Comment), "Comment");
        }
        if (const std::string detector = HeaderDetectorName(info_.Mode); !detector.empty()) {
            out += "\theader " + Quoted(detector) + "\n";
        }
        return out + ")\n";
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        const std::optional<TGameRom> rom =
            GameRomOf(row, extras, rowIndex, QuotedRefuses, QuotedReason);
        if (!rom) {
            return {};
        }
        std::string out;
        if (!gameOpen_ || rom->Game != game_) {
            out += gameOpen_ ? ")\n\ngame (\n" : "\ngame (\n";
            out += "\tname " + Quoted(rom->Game) + "\n";
            out += "\tdescription " + Quoted(rom->Game) + "\n";
            if (!rom->CloneOf.empty()) {
                out += "\tcloneof " + Quoted(rom->CloneOf) + "\n";
            }
            game_ = rom->Game;
            gameOpen_ = true;
        }
        out += "\trom ( name " + Quoted(rom->Name) + " size " + std::to_string(rom->Size);
        for (const auto& [key, value] :
             {std::pair{"crc", &rom->Crc}, {"md5", &rom->Md5}, {"sha1", &rom->Sha1}}) {
            if (!value->empty()) {
                out += std::string(" ") + key + " " + *value;
            }
        }
        return out + " )\n";
    }

    std::string End() override { return gameOpen_ ? ")\n" : ""; }

private:
    static void Field(std::string& out, const char* key, const std::string& text,
                      const char* label) {
        if (const auto cp = RefusedCharacter(text, QuotedRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + QuotedReason);
        }
        out += std::string("\t") + key + " " + Quoted(text) + "\n";
    }

    TDatafileInfo info_;
    std::string game_;
    bool gameOpen_ = false;
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeClrMameProWriter(const TDatafileInfo& info) {
    return std::make_unique<TClrMameProWriter>(info);
}

} // namespace tabula
