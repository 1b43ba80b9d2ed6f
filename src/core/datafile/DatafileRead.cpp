#include "core/datafile/DatafileRead.h"

#include "core/datafile/DatafileReaders.h"
#include "core/platform/SequentialFile.h"
#include "core/text/BlankText.h"
#include "core/text/ErrorText.h"
#include "core/text/HexDigit.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tabula {

namespace {

// Far beyond any datafile: a file this large is something else.
constexpr std::uint64_t MaxDatafileSize = std::uint64_t(1) << 30;

bool IsHexText(std::string_view text) {
    bool hex = true;
    for (const char c : text) { // no early way out: the loop stays free of branches
        hex &= HexDigitValue(c) >= 0;
    }
    return hex;
}

bool IsDecimalSize(const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsTextField(const TKeptElement& element, const char* name) {
    return element.Name == name && element.Attributes.empty() && element.Children.empty();
}

// A game the writers write from its row alone: its name, its clone's name,
// and a description that says the name.
bool IsPlainGame(const TKeptGame& game, const std::string& name) {
    const TKeptElement& element = game.Element;
    if (element.Name != "game" || !IsBlankText(element.Text)) {
        return false;
    }
    const std::vector<TKeptElement>& children = element.Children;
    if (game.Origin == TKeptOrigin::Logiqx) {
        const TKeptAttributes& attributes = element.Attributes;
        return (attributes.size() == 1 ||
                (attributes.size() == 2 && attributes[1].first == "cloneof")) &&
               attributes[0].first == "name" && children.size() == 1 && game.RomsAt == 1 &&
               IsTextField(children[0], "description") && children[0].Text == name;
    }
    return (children.size() == 2 ||
            (children.size() == 3 && IsTextField(children[2], "cloneof"))) &&
           game.RomsAt == children.size() && IsTextField(children[0], "name") &&
           IsTextField(children[1], "description") && children[1].Text == name;
}

// A rom the writers write from its row alone: name, size and the digests in
// the writer's order, nothing else.
bool IsPlainRom(const TKeptElement& rom, TKeptOrigin origin) {
    static constexpr std::array<std::string_view, 6> LogiqxOrder = {"name", "size", "crc",
                                                                    "sha1", "md5",  "sha256"};
    static constexpr std::array<std::string_view, 6> ClrMameProOrder = {"name", "size", "crc",
                                                                        "md5",  "sha1", "sha256"};
    const auto& order = origin == TKeptOrigin::Logiqx ? LogiqxOrder : ClrMameProOrder;
    if (!rom.Children.empty() || !IsBlankText(rom.Text) || rom.Attributes.size() < 2 ||
        rom.Attributes[0].first != "name" || rom.Attributes[1].first != "size") {
        return false;
    }
    std::size_t next = 2;
    for (std::size_t i = 2; i < rom.Attributes.size(); ++i) {
        while (next < order.size() && order[next] != rom.Attributes[i].first) {
            ++next;
        }
        if (next == order.size()) {
            return false;
        }
        ++next;
    }
    return true;
}

// The game's clone's name: its own name when it names none.
std::string CloneOf(const TKeptGame& game, const std::string& name) {
    if (game.Origin == TKeptOrigin::Logiqx) {
        if (const std::string* value = KeptValue(game.Element.Attributes, "cloneof")) {
            return *value;
        }
    } else if (const TKeptElement* field = KeptElement(game.Element.Children, "cloneof")) {
        return field->Text;
    }
    return name;
}

} // namespace

void Refuse(const std::string& fileName, std::size_t line, const std::string& what) {
    const std::string where = line == 0 ? std::string() : "line " + std::to_string(line) + ": ";
    throw EDatafileReadError("Cannot open \"" + fileName + "\": " + where + what, line);
}

TGameRowBuilder::TGameRowBuilder(IDatafileContent& content, TDatafileFormat format,
                                 const std::string& fileName)
    : content_(content), format_(format), fileName_(fileName),
      header_(std::make_shared<TKeptHeader>()) {
    header_->Origin =
        format == TDatafileFormat::ClrMamePro ? TKeptOrigin::ClrMamePro : TKeptOrigin::Logiqx;
}

void TGameRowBuilder::TakeCredits(const TKeptElement& header) {
    const bool logiqx = format_ == TDatafileFormat::Logiqx;
    bool seen[5] = {};
    for (const TKeptElement& field : header.Children) {
        // A ClrMamePro block ("name ( ... )") holds its pairs as attributes: no credit.
        if (!field.Children.empty() || (!logiqx && !field.Attributes.empty())) {
            continue;
        }
        const auto take = [&](int index, const char* name, std::string& credit) {
            if (!seen[index] && field.Name == name) {
                seen[index] = true;
                credit = field.Text;
            }
        };
        take(0, "name", credits_.System);
        take(1, "version", credits_.Version);
        take(2, "date", credits_.Date);
        take(3, "author", credits_.Author);
        take(4, "comment", credits_.Comment);
    }
    // The XML's line ends are LF; the credits' comment joins its lines with CR LF.
    if (logiqx && seen[4]) {
        std::string comment;
        for (const char c : credits_.Comment) {
            if (c == '\n') {
                comment += '\r';
            }
            comment += c;
        }
        credits_.Comment = std::move(comment);
    }
}

void TGameRowBuilder::NoteCase(const std::string& digits) {
    if (upperHex_ < 0) {
        for (const char c : digits) {
            if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) {
                upperHex_ = c <= 'F' ? 1 : 0;
                return;
            }
        }
    }
}

