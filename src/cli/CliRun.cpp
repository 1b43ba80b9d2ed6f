#include "cli/CliRun.h"

#include "core/header/Detector.h"

#include "cli/CliNaming.h"
#include "cli/CliOptions.h"
#include "cli/CliZipUi.h"
#include "cli/RowPrinter.h"
#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"
#include "core/cache/SqliteChecksumCache.h"
#include "core/datafile/DatafileRead.h"
#include "core/datafile/DatafileSave.h"
#include "core/datafile/DatafileStream.h"
#include "core/platform/DirectoryListing.h"
#include "core/platform/FileReader.h"
#include "core/platform/SequentialFile.h"
#include "core/romlist/RomTable.h"
#include "core/scan/ScanDriver.h"
#include "core/text/StringsTools.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

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
        CheckDatafileCredits(options.Credits);
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

// The rows go into the datafile as they come: none is held.
class TDatafileRowSink : public IRomRowSink {
public:
    explicit TDatafileRowSink(TDatafileStream& stream) : stream_(stream) {}
    void AddRomRow(const TRomTable::TRow& row) override { stream_.Add(row); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        stream_.Add(row, extras);
    }

private:
    TDatafileStream& stream_;
};

// The rows of a scan kept whole, for a datafile written after it.
class TKeptRowSink : public IRomRowSink {
public:
    void AddRomRow(const TRomTable::TRow& row) override { AddScannedRow(row, {}); }
    void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) override {
        Rows.push_back(row);
        Extras.push_back(extras);
    }
    std::vector<TRomTable::TRow> Rows;
    std::vector<TRowExtras> Extras;
};

// The output of --from refused before anything is written.
struct EOutputRefused {
    std::string Message;
};

// The datafile --from converts, written as its rows are read: none is held.
// A cloneof must name a game of the file, which only its end tells: the
// parents the file lacks are found on the way, and the rare file that has
// any is converted again knowing its games. Names from a reference change
// the games, so their rows are held and written at the end.
class TConversion : public IDatafileContent {
public:
    TConversion(TCliOptions& options, TCliNaming* naming,
                std::shared_ptr<const TGameNames> games = {})
        : options_(options), naming_(naming), games_(std::move(games)) {}

    void Begin(TDatafileFormat format, const TDatafileCredits& credits,
               std::shared_ptr<const TKeptHeader> header) override {
        if (!options_.FormatGiven) {
            options_.Format = format;
        }
        options_.Credits = CreditsOverFile(options_, credits);
        if (std::string refusal = CheckOutputBeforeScan(options_); !refusal.empty()) {
            throw EOutputRefused{std::move(refusal)};
        }
        header_ = std::move(header);
        holding_ = naming_ != nullptr && options_.Format != TDatafileFormat::Sectioned;
        if (!holding_) {
            Start();
        }
    }
    void Add(TRomTable::TRow row, TRowExtras extras) override {
        if (naming_ != nullptr && !naming_->Name(row, extras)) {
            return;
        }
        if (holding_) {
            held_.AddScannedRow(row, extras);
            return;
        }
        if (games_ == nullptr && options_.Format != TDatafileFormat::Sectioned) {
            AddGameNames(seen_, row, &extras);
            if (row[3] != row[1] && !TRomTable::IsBlankRow(row)) {
                parents_.insert(row[3]);
            }
        }
        Stream->Add(row, extras);
    }
    void End() override {
        if (holding_) {
            games_ = std::make_shared<const TGameNames>(
                GameNamesOf(held_.Rows, held_.Extras, header_.get()));
            Start();
            for (std::size_t r = 0; r < held_.Rows.size() && !Stream->Failed(); ++r) {
                Stream->Add(held_.Rows[r], held_.Extras[r]);
            }
        }
    }

    // The games the file holds when a cloneof written names none of them.
    std::shared_ptr<const TGameNames> LostParents() {
        if (header_ != nullptr) {
            AddRomlessGameNames(seen_, header_->GamesAfter);
        }
        const bool lost =
            std::any_of(parents_.begin(), parents_.end(),
                        [&](const std::string& name) { return !seen_.contains(name); });
        return lost ? std::make_shared<const TGameNames>(std::move(seen_)) : nullptr;
    }

