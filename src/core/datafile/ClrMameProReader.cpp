#include "core/datafile/DatafileReaders.h"
#include "core/text/BlankText.h"
#include "core/text/CodePages.h"
#include "core/text/ErrorText.h"

#include <algorithm>

namespace tabula {

namespace {

bool IsGameBlock(const std::string& name) {
    return name == "game" || name == "machine" || name == "resource";
}

struct TToken {
    enum TKind { End, Open, Close, Word, String } Kind = End;
    std::string Text;
    std::size_t Line = 0;
};

class TClrMameProReader {
public:
    TClrMameProReader(std::string_view bytes, const std::string& fileName,
                      IDatafileContent& content)
        : bytes_(bytes), fileName_(fileName),
          rows_(content, TDatafileFormat::ClrMamePro, fileName) {
        if (bytes_.starts_with("\xEF\xBB\xBF")) {
            bytes_.remove_prefix(3);
        }
    }

    void Read() {
        TKeptHeader* header = &rows_.Header();
        bool anyBlock = false;
        bool anyGame = false;
        for (TToken token = Next(); token.Kind != TToken::End; token = Next()) {
            if (token.Kind != TToken::Word) {
                Refuse(fileName_, token.Line,
                       QuotedForMessage(token.Text) +
                           " stands where a block such as \"game (\" belongs");
            }
            const TToken open = Next();
            if (open.Kind != TToken::Open) {
                Refuse(fileName_, open.Line,
                       QuotedForMessage(token.Text) + " is not followed by \"(\"");
            }
            anyBlock = true;
            if (token.Text == "clrmamepro" && header->Element.Name.empty() && !anyGame) {
                header->Element = TopBlock(token, nullptr, nullptr);
                rows_.TakeCredits(header->Element);
            } else if (IsGameBlock(token.Text)) {
                Game(token);
                anyGame = true;
            } else {
                // Any other block stays in its place among the games.
                rows_.AddGame({TKeptOrigin::ClrMamePro, TopBlock(token, nullptr, nullptr), 0}, {},
                              token.Line);
            }
        }
        if (!anyBlock) {
            Refuse(fileName_, 0, "the datafile holds no block");
        }
        rows_.Finish();
    }

private:
    void EndLine(char c) {
        // LF, CR LF and a lone CR each end a line.
        if (c == '\n' || (c == '\r' && (pos_ >= bytes_.size() || bytes_[pos_] != '\n'))) {
            ++line_;
        }
    }

    TToken Next() {
        while (pos_ < bytes_.size() && IsBlank(bytes_[pos_])) {
            const char c = bytes_[pos_++];
            EndLine(c);
        }
        TToken token;
        token.Line = line_;
        if (pos_ >= bytes_.size()) {
            return token;
        }
        if (bytes_[pos_] == '"') {
            token.Kind = TToken::String;
            ++pos_;
            while (true) {
                if (pos_ >= bytes_.size() || bytes_[pos_] == '\n' || bytes_[pos_] == '\r') {
                    Refuse(fileName_, token.Line, "a quoted text is not closed on its line");
                }
                char next = bytes_[pos_++];
                if (next == '"') {
                    break;
                }
                if (next == '\\' && pos_ < bytes_.size() &&
                    (bytes_[pos_] == '"' || bytes_[pos_] == '\\')) {
                    next = bytes_[pos_++];
                }
                token.Text += next;
            }
        } else {
            // A word runs to the next blank; only a lone "(" or ")" opens or
            // closes a block, so "Farmyfarm(v1.0)" is one word.
            const std::size_t start = pos_;
            while (pos_ < bytes_.size() && !IsBlank(bytes_[pos_])) {
                ++pos_;
            }
            token.Text.assign(bytes_.substr(start, pos_ - start));
            token.Kind = token.Text == "("   ? TToken::Open
                         : token.Text == ")" ? TToken::Close
                                             : TToken::Word;
            if (token.Kind != TToken::Word) {
                return token;
            }
        }
        token.Text = ValidUtf8Text(token.Text);
        for (const char ch : token.Text) {
            if ((static_cast<unsigned char>(ch) < 0x20 && ch != '\t') || ch == 0x7F) {
                Refuse(fileName_, token.Line, "a text holds a control character");
            }
        }
        return token;
    }

