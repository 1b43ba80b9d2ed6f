#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tabula {

// Exit statuses of tabula-cli.
enum TCliStatus : int {
    CliAllRead = 0,      // every file was read
    CliSomeFailed = 1,   // some files failed; the rows of the others are out
    CliBadUsage = 2,     // bad arguments, or the directory is missing or unlistable
    CliOutputFailed = 3, // the datafile or the rows could not be written
    // 128 + the signal's number (130 SIGINT, 143 SIGTERM): stopped by a signal
    // after the file at hand; no datafile was written.
    CliSignalBase = 128,
};

// Where a run writes and what it knows of its terminal.
struct TCliStreams {
    std::ostream& Out;          // the rows, or the help text
    std::ostream& Err;          // messages and the progress line
    bool OutIsTerminal = false; // the rows go to a terminal
    bool ErrIsTerminal = false; // the progress line may be drawn
    int Columns = 80;           // the width of that terminal
    // The signal that asked the run to stop, or 0; asked after each file.
    std::function<int()> Interrupted = [] { return 0; };
};

// The whole of tabula-cli for the arguments after the program name; returns
// the exit status.
int RunCli(const std::vector<std::string>& args, const TCliStreams& streams);

} // namespace tabula
