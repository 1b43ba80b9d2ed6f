#include "cli/CliOptions.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace tabula {

namespace {

// What the arguments gave, before they are checked as a whole.
struct TReading {
    TCliOptions Options;
    bool Nes = false;
    bool Snes = false;
    bool RemoveBadSize = false;
    bool OutputGiven = false;
    bool FromGiven = false;
    std::string ScanFlag; // the first option of a scan, which --from refuses
    std::vector<std::string> Operands;
};

enum class TTakes {
    Nothing,
    Text,     // may be empty; what it is for says whether that will do
    FileName, // refused at once when missing or empty
};

// One option: its names, what it takes and what it sets.
struct TOption {
    const char* Long;
    const char* Short; // nullptr: none
    TTakes Takes;
    bool OfScan; // --from has no use for it
    void (*Apply)(TReading& reading, const std::string& value);
};

template <std::string TDatafileCredits::*Member>
void SetCredit(TReading& reading, const std::string& value) {
    reading.Options.CreditsGiven.push_back(Member);
    reading.Options.Credits.*Member = value;
}

using TText = const std::string&; // the value, for options that take one

constexpr TOption OptionTable[] = {
    {"--from", nullptr, TTakes::Text, false,
     [](TReading& r, TText value) {
         r.Options.From = value;
         r.FromGiven = true;
     }},
    {"--output", "-o", TTakes::Text, false,
     [](TReading& r, TText value) {
         r.Options.Output = value;
         r.OutputGiven = true;
     }},
    {"--nes", nullptr, TTakes::Nothing, true, [](TReading& r, TText) { r.Nes = true; }},
    {"--snes", nullptr, TTakes::Nothing, true, [](TReading& r, TText) { r.Snes = true; }},
    {"--detect-headers", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.Mode = TRomMode::Detect; }},
    {"--detector", nullptr, TTakes::FileName, true,
     [](TReading& r, TText value) {
         r.Options.DetectorFiles.push_back(value);
         r.Options.Scan.Mode = TRomMode::Detect;
     }},
    {"--remove-bad-size", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.RemoveBadSize = true; }},
    {"--zip-only", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.ScanOtherFiles = false; }},
    {"--include-txt", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.SkipTxt = false; }},
    {"--no-archives", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.ScanZipArchives = false; }},
    {"--trust-zip-crc", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.TrustZipCrc = true; }},
    {"--md5", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.Hashes.Md5 = true; }},
    {"--sha1", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.Hashes.Sha1 = true; }},
    {"--sha256", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.Hashes.Sha256 = true; }},
    {"--recursive", "-r", TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.Recursive = true; }},
    {"--folder-sets", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.Scan.FolderSets = true; }},
    {"--cache", nullptr, TTakes::FileName, true,
     [](TReading& r, TText value) { r.Options.CacheFile = value; }},
    {"--no-cache", nullptr, TTakes::Nothing, true,
     [](TReading& r, TText) { r.Options.NoCache = true; }},
    {"--cache-stats", nullptr, TTakes::Nothing, false,
     [](TReading& r, TText) { r.Options.CacheStats = true; }},
    {"--names-from", nullptr, TTakes::FileName, false,
     [](TReading& r, TText value) { r.Options.NamesFrom.push_back(value); }},
    {"--unknown-only", nullptr, TTakes::Nothing, false,
     [](TReading& r, TText) { r.Options.UnknownOnly = true; }},
    {"--missing", nullptr, TTakes::FileName, false,
     [](TReading& r, TText value) { r.Options.Missing = value; }},
    {"--format", nullptr, TTakes::Text, false,
     [](TReading& r, TText value) {
         r.Options.FormatGiven = true;
         r.Options.FormatName = value;
     }},
    {"--author", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::Author>},
    {"--datafile-version", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::Version>},
    {"--comment", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::Comment>},
    {"--system", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::System>},
    {"--emulator-version", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::EmulVersion>},
    {"--date", nullptr, TTakes::Text, false, SetCredit<&TDatafileCredits::Date>},
    {"--jobs", "-j", TTakes::Text, false,
     [](TReading& r, TText value) { r.Options.JobsText = value; }},
    {"--quiet", "-q", TTakes::Nothing, false, [](TReading& r, TText) { r.Options.Quiet = true; }},
    {"--help", "-h", TTakes::Nothing, false, [](TReading& r, TText) { r.Options.Help = true; }},
    {"--version", nullptr, TTakes::Nothing, false,
     [](TReading& r, TText) { r.Options.Version = true; }},
};

