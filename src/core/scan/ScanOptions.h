#pragma once

#include "core/checksum/RomHashes.h"
#include "core/header/Detector.h"
#include "core/header/RomMode.h"

#include <memory>

namespace tabula {

class IChecksumCache;

// The choices of the scan dialog that a scan reads, with the dialog's
// initial states as defaults.
struct TScanOptions {
    // When false only ".zip" files are scanned.
    bool ScanOtherFiles = true;
    // ".txt" files and archive members yield nothing.
    bool SkipTxt = true;
    // ".zip" files are read as archives; when false they are checksummed as
    // plain files.
    bool ScanZipArchives = true;
    TRomMode Mode = TRomMode::Normal;
    // The rules of Detect mode, tried in order; none: the built-in ones.
    std::shared_ptr<const TDetectorSet> Detectors{};
    // Drop ROMs whose size fails the SNES rule; matters only in SNES mode.
    bool RemoveSnesBadSize = false;
    // NES, SNES and Detect modes: a zip member's CRC without its header comes
    // from the CRC its archive stores and the header alone, not from
    // extracting it (in Detect mode, when the rule cuts a header alone).
    bool TrustZipCrc = false;
    // MD5, SHA-1 and SHA-256 beside each CRC, of the same bytes (members are then
    // read whole, whatever TrustZipCrc says).
    THashKinds Hashes{};
    // Files read at once, each on a worker thread of its own; 0: one per
    // processor. Whatever the number, the rows, failures and progress come
    // in the order of one worker.
    unsigned Jobs = 1;
    // Every file under the folder, at any depth, each named with its folder
    // path; with FolderSets each folder directly under it is one set of
    // every file beneath (FolderSets implies the walk).
    bool Recursive = false;
    bool FolderSets = false;
    bool WalksTree() const { return Recursive || FolderSets; }
    // Checksums kept from earlier scans: a file whose entry still matches
    // is not read. None: every file is read.
    std::shared_ptr<IChecksumCache> Cache{};
};

} // namespace tabula