    std::unique_ptr<TDatafileStream> Stream;

private:
    void Start() {
        Stream = std::make_unique<TDatafileStream>(
            options_.Output, options_.Format,
            TDatafileInfo{options_.Credits, {}, header_, {}, games_});
    }

    TCliOptions& options_;
    TCliNaming* naming_;
    std::shared_ptr<const TGameNames> games_;
    std::shared_ptr<const TKeptHeader> header_;
    bool holding_ = false;
    TKeptRowSink held_;
    TGameNames seen_;
    TGameNames parents_;
};

// What the target format had no room for, and the cloneof left out, said
// once with their counts.
void PrintDropped(const TDroppedNames& dropped, TDatafileFormat format,
                  const TCliStreams& streams) {
    if (const std::string text = DroppedText(dropped, DatafileFormatTitle(format)); !text.empty()) {
        PrintError(streams.Err, "note: " + text);
    }
}

// Calls read, a datafile or an output it refuses said as the refusal: false then.
template <class F> bool ReadOrSay(F read, const TCliStreams& streams) {
    try {
        read();
        return true;
    } catch (const EDatafileReadError& error) {
        PrintError(streams.Err, error.what());
    } catch (const EFileReadError& error) {
        PrintError(streams.Err, error.what());
    } catch (const EOutputRefused& refused) {
        PrintError(streams.Err, refused.Message);
    }
    return false;
}

int PrintFrom(const TCliOptions& options, const TCliStreams& streams, TCliNaming* naming) {
    TOpenedDatafile opened;
    if (!ReadOrSay([&] { opened = ReadDatafile(options.From); }, streams)) {
        return CliBadUsage;
    }
    THashKinds hashes;
    for (const TRowExtras& extras : opened.Extras) {
        hashes.Md5 = hashes.Md5 || !extras.Md5.empty();
        hashes.Sha1 = hashes.Sha1 || !extras.Sha1.empty();
        hashes.Sha256 = hashes.Sha256 || !extras.Sha256.empty();
    }
    TTerminalProgress progress(streams.Err, false, streams.Columns);
    TRowPrinter printer(streams.Out, progress, streams.OutIsTerminal, hashes, naming != nullptr);
    for (std::size_t r = 0; r < opened.Rows.size(); ++r) {
        if (naming == nullptr || naming->Name(opened.Rows[r], opened.Extras[r])) {
            printer.AddScannedRow(opened.Rows[r], opened.Extras[r]);
        }
    }
    streams.Out.flush();
    if (!streams.Out) {
        PrintError(streams.Err, "the rows could not be written to the standard output");
        return CliOutputFailed;
    }
    return CliAllRead;
}

// --from: the rows and credits of a datafile, printed or written again.
int RunFrom(TCliOptions options, const TCliStreams& streams, TCliNaming* naming) {
    if (options.Output.empty()) {
        return PrintFrom(options, streams, naming);
    }
    std::optional<TConversion> conversion;
    conversion.emplace(options, naming);
    // A refusal of the file or of the output, or a failed write, keeps the
    // old file; so does a signal, as after a scan.
    int signal = 0;
    try {
        if (!ReadOrSay([&] { ReadDatafile(options.From, *conversion); }, streams)) {
            return CliBadUsage;
        }
        if (auto games = conversion->LostParents()) {
            conversion.emplace(options, nullptr, std::move(games));
            if (!ReadOrSay([&] { ReadDatafile(options.From, *conversion); }, streams)) {
                return CliBadUsage;
            }
        }
        TDatafileStream& datafile = *conversion->Stream;
        if (!datafile.Finish([&] { return (signal = streams.Interrupted()) != 0; })) {
            PrintError(streams.Err, "interrupted; the datafile was not written");
            return CliSignalBase + signal;
        }
        PrintDropped(datafile.Dropped(), options.Format, streams);
    } catch (const std::exception& error) {
        PrintError(streams.Err, "the datafile was not written: " + std::string(error.what()));
        return CliOutputFailed;
    }
    return CliAllRead;
}