const TOption* OptionNamed(const std::string& name) {
    for (const TOption& option : OptionTable) {
        if (name == option.Long || (option.Short != nullptr && name == option.Short)) {
            return &option;
        }
    }
    return nullptr;
}

// An option as written: "--name=value" and "-oVALUE" carry their value.
struct TWritten {
    std::string Name;
    std::string Value;
    bool HasValue = false;
};

TWritten SplitOption(const std::string& arg) {
    if (arg.rfind("--", 0) == 0) {
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            return {arg.substr(0, equals), arg.substr(equals + 1), true};
        }
    } else if (arg.size() > 2) {
        const TOption* option = OptionNamed(arg.substr(0, 2));
        if (option != nullptr && option->Takes != TTakes::Nothing) {
            return {arg.substr(0, 2), arg.substr(2), true};
        }
    }
    return {arg, {}, false};
}

// Applies the option args[i], and takes args[i + 1] too when that is its value.
void ReadOption(const std::vector<std::string>& args, std::size_t& i, TReading& reading) {
    const std::string& arg = args[i];
    TWritten written = SplitOption(arg);
    const TOption* option = OptionNamed(written.Name);
    if (option == nullptr) {
        throw ECliUsage("unknown option " + arg);
    }
    const std::string& name = written.Name;
    const bool fileName = option->Takes == TTakes::FileName;
    if (option->Takes == TTakes::Nothing) {
        if (written.HasValue) {
            throw ECliUsage("option " + name + " takes no value");
        }
    } else if (!written.HasValue) {
        if (i + 1 >= args.size()) {
            throw ECliUsage("option " + name +
                            (fileName ? " needs a file name" : " needs a value"));
        }
        written.Value = args[++i];
    }
    if (fileName && written.Value.empty()) {
        throw ECliUsage("option " + name + " needs a file name");
    }
    option->Apply(reading, written.Value);
    if (reading.ScanFlag.empty() && option->OfScan) {
        reading.ScanFlag = name;
    }
}

TReading ReadArguments(const std::vector<std::string>& args) {
    TReading reading;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            reading.Operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else {
            ReadOption(args, i, reading);
        }
    }
    return reading;
}

void CheckHeaderOptions(const TReading& reading) {
    if (reading.Nes && reading.Snes) {
        throw ECliUsage("--nes and --snes exclude each other");
    }
    if (reading.Options.Scan.Mode == TRomMode::Detect && (reading.Nes || reading.Snes)) {
        throw ECliUsage(std::string(reading.Nes ? "--nes" : "--snes") +
                        " and header detection (--detect-headers, --detector) exclude each other");
    }
    if (reading.RemoveBadSize && !reading.Snes) {
        throw ECliUsage("--remove-bad-size applies only with --snes");
    }
}

// The format and the names of the files read and written.
void TakeOutputOptions(TReading& reading) {
    TCliOptions& options = reading.Options;
    const std::optional<TDatafileFormat> format = DatafileFormatNamed(options.FormatName);
    if (!format) {
        throw ECliUsage("unknown format \"" + options.FormatName +
                        "\" (sectioned, logiqx or clrmamepro)");
    }
    options.Format = *format;
    if (reading.OutputGiven && options.Output.empty()) {
        // An empty name is a mistake, not a request to print.
        throw ECliUsage("option -o needs a file name");
    }
    if (reading.FromGiven && options.From.empty()) {
        throw ECliUsage("option --from needs a file name");
    }
    if (options.NamesFrom.empty() && (options.UnknownOnly || !options.Missing.empty())) {
        throw ECliUsage(std::string(options.UnknownOnly ? "--unknown-only" : "--missing") +
                        " needs the reference datafiles of --names-from");
    }
}

