#include "core/datafile/CharacterText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileReaders.h"
#include "core/datafile/SizeCell.h"
#include "core/text/CodePages.h"
#include "core/text/ErrorText.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>

namespace tabula {

namespace {

enum class TSection { None, Credits, Dat, Emulator, Games };

struct TSectionName {
    const char* Name;
    TSection Section;
};

constexpr TSectionName Sections[] = {{"[credits]", TSection::Credits},
                                     {"[dat]", TSection::Dat},
                                     {"[emulator]", TSection::Emulator},
                                     {"[games]", TSection::Games}};

const char* const Unsavable = "; the datafile could not be saved with it";

// The first control character (C0, DEL or C1) of text, which the sectioned
// writer refuses in a credit.
std::optional<char32_t> FirstControl(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = NextCodePoint(text, pos);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            return cp;
        }
    }
    return std::nullopt;
}

// One line of the file, without its line end.
struct TLine {
    std::string_view Text;
    std::size_t Number = 0;
    bool Ended = true; // false for a last line that has no line end
};

class TSectionedReader {
public:
    TSectionedReader(std::string_view bytes, const std::string& fileName, IDatafileContent& content)
        : bytes_(bytes), fileName_(fileName), content_(content),
          header_(std::make_shared<TKeptHeader>()) {}

    void Read() {
        std::size_t pos = 0;
        TLine line;
        while (NextLine(pos, line)) {
            Take(line);
        }
        if (!seen_[static_cast<int>(TSection::Games)]) {
            Refuse(fileName_, 0,
                   section_ == TSection::None
                       ? std::string("this is not a datafile: it has no section")
                       : std::string("the file ends before its [GAMES] section: it is cut short"));
        }
        content_.End();
    }

private:
    bool NextLine(std::size_t& pos, TLine& line) {
        if (pos >= bytes_.size()) {
            return false;
        }
        const std::size_t end = bytes_.find('\n', pos);
        line.Ended = end != std::string_view::npos;
        std::string_view text = bytes_.substr(pos, line.Ended ? end - pos : std::string_view::npos);
        if (text.ends_with('\r')) {
            text.remove_suffix(1);
        }
        line.Text = text;
        line.Number = ++number_;
        pos = line.Ended ? end + 1 : bytes_.size();
        if (text.find('\r') != std::string_view::npos) {
            Refuse(fileName_, line.Number, "the line holds a carriage return that ends no line");
        }
        return true;
    }

    void Take(const TLine& line) {
        // A game line is read field by field: however long, it is never
        // copied whole.
        if (section_ == TSection::Games && !line.Text.starts_with('[')) {
            if (!Blank(line.Text)) {
                Game(line);
            }
            return;
        }
        const std::string text = Windows1252ToUtf8(line.Text);
        if (const std::optional<TSection> section = SectionOf(text)) {
            StartSection(*section, text, line);
            return;
        }
        switch (section_) {
        case TSection::None:
            if (Blank(text)) {
                return;
            }
            Refuse(fileName_, line.Number,
                   "this is not a datafile: it starts with neither \"[CREDITS]\", \"<?xml\" nor "
                   "\"clrmamepro (\"");
        case TSection::Credits:
            Credit(text, line);
            return;
        case TSection::Dat:
        case TSection::Emulator:
            if (!Blank(text)) {
                Key(text, line);
            }
            return;
        case TSection::Games:
            Game(line); // a "[" line that names no section
            return;
        }
    }

    static bool Blank(std::string_view text) {
        return text.find_first_not_of(" \t") == std::string_view::npos;
    }

    // A section header's section, whichever the case of its name; None for
    // an unknown one (which would not save back: a comment line may not
    // start with "[").
    std::optional<TSection> SectionOf(const std::string& text) const {
        if (!text.starts_with('[')) {
            return std::nullopt;
        }
        const std::string lower = LowerCase(text);
        for (const TSectionName& section : Sections) {
            if (lower == section.Name) {
                return section.Section;
            }
        }
        if (section_ == TSection::Games) {
            return std::nullopt; // refused as no game line
        }
        return TSection::None;
    }

