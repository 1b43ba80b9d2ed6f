#include "core/scan/ScanDriver.h"

#include "core/platform/CurrentDirectory.h"
#include "core/platform/DirectoryListing.h"
#include "core/platform/FileReader.h"
#include "core/platform/Processors.h"
#include "core/scan/Crc32.h"
#include "core/scan/ScanTree.h"
#include "core/scan/ScanWorkers.h"
#include "core/text/CodePages.h"
#include "core/text/StringsTools.h"
#include "core/zip/VolumeNames.h"

#include <algorithm>
#include <deque>
#include <exception>

namespace tabula {

namespace {

const char* const SkippedCatalog = "catalogix.dat";

std::string WithTrailingSeparator(const std::string& directory) {
    if (!directory.empty() && directory.back() == '/') {
        return directory;
    }
    return directory + "/";
}

// Why a file is an earlier volume of a split archive in the folder, whose
// members are that archive's rows; "" when it is not one.
std::string EarlierVolumeOfSet(const std::string& path, const std::string& text) {
    const std::optional<TSplitVolume> volume = EarlierSplitVolume(path);
    if (!volume || !IsExistingFile(volume->LastVolume)) {
        return {};
    }
    return "File \"" + text + "\" is volume " + std::to_string(volume->Number) +
           " of the split archive \"" + FileNameText(FileNamePart(volume->LastVolume)) +
           "\"; its members are read with that file";
}

// A file's collector on a worker: its messages wait to be shown in scan
// order with the file's other outcomes; a volume prompt needs its answer at
// once and goes to the user at once, one at a time.
struct TOrderedZipUi : IZipUi {
    IZipUi* Questions = nullptr;
    std::vector<std::string> Messages;

    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override {
        return Questions->AskForVolume(text, stopIcon);
    }
    void SetBusy(bool /*busy*/) override {}
    void Pump() override {}
};

std::string CellText(std::string text) {
    return text.empty() ? std::string(" ") : text;
}

// The set a file's rows name: the name without its four last characters
// (".zip", ".nes"), but a 7z archive's without ".7z" (and a lone volume's
// without ".7z.001").
std::string SetName(const std::string& text, const TCollectorFlags& flags) {
    if (flags.ZipMode && (LowerCase(FileExtension(text)) == ".7z" || IsSevenZipVolumeName(text))) {
        const std::string name = ShortFileName(text);
        return name.substr(0, LowerCase(name).rfind(".7z"));
    }
    return NameWithoutExt(text);
}

} // namespace

TScanDriver::TScanDriver(IScanProgress& progress, IRomRowSink& rows, IZipUi* zipUi)
    : progress_(progress), rows_(rows), zipUi_(zipUi), collect_(CollectWithCrc32) {}

TCollectorFlags TScanDriver::CollectorFlags(const TScanOptions& options) {
    TCollectorFlags flags;
    flags.SnesMode = options.Mode == TRomMode::Snes;
    flags.NesMode = options.Mode == TRomMode::Nes;
    flags.ZipMode = options.ScanZipArchives;
    // Read whatever the mode: the collector applies it only in SNES mode.
    flags.RemoveBadSize = options.RemoveSnesBadSize;
    flags.SkipTxtFiles = options.SkipTxt;
    flags.TrustZipCrc = options.TrustZipCrc;
    flags.Hashes = options.Hashes;
    if (options.Mode == TRomMode::Detect) {
        flags.Detectors = options.Detectors ? options.Detectors.get() : &BuiltInDetectorSet();
    }
    return flags;
}

TRomTable::TRow TScanDriver::RomRow(const std::string& dosName, const std::string& fullName,
                                    const std::string& romName, const std::string& crcText,
                                    const std::string& sizeText) {
    const std::string dos = CellText(LowerCase(NameWithoutExt(dosName)));
    const std::string full = CellText(NameWithoutExt(fullName));
    return {dos,
            full,
            dos,
            full,
            CellText(LowerCase(romName)),
            CellText(UpperCase(crcText)),
            CellText(sizeText)};
}

bool TScanDriver::SkipsFile(const std::string& name, const TScanOptions& options) {
    const std::string lowerName = LowerCase(name);
    const std::string ext = LowerCase(FileExtension(name));
    if (lowerName == "." || lowerName == ".." || lowerName == SkippedCatalog) {
        return true;
    }
    if (!options.ScanOtherFiles && ext != ".zip") {
        return true;
    }
    return ext == ".txt" && options.SkipTxt;
}

void TScanDriver::CollectWithCrc32(const std::string& path, const TCollectorFlags& flags,
                                   IZipUi* zipUi, std::vector<TCrcItem>& items) {
    TCrc32 collector;
    collector.SetFileName(path);
    collector.SetFlags(flags);
    collector.Ui = zipUi;
    collector.Clear();
    try {
        collector.Collect();
    } catch (...) {
        items = collector.TakeItems();
        throw;
    }
    items = collector.TakeItems();
}

void TScanDriver::CollectOne(const std::string& path, const TScanEntry& entry,
                             const TScanFolder& folder, const TCollectorFlags& given, IZipUi* zipUi,
                             TFileOutcome& outcome) const {
    outcome.RowCount = 0;
    outcome.Failure.reset();
    outcome.EarlierVolume = false;
    const std::string name = FileNamePart(entry.Path);
    // A folder set's files are its roms, archives included: each is read whole.
    TCollectorFlags flags = given;
    flags.ZipMode = flags.ZipMode && folder.FolderSet.empty();
    if (flags.ZipMode) {
        if (std::string volume = EarlierVolumeOfSet(path, FileNameText(name)); !volume.empty()) {
            outcome.Failure = std::move(volume);
            outcome.EarlierVolume = true;
            return;
        }
    }
    std::vector<TCrcItem> items;
    try {
        if (cache_ != nullptr) {
            CollectThroughCache(*cache_, collect_, path, absoluteDir_, entry.Path, flags,
                                cacheOptions_[flags.ZipMode ? 1 : 0], zipUi, items);
        } else {
            collect_(path, flags, zipUi, items);
        }
    } catch (const std::exception& error) {
        outcome.Failure = ValidUtf8Text(error.what());
    } catch (...) {
        outcome.Failure = "Unknown error";
    }
    // Results collected before a failure count as well. Every row of a file
    // names the same set: its cells are made once (as RomRow makes them).
    if (items.empty()) {
        return;
    }
    const std::string set = folder.FolderSet.empty()
                                ? folder.SetPrefix + SetName(FileNameText(name), flags)
                                : folder.FolderSet;
    const std::string dos = CellText(LowerCase(set));
    const std::string full = CellText(set);
    if (outcome.Rows.size() < items.size()) {
        outcome.Rows.resize(items.size());
    }
    for (TCrcItem& item : items) {
        TScannedRow& row = outcome.Rows[outcome.RowCount++];
        std::string& onDisk = row.Extras.NameOnDisk;
        if (folder.FolderSet.empty()) {
            onDisk =
                FileNameText(FileNamePart(item.NameOnDisk.empty() ? item.Name : item.NameOnDisk));
        } else {
            onDisk = folder.RomPrefix + FileNameText(name);
        }
        // Assigned into the cells the outcome had: their memory is reused.
        row.Cells[0] = dos;
        row.Cells[1] = full;
        row.Cells[2] = dos;
        row.Cells[3] = full;
        row.Cells[4] = CellText(LowerCase(onDisk));
        row.Cells[5] = CellText(UpperCase(item.CrcText));
        row.Cells[6] = CellText(DecimalText(item.Size));
        row.Extras.Md5 = item.Md5;
        row.Extras.Sha1 = item.Sha1;
        row.Extras.Sha256 = item.Sha256;
        row.Extras.Detector = item.Detector;
        row.Extras.ScannedRomCell = row.Cells[4];
    }
}

bool TScanDriver::TakeOutcome(const std::string& path, const std::string& text,
                              TFileOutcome& outcome, TScanResult& result) {
    if (outcome.Failure) {
        result.Failures.push_back({text, path, std::move(*outcome.Failure)});
        progress_.FileFailed(result.Failures.back());
        if (outcome.EarlierVolume) {
            return false; // no collector ran
        }
    }
    for (std::size_t i = 0; i < outcome.RowCount; ++i) {
        rows_.AddScannedRow(outcome.Rows[i].Cells, outcome.Rows[i].Extras);
        ++result.Rows;
    }
    return progress_.CancelRequested();
}

bool TScanDriver::TakeFolderFailure(const std::string& dirPath, const TScanList& list,
                                    const TScanEntry& entry, TScanResult& result) {
    const std::optional<std::string>& failure = list.FolderOf(entry).Failure;
    if (!failure) {
        return false;
    }
    const std::string folder = entry.Path.substr(0, entry.Path.size() - 1); // without its "/"
    result.Failures.push_back({PathText(folder), dirPath + folder, *failure});
    progress_.FileFailed(result.Failures.back());
    return true;
}

void TScanDriver::ScanInOrder(const std::string& dirPath, const TScanList& list,
                              const TScanOptions& options, TScanResult& result) {
    const TCollectorFlags flags = CollectorFlags(options);
    TFileOutcome outcome;
    for (const TScanEntry& entry : list.Entries) {
        if (TakeFolderFailure(dirPath, list, entry, result)) {
            continue;
        }
        progress_.StepPosition();
        // Opened by its bytes, shown and saved as text.
        const std::string path = dirPath + entry.Path;
        const std::string text = PathText(entry.Path);
        progress_.SetWaitString("Processing file " + text + " ...");
        progress_.Pump();
        if (SkipsFile(FileNamePart(entry.Path), options)) {
            continue;
        }
        ++result.Collected;
        CollectOne(path, entry, list.FolderOf(entry), flags, zipUi_, outcome);
        if (TakeOutcome(path, text, outcome, result)) {
            result.Outcome = TScanResult::TOutcome::Cancelled;
            return;
        }
    }
    result.Outcome = TScanResult::TOutcome::Completed;
}

void TScanDriver::ScanOnWorkers(const std::string& dirPath, const TScanList& list,
                                const TScanOptions& options, unsigned workers,
                                TScanResult& result) {
    const TCollectorFlags flags = CollectorFlags(options);
    // One room per file in hand, reused: files far ahead of the one taken
    // next wait, so what waits stays small. Made before the workers, so that
    // it outlives every item that writes into it.
    struct TRoom {
        bool Skipped = false;
        TFileOutcome Outcome;
        TOrderedZipUi Ui;
    };
    const std::vector<TScanEntry>& names = list.Entries;
    const std::size_t window = std::min(std::size_t{workers} * 64, names.size());
    std::vector<TRoom> rooms(window);
    TScanWorkers pool(
        workers, names.size(), window, zipUi_, [&](std::size_t index, IZipUi* questions) {
            TRoom& room = rooms[index % window];
            const TScanEntry& entry = names[index];
            const TScanFolder& folder = list.FolderOf(entry);
            room.Skipped = folder.Failure || SkipsFile(FileNamePart(entry.Path), options);
            if (!room.Skipped) {
                room.Ui.Questions = questions;
                CollectOne(dirPath + entry.Path, entry, folder, flags,
                           questions != nullptr ? &room.Ui : nullptr, room.Outcome);
            }
        });
    for (std::size_t i = 0; i < names.size(); ++i) {
        TRoom& room = rooms[i % window];
        if (TakeFolderFailure(dirPath, list, names[i], result)) {
            pool.WaitFor(i);
            pool.Release(i);
            continue;
        }
        // The file named is the earliest one not yet taken.
        const std::string text = PathText(names[i].Path);
        progress_.StepPosition();
        progress_.SetWaitString("Processing file " + text + " ...");
        progress_.Pump();
        pool.WaitFor(i);
        if (room.Skipped) {
            pool.Release(i);
            continue;
        }
        ++result.Collected;
        for (const std::string& message : room.Ui.Messages) {
            zipUi_->ShowMessage(message);
        }
        const bool cancelled = TakeOutcome(dirPath + names[i].Path, text, room.Outcome, result);
        // The rows' memory stays with the room for its next file: this
        // thread only hands rows on and frees none of them.
        room.Ui.Messages.clear();
        pool.Release(i);
        if (cancelled) {
            // The files in hand finish and clean up as the pool ends; their
            // rows are not taken.
            result.Outcome = TScanResult::TOutcome::Cancelled;
            return;
        }
    }
    result.Outcome = TScanResult::TOutcome::Completed;
}

void TScanDriver::UseCache(const std::string& dirPath, const TScanOptions& options) {
    cache_ = options.Cache.get();
    if (cache_ == nullptr) {
        return;
    }
    absoluteDir_ = WithTrailingSeparator(AbsolutePath(dirPath));
    TCollectorFlags flags = CollectorFlags(options);
    flags.ZipMode = false;
    cacheOptions_[0] = CacheOptionsText(flags);
    flags.ZipMode = true;
    cacheOptions_[1] = CacheOptionsText(flags);
}

TScanResult TScanDriver::Scan(const std::string& directory, const TScanOptions& options) {
    TScanResult result;
    cache_ = nullptr;
    std::string dirPath = WithTrailingSeparator(directory);
    if (!IsDirectory(dirPath)) {
        return result;
    }
    unsigned workers = options.Jobs == 0 ? ProcessorCount() : options.Jobs;
    if (workers > 1 && (options.Mode != TRomMode::Normal || options.Hashes.Any())) {
        // An extraction moves the process's current directory for a while:
        // files read meanwhile on other threads are named from the root. A
        // listing never extracts, and a shorter path is looked up faster.
        dirPath = AbsolutePath(dirPath);
    }

    if (options.Mode == TRomMode::Detect && !options.Detectors) {
        PrepareBuiltInDetectorSet(); // read while the folder is listed
    }
    TScanList list;
    if (options.WalksTree()) {
        // One walk both counts and lists: a tree is not walked twice.
        list = ListScanEntries(dirPath, options);
        result.Listed = static_cast<int>(std::count_if(
            list.Entries.begin(), list.Entries.end(),
            [&list](const TScanEntry& entry) { return !list.FolderOf(entry).Failure; }));
    } else {
        // Only the count is kept: a large directory's names are held once.
        result.Listed = static_cast<int>(CountFiles(dirPath));
    }
    if (result.Listed > 0) {
        progress_.SetMax(result.Listed);
    }
    if (!options.WalksTree()) {
        // The second listing is what gets processed: files that came or went
        // since the count are taken as they are now.
        list = ListScanEntries(dirPath, options);
    }
    const std::vector<TScanEntry>& names = list.Entries;
    UseCache(dirPath, options);
    if (names.empty()) {
        // What was kept of the folder's files is of files gone.
        if (cache_ != nullptr) {
            cache_->ScanCompleted(absoluteDir_, options.WalksTree(), list);
        }
        result.Outcome = TScanResult::TOutcome::Completed;
        return result;
    }
    // Extracting zip members through the unzip library moves the process's
    // current directory, so zip archives take turns at it anyway; more
    // workers only contend (measured: a fifth slower on two cores). 7z and
    // RAR members are read in memory and need no turns.
    if (options.ScanZipArchives &&
        (options.Mode == TRomMode::Nes || options.Mode == TRomMode::Snes) && !options.TrustZipCrc &&
        !options.Hashes.Any() &&
        std::any_of(names.begin(), names.end(), [&list](const TScanEntry& entry) {
            return list.FolderOf(entry).FolderSet.empty() &&
                   LowerCase(FileExtension(entry.Path)) == ".zip";
        })) {
        workers = 1;
    }
    rows_.ListingStarted();
    if (workers > 1 && names.size() > 1) {
        ScanOnWorkers(dirPath, list, options, std::min<std::size_t>(workers, names.size()), result);
    } else {
        ScanInOrder(dirPath, list, options, result);
    }
    if (result.Outcome == TScanResult::TOutcome::Completed) {
        if (cache_ != nullptr) {
            cache_->ScanCompleted(absoluteDir_, options.WalksTree(), list);
        }
        rows_.ListingCompleted();
    }
    return result;
}

} // namespace tabula