std::string Summary(const TScanResult& result) {
    return std::to_string(result.Listed) + " files listed, " + std::to_string(result.Collected) +
           " read, " + std::to_string(result.Rows) + " rows, " +
           std::to_string(result.Failures.size()) + " failed";
}

// Every detector is read before the scan starts: a broken one stops the run
// with its name and line, before any file is judged. (The built-in ones alone
// are read by the scan while it lists the folder.)
bool ReadDetectors(TCliOptions& options, const TCliStreams& streams) {
    try {
        std::vector<TDetector> detectors;
        for (const std::string& file : options.DetectorFiles) {
            detectors.push_back(ReadDetectorFile(file));
        }
        for (TDetector& builtIn : BuiltInDetectors()) {
            detectors.push_back(std::move(builtIn));
        }
        options.Scan.Detectors = std::make_shared<const TDetectorSet>(std::move(detectors));
        return true;
    } catch (const std::exception& error) {
        PrintError(streams.Err, error.what());
        return false;
    }
}

// What stops a scan before it starts: the status then.
std::optional<int> RefuseBeforeScan(TCliOptions& options, const TCliStreams& streams) {
    if (!IsDirectory(options.Directory)) {
        PrintError(streams.Err, "\"" + options.Directory + "\" is not a directory");
        return CliBadUsage;
    }
    if (options.Scan.Mode == TRomMode::Detect && !options.DetectorFiles.empty() &&
        !ReadDetectors(options, streams)) {
        return CliBadUsage;
    }
    if (!options.Output.empty()) {
        const std::string refusal = CheckOutputBeforeScan(options);
        if (!refusal.empty()) {
            PrintError(streams.Err, refusal);
            return CliBadUsage;
        }
    }
    return std::nullopt;
}

// A scan of the directory, its rows printed or written to the datafile.
//
// The datafile's temporary is made before the scan, so a folder that cannot
// take it is known at once; the rows are written as they come. A Logiqx or
// ClrMamePro header names a header only when one rule set made every cut,
// and a cloneof is written only when it names a game of the file, which the
// end of the scan tells: where either is in doubt (a mode that cuts, names
// from a reference), the rows are kept and written then.
class TScanRun {
public:
    TScanRun(const TCliOptions& options, const TCliStreams& streams, TCliNaming* naming)
        : options_(options), naming_(naming),
          streams_(streams), info_{options.Credits, FolderNameText(options.Directory)},
          headerAfterScan_(!options.Output.empty() &&
                           (options.Scan.Mode != TRomMode::Normal || naming != nullptr) &&
                           options.Format != TDatafileFormat::Sectioned) {}

    int Run() {
        if (!options_.Output.empty() && !headerAfterScan_ && !StartDatafile()) {
            return CliOutputFailed;
        }
        TScanResult result;
        if (const std::optional<int> stopped = Scan(result)) {
            return *stopped;
        }
        // Stopped by a signal: the rows printed so far stay, a datafile is
        // not written (an existing one is left as it was).
        if (const int signal = streams_.Interrupted(); signal != 0) {
            streams_.Out.flush();
            PrintError(streams_.Err, options_.Output.empty()
                                         ? "interrupted"
                                         : "interrupted; the datafile was not written");
            return CliSignalBase + signal;
        }
        if (headerAfterScan_ && !WriteKeptRows()) {
            return CliOutputFailed;
        }
        if (const std::optional<int> failed = FinishOutput()) {
            return *failed;
        }
        return result.Failures.empty() ? CliAllRead : CliSomeFailed;
    }

private:
    bool StartDatafile() {
        try {
            datafile_ = std::make_unique<TDatafileStream>(options_.Output, options_.Format, info_);
            return true;
        } catch (const std::exception& error) {
            PrintError(streams_.Err, "the datafile was not written: " + std::string(error.what()));
            return false;
        }
    }

