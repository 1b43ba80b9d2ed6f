#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileReaders.h"
#include "core/datafile/SizeCell.h"
#include "core/scan/StringsTools.h"
#include "core/text/CodePages.h"

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

// One line of the file, without its line end.
struct TLine {
    std::string_view Text;
    std::size_t Number = 0;
    bool Ended = true; // false for a last line that has no line end
};

class TSectionedReader {
public:
    TSectionedReader(std::string_view bytes, const std::string& fileName)
        : bytes_(bytes), fileName_(fileName) {}

    TOpenedDatafile Read() {
        opened_.Format = TDatafileFormat::Sectioned;
        auto header = std::make_shared<TKeptHeader>();
        header_ = header.get();
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
        opened_.Header = std::move(header);
        return std::move(opened_);
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
        const std::string text = Windows1252ToUtf8(line.Text);
        if (const std::optional<TSection> section = SectionOf(text)) {
            StartSection(*section, line);
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
            if (!Blank(text)) {
                Game(text, line);
            }
            return;
        }
    }

    static bool Blank(const std::string& text) {
        return text.find_first_not_of(" \t") == std::string::npos;
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

    void StartSection(TSection section, const TLine& line) {
        if (section == TSection::None) {
            Refuse(fileName_, line.Number,
                   "the section \"" + std::string(line.Text) +
                       "\" is none of [CREDITS], [DAT], "
                       "[EMULATOR] and [GAMES]");
        }
        if (section_ == TSection::Games) {
            Refuse(fileName_, line.Number, "a section follows the [GAMES] section");
        }
        bool& seen = seen_[static_cast<int>(section)];
        if (seen) {
            Refuse(fileName_, line.Number,
                   "the section \"" + std::string(line.Text) + "\" comes a second time");
        }
        seen = true;
        section_ = section;
        inComment_ = false;
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
            Store(key, value, key == "author" ? opened_.Credits.Author : opened_.Credits.Version);
            inComment_ = false;
            return;
        }
        if (inComment_) {
            opened_.Credits.Comment += "\r\n" + text;
            return;
        }
        if (keyed && key == "comment" && !Given(key)) {
            Store(key, value, opened_.Credits.Comment);
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
            target = key == "refname"     ? &opened_.Credits.System
                     : key == "version"   ? &opened_.Credits.EmulVersion
                     : key == "exe"       ? &header_->Exe
                     : key == "runcmd"    ? &header_->RunCmd
                     : key == "romspaths" ? &header_->RomsPaths
                                          : nullptr;
        }
        if (!keyed || target == nullptr || Given(SectionKey(key))) {
            Place(keyed, key, line);
        }
        Store(SectionKey(key), value, *target);
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
                   "\"" + Windows1252ToUtf8(line.Text) + "\" is no key of the " + section +
                       " section");
        }
        Refuse(fileName_, line.Number,
               Given(section_ == TSection::Credits ? key : SectionKey(key))
                   ? "the key \"" + key + "\" of the " + section + " section comes a second time"
                   : "\"" + key + "\" is no key of the " + section + " section");
    }

    // "¬set¬Set¬clone¬Clone¬rom¬CRC¬N¬O¬size¬": nine fields between ten separators.
    void Game(const std::string& text, const TLine& line) {
        const std::string_view separator = TDatafile::SeparatorUtf8;
        const std::string cut = line.Ended ? "" : " (the file ends in this line: it is cut short)";
        if (!text.starts_with(separator)) {
            Refuse(fileName_, line.Number,
                   "the line is not a game line: it does not start with \"\xC2\xAC\"" + cut);
        }
        std::vector<std::string> fields;
        std::size_t start = separator.size();
        while (true) {
            const std::size_t end = text.find(separator, start);
            if (end == std::string::npos) {
                if (start != text.size()) {
                    Refuse(fileName_, line.Number,
                           "the game line does not end with \"\xC2\xAC\"" + cut);
                }
                break;
            }
            fields.push_back(text.substr(start, end - start));
            start = end + separator.size();
        }
        if (fields.size() != 9) {
            Refuse(fileName_, line.Number,
                   "the game line holds " + std::to_string(fields.size()) +
                       (fields.size() == 1 ? " field" : " fields") + ", where a game line holds 9" +
                       cut);
        }
        try {
            SizeCellToInt(fields[8]);
        } catch (const EConvertError&) {
            Refuse(fileName_, line.Number, "the size \"" + fields[8] + "\" is not a number");
        }
        TRowExtras extras;
        if (fields[6] != "N" || fields[7] != "O") {
            auto kept = std::make_shared<TKeptRow>();
            kept->FirstFlag = fields[6];
            kept->SecondFlag = fields[7];
            extras.Kept = std::move(kept);
        }
        opened_.Rows.push_back({std::move(fields[0]), std::move(fields[1]), std::move(fields[2]),
                                std::move(fields[3]), std::move(fields[4]), std::move(fields[5]),
                                std::move(fields[8])});
        opened_.Extras.push_back(std::move(extras));
    }

    std::string_view bytes_;
    const std::string& fileName_;
    TOpenedDatafile opened_;
    TKeptHeader* header_ = nullptr;
    std::size_t number_ = 0;
    TSection section_ = TSection::None;
    bool seen_[5] = {};
    bool inComment_ = false;
    std::set<std::string> given_; // the keys given, those of [DAT] and [EMULATOR] as SectionKey
};

} // namespace

TOpenedDatafile ReadSectioned(std::string_view bytes, const std::string& fileName) {
    return TSectionedReader(bytes, fileName).Read();
}

} // namespace tabula
