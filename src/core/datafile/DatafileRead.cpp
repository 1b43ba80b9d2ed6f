#include "core/datafile/DatafileRead.h"

#include "core/datafile/DatafileReaders.h"
#include "core/platform/SequentialFile.h"
#include "core/scan/StringsTools.h"
#include "core/text/HexDigit.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tabula {

namespace {

// Far beyond any datafile: a file this large is something else.
constexpr std::uint64_t MaxDatafileSize = std::uint64_t(1) << 30;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsHexText(const std::string& text, std::size_t digits) {
    if (text.size() != digits) {
        return false;
    }
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

// Takes the attribute out of attributes; "" when it is not there.
std::string Taken(TKeptAttributes& attributes, const char* name, bool* found = nullptr) {
    const auto at = std::find_if(attributes.begin(), attributes.end(),
                                 [name](const auto& attribute) { return attribute.first == name; });
    if (found != nullptr) {
        *found = at != attributes.end();
    }
    if (at == attributes.end()) {
        return {};
    }
    std::string value = std::move(at->second);
    attributes.erase(at);
    return value;
}

} // namespace

void Refuse(const std::string& fileName, std::size_t line, const std::string& what) {
    const std::string where = line == 0 ? std::string() : "line " + std::to_string(line) + ": ";
    throw EDatafileReadError("Cannot open \"" + fileName + "\": " + where + what, line);
}

void TGameRowBuilder::AddGame(TKeptAttributes attributes, std::vector<TKeptElement> elements,
                              std::vector<TRom> roms, std::size_t line) {
    if (KeptValue(attributes, "name") == nullptr) {
        Refuse(fileName_, line, "a game has no name");
    }
    if (roms.empty()) {
        romless_.push_back({std::move(attributes), std::move(elements)});
        return;
    }
    const std::string name = Taken(attributes, "name");
    bool cloned = false;
    std::string cloneOf = Taken(attributes, "cloneof", &cloned);
    if (!cloned) {
        cloneOf = name;
    }
    // The writers make a description from the name: one that says the same
    // is not kept.
    const auto description =
        std::find_if(elements.begin(), elements.end(),
                     [](const TKeptElement& element) { return element.Name == "description"; });
    if (description != elements.end() && description->Text == name) {
        elements.erase(description);
    }
    std::shared_ptr<const TKeptGame> game;
    // A game that follows one of the same name is a game of its own.
    if (!attributes.empty() || !elements.empty() || (anyGame_ && name == lastGame_)) {
        game = std::make_shared<const TKeptGame>(
            TKeptGame{std::move(attributes), std::move(elements)});
    }
    const std::string dos = LowerCase(name);
    const std::string cloneDos = LowerCase(cloneOf);
    for (TRom& rom : roms) {
        bool hasName = false;
        bool hasSize = false;
        std::string romName = Taken(rom.Attributes, "name", &hasName);
        std::string size = Taken(rom.Attributes, "size", &hasSize);
        if (!hasName) {
            Refuse(fileName_, rom.Line, "a rom of \"" + name + "\" has no name");
        }
        if (!hasSize) {
            Refuse(fileName_, rom.Line, "the rom \"" + romName + "\" has no size");
        }
        if (!IsDecimalSize(size)) {
            Refuse(fileName_, rom.Line,
                   "the size \"" + size + "\" of the rom \"" + romName + "\" is not a number");
        }
        std::string crc = Taken(rom.Attributes, "crc");
        if (!crc.empty() && !IsHexText(crc, 8)) {
            Refuse(fileName_, rom.Line,
                   "the crc \"" + crc + "\" of the rom \"" + romName +
                       "\" is not eight hexadecimal digits");
        }
        TRowExtras extras;
        extras.Md5 = Taken(rom.Attributes, "md5");
        extras.Sha1 = Taken(rom.Attributes, "sha1");
        for (const auto& [digest, digits] : {std::pair{&extras.Md5, 32}, {&extras.Sha1, 40}}) {
            if (!digest->empty() && !IsHexText(*digest, static_cast<std::size_t>(digits))) {
                Refuse(fileName_, rom.Line,
                       "the " + std::string(digits == 32 ? "md5" : "sha1") + " \"" + *digest +
                           "\" of the rom \"" + romName + "\" is not " + std::to_string(digits) +
                           " hexadecimal digits");
            }
        }
        opened_.HasDigests = opened_.HasDigests || !extras.Md5.empty() || !extras.Sha1.empty();
        if (game != nullptr || !romless_.empty() || !rom.Attributes.empty()) {
            auto kept = std::make_shared<TKeptRow>();
            kept->Game = std::move(game);
            kept->GamesBefore = std::move(romless_);
            romless_.clear();
            kept->RomAttributes = std::move(rom.Attributes);
            extras.Kept = std::move(kept);
            game = nullptr;
        }
        opened_.Rows.push_back(
            {dos, name, cloneDos, cloneOf, std::move(romName), UpperCase(crc), std::move(size)});
        opened_.Extras.push_back(std::move(extras));
    }
    lastGame_ = name;
    anyGame_ = true;
}

void TGameRowBuilder::Finish(TKeptHeader& header) {
    header.GamesAfter = std::move(romless_);
    romless_.clear();
}

TOpenedDatafile ReadDatafileText(std::string_view bytes, const std::string& fileName) {
    std::string_view text = bytes;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first =
        std::find_if(text.begin(), text.end(), [](char c) { return !IsBlank(c); }) - text.begin();
    if (first == text.size()) {
        Refuse(fileName, 0, "the file is empty, not a datafile");
    }
    if (text[first] == '<') {
        return ReadLogiqx(bytes, fileName);
    }
    if (text[first] == '[') {
        return ReadSectioned(bytes, fileName);
    }
    std::size_t end = first;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '(') {
        ++end;
    }
    const std::string_view word = text.substr(first, end - first);
    while (end < text.size() && IsBlank(text[end])) {
        ++end;
    }
    if ((word == "clrmamepro" || word == "game") && end < text.size() && text[end] == '(') {
        return ReadClrMamePro(bytes, fileName);
    }
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + first, '\n'));
    Refuse(fileName, line,
           "this is not a datafile: it starts with neither \"[CREDITS]\", \"<?xml\" nor "
           "\"clrmamepro (\"");
}

TOpenedDatafile ReadDatafile(const std::string& fileName) {
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
    return ReadDatafileText(bytes, fileName);
}

} // namespace tabula