    // The scan itself, the rows going where they go; the status when it
    // ended the run.
    std::optional<int> Scan(TScanResult& result) {
        TTerminalProgress progress(streams_.Err, streams_.ErrIsTerminal && !options_.Quiet,
                                   streams_.Columns);
        // A refused row ends the scan: the datafile will not be written.
        progress.SetStopCheck([&] {
            return streams_.Interrupted() != 0 || (datafile_ != nullptr && datafile_->Failed());
        });
        TCliZipUi zipUi(progress);
        TRowPrinter printer(streams_.Out, progress, streams_.OutIsTerminal, options_.Scan.Hashes,
                            naming_ != nullptr);
        std::optional<TDatafileRowSink> datafileSink;
        if (datafile_) {
            datafileSink.emplace(*datafile_);
        }
        IRomRowSink& output = headerAfterScan_ ? static_cast<IRomRowSink&>(kept_)
                              : datafileSink   ? static_cast<IRomRowSink&>(*datafileSink)
                                               : printer;
        std::optional<TNamingSink> naming;
        if (naming_ != nullptr) {
            naming.emplace(output, *naming_);
        }
        IRomRowSink& sink = naming ? static_cast<IRomRowSink&>(*naming) : output;
        TScanOptions scan = options_.Scan;
        std::shared_ptr<TSqliteChecksumCache> cache;
        if (!options_.NoCache) {
            cache = std::make_shared<TSqliteChecksumCache>(options_.CacheFile.empty()
                                                               ? TSqliteChecksumCache::DefaultPath()
                                                               : options_.CacheFile);
            PrintWarnings(*cache);
            scan.Cache = cache;
        }
        // What the cache met is said once the scan's line is gone.
        struct TCloseCache {
            TScanRun& Run;
            TSqliteChecksumCache* Cache;
            TTerminalProgress& Progress;
            ~TCloseCache() {
                if (Cache != nullptr) {
                    Cache->Close();
                    Progress.ClearLine();
                    Run.PrintWarnings(*Cache);
                }
            }
        } closeCache{*this, cache.get(), progress};
        try {
            TScanDriver driver(progress, sink, &zipUi);
            result = driver.Scan(options_.Directory, scan);
        } catch (const EDirectoryError& error) {
            progress.ClearLine();
            PrintError(streams_.Err, error.what());
            return CliBadUsage;
        } catch (const std::exception& error) {
            progress.ClearLine();
            PrintError(streams_.Err, error.what());
            return CliOutputFailed;
        }
        progress.ClearLine();
        if (result.Outcome == TScanResult::TOutcome::DirectoryNotFound) {
            PrintError(streams_.Err, "\"" + options_.Directory + "\" is not a directory");
            return CliBadUsage;
        }
        if (progress.Drawing()) {
            progress.Message(Summary(result));
        }
        return std::nullopt;
    }

    void PrintWarnings(TSqliteChecksumCache& cache) {
        for (const std::string& warning : cache.TakeWarnings()) {
            PrintError(streams_.Err, "warning: " + warning);
        }
    }

    // The rows kept for the header the whole scan decides.
    bool WriteKeptRows() {
        info_.Detector = CommonDetector(kept_.Extras);
        info_.Games =
            std::make_shared<const TGameNames>(GameNamesOf(kept_.Rows, kept_.Extras, nullptr));
        if (!StartDatafile()) {
            return false;
        }
        for (std::size_t r = 0; r < kept_.Rows.size() && !datafile_->Failed(); ++r) {
            datafile_->Add(kept_.Rows[r], kept_.Extras[r]);
        }
        return true;
    }

