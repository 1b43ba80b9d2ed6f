#include "cli/CliOptions.h"

#include <cstddef>

namespace tabula {

namespace {

struct TCreditOption {
    const char* Name;
    std::string TDatafileCredits::*Member;
};

constexpr TCreditOption CreditOptions[] = {
    {"--author", &TDatafileCredits::Author},
    {"--datafile-version", &TDatafileCredits::Version},
    {"--comment", &TDatafileCredits::Comment},
    {"--system", &TDatafileCredits::System},
    {"--emulator-version", &TDatafileCredits::EmulVersion},
    {"--date", &TDatafileCredits::Date},
};

// The options that take a text, and where the text goes.
std::string* TextTarget(const std::string& name, TCliOptions& options) {
    if (name == "-o" || name == "--output") {
        return &options.Output;
    }
    for (const TCreditOption& credit : CreditOptions) {
        if (name == credit.Name) {
            options.CreditsGiven.push_back(credit.Member);
            return &(options.Credits.*credit.Member);
        }
    }
    if (name == "--format") {
        options.FormatGiven = true;
        return &options.FormatName;
    }
    if (name == "--from") {
        return &options.From;
    }
    if (name == "--jobs" || name == "-j") {
        return &options.JobsText;
    }
    return nullptr;
}

// The scan's flags, which --from has no use for.
bool IsScanFlag(const std::string& name) {
    for (const char* flag :
         {"--nes", "--snes", "--detect-headers", "--detector", "--remove-bad-size", "--zip-only",
          "--include-txt", "--no-archives", "--trust-zip-crc", "--md5", "--sha1", "--sha256"}) {
        if (name == flag) {
            return true;
        }
    }
    return false;
}

// Applies a flag; false when name is no flag.
bool ApplyFlag(const std::string& name, TCliOptions& options, bool& nes, bool& snes,
               bool& removeBadSize) {
    if (name == "--nes") {
        nes = true;
    } else if (name == "--snes") {
        snes = true;
    } else if (name == "--detect-headers") {
        options.Scan.Mode = TRomMode::Detect;
    } else if (name == "--remove-bad-size") {
        removeBadSize = true;
    } else if (name == "--zip-only") {
        options.Scan.ScanOtherFiles = false;
    } else if (name == "--include-txt") {
        options.Scan.SkipTxt = false;
    } else if (name == "--no-archives") {
        options.Scan.ScanZipArchives = false;
    } else if (name == "--trust-zip-crc") {
        options.Scan.TrustZipCrc = true;
    } else if (name == "--md5") {
        options.Scan.Hashes.Md5 = true;
    } else if (name == "--sha1") {
        options.Scan.Hashes.Sha1 = true;
    } else if (name == "--sha256") {
        options.Scan.Hashes.Sha256 = true;
    } else if (name == "-q" || name == "--quiet") {
        options.Quiet = true;
    } else if (name == "-h" || name == "--help") {
        options.Help = true;
    } else if (name == "--version") {
        options.Version = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

const char* UsageText() {
    return "Usage: tabula-cli [OPTIONS] DIR\n"
           "       tabula-cli --from FILE [-o OUT] [--format F] [CREDITS]\n"
           "Checksums the ROM files and zip archives at the top level of DIR, or reads\n"
           "the rows and credits of the datafile FILE (any of the three formats) to\n"
           "print them or write them again, in the same format or another.\n"
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
}

TCliOptions ParseCommandLine(const std::vector<std::string>& args) {
    TCliOptions options;
    bool nes = false;
    bool snes = false;
    bool removeBadSize = false;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    bool outputGiven = false;
    bool fromGiven = false;
    std::string scanFlag; // the first flag of a scan

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value", "-oFILE" and "-o FILE" are accepted for texts.
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                name = arg.substr(0, equals);
                value = arg.substr(equals + 1);
                hasValue = true;
            }
        } else if (arg.size() > 2 && (arg.rfind("-o", 0) == 0 || arg.rfind("-j", 0) == 0)) {
            name = arg.substr(0, 2);
            value = arg.substr(2);
            hasValue = true;
        }

        if (name == "--detector") {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    throw ECliUsage("option --detector needs a file name");
                }
                value = args[++i];
            }
            if (value.empty()) {
                throw ECliUsage("option --detector needs a file name");
            }
            options.DetectorFiles.push_back(value);
            options.Scan.Mode = TRomMode::Detect;
        } else if (std::string* target = TextTarget(name, options)) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    throw ECliUsage("option " + name + " needs a value");
                }
                value = args[++i];
            }
            *target = value;
            outputGiven = outputGiven || target == &options.Output;
            fromGiven = fromGiven || target == &options.From;
        } else if (hasValue && name.rfind("--", 0) == 0 &&
                   ApplyFlag(name, options, nes, snes, removeBadSize)) {
            throw ECliUsage("option " + name + " takes no value");
        } else if (hasValue || !ApplyFlag(name, options, nes, snes, removeBadSize)) {
            throw ECliUsage("unknown option " + arg);
        }
        if (scanFlag.empty() && IsScanFlag(name)) {
            scanFlag = name;
        }
    }

    if (options.Help || options.Version) {
        return options;
    }
    if (nes && snes) {
        throw ECliUsage("--nes and --snes exclude each other");
    }
    if (options.Scan.Mode == TRomMode::Detect && (nes || snes)) {
        throw ECliUsage(std::string(nes ? "--nes" : "--snes") +
                        " and header detection (--detect-headers, --detector) exclude each other");
    }
    if (removeBadSize && !snes) {
        throw ECliUsage("--remove-bad-size applies only with --snes");
    }
    const std::optional<TDatafileFormat> format = DatafileFormatNamed(options.FormatName);
    if (!format) {
        throw ECliUsage("unknown format \"" + options.FormatName +
                        "\" (sectioned, logiqx or clrmamepro)");
    }
    options.Format = *format;
    if (outputGiven && options.Output.empty()) {
        // An empty name is a mistake, not a request to print.
        throw ECliUsage("option -o needs a file name");
    }
    if (fromGiven && options.From.empty()) {
        throw ECliUsage("option --from needs a file name");
    }
    if (fromGiven) {
        if (!scanFlag.empty()) {
            throw ECliUsage(scanFlag + " is an option of a scan; --from reads a datafile");
        }
        if (!operands.empty()) {
            throw ECliUsage("--from reads a datafile instead of a directory, and \"" +
                            operands.front() + "\" was given too");
        }
        return options;
    }
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
        options.Scan.Mode = snes ? TRomMode::Snes : nes ? TRomMode::Nes : TRomMode::Normal;
    }
    options.Scan.RemoveSnesBadSize = removeBadSize;
    if (operands.empty()) {
        throw ECliUsage("no directory given");
    }
    if (operands.size() > 1) {
        throw ECliUsage("one directory only, got " + std::to_string(operands.size()) + " (\"" +
                        operands[1] + "\" too)");
    }
    options.Directory = operands.front();
    return options;
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
