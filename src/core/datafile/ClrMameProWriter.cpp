#include "core/datafile/ClrMameProWriter.h"

#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileVocabulary.h"
#include "core/datafile/GameRom.h"
#include "core/datafile/KeptWriting.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tabula {

namespace {

bool QuotedRefuses(char32_t cp) {
    return (cp < 0x20 && cp != '\t') || cp == 0x7F;
}

const char* const QuotedReason = "which the format's quoted strings cannot hold";

void AppendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
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

void Check(const std::string& what, const std::string& text) {
    if (const auto cp = RefusedCharacter(text, QuotedRefuses)) {
        throw EDatafileError("The field \"" + what + "\" holds " + CharacterText(*cp) + ", " +
                             QuotedReason);
    }
}

// " key "value"".
void AppendKeyValue(std::string& out, const std::string& key, const std::string& value) {
    Check(key, value);
    out += ' ';
    out += key;
    out += ' ';
    AppendQuoted(out, value);
}

// A block's inside: " key "value"" for each attribute, " key ( ... )" for each child.
void AppendBlock(std::string& out, const TKeptElement& element) {
    out += element.Name;
    out += " (";
    for (const auto& [key, value] : element.Attributes) {
        AppendKeyValue(out, key, value);
    }
    for (const TKeptElement& child : element.Children) {
        out += ' ';
        AppendBlock(out, child);
    }
    out += " )";
}

// A field of a top block: "key "text"", or a block.
void AppendFields(std::string& out, const std::vector<TKeptElement>& fields) {
    for (const TKeptElement& field : fields) {
        out += '\t';
        if (field.Attributes.empty() && field.Children.empty()) {
            Check(field.Name, field.Text);
            out += field.Name;
            out += ' ';
            AppendQuoted(out, field.Text);
        } else {
            AppendBlock(out, field);
        }
        out += '\n';
    }
}

class TClrMameProWriter : public IDatafileWriter {
public:
    explicit TClrMameProWriter(const TDatafileInfo& info) : info_(info) {
        upperHex_ = info_.Kept != nullptr && info_.Kept->UpperHex;
    }

    std::string Begin() override {
        const TDatafileCredits& credits = info_.Credits;
        CheckCredit(DatafileHeaderName(info_), "System");
        CheckCredit(credits.Version, "Datafile Version");
        CheckCredit(credits.Date, "Date");
        CheckCredit(credits.Author, "Author");
        CheckCredit(OnOneLine(credits.Comment), "Comment");
        TKeptElement converted;
        const TKeptElement* header =
            HeaderIn(info_.Kept.get(), TKeptOrigin::ClrMamePro, converted, dropped_);
        std::vector<TKeptElement> fields =
            HeaderChildren(header != nullptr ? *header : TKeptElement{"clrmamepro", {}, {}, {}},
                           info_, OnOneLine(credits.Comment), ClrMameProHeaderRank);
        if (const std::string detector = HeaderDetectorName(info_);
            !detector.empty() && KeptElement(fields, "header") == nullptr) {
            fields.push_back({"header", detector, {}, {}});
        }
        std::string out = "clrmamepro (\n";
        AppendFields(out, fields);
        out += ")\n";
        return out;
    }

