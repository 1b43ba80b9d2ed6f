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
    std::string Output;                                  // empty: print the rows
    TDatafileFormat Format = TDatafileFormat::Sectioned; // what -o writes
    std::string FormatName = "sectioned";                // as --format gave it
    TScanOptions Scan;
    TDatafileCredits Credits;
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
};

// Reads the arguments after the program name. Options and the directory may
// come in any order; "--" ends the options. Throws ECliUsage.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

// The text -h prints.
const char* UsageText();
// The line --version prints: the program's name and the project's version.
const char* VersionText();

} // namespace tabula