std::string TGameRowBuilder::Digest(const TKeptElement& rom, const char* name, std::size_t digits,
                                    std::size_t line) {
    const std::string* value = KeptValue(rom.Attributes, name);
    if (value == nullptr || value->empty()) {
        return {};
    }
    if (value->size() != digits || !IsHexText(*value)) {
        Refuse(fileName_, line,
               "the " + std::string(name) + " " + QuotedForMessage(*value) + " of the rom " +
                   QuotedForMessage(*KeptValue(rom.Attributes, "name")) + " is not " +
                   std::to_string(digits) + " hexadecimal digits");
    }
    NoteCase(*value);
    return LowerCase(*value);
}

std::string TGameRowBuilder::RomSize(const TKeptAttributes& attributes, const std::string& romName,
                                     std::size_t line) {
    // No size is an empty cell: the formats that name games write none back.
    std::string size;
    if (const std::string* value = KeptValue(attributes, "size"); value != nullptr) {
        size = *value;
        if (!size.empty() && !IsDecimalSize(size)) {
            Refuse(fileName_, line,
                   "the size " + QuotedForMessage(size) + " of the rom " +
                       QuotedForMessage(romName) + " is not a number");
        }
    }
    return size;
}

std::string TGameRowBuilder::RomCrc(const TKeptAttributes& attributes, const std::string& romName,
                                    std::size_t line) {
    const std::string* value = KeptValue(attributes, "crc");
    if (value == nullptr || value->empty()) {
        return {};
    }
    if (value->size() > 8 || !IsHexText(*value)) {
        Refuse(fileName_, line,
               "the crc " + QuotedForMessage(*value) + " of the rom " + QuotedForMessage(romName) +
                   " is not one to eight hexadecimal digits");
    }
    NoteCase(*value);
    // A CRC written without its leading zeros is the same number.
    return std::string(8 - value->size(), '0') + UpperCase(*value);
}

void TGameRowBuilder::KeepWithRow(TRom& rom, TKeptOrigin origin,
                                  std::shared_ptr<const TKeptGame>& kept, TRowExtras& extras) {
    const bool keptRom = !IsPlainRom(rom.Element, origin);
    if (kept == nullptr && romless_.empty() && !keptRom) {
        return;
    }
    auto row = std::make_shared<TKeptRow>();
    row->Game = std::move(kept);
    row->GamesBefore = std::move(romless_);
    romless_.clear();
    row->RomOrigin = origin;
    if (keptRom) {
        row->Rom = std::move(rom.Element);
    }
    extras.Kept = std::move(row);
    kept = nullptr;
}

void TGameRowBuilder::AddGame(TKeptGame game, std::vector<TRom> roms, std::size_t line) {
    const std::string* gameName = KeptGameName(game);
    const bool isGame = game.Element.Name == "game" || game.Element.Name == "machine" ||
                        game.Element.Name == "resource";
    if (gameName == nullptr && (isGame || !roms.empty())) {
        Refuse(fileName_, line, "a game has no name");
    }
    if (roms.empty()) {
        romless_.push_back(std::move(game));
        return;
    }
    std::string name = *gameName;
    std::string cloneOf = CloneOf(game, name);
    const TKeptOrigin origin = game.Origin;
    std::shared_ptr<const TKeptGame> kept;
    // A game that follows one of the same name is a game of its own.
    if (!IsPlainGame(game, name) || (anyGame_ && name == lastGame_)) {
        kept = std::make_shared<const TKeptGame>(std::move(game));
    }
    std::string dos = LowerCase(name);
    std::string cloneDos = LowerCase(cloneOf);
    lastGame_ = name;
    anyGame_ = true;
    for (TRom& rom : roms) {
        const TKeptAttributes& attributes = rom.Element.Attributes;
        const std::string* romName = KeptValue(attributes, "name");
        if (romName == nullptr) {
            Refuse(fileName_, rom.Line, "a rom of " + QuotedForMessage(name) + " has no name");
        }
        std::string size = RomSize(attributes, *romName, rom.Line);
        std::string crc = RomCrc(attributes, *romName, rom.Line);
        TRowExtras extras;
        extras.Md5 = Digest(rom.Element, "md5", 32, rom.Line);
        extras.Sha1 = Digest(rom.Element, "sha1", 40, rom.Line);
        extras.Sha256 = Digest(rom.Element, "sha256", 64, rom.Line);
        std::string romCell = *romName; // before the rom's element may go to the row
        KeepWithRow(rom, origin, kept, extras);
        if (&rom == &roms.back()) { // the game's names are the last row's to keep
            Deliver({std::move(dos), std::move(name), std::move(cloneDos), std::move(cloneOf),
                     std::move(romCell), std::move(crc), std::move(size)},
                    std::move(extras));
        } else {
            Deliver(
                {dos, name, cloneDos, cloneOf, std::move(romCell), std::move(crc), std::move(size)},
                std::move(extras));
        }
    }
}