    std::string Add(const TRomTable::TRow& row, const TRowExtras& extras,
                    size_t rowIndex) override {
        std::optional<TGameRom> rom =
            GameRomOf(row, extras, rowIndex, QuotedRefuses, QuotedReason, upperHex_);
        if (!rom) {
            return {};
        }
        const TKeptRow* kept = extras.Kept.get();
        const TKeptGame* keptGame = kept != nullptr ? kept->Game.get() : nullptr;
        std::string out;
        out.reserve(256); // a row's lines, its game's mostly
        if (!gameOpen_ || rom->Game != game_ || keptGame != nullptr) {
            CloseGame(out);
            if (LeaveOutLostClone(*rom, info_.Games.get())) {
                ++dropped_[LostCloneName];
            }
            if (kept != nullptr) {
                Items(out, kept->GamesBefore);
            }
            TKeptGame converted;
            const TKeptGame* game = keptGame != nullptr ? GameIn(*keptGame, TKeptOrigin::ClrMamePro,
                                                                 converted, dropped_)
                                                        : nullptr;
            std::vector<TKeptElement> fields;
            std::size_t split = 0;
            const std::string* nameAsRead = nullptr;
            std::string tag = "game";
            if (game != nullptr) {
                // A converted game is this writer's own, its fields taken; a
                // conversion keeps the name as read.
                fields = game == &converted ? std::move(converted.Element.Children)
                                            : game->Element.Children;
                split = std::min(game->RomsAt, fields.size());
                nameAsRead = KeptGameName(*keptGame);
                tag = game->Element.Name;
            } else {
                // A scan's game: its name, and its parent's when a clone.
                fields = {{"name", {}, {}, {}}, {"description", rom->Game, {}, {}}};
                split = fields.size();
            }
            SetGameNames(fields, nameAsRead, rom->Game, rom->CloneOf, ClrMameProGameRank, split,
                         true);
            afterRoms_.assign(
                std::make_move_iterator(fields.begin() + static_cast<std::ptrdiff_t>(split)),
                std::make_move_iterator(fields.end()));
            fields.resize(split);
            out += '\n';
            out += tag;
            out += " (\n";
            AppendFields(out, fields);
            game_ = rom->Game;
            gameOpen_ = true;
        }
        TKeptElement converted;
        const TKeptElement* keptRom =
            kept != nullptr ? RomIn(*kept, TKeptOrigin::ClrMamePro, converted, dropped_) : nullptr;
        static constexpr std::array<std::string_view, 6> Order = {"name", "size", "crc",
                                                                  "md5",  "sha1", "sha256"};
        out += "\trom (";
        for (const TRomField& field : RomFields(*rom, keptRom, Order)) {
            const std::string key(field.Key);
            if (field.FromRow && key != "name") {
                // a number or hexadecimal digits
                out += ' ';
                out += key;
                out += ' ';
                out += field.Value;
            } else {
                AppendKeyValue(out, key, field.Value);
            }
        }
        if (keptRom != nullptr) {
            for (const TKeptElement& child : keptRom->Children) {
                out += ' ';
                AppendBlock(out, child);
            }
        }
        out += " )\n";
        return out;
    }

    std::string End() override {
        std::string out;
        CloseGame(out);
        if (info_.Kept != nullptr) {
            Items(out, info_.Kept->GamesAfter);
        }
        return out;
    }

    TDroppedNames Dropped() const override { return dropped_; }

private:
    static void CheckCredit(const std::string& text, const char* label) {
        if (const auto cp = RefusedCharacter(text, QuotedRefuses)) {
            throw EDatafileError(std::string("The credit \"") + label + "\" holds " +
                                 CharacterText(*cp) + ", " + QuotedReason);
        }
    }

    void CloseGame(std::string& out) {
        if (gameOpen_) {
            gameOpen_ = false;
            AppendFields(out, afterRoms_);
            out += ")\n";
        }
    }

    // Games without a rom and other blocks between the games, as kept.
    void Items(std::string& out, const std::vector<TKeptGame>& items) {
        for (const TKeptGame& item : items) {
            TKeptGame converted;
            if (const TKeptGame* game =
                    GameIn(item, TKeptOrigin::ClrMamePro, converted, dropped_)) {
                out += '\n';
                out += game->Element.Name;
                out += " (\n";
                AppendFields(out, game->Element.Children);
                out += ")\n";
            }
        }
    }

    TDatafileInfo info_;
    bool upperHex_ = false;
    std::string game_;
    bool gameOpen_ = false;
    std::vector<TKeptElement> afterRoms_; // of the open game
    TDroppedNames dropped_;
};

} // namespace

std::unique_ptr<IDatafileWriter> MakeClrMameProWriter(const TDatafileInfo& info) {
    return std::make_unique<TClrMameProWriter>(info);
}

} // namespace tabula
