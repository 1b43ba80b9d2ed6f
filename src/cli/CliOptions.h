#pragma once

#include "core/datafile/DatafileFormat.h"
#include "core/datafile/DatafileSave.h"
#include "core/scan/ScanOptions.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tabula {

// The command line could not be understood; the message says why.
class ECliUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the command line asks for.
struct TCliOptions {
    std::string Directory;
    std::string From;   // a datafile read instead of scanning Directory
    std::string Output; // empty: print the rows
    TDatafileFormat Format = TDatafileFormat::Sectioned; // what -o writes
    std::string FormatName = "sectioned";                // as --format gave it
    TScanOptions Scan{.Jobs = 0}; // every processor unless --jobs says otherwise
    TDatafileCredits Credits;
    // The credits the command line gave, as members of Credits.
    std::vector<std::string TDatafileCredits::*> CreditsGiven;
    bool FormatGiven = false;
    std::string JobsText; // as --jobs gave it; the number goes to Scan.Jobs
    // --detector's files, in the order given; read before the scan, their
    // rules tried before the built-in ones.
    std::vector<std::string> DetectorFiles;
    // The checksum cache: CacheFile, or the user's default when empty; none
    // with NoCache. CacheStats prints what it holds instead of scanning.
    std::string CacheFile;
    bool NoCache = false;
    bool CacheStats = false;
    // --names-from's reference datafiles, in order; --unknown-only keeps the
    // rows none of them knows; --missing writes their sets nothing matched.
    std::vector<std::string> NamesFrom;
    bool UnknownOnly = false;
    std::string Missing;
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
};

// The credits of a datafile read with --from, those the command line gave replaced.
TDatafileCredits CreditsOverFile(const TCliOptions& options, TDatafileCredits fileCredits);

// Reads the arguments after the program name. Options and the directory may
// come in any order; "--" ends the options. Throws ECliUsage.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

// The text -h prints.
const char* UsageText();
// The line --version prints: the program's name and the project's version.
const char* VersionText();

} // namespace tabula
