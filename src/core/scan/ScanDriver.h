#pragma once

#include "core/romlist/RomTable.h"
#include "core/scan/ChecksumCache.h"
#include "core/scan/Crc32.h"
#include "core/scan/ScanOptions.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tabula {

class IZipUi;
struct TScanEntry;
struct TScanFolder;
struct TScanList;

// How a scan shows its progress and learns of a cancel request. The GUI
// adapts its progress window, the command line a terminal line, tests record.
struct TScanFailure;

class IScanProgress {
public:
    virtual ~IScanProgress() = default;
    // The number of files the counting pass listed; called only when it
    // listed at least one, so an empty directory keeps the previous range.
    virtual void SetMax(int max) = 0;
    // Moves the position on by one; called once per listed file, skipped
    // files included.
    virtual void StepPosition() = 0;
    // The text shown while a file is looked at.
    virtual void SetWaitString(const std::string& text) = 0;
    // Handles pending user-interface events once.
    virtual void Pump() = 0;
    // True once the user asked to stop; asked after each file handed to a
    // collector.
    virtual bool CancelRequested() = 0;
    // A file's collector failed; the scan goes on. The failure is in the
    // scan's result as well.
    virtual void FileFailed(const TScanFailure& /*failure*/) {}
};

// Where the rows of a scan go, in scan order.
class IRomRowSink {
public:
    virtual ~IRomRowSink() = default;
    // The processing pass listed at least one file; called before any row.
    virtual void ListingStarted() {}
    // One rom row, its seven cells final (an empty text already a " ").
    virtual void AddRomRow(const TRomTable::TRow& row) = 0;
    // The same row with what it carries beside its cells (the digests the
    // scan computed, the name on disk); a sink that keeps only the cells
    // takes the row alone.
    virtual void AddScannedRow(const TRomTable::TRow& row, const TRowExtras& extras) {
        (void)extras;
        AddRomRow(row);
    }
    // The processing pass went through its last file without a cancel.
    virtual void ListingCompleted() {}
};

// A file the scan handed to a collector that failed; the rows of the results
// collected before the failure were still added.
struct TScanFailure {
    std::string Name;    // the file's path from the scanned folder as text (see PathText)
    std::string Path;    // the full path given to the collector, as bytes
    std::string Message; // the collector's message, as valid UTF-8
};

struct TScanResult {
    enum class TOutcome {
        DirectoryNotFound, // nothing was done
        Completed,         // every listed file was looked at
        Cancelled,         // stopped on request after a file
    };
    TOutcome Outcome = TOutcome::DirectoryNotFound;
    int Listed = 0;    // files of the counting pass
    int Collected = 0; // files handed to a collector
    int Rows = 0;      // rows added
    std::vector<TScanFailure> Failures;
};

// The scan of one directory: lists its top-level files twice (once to count
// them, once to process them), filters them by name, runs one collector per
// remaining file and turns every result into a rom row. It knows its caller
// only through the progress and row interfaces, so a window and a command
// line drive the same scan.
class TScanDriver {
public:
    TScanDriver(IScanProgress& progress, IRomRowSink& rows, IZipUi* zipUi = nullptr);

    // Replaces the collector (a fresh TCrc32 per file unless set); for tests.
    void SetCollectFile(TCollectFile collect) { collect_ = std::move(collect); }

    // Scans directory (a trailing "/" is optional). A collector's failure is
    // recorded and the scan goes on; anything else that throws (the
    // listing, the row sink) ends the scan and passes out.
    TScanResult Scan(const std::string& directory, const TScanOptions& options);

    // The flags a scan with options gives every collector.
    static TCollectorFlags CollectorFlags(const TScanOptions& options);

    // The seven cells of the row of one result: columns 0 and 2 the name
    // without extension lower-cased, 1 and 3 as found, then the rom name
    // lower-cased, the CRC upper-cased and the size; an empty text is " ".
    static TRomTable::TRow RomRow(const std::string& dosName, const std::string& fullName,
                                  const std::string& romName, const std::string& crcText,
                                  const std::string& sizeText);

    // Whether the scan leaves the file with this name unread: ".", "..",
    // "catalogix.dat" in any case; with ScanOtherFiles off anything but
    // ".zip"; ".txt" with SkipTxt on.
    static bool SkipsFile(const std::string& name, const TScanOptions& options);

    // The collector the scan uses unless told otherwise: a fresh TCrc32.
    static void CollectWithCrc32(const std::string& path, const TCollectorFlags& flags,
                                 IZipUi* zipUi, std::vector<TCrcItem>& items);

private:
    // One file's turn: what its collector gave, and how it ended.
    struct TScannedRow {
        TRomTable::TRow Cells;
        TRowExtras Extras;
    };
    struct TFileOutcome {
        // Made where the file was read: the thread that takes them in order
        // only hands them on. The first RowCount count; the others keep
        // their memory for the next file collected into this outcome.
        std::vector<TScannedRow> Rows;
        std::size_t RowCount = 0;
        std::optional<std::string> Failure;
        bool EarlierVolume = false; // failed without a collector: an earlier volume of a set
    };
    // entry: the file, its path from the scanned folder as bytes.
    // Fills outcome anew, reusing its memory: an outcome taken on one thread
    // and filled on another is never freed across them.
    void CollectOne(const std::string& path, const TScanEntry& entry, const TScanFolder& folder,
                    const TCollectorFlags& flags, IZipUi* zipUi, TFileOutcome& outcome) const;
    // A folder of the tree that could not be read goes to the failures in
    // its place; false for a file.
    bool TakeFolderFailure(const std::string& dirPath, const TScanList& list,
                           const TScanEntry& entry, TScanResult& result);
    // Takes one processed file's outcome into the result and the sink, in
    // scan order; true when a cancel was asked for.
    bool TakeOutcome(const std::string& path, const std::string& text, TFileOutcome& outcome,
                     TScanResult& result);
    // Sets what the scan's files need of options.Cache.
    void UseCache(const std::string& dirPath, const TScanOptions& options);
    // The files of names from the processing pass on, one at a time on this
    // thread, or on workers.
    void ScanInOrder(const std::string& dirPath, const TScanList& list, const TScanOptions& options,
                     TScanResult& result);
    void ScanOnWorkers(const std::string& dirPath, const TScanList& list,
                       const TScanOptions& options, unsigned workers, TScanResult& result);

    // Set by Scan for its files when it has a cache: the folder's absolute
    // path and the options texts of its archives read as archives ([1]) and
    // as files ([0]).
    IChecksumCache* cache_ = nullptr;
    std::string absoluteDir_;
    std::string cacheOptions_[2];

    IScanProgress& progress_;
    IRomRowSink& rows_;
    IZipUi* zipUi_;
    TCollectFile collect_;
};

} // namespace tabula