// --from reads a datafile: nothing of a scan goes with it.
void CheckConversion(const TReading& reading) {
    if (!reading.ScanFlag.empty()) {
        throw ECliUsage(reading.ScanFlag + " is an option of a scan; --from reads a datafile");
    }
    if (!reading.Operands.empty()) {
        throw ECliUsage("--from reads a datafile instead of a directory, and \"" +
                        reading.Operands.front() + "\" was given too");
    }
}

void TakeScanOptions(TReading& reading) {
    TCliOptions& options = reading.Options;
    if (options.Scan.Hashes.Any() && !options.Output.empty() &&
        options.Format == TDatafileFormat::Sectioned) {
        throw ECliUsage(
            "the sectioned datafile holds no MD5, SHA-1 or SHA-256: write --format logiqx or "
            "--format clrmamepro, or print the rows");
    }
    if (!options.JobsText.empty()) {
        const std::string& text = options.JobsText;
        if (text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(text) < 1) {
            throw ECliUsage("--jobs takes a number of workers from 1 to 9999, not \"" + text +
                            "\"");
        }
        options.Scan.Jobs = static_cast<unsigned>(std::stoi(text));
    }
    if (options.Scan.Mode != TRomMode::Detect) {
        options.Scan.Mode = reading.Snes  ? TRomMode::Snes
                            : reading.Nes ? TRomMode::Nes
                                          : TRomMode::Normal;
    }
    options.Scan.RemoveSnesBadSize = reading.RemoveBadSize;
}

void TakeDirectory(TReading& reading) {
    const std::vector<std::string>& operands = reading.Operands;
    if (operands.empty()) {
        throw ECliUsage("no directory given");
    }
    if (operands.size() > 1) {
        throw ECliUsage("one directory only, got " + std::to_string(operands.size()) + " (\"" +
                        operands[1] + "\" too)");
    }
    reading.Options.Directory = operands.front();
}

