#include "core/datafile/ClrMameProWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/GameRom.h"
#include "core/datafile/LogiqxVocabulary.h"

#include <algorithm>
#include <array>
#include <string_view>

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

// Where a game's fields stand in a game block: the text fields and the
// attributes first, then the elements that carry attributes, around the roms.
int GameFieldRank(std::string_view name) {
    static constexpr std::array<std::string_view, 17> Order = {
        "name",    "description", "comment",    "year",   "manufacturer", "cloneof",
        "romof",   "sampleof",    "sourcefile", "isbios", "board",        "rebuildto",
        "release", "biosset",     "disk",       "sample", "archive"};
    const auto at = std::find(Order.begin(), Order.end(), name);
    return static_cast<int>(at - Order.begin());
}

// The keys of the clrmamepro block that stand for the attributes of the
// Logiqx header's "clrmamepro" element.
constexpr std::array<const char*, 4> HeaderFlags = {"header", "forcemerging", "forcenodump",
                                                    "forcepacking"};

// The rom's "status" is the format's "flags".
std::string RomKey(const std::string& name) {
    return name == "status" ? "flags" : name;
}

// " key "value"", appended piece by piece.
void AppendKeyValue(std::string& out, const std::string& key, const std::string& value) {
    out += ' ';
    out += key;
    out += ' ';
    out += Quoted(value);
}

class TClrMameProWriter : public IDatafileWriter {
public:
    explicit TClrMameProWriter(const TDatafileInfo& info) : info_(info) {}

    std::string Begin() override {
        const TDatafileCredits& credits = info_.Credits;
        const TKeptHeader* kept = info_.Kept.get();
        const std::vector<TKeptElement> none;
        const std::vector<TKeptElement>& elements = kept != nullptr ? kept->Elements : none;
        const std::string name = DatafileHeaderName(info_);
        const auto keptText = [&elements](const char* key) {
            const TKeptElement* element = KeptElement(elements, key);
            return element != nullptr ? &element->Text : nullptr;
        };
        std::string out = "clrmamepro (\n";
        Field(out, "name", name, "System");
        const std::string* description = keptText("description");
        Field(out, "description", description != nullptr ? *description : name, "System");
        if (const std::string* category = keptText("category")) {
            Field(out, "category", *category, "category");
        }
        Field(out, "version", credits.Version, "Datafile Version");
        if (!credits.Date.empty()) {
            Field(out, "date", credits.Date, "Date");
        }
        Field(out, "author", credits.Author, "Author");
        for (const char* key : {"email", "homepage", "url"}) {
            if (const std::string* text = keptText(key)) {
                Field(out, key, *text, key);
            }
        }
        if (!credits.Comment.empty()) {
            Field(out, "comment", OnOneLine(credits.Comment), "Comment");
        }
        if (const TKeptElement* flags = KeptElement(elements, "clrmamepro")) {
            for (const char* key : HeaderFlags) {
                if (const std::string* value = KeptValue(flags->Attributes, key)) {
                    Field(out, key, *value, key);
                }
            }
        } else if (const std::string detector = HeaderDetectorName(info_); !detector.empty()) {
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
        const TKeptRow* kept = extras.Kept.get();
        const TKeptGame* keptGame = kept != nullptr ? kept->Game.get() : nullptr;
        std::string out;
        if (!gameOpen_ || rom->Game != game_ || keptGame != nullptr) {
            out += CloseGame();
            if (kept != nullptr) {
                out += RomlessGames(kept->GamesBefore);
            }
            TKeptGame game = keptGame != nullptr ? *keptGame : TKeptGame();
            game.Attributes.insert(game.Attributes.begin(), {"name", rom->Game});
            if (!rom->CloneOf.empty()) {
                game.Attributes.emplace_back("cloneof", rom->CloneOf);
            }
            if (KeptElement(game.Elements, "description") == nullptr) {
                game.Elements.push_back({"description", rom->Game, {}});
            }
            std::vector<TKeptElement> fields = GameFields(game);
            const auto roms =
                std::find_if(fields.begin(), fields.end(), [](const TKeptElement& field) {
                    return GameFieldRank(field.Name) > GameFieldRank("biosset");
                });
            afterRoms_.assign(roms, fields.end());
            fields.erase(roms, fields.end());
            out += "\ngame (\n" + Fields(fields);
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
        if (kept != nullptr) {
            for (const auto& [key, value] : InRankOrder(kept->RomAttributes, RomAttributeRank)) {
                CheckKept("rom " + key, value);
                AppendKeyValue(out, RomKey(key), value);
            }
        }
        return out + " )\n";
    }

    std::string End() override {
        std::string out = CloseGame();
        if (info_.Kept != nullptr) {
            out += RomlessGames(info_.Kept->GamesAfter);
        }
        return out;
    }

private:
    static void Field(std::string& out, const char* key, const std::string& text,
                      const char* label) {
        if (const auto cp = RefusedCharacter(text, QuotedRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + QuotedReason);
        }
        out += std::string("\t") + key + " " + Quoted(text) + "\n";
    }

    static void CheckKept(const std::string& key, const std::string& text) {
        if (const auto cp = RefusedCharacter(text, QuotedRefuses)) {
            throw EDatafileError("The game field \"" + key + "\" holds " + CharacterText(*cp) +
                                 ", " + QuotedReason);
        }
    }

    // A game's attributes and elements as the fields of its block, in order.
    static std::vector<TKeptElement> GameFields(const TKeptGame& game) {
        std::vector<TKeptElement> fields = game.Elements;
        for (const auto& [key, value] : game.Attributes) {
            fields.push_back({key, value, {}});
        }
        std::stable_sort(fields.begin(), fields.end(),
                         [](const TKeptElement& a, const TKeptElement& b) {
                             return GameFieldRank(a.Name) < GameFieldRank(b.Name);
                         });
        return fields;
    }

    // Text fields as "key "text"", elements as "key ( attribute "value" ... )";
    // a sample, which has only a name, as "sample "name"".
    static std::string Fields(const std::vector<TKeptElement>& fields) {
        std::string out;
        for (const TKeptElement& field : fields) {
            CheckKept(field.Name, field.Text);
            for (const auto& [key, value] : field.Attributes) {
                CheckKept(field.Name + " " + key, value);
            }
            out += "\t" + field.Name + " ";
            if (field.Attributes.empty()) {
                out += Quoted(field.Text) + "\n";
            } else if (field.Name == "sample" && field.Attributes.size() == 1) {
                out += Quoted(field.Attributes.front().second) + "\n";
            } else {
                out += "(";
                for (const auto& [key, value] : field.Attributes) {
                    AppendKeyValue(out, RomKey(key), value);
                }
                out += " )\n";
            }
        }
        return out;
    }

    std::string CloseGame() {
        if (!gameOpen_) {
            return {};
        }
        gameOpen_ = false;
        return Fields(afterRoms_) + ")\n";
    }

    static std::string RomlessGames(const std::vector<TKeptGame>& games) {
        std::string out;
        for (const TKeptGame& game : games) {
            out += "\ngame (\n" + Fields(GameFields(game)) + ")\n";
        }
        return out;
    }

    TDatafileInfo info_;
    std::string game_;
    bool gameOpen_ = false;
    std::vector<TKeptElement> afterRoms_; // of the open game
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeClrMameProWriter(const TDatafileInfo& info) {
    return std::make_unique<TClrMameProWriter>(info);
}

} // namespace tabula