    void StartSection(TSection section, const std::string& text, const TLine& line) {
        if (section == TSection::None) {
            Refuse(fileName_, line.Number,
                   "the section " + QuotedForMessage(text) +
                       " is none of [CREDITS], [DAT], [EMULATOR] and [GAMES]");
        }
        if (section_ == TSection::Games) {
            Refuse(fileName_, line.Number, "a section follows the [GAMES] section");
        }
        bool& seen = seen_[static_cast<int>(section)];
        if (seen) {
            Refuse(fileName_, line.Number,
                   "the section " + QuotedForMessage(text) + " comes a second time");
        }
        seen = true;
        section_ = section;
        inComment_ = false;
        if (section == TSection::Games) {
            content_.Begin(TDatafileFormat::Sectioned, credits_,
                           header_); // nothing follows the games
        }
    }

    // The key before "=" in lower case, and the value after it.
    static bool SplitKey(const std::string& text, std::string& key, std::string& value) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        key = LowerCase(text.substr(0, equals));
        value = text.substr(equals + 1);
        return true;
    }

    // "[CREDITS]": Author, Version and Comment, whose later lines follow it
    // up to the next section, or to a credit key not yet given.
    void Credit(const std::string& text, const TLine& line) {
        std::string key;
        std::string value;
        const bool keyed = SplitKey(text, key, value);
        if (keyed && (key == "author" || key == "version") && !Given(key)) {
            const bool author = key == "author";
            CheckOneLineCredit(value, author ? "the credit \"Author\"" : "the credit \"Version\"",
                               line);
            Store(key, value, author ? credits_.Author : credits_.Version);
            inComment_ = false;
            return;
        }
        if (inComment_) {
            CheckLaterCommentLine(text, line);
            credits_.Comment += "\r\n" + text;
            return;
        }
        if (keyed && key == "comment" && !Given(key)) {
            CheckControl(value, "the credit \"Comment\"", line);
            Store(key, value, credits_.Comment);
            inComment_ = true;
            return;
        }
        if (Blank(text)) {
            return;
        }
        Place(keyed, key, line);
    }

    void Key(const std::string& text, const TLine& line) {
        std::string key;
        std::string value;
        const bool keyed = SplitKey(text, key, value);
        std::string* target = nullptr;
        if (section_ == TSection::Dat && key == "version") {
            target = &header_->DatVersion;
        } else if (section_ == TSection::Emulator) {
            target = key == "refname"     ? &credits_.System
                     : key == "version"   ? &credits_.EmulVersion
                     : key == "exe"       ? &header_->Exe
                     : key == "runcmd"    ? &header_->RunCmd
                     : key == "romspaths" ? &header_->RomsPaths
                                          : nullptr;
        }
        if (!keyed || target == nullptr || Given(SectionKey(key))) {
            Place(keyed, key, line);
        }
        if (target == &credits_.System || target == &credits_.EmulVersion) {
            CheckOneLineCredit(value, "the key \"" + key + "\" of the [EMULATOR] section", line);
        }
        Store(SectionKey(key), value, *target);
    }

    // What the sectioned writer refuses in a credit (CheckDatafileCredits)
    // is refused as it is read: a datafile that opens saves again.
    void CheckOneLineCredit(const std::string& value, const std::string& what,
                            const TLine& line) const {
        if (value.find(TDatafile::SeparatorUtf8) != std::string::npos) {
            Refuse(fileName_, line.Number,
                   what + " holds the separator \"\xC2\xAC\" of the game lines" + Unsavable);
        }
        CheckControl(value, what, line);
    }

    void CheckControl(const std::string& text, const std::string& what, const TLine& line) const {
        if (const std::optional<char32_t> cp = FirstControl(text)) {
            Refuse(fileName_, line.Number,
                   what + " holds " + CharacterText(*cp) + ", a control character" + Unsavable);
        }
    }

    // A line of the comment after its first stands alone in the file.
    void CheckLaterCommentLine(const std::string& text, const TLine& line) const {
        const std::string what = "this line of the credit \"Comment\"";
        const std::size_t first = text.find_first_not_of(' ');
        const std::string_view shown =
            first == std::string::npos ? std::string_view() : std::string_view(text).substr(first);
        if (shown.starts_with('[')) {
            Refuse(fileName_, line.Number,
                   what + " starts with \"[\", which would save as a section" + Unsavable);
        }
        if (shown.starts_with(TDatafile::SeparatorUtf8)) {
            Refuse(fileName_, line.Number,
                   what +
                       " starts with the separator \"\xC2\xAC\", which would save as a game line" +
                       Unsavable);
        }
        CheckControl(text, what, line);
    }

    std::string SectionKey(const std::string& key) const {
        return std::to_string(static_cast<int>(section_)) + key;
    }

    bool Given(const std::string& key) const { return given_.contains(key); }

    void Store(const std::string& key, const std::string& value, std::string& target) {
        given_.insert(key);
        target = value;
    }

    [[noreturn]] void Place(bool keyed, const std::string& key, const TLine& line) {
        const char* section = section_ == TSection::Credits ? "[CREDITS]"
                              : section_ == TSection::Dat   ? "[DAT]"
                                                            : "[EMULATOR]";
        if (!keyed) {
            Refuse(fileName_, line.Number,
                   QuotedForMessage(Windows1252ToUtf8(line.Text)) + " is no key of the " + section +
                       " section");
        }
        Refuse(fileName_, line.Number,
               Given(section_ == TSection::Credits ? key : SectionKey(key))
                   ? "the key " + QuotedForMessage(key) + " of the " + section +
                         " section comes a second time"
                   : QuotedForMessage(key) + " is no key of the " + section + " section");
    }

    // "¬set¬Set¬clone¬Clone¬rom¬CRC¬N¬O¬size¬": nine fields between ten
    // separators, counted before the line is split.
    void Game(const TLine& line) {
        const std::string_view text = line.Text;
        const char separator = TDatafile::Separator;
        const std::string cut = line.Ended ? "" : " (the file ends in this line: it is cut short)";
        if (!text.starts_with(separator)) {
            Refuse(fileName_, line.Number,
                   "the line is not a game line: it does not start with \"\xC2\xAC\"" + cut);
        }
        if (!text.ends_with(separator)) {
            Refuse(fileName_, line.Number, "the game line does not end with \"\xC2\xAC\"" + cut);
        }
        const auto count =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), separator));
        if (count != 10) {
            Refuse(fileName_, line.Number,
                   "the game line holds " + std::to_string(count - 1) +
                       (count == 2 ? " field" : " fields") + ", where a game line holds 9" + cut);
        }
        std::array<std::string, 9> fields;
        std::size_t start = 1;
        for (std::string& field : fields) {
            const std::size_t end = text.find(separator, start);
            field = Windows1252ToUtf8(text.substr(start, end - start));
            start = end + 1;
        }
        try {
            SizeCellToInt(fields[8]);
        } catch (const EConvertError&) {
            Refuse(fileName_, line.Number,
                   "the size " + QuotedForMessage(fields[8]) + " is not a number");
        }
        TRowExtras extras;
        if (fields[6] != "N" || fields[7] != "O") {
            auto kept = std::make_shared<TKeptRow>();
            kept->FirstFlag = fields[6];
            kept->SecondFlag = fields[7];
            extras.Kept = std::move(kept);
        }
        content_.Add({std::move(fields[0]), std::move(fields[1]), std::move(fields[2]),
                      std::move(fields[3]), std::move(fields[4]), std::move(fields[5]),
                      std::move(fields[8])},
                     std::move(extras));
    }

    std::string_view bytes_;
    const std::string& fileName_;
    IDatafileContent& content_;
    TDatafileCredits credits_;
    std::shared_ptr<TKeptHeader> header_;
    std::size_t number_ = 0;
    TSection section_ = TSection::None;
    bool seen_[5] = {};
    bool inComment_ = false;
    std::set<std::string> given_; // the keys given, those of [DAT] and [EMULATOR] as SectionKey
};

} // namespace

void ReadSectioned(std::string_view bytes, const std::string& fileName, IDatafileContent& content) {
    TSectionedReader(bytes, fileName, content).Read();
}

} // namespace tabula