    // The datafile put in place, or the printed rows flushed; the status
    // when that failed.
    std::optional<int> FinishOutput() {
        if (!datafile_) {
            streams_.Out.flush();
            if (!streams_.Out) {
                PrintError(streams_.Err, "the rows could not be written to the standard output");
                return CliOutputFailed;
            }
            return std::nullopt;
        }
        // A signal that comes while the last bytes go to the disk still keeps
        // the old file.
        int late = 0;
        try {
            if (!datafile_->Finish([&] { return (late = streams_.Interrupted()) != 0; })) {
                PrintError(streams_.Err, "interrupted; the datafile was not written");
                return CliSignalBase + late;
            }
        } catch (const std::exception& error) {
            PrintError(streams_.Err, "the datafile was not written: " + std::string(error.what()));
            return CliOutputFailed;
        }
        PrintDropped(datafile_->Dropped(), options_.Format, streams_);
        return std::nullopt;
    }

    const TCliOptions& options_;
    TCliNaming* naming_;
    const TCliStreams& streams_;
    TDatafileInfo info_;
    const bool headerAfterScan_;
    std::unique_ptr<TDatafileStream> datafile_;
    TKeptRowSink kept_;
};

// --cache-stats: what the cache holds, without making one.
int PrintCacheStats(const TCliOptions& options, const TCliStreams& streams) {
    const std::string path =
        options.CacheFile.empty() ? TSqliteChecksumCache::DefaultPath() : options.CacheFile;
    if (path.empty() || !IsExistingFile(path)) {
        streams.Out << "cache: " << TerminalMessage(path) << " (none yet)\n" << std::flush;
        return CliAllRead;
    }
    TSqliteChecksumCache cache(path);
    const std::optional<TSqliteChecksumCache::TStats> stats = cache.Stats();
    cache.Close();
    for (const std::string& warning : cache.TakeWarnings()) {
        PrintError(streams.Err, "warning: " + warning);
    }
    if (!stats) {
        return CliSomeFailed;
    }
    streams.Out << "cache: " << TerminalMessage(path) << "\n"
                << "entries: " << stats->Files << " files, " << stats->Members << " roms\n"
                << "size on disk: " << stats->Bytes << " bytes\n";
    if (stats->LastLookups == 0) {
        streams.Out << "last scan: no file looked up\n";
    } else {
        const int64_t permille = stats->LastHits * 1000 / stats->LastLookups;
        streams.Out << "last scan: " << stats->LastHits << " of " << stats->LastLookups
                    << " files from the cache (" << permille / 10 << "." << permille % 10 << "%)\n";
    }
    streams.Out << std::flush;
    return CliAllRead;
}

// What --names-from found, said once the rows are out, and --missing's
// want list written; only after a run that gave every row.
int FinishNaming(const TCliNaming& naming, const TCliOptions& options, const TCliStreams& streams,
                 int status) {
    if (status != CliAllRead && status != CliSomeFailed) {
        return status;
    }
    if (!options.Quiet) {
        PrintError(streams.Err, naming.Summary());
    }
    if (!options.Missing.empty()) {
        try {
            naming.WriteMissing(options.Missing);
        } catch (const std::exception& error) {
            PrintError(streams.Err,
                       "the missing sets were not written: " + std::string(error.what()));
            return CliOutputFailed;
        }
    }
    return status;
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
    if (options.CacheStats) {
        return PrintCacheStats(options, streams);
    }
    if (options.From.empty()) {
        if (const std::optional<int> refused = RefuseBeforeScan(options, streams)) {
            return *refused;
        }
    }
    if (!options.Missing.empty() && !IsDirectory(OutputFolder(options.Missing))) {
        PrintError(streams.Err, "cannot write \"" + options.Missing + "\": the directory \"" +
                                    OutputFolder(options.Missing) + "\" does not exist");
        return CliBadUsage;
    }
    std::unique_ptr<TCliNaming> naming;
    if (!options.NamesFrom.empty() &&
        !ReadOrSay(
            [&] { naming = std::make_unique<TCliNaming>(options.NamesFrom, options.UnknownOnly); },
            streams)) {
        return CliBadUsage;
    }
    const int status = options.From.empty() ? TScanRun(options, streams, naming.get()).Run()
                                            : RunFrom(options, streams, naming.get());
    return naming ? FinishNaming(*naming, options, streams, status) : status;
}

} // namespace tabula