    // What follows a key: a word or a quoted text (Text), or a block.
    struct TField {
        TKeptElement Element;
        bool IsBlock = false;
    };
    TField Field(const TToken& key) {
        const TToken value = Next();
        if (value.Kind == TToken::End) {
            Refuse(fileName_, key.Line,
                   "the file ends after " + QuotedForMessage(key.Text) + ": it is cut short");
        }
        if (value.Kind == TToken::Close) {
            Refuse(fileName_, value.Line, QuotedForMessage(key.Text) + " has no value");
        }
        if (value.Kind == TToken::Open) {
            return {InnerBlock(key), true};
        }
        return {{key.Text, value.Text, {}, {}}, false};
    }

    // Calls field with each key of a block up to its ")".
    template <class F> void Block(const TToken& block, F field) {
        while (true) {
            const TToken key = Next();
            if (key.Kind == TToken::Close) {
                return;
            }
            if (key.Kind == TToken::End) {
                Refuse(fileName_, block.Line,
                       "the file ends inside the block " + QuotedForMessage(block.Text) +
                           ": it is cut short");
            }
            if (key.Kind != TToken::Word) {
                Refuse(fileName_, key.Line,
                       QuotedForMessage(key.Text) + " stands where a key of " +
                           QuotedForMessage(block.Text) + " belongs");
            }
            field(key);
        }
    }

    // A block inside a block ("rom ( name x size 1 )"): its pairs are the
    // attributes, its blocks the children.
    TKeptElement InnerBlock(const TToken& key) {
        // Real files nest two or three deep; a crafted one must not exhaust the stack.
        if (++depth_ > MaxDepth) {
            Refuse(fileName_, key.Line,
                   "blocks are nested more than " + std::to_string(MaxDepth) + " deep");
        }
        TKeptElement element{key.Text, {}, {}, {}};
        Block(key, [&](const TToken& inner) {
            TField field = Field(inner);
            if (field.IsBlock) {
                element.Children.push_back(std::move(field.Element));
            } else {
                element.Attributes.emplace_back(std::move(field.Element.Name),
                                                std::move(field.Element.Text));
            }
        });
        --depth_;
        return element;
    }

    // A block at the top ("game ( ... )"): every key a child; the roms of a
    // game go to roms, romsAt learning where they stood.
    TKeptElement TopBlock(const TToken& block, std::vector<TGameRowBuilder::TRom>* roms,
                          std::size_t* romsAt) {
        TKeptElement element{block.Text, {}, {}, {}};
        Block(block, [&](const TToken& key) {
            TField field = Field(key);
            if (roms != nullptr && key.Text == "rom" && field.IsBlock) {
                if (roms->empty()) {
                    *romsAt = element.Children.size();
                }
                roms->push_back({std::move(field.Element), key.Line});
            } else {
                element.Children.push_back(std::move(field.Element));
            }
        });
        if (roms != nullptr && roms->empty()) {
            *romsAt = element.Children.size();
        }
        return element;
    }

    void Game(const TToken& block) {
        std::vector<TGameRowBuilder::TRom> roms;
        TKeptGame game{TKeptOrigin::ClrMamePro, {}, 0};
        game.Element = TopBlock(block, &roms, &game.RomsAt);
        rows_.AddGame(std::move(game), std::move(roms), block.Line);
    }

    std::string_view bytes_;
    const std::string& fileName_;
    TGameRowBuilder rows_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    static constexpr int MaxDepth = 64;
    int depth_ = 0;
};

} // namespace

void ReadClrMamePro(std::string_view bytes, const std::string& fileName,
                    IDatafileContent& content) {
    TClrMameProReader(bytes, fileName, content).Read();
}

} // namespace tabula