void TGameRowBuilder::Release() {
    if (!begun_) {
        begun_ = true;
        header_->UpperHex = upperHex_ == 1;
        content_.Begin(format_, credits_, header_);
    }
    for (auto& [row, extras] : waiting_) {
        content_.Add(std::move(row), std::move(extras));
    }
    waiting_.clear();
}

void TGameRowBuilder::Deliver(TRomTable::TRow row, TRowExtras extras) {
    if (upperHex_ < 0) {
        waiting_.emplace_back(std::move(row), std::move(extras));
        return;
    }
    if (!begun_) {
        Release();
    }
    content_.Add(std::move(row), std::move(extras));
}

void TGameRowBuilder::Finish() {
    Release();
    header_->GamesAfter = std::move(romless_);
    romless_.clear();
    content_.End();
}

namespace {

// The content an opened file is shown from: every row held.
class TOpenedContent : public IDatafileContent {
public:
    void Expect(std::size_t rows) override {
        Opened.Rows.reserve(rows);
        Opened.Extras.reserve(rows);
    }
    void Begin(TDatafileFormat format, const TDatafileCredits& credits,
               std::shared_ptr<const TKeptHeader> header) override {
        Opened.Format = format;
        Opened.Credits = credits;
        Opened.Header = std::move(header);
    }
    void Add(TRomTable::TRow row, TRowExtras extras) override {
        Opened.HasDigests = Opened.HasDigests || !extras.Md5.empty() || !extras.Sha1.empty();
        Opened.HasSha256 = Opened.HasSha256 || !extras.Sha256.empty();
        Opened.Rows.push_back(std::move(row));
        Opened.Extras.push_back(std::move(extras));
    }
    void End() override {}

    TOpenedDatafile Opened;
};

} // namespace

void ReadDatafileText(std::string_view bytes, const std::string& fileName,
                      IDatafileContent& content) {
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    // Only XML is written in UTF-16; libxml2 reads it by its byte order mark.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return ReadLogiqx(bytes, fileName, content);
    }
    const std::size_t first =
        std::find_if(text.begin(), text.end(), [](char c) { return !IsBlank(c); }) - text.begin();
    if (first == text.size()) {
        Refuse(fileName, 0, "the file is empty, not a datafile");
    }
    if (text[first] == '<') {
        return ReadLogiqx(bytes, fileName, content);
    }
    if (text[first] == '[') {
        return ReadSectioned(bytes, fileName, content);
    }
    std::size_t end = first;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '(') {
        ++end;
    }
    const std::string_view word = text.substr(first, end - first);
    while (end < text.size() && IsBlank(text[end])) {
        ++end;
    }
    if ((word == "clrmamepro" || word == "game" || word == "machine" || word == "resource") &&
        end < text.size() && text[end] == '(') {
        return ReadClrMamePro(bytes, fileName, content);
    }
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + first, '\n'));
    Refuse(fileName, line,
           "this is not a datafile: it starts with neither \"[CREDITS]\", \"<?xml\" nor "
           "\"clrmamepro (\"");
}

TOpenedDatafile ReadDatafileText(std::string_view bytes, const std::string& fileName) {
    TOpenedContent content;
    ReadDatafileText(bytes, fileName, content);
    return std::move(content.Opened);
}

void ReadDatafile(const std::string& fileName, IDatafileContent& content) {
    TSequentialFile file(fileName);
    if (file.Size() > MaxDatafileSize) {
        Refuse(fileName, 0,
               "the file holds " + std::to_string(file.Size()) +
                   " bytes, more than a datafile can (1 GiB)");
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(file.Size()));
    std::array<std::byte, 1 << 16> buffer;
    file.ReadFrom(0, buffer, [&bytes](std::span<const std::byte> block) {
        bytes.append(reinterpret_cast<const char*>(block.data()), block.size());
    });
    ReadDatafileText(bytes, fileName, content);
}

TOpenedDatafile ReadDatafile(const std::string& fileName) {
    TOpenedContent content;
    ReadDatafile(fileName, content);
    return std::move(content.Opened);
}

} // namespace tabula
