#include "cli/CliRun.h"

#include "cli/CliOptions.h"
#include "cli/CliZipUi.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"
#include "core/datafile/Datafile.h"
#include "core/datafile/DatafileSave.h"
#include "core/platform/DirectoryListing.h"
#include "core/romlist/RomTable.h"
#include "core/scan/ScanDriver.h"
#include "core/scan/TableRowSink.h"

#include <exception>

namespace tabula {

namespace {

// The text may carry names from the disk or an archive: never raw.
void PrintError(std::ostream& err, const std::string& text, const char* hint = "") {
    err << "tabula-cli: " << TerminalMessage(text) << hint << '\n' << std::flush;
}

// The folder the output file goes in, as the system will look it up.
std::string OutputFolder(const std::string& output) {
    const std::size_t slash = output.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : output.substr(0, slash);
}

// What can be refused before the scan is refused before it, so a long scan
// does not end in a refusal that was known at its start. Returns an empty
// text when the output is acceptable so far.
std::string CheckOutputBeforeScan(const TCliOptions& options) {
    try {
        TDatafile probe;
        FillDatafile(probe, {}, options.Credits);
    } catch (const std::exception& error) {
        return error.what();
    }
    const std::string folder = OutputFolder(options.Output);
    if (!IsDirectory(folder)) {
        return "cannot write \"" + options.Output + "\": the directory \"" + folder +
               "\" does not exist";
    }
    return {};
}

std::string Summary(const TScanResult& result) {
    return std::to_string(result.Listed) + " files listed, " + std::to_string(result.Collected) +
           " read, " + std::to_string(result.Rows) + " rows, " +
           std::to_string(result.Failures.size()) + " failed";
}

} // namespace

int RunCli(const std::vector<std::string>& args, const TCliStreams& streams) {
    TCliOptions options;
    try {
        options = ParseCommandLine(args);
    } catch (const ECliUsage& error) {
        PrintError(streams.Err, error.what(), "\nTry 'tabula-cli --help'.");
        return CliBadUsage;
    }
    if (options.Help || options.Version) {
        streams.Out << (options.Help ? UsageText() : VersionText()) << std::flush;
        return CliAllRead;
    }
    if (!IsDirectory(options.Directory)) {
        PrintError(streams.Err, "\"" + options.Directory + "\" is not a directory");
        return CliBadUsage;
    }
    if (!options.Output.empty()) {
        const std::string refusal = CheckOutputBeforeScan(options);
        if (!refusal.empty()) {
            PrintError(streams.Err, refusal);
            return CliBadUsage;
        }
    }

    TTerminalProgress progress(streams.Err, streams.ErrIsTerminal && !options.Quiet,
                               streams.Columns);
    progress.SetInterrupted(streams.Interrupted);
    TCliZipUi zipUi(progress);
    TRomTable table;
    TTableRowSink<TRomTable> tableSink(table);
    TRowPrinter printer(streams.Out, progress, streams.OutIsTerminal);
    IRomRowSink& sink = options.Output.empty() ? static_cast<IRomRowSink&>(printer) : tableSink;

    TScanResult result;
    try {
        TScanDriver driver(progress, sink, &zipUi);
        result = driver.Scan(options.Directory, options.Scan);
    } catch (const EDirectoryError& error) {
        progress.ClearLine();
        PrintError(streams.Err, error.what());
        return CliBadUsage;
    } catch (const std::exception& error) {
        progress.ClearLine();
        PrintError(streams.Err, error.what());
        return CliOutputFailed;
    }
    progress.ClearLine();
    if (result.Outcome == TScanResult::TOutcome::DirectoryNotFound) {
        PrintError(streams.Err, "\"" + options.Directory + "\" is not a directory");
        return CliBadUsage;
    }
    if (progress.Drawing()) {
        progress.Message(Summary(result));
    }
    // Stopped by a signal: the rows printed so far stay, a datafile is not
    // written (an existing one is left as it was).
    if (const int signal = streams.Interrupted(); signal != 0) {
        streams.Out.flush();
        PrintError(streams.Err, options.Output.empty()
                                    ? "interrupted"
                                    : "interrupted; the datafile was not written");
        return CliSignalBase + signal;
    }

    if (!options.Output.empty()) {
        // The rows as the window's table holds them after a scan into an empty
        // table, saved as the window saves them.
        try {
            SaveDatafile(table.DataRows(), options.Credits, options.Output);
        } catch (const std::exception& error) {
            PrintError(streams.Err, "the datafile was not written: " + std::string(error.what()));
            return CliOutputFailed;
        }
    } else {
        streams.Out.flush();
        if (!streams.Out) {
            PrintError(streams.Err, "the rows could not be written to the standard output");
            return CliOutputFailed;
        }
    }
    return result.Failures.empty() ? CliAllRead : CliSomeFailed;
}

} // namespace tabula
