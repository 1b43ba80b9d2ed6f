#include "core/scan/ScanDriver.h"

#include "core/platform/DirectoryListing.h"
#include "core/platform/FileReader.h"
#include "core/scan/StringsTools.h"
#include "core/text/CodePages.h"
#include "core/zip/VolumeNames.h"

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

std::string CellText(std::string text) {
    return text.empty() ? std::string(" ") : text;
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
    collector.SnesMode = flags.SnesMode;
    collector.NesMode = flags.NesMode;
    collector.TrustZipCrc = flags.TrustZipCrc;
    collector.Hashes = flags.Hashes;
    collector.ZipMode = flags.ZipMode;
    collector.RemoveBadSize = flags.RemoveBadSize;
    collector.SkipTxtFiles = flags.SkipTxtFiles;
    collector.Ui = zipUi;
    collector.Clear();
    try {
        collector.Collect();
    } catch (...) {
        items = collector.ItemList();
        throw;
    }
    items = collector.ItemList();
}

TScanResult TScanDriver::Scan(const std::string& directory, const TScanOptions& options) {
    TScanResult result;
    const std::string dirPath = WithTrailingSeparator(directory);
    if (!IsDirectory(dirPath)) {
        return result;
    }

    // Only the count is kept: a large directory's names are held once.
    result.Listed = static_cast<int>(ListFiles(dirPath).size());
    if (result.Listed > 0) {
        progress_.SetMax(result.Listed);
    }

    // The second listing is what gets processed: files that came or went
    // since the count are taken as they are now.
    const std::vector<std::string> names = ListFiles(dirPath);
    if (names.empty()) {
        result.Outcome = TScanResult::TOutcome::Completed;
        return result;
    }
    rows_.ListingStarted();
    const TCollectorFlags flags = CollectorFlags(options);
    for (const std::string& name : names) {
        progress_.StepPosition();
        // Opened by its bytes, shown and saved as text.
        const std::string path = dirPath + name;
        const std::string text = FileNameText(name);
        progress_.SetWaitString("Processing file " + text + " ...");
        progress_.Pump();
        if (SkipsFile(name, options)) {
            continue;
        }

        ++result.Collected;
        if (flags.ZipMode) {
            if (std::string volume = EarlierVolumeOfSet(path, text); !volume.empty()) {
                result.Failures.push_back({text, path, std::move(volume)});
                progress_.FileFailed(result.Failures.back());
                continue;
            }
        }
        std::vector<TCrcItem> items;
        try {
            collect_(path, flags, zipUi_, items);
        } catch (const std::exception& error) {
            result.Failures.push_back({text, path, ValidUtf8Text(error.what())});
            progress_.FileFailed(result.Failures.back());
        } catch (...) {
            result.Failures.push_back({text, path, "Unknown error"});
            progress_.FileFailed(result.Failures.back());
        }
        // Results collected before a failure count as well.
        for (const TCrcItem& item : items) {
            const std::string onDisk =
                FileNameText(FileNamePart(item.NameOnDisk.empty() ? item.Name : item.NameOnDisk));
            TRomTable::TRow row = RomRow(text, text, onDisk, item.CrcText, DecimalText(item.Size));
            rows_.AddScannedRow(row, {item.Md5, item.Sha1, onDisk, row[4]});
            ++result.Rows;
        }

        if (progress_.CancelRequested()) {
            result.Outcome = TScanResult::TOutcome::Cancelled;
            return result;
        }
    }
    rows_.ListingCompleted();
    result.Outcome = TScanResult::TOutcome::Completed;
    return result;
}

} // namespace tabula
