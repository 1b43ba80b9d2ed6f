#include "core/datafile/DatafileReaders.h"
#include "core/datafile/LogiqxVocabulary.h"
#include "core/text/CodePages.h"

#include <algorithm>
#include <array>

namespace tabula {

namespace {

// The keys of the clrmamepro block that stand for the attributes of the
// Logiqx header's "clrmamepro" element.
constexpr std::array<std::string_view, 4> HeaderFlags = {"header", "forcemerging", "forcenodump",
                                                         "forcepacking"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct TToken {
    enum TKind { End, Open, Close, Word, String } Kind = End;
    std::string Text;
    std::size_t Line = 0;
};

class TClrMameProReader {
public:
    TClrMameProReader(std::string_view bytes, const std::string& fileName)
        : bytes_(bytes), fileName_(fileName), rows_(opened_, fileName) {
        if (bytes_.starts_with("\xEF\xBB\xBF")) {
            bytes_.remove_prefix(3);
        }
    }

    TOpenedDatafile Read() {
        opened_.Format = TDatafileFormat::ClrMamePro;
        auto header = std::make_shared<TKeptHeader>();
        bool headerSeen = false;
        bool anyGame = false;
        for (TToken token = Next(); token.Kind != TToken::End; token = Next()) {
            if (token.Kind != TToken::Word) {
                Refuse(fileName_, token.Line,
                       "\"" + token.Text + "\" stands where a block such as \"game (\" belongs");
            }
            const TToken open = Next();
            if (open.Kind != TToken::Open) {
                Refuse(fileName_, open.Line, "\"" + token.Text + "\" is not followed by \"(\"");
            }
            if (token.Text == "clrmamepro" && !headerSeen && !anyGame) {
                headerSeen = true;
                Header(*header, token.Line);
            } else if (token.Text == "game") {
                Game(token.Line);
                anyGame = true;
            } else {
                Refuse(fileName_, token.Line,
                       "the block \"" + token.Text + "\" is " +
                           (token.Text == "clrmamepro" ? "not first or comes a second time"
                                                       : "neither \"clrmamepro\" nor \"game\""));
            }
        }
        if (!anyGame && !headerSeen) {
            Refuse(fileName_, 0, "the datafile holds no block");
        }
        rows_.Finish(*header);
        opened_.Header = std::move(header);
        return std::move(opened_);
    }

private:
    TToken Next() {
        while (pos_ < bytes_.size() && IsBlank(bytes_[pos_])) {
            line_ += bytes_[pos_] == '\n' ? 1 : 0;
            ++pos_;
        }
        TToken token;
        token.Line = line_;
        if (pos_ >= bytes_.size()) {
            return token;
        }
        const char c = bytes_[pos_];
        if (c == '(' || c == ')') {
            ++pos_;
            token.Kind = c == '(' ? TToken::Open : TToken::Close;
            token.Text = c;
            return token;
        }
        if (c == '"') {
            token.Kind = TToken::String;
            ++pos_;
            while (true) {
                if (pos_ >= bytes_.size() || bytes_[pos_] == '\n') {
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
            token.Kind = TToken::Word;
            while (pos_ < bytes_.size() && !IsBlank(bytes_[pos_]) && bytes_[pos_] != '(' &&
                   bytes_[pos_] != ')' && bytes_[pos_] != '"') {
                token.Text += bytes_[pos_++];
            }
        }
        token.Text = ValidUtf8Text(token.Text);
        for (const char ch : token.Text) {
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
                Refuse(fileName_, token.Line, "a text holds a control character");
            }
        }
        return token;
    }

    // A value after its key: a word or a quoted text.
    std::string Value(const TToken& key) {
        const TToken value = Next();
        if (value.Kind == TToken::End) {
            Refuse(fileName_, key.Line,
                   "the file ends after \"" + key.Text + "\": it is cut short");
        }
        if (value.Kind != TToken::Word && value.Kind != TToken::String) {
            Refuse(fileName_, value.Line, "\"" + key.Text + "\" has no value");
        }
        return value.Text;
    }

    // Calls field with each key of a block up to its ")".
    template <class F> void Block(const std::string& block, std::size_t line, F field) {
        while (true) {
            const TToken key = Next();
            if (key.Kind == TToken::Close) {
                return;
            }
            if (key.Kind == TToken::End) {
                Refuse(fileName_, line,
                       "the file ends inside the block \"" + block + "\": it is cut short");
            }
            if (key.Kind != TToken::Word) {
                Refuse(fileName_, key.Line,
                       "\"" + key.Text + "\" stands where a key of \"" + block + "\" belongs");
            }
            field(key);
        }
    }

    [[noreturn]] void Unknown(const std::string& block, const TToken& key) {
        Refuse(fileName_, key.Line,
               "\"" + key.Text + "\" is no key of \"" + block +
                   "\" (the keys are those of the Logiqx datafile, revision 1.5)");
    }

    // "key ( attribute value ... )", the attributes checked by allowed.
    template <class F> TKeptAttributes AttributeBlock(const TToken& keyToken, F allowed) {
        const TToken open = Next();
        if (open.Kind != TToken::Open) {
            Refuse(fileName_, open.Line, "\"" + keyToken.Text + "\" is not followed by \"(\"");
        }
        TKeptAttributes attributes;
        Block(keyToken.Text, keyToken.Line, [&](const TToken& key) {
            // "flags" is this format's name for a rom's or disk's status.
            const std::string name = key.Text == "flags" ? "status" : key.Text;
            if (!allowed(name) || KeptValue(attributes, name) != nullptr) {
                if (KeptValue(attributes, name) != nullptr) {
                    Refuse(fileName_, key.Line,
                           "\"" + key.Text + "\" comes a second time in \"" + keyToken.Text + "\"");
                }
                Unknown(keyToken.Text, key);
            }
            attributes.emplace_back(name, Value(key));
        });
        return attributes;
    }

    void Header(TKeptHeader& header, std::size_t line) {
        std::string name;
        TKeptElement flags{"clrmamepro", {}, {}};
        std::vector<std::string> seen;
        Block("clrmamepro", line, [&](const TToken& key) {
            if (std::find(seen.begin(), seen.end(), key.Text) != seen.end()) {
                Refuse(fileName_, key.Line,
                       "\"" + key.Text + "\" comes a second time in \"clrmamepro\"");
            }
            seen.push_back(key.Text);
            if (std::find(HeaderFlags.begin(), HeaderFlags.end(), key.Text) != HeaderFlags.end()) {
                flags.Attributes.emplace_back(key.Text, Value(key));
                return;
            }
            if (!IsTextElement(key.Text) || HeaderChildRank(key.Text) < 0) {
                Unknown("clrmamepro", key);
            }
            std::string text = Value(key);
            TDatafileCredits& credits = opened_.Credits;
            if (key.Text == "name") {
                name = text;
                credits.System = std::move(text);
            } else if (key.Text == "version") {
                credits.Version = std::move(text);
            } else if (key.Text == "date") {
                credits.Date = std::move(text);
            } else if (key.Text == "author") {
                credits.Author = std::move(text);
            } else if (key.Text == "comment") {
                credits.Comment = std::move(text);
            } else {
                header.Elements.push_back({key.Text, std::move(text), {}});
            }
        });
        std::erase_if(header.Elements, [&name](const TKeptElement& element) {
            return element.Name == "description" && element.Text == name;
        });
        if (!flags.Attributes.empty()) {
            header.Elements.push_back(std::move(flags));
        }
    }

    void Game(std::size_t line) {
        TKeptAttributes attributes;
        std::vector<TKeptElement> elements;
        std::vector<TGameRowBuilder::TRom> roms;
        Block("game", line, [&](const TToken& key) {
            if (key.Text == "rom") {
                roms.push_back({AttributeBlock(key,
                                               [](const std::string& attribute) {
                                                   return RomAttributeRank(attribute) >= 0;
                                               }),
                                key.Line});
            } else if (GameAttributeRank(key.Text) >= 0) {
                if (KeptValue(attributes, key.Text) != nullptr) {
                    Refuse(fileName_, key.Line,
                           "\"" + key.Text + "\" comes a second time in \"game\"");
                }
                attributes.emplace_back(key.Text, Value(key));
            } else if (IsTextElement(key.Text) && GameChildRank(key.Text) >= 0) {
                elements.push_back({key.Text, Value(key), {}});
            } else if (GameChildRank(key.Text) >= 0) {
                elements.push_back(Element(key));
            } else {
                Unknown("game", key);
            }
        });
        rows_.AddGame(std::move(attributes), std::move(elements), std::move(roms), line);
    }

    // A game's element that carries attributes; "sample name" stands for
    // "sample ( name name )".
    TKeptElement Element(const TToken& key) {
        TKeptElement element{key.Text, {}, {}};
        const std::size_t at = pos_;
        const std::size_t lineAt = line_;
        if (key.Text == "sample" && Next().Kind != TToken::Open) {
            pos_ = at;
            line_ = lineAt;
            element.Attributes.emplace_back("name", Value(key));
            return element;
        }
        pos_ = at;
        line_ = lineAt;
        element.Attributes = AttributeBlock(key, [&key](const std::string& attribute) {
            return HasAttribute(key.Text, attribute);
        });
        const std::string_view required = RequiredAttributes(key.Text);
        for (const std::string_view name : {"name", "region", "description"}) {
            if (required.find(name) != std::string_view::npos &&
                KeptValue(element.Attributes, std::string(name)) == nullptr) {
                Refuse(fileName_, key.Line,
                       "\"" + key.Text + "\" has no \"" + std::string(name) + "\"");
            }
        }
        return element;
    }

    std::string_view bytes_;
    const std::string& fileName_;
    TOpenedDatafile opened_;
    TGameRowBuilder rows_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

} // namespace

TOpenedDatafile ReadClrMamePro(std::string_view bytes, const std::string& fileName) {
    return TClrMameProReader(bytes, fileName).Read();
}

} // namespace tabula