// The text -h prints, kept whole here so it reads as it prints.
constexpr const char UsageTextLines[] =
    "Usage: tabula-cli [OPTIONS] DIR\n"
    "       tabula-cli --from FILE [-o OUT] [--format F] [CREDITS]\n"
    "Checksums the ROM files and zip archives at the top level of DIR (with -r, of\n"
    "the whole tree under it), or reads the rows and credits of the datafile FILE\n"
    "(any of the three formats) to print them or write them again, in the same\n"
    "format or another.\n"
    "\n"
    "  --from FILE              read FILE instead of scanning a directory; -o then\n"
    "                           writes FILE's format unless --format says another,\n"
    "                           and the credits given replace FILE's\n"
    "  -o, --output FILE        write the datafile to FILE; without it, print the rows:\n"
    "                           seven tab-separated cells a line, in scan order\n"
    "  --nes                    cut the 16-byte NES header\n"
    "  --snes                   cut the SNES copier header inferred from the size\n"
    "  --detect-headers         cut each file and archive member as the first detector\n"
    "                           rule its content passes says (NES, FDS, Atari 7800,\n"
    "                           Atari Lynx and SNES copier headers); whole otherwise\n"
    "  --detector FILE          try the rules of the detector FILE first (may be given\n"
    "                           more than once; implies --detect-headers)\n"
    "  --remove-bad-size        with --snes: drop ROMs whose size fails the SNES rule\n"
    "  --zip-only               scan only .zip files\n"
    "  --include-txt            do not skip .txt files and members\n"
    "  --no-archives            read .zip, .7z and .rar files as plain files\n"
    "  --trust-zip-crc          with --nes, --snes or detection: take a zip member's\n"
    "                           CRC without its header from the CRC stored in the\n"
    "                           archive and the header alone, instead of reading the\n"
    "                           member; much faster, but a damaged member is not\n"
    "                           detected\n"
    "  --md5, --sha1, --sha256  compute the MD5, SHA-1 or SHA-256 of the same bytes\n"
    "                           as the CRC (members are then read whole): printed\n"
    "                           after the size in this order, written by the logiqx\n"
    "                           and clrmamepro formats\n"
    "  -r, --recursive          scan every file under DIR at any depth: a folder's\n"
    "                           files, then each subfolder whole, in listing order;\n"
    "                           the set names of a file below DIR begin with its\n"
    "                           folders, each followed by a backslash (NES\\Game)\n"
    "  --folder-sets            each folder directly under DIR is one set of every\n"
    "                           file beneath it, read whole (archives too), each rom\n"
    "                           named by its path in the folder (Disc 1\\track01.bin);\n"
    "                           implies --recursive for those folders\n"
    "  --cache FILE             keep the checksums in the SQLite database FILE\n"
    "                           instead of ~/.cache/tabula/checksums.sqlite\n"
    "                           ($XDG_CACHE_HOME/tabula/...): a file whose size,\n"
    "                           times, device and inode did not change since a scan\n"
    "                           with the same options is not read again\n"
    "  --no-cache               read every file; keep nothing\n"
    "  --cache-stats            print what the cache holds, its size on disk and the\n"
    "                           last scan's hits, and exit\n"
    "  --names-from FILE        name each row after the rom of the reference datafile\n"
    "                           FILE (any of the three formats; may be given more\n"
    "                           than once) that its checksums match, and print its\n"
    "                           mark after the digests: same, renamed, by CRC,\n"
    "                           ambiguous or unknown\n"
    "  --unknown-only           with --names-from: keep only the rows no reference\n"
    "                           rom matched\n"
    "  --missing FILE           with --names-from: write the reference's sets none of\n"
    "                           whose roms matched to FILE, in the reference's format\n"
    "  --format F               what -o writes: sectioned (the default), logiqx\n"
    "                           (Logiqx XML) or clrmamepro (ClrMamePro text)\n"
    "  --author T, --datafile-version T, --comment T, --system T, --emulator-version T,\n"
    "  --date T                 the credits written with -o (empty by default; the\n"
    "                           date only in the logiqx and clrmamepro formats)\n"
    "  -j, --jobs N             read N files at once (default: one per processor;\n"
    "                           1 reads one at a time); the rows, their order and\n"
    "                           every file written are the same whatever N is\n"
    "  -q, --quiet              no progress display\n"
    "  -h, --help               show this help\n"
    "  --version                show the program's version\n"
    "\n"
    "Printed cells write a tab, a line feed, a carriage return and a backslash\n"
    "as \\t, \\n, \\r and \\\\, and any other control character as \\x and two\n"
    "hexadecimal digits (\\x1b); messages escape control characters the same way.\n"
    "\n"
    "Exit status: 0 every file was read; 1 some files failed (the rows of the\n"
    "others are still printed or written); 2 bad usage, or DIR is no directory\n"
    "or cannot be listed, or FILE is no datafile; 3 the datafile could not be written; 130 "
    "(SIGINT),\n"
    "143 (SIGTERM), 129 (SIGHUP) or 131 (SIGQUIT) stopped after the file at hand,\n"
    "no datafile written and temporary files removed (a second signal stops at\n"
    "once).\n";

} // namespace

const char* UsageText() {
    return UsageTextLines;
}

TCliOptions ParseCommandLine(const std::vector<std::string>& args) {
    TReading reading = ReadArguments(args);
    if (reading.Options.Help || reading.Options.Version) {
        return std::move(reading.Options);
    }
    if (reading.Options.NoCache && !reading.Options.CacheFile.empty()) {
        throw ECliUsage("--cache and --no-cache exclude each other");
    }
    if (reading.Options.CacheStats) {
        return std::move(reading.Options);
    }
    CheckHeaderOptions(reading);
    TakeOutputOptions(reading);
    if (reading.FromGiven) {
        CheckConversion(reading);
        return std::move(reading.Options);
    }
    TakeScanOptions(reading);
    TakeDirectory(reading);
    return std::move(reading.Options);
}

TDatafileCredits CreditsOverFile(const TCliOptions& options, TDatafileCredits fileCredits) {
    for (std::string TDatafileCredits::*member : options.CreditsGiven) {
        fileCredits.*member = options.Credits.*member;
    }
    return fileCredits;
}

const char* VersionText() {
    return "tabula-cli " TABULA_VERSION "\n";
}

} // namespace tabula
