#include "core/scan/ChecksumCache.h"

#include "core/checksum/RomHashes.h"
#include "core/platform/FileReader.h"
#include "core/text/StringsTools.h"
#include "core/zip/EndRecordSearch.h"
#include "core/zip/VolumeNames.h"
#include "core/zip/ZipUi.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tabula {

namespace {

// Loose files below these sizes are not cached: reading them costs about
// what a look-up does (measured: 100,000 empty files took 0.56 s through a
// warm cache against 0.30 s read).
constexpr uint64_t SmallFile = uint64_t{64} << 10;
constexpr uint64_t SmallWithDigests = uint64_t{8} << 10;

void AddNumber(std::string& text, int64_t value) {
    text += std::to_string(value);
    text += ',';
}

void AddBytes(std::string& text, const std::vector<uint8_t>& bytes) {
    for (const uint8_t byte : bytes) {
        AddNumber(text, byte);
    }
    text += ';';
}

// Every fact of the rules that decides a cut, so that two sets with the same
// text cut every file alike.
std::string RulesText(const TDetectorSet& detectors) {
    std::string text;
    for (const TDetector& detector : detectors.Detectors()) {
        text += detector.FileName;
        text += '\0';
        for (const TDetectorRule& rule : detector.Rules) {
            text += 'R';
            AddNumber(text, rule.Start);
            AddNumber(text, rule.End.value_or(INT64_MIN));
            AddNumber(text, static_cast<int>(rule.Operation));
            for (const TDetectorTest& test : rule.Tests) {
                text += 'T';
                AddNumber(text, static_cast<int>(test.Kind));
                AddNumber(text, test.Result);
                AddNumber(text, test.Offset);
                AddBytes(text, test.Value);
                AddBytes(text, test.Mask);
                AddNumber(text, test.PowerOfTwo);
                AddNumber(text, static_cast<int64_t>(test.Size));
                AddNumber(text, static_cast<int>(test.Operator));
                AddNumber(text, test.Modulus ? static_cast<int64_t>(*test.Modulus) : -1);
            }
        }
        text += '\0';
    }
    return text;
}

std::string RulesDigest(const TDetectorSet& detectors) {
    const std::string text = RulesText(detectors);
    TRomHashes hashes(THashKinds{false, false, true});
    hashes.Update(std::as_bytes(std::span(text.data(), text.size())));
    return hashes.Finish().Sha256;
}

// Tells whether the collector showed or asked anything: a file that did
// gives a cache nothing, since what it gave may rest on an answer.
struct TWatchingUi : IZipUi {
    IZipUi* Inner = nullptr;
    bool Used = false;

    void ShowMessage(const std::string& text) override {
        Used = true;
        if (Inner != nullptr) {
            Inner->ShowMessage(text);
        }
    }
    TVolumeAnswer AskForVolume(const std::string& text, bool stopIcon) override {
        Used = true;
        return Inner != nullptr ? Inner->AskForVolume(text, stopIcon) : TVolumeAnswer::NotShown;
    }
    void SetBusy(bool busy) override {
        if (Inner != nullptr) {
            Inner->SetBusy(busy);
        }
    }
    void Pump() override {
        if (Inner != nullptr) {
            Inner->Pump();
        }
    }
};

// Whether path ends in extension (lower case), in any case: asked of every
// file, so nothing is made for it.
bool EndsWith(std::string_view path, std::string_view extension) {
    return path.size() >= extension.size() &&
           std::equal(extension.begin(), extension.end(), path.end() - extension.size(),
                      [](char wanted, char c) {
                          return wanted == (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
                      });
}

bool IsArchive(const std::string& path, const TCollectorFlags& flags) {
    // A volume's name ends in its number ("set.7z.001"): others are not asked.
    return flags.ZipMode &&
           (EndsWith(path, ".zip") || EndsWith(path, ".7z") || EndsWith(path, ".rar") ||
            (!path.empty() && path.back() >= '0' && path.back() <= '9' &&
             IsSevenZipVolumeName(path)));
}

// Whether the file's rows come from its archive's directory: in normal
// mode, or from a zip with trusted CRCs, of whose members only the header
// bytes are read. That costs no more than an entry's look-up and keeping
// it (100,000 zips in NES mode with trusted CRCs: 0.94 s read, 2.0 s the
// first time through the cache, 0.65 s the next), so such a file is read.
// The mode is asked first: it is cheaper than the name.
bool RowsFromDirectory(const std::string& path, const TCollectorFlags& flags) {
    if (flags.Hashes.Any() || flags.Detectors != nullptr) {
        return false;
    }
    if (!flags.NesMode && !flags.SnesMode) {
        return IsArchive(path, flags);
    }
    return flags.TrustZipCrc && flags.ZipMode && LowerCase(FileExtension(path)) == ".zip";
}

// Whether the zip's end record makes it one volume of several; true as well
// when the record cannot be read.
bool EndRecordSpansVolumes(const std::string& path) {
    TFileReader file;
    if (!file.Open(path)) {
        return true;
    }
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(file.Size(), ZipFormat::MaxEndSearch));
    std::vector<uint8_t> tail(want);
    if (want < ZipFormat::EndRecordSize ||
        file.ReadAt(file.Size() - want, tail.data(), want) != want) {
        return true;
    }
    TByteCursor last(std::span<const uint8_t>(tail).last(ZipFormat::EndRecordSize));
    std::optional<TEndRecord> record = ReadEndRecord(last);
    if (!record) {
        const std::optional<TEndRecordMatch> match = SearchEndRecord(tail, file.Size());
        if (!match) {
            return true;
        }
        record = match->Record;
    }
    return record->ThisDisk != 0 || record->DirStartDisk != 0 || record->NeedsZip64();
}

// A zip that may be the last volume of a set whose first volume lies beside
// it (set.z01; set001.zip for set003.zip): reading it reads the others.
bool MayReadOtherVolumes(const std::string& path, const TCollectorFlags& flags) {
    if (!flags.ZipMode || !EndsWith(path, ".zip")) {
        return false;
    }
    if (IsExistingFile(SplitVolumeName(path, 0))) {
        return true;
    }
    // Names ending in digits are common ("Set 0002.zip"): only the archive
    // itself tells.
    const std::optional<std::string> numbered = NumberedVolumeName(path, 0);
    return numbered && *numbered != path && IsExistingFile(*numbered) &&
           EndRecordSpansVolumes(path);
}

bool ChangedLately(const TPathStatus& stamp, double minimumAge) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const double seconds = std::chrono::duration<double>(now).count();
    const auto at = [](const TFileTime& time) {
        return static_cast<double>(time.Seconds) + static_cast<double>(time.Nanoseconds) * 1e-9;
    };
    return seconds - std::max(at(stamp.Modified), at(stamp.Changed)) < minimumAge;
}

} // namespace

bool SameStamp(const TPathStatus& a, const TPathStatus& b) {
    return a.Kind == b.Kind && a.Size == b.Size && a.Device == b.Device && a.Inode == b.Inode &&
           a.Modified == b.Modified && a.Changed == b.Changed;
}

std::string CacheOptionsText(const TCollectorFlags& flags) {
    std::string text =
        "snes=" + std::to_string(flags.SnesMode) + " nes=" + std::to_string(flags.NesMode) +
        " zip=" + std::to_string(flags.ZipMode) +
        " badsize=" + std::to_string(flags.RemoveBadSize) +
        " txt=" + std::to_string(flags.SkipTxtFiles) +
        " trust=" + std::to_string(flags.TrustZipCrc) + " md5=" + std::to_string(flags.Hashes.Md5) +
        " sha1=" + std::to_string(flags.Hashes.Sha1) +
        " sha256=" + std::to_string(flags.Hashes.Sha256);
    if (flags.Detectors != nullptr) {
        text += " rules=" + RulesDigest(*flags.Detectors);
    }
    if (flags.NesMode || flags.SnesMode) {
        // Entries of these modes name the rules of their cuts since then.
        text += " cutnames=1";
    }
    return text;
}

void CollectThroughCache(IChecksumCache& cache, const TCollectFile& collect,
                         const std::string& path, std::string_view absoluteDir,
                         std::string_view relative, const TCollectorFlags& flags,
                         const std::string& options, IZipUi* zipUi, std::vector<TCrcItem>& items) {
    if (RowsFromDirectory(path, flags)) {
        collect(path, flags, zipUi, items);
        return;
    }
    const TPathStatus before = StatPath(path);
    TCollectorFlags known = flags;
    known.KnownStatus = &before;
    // A small loose file is read sooner than it is looked up (with digests
    // the bytes cost more, so the bound is lower).
    const uint64_t small = flags.Hashes.Any() ? SmallWithDigests : SmallFile;
    if (before.Kind != TPathKind::Regular || (before.Size < small && !IsArchive(path, flags))) {
        collect(path, known, zipUi, items);
        return;
    }
    const std::string absolutePath = std::string(absoluteDir) + std::string(relative);
    // A loose file's row is named by the path as given, which the entry
    // leaves out: it is kept as an empty name.
    if (std::optional<std::vector<TCrcItem>> found = cache.Find(absolutePath, before, options)) {
        items = std::move(*found);
        for (TCrcItem& item : items) {
            if (item.Name.empty()) {
                item.Name = path;
            }
        }
        return;
    }
    TWatchingUi watching;
    watching.Inner = zipUi;
    // The listing tells whether other volumes were read; only a zip not
    // listed is looked at again.
    std::optional<bool> listedSpan;
    known.ListedSpan = &listedSpan;
    collect(path, known, &watching, items);
    if (watching.Used || (listedSpan ? *listedSpan : MayReadOtherVolumes(path, flags)) ||
        std::any_of(items.begin(), items.end(),
                    [](const TCrcItem& item) { return item.Name.empty(); })) {
        return;
    }
    const TPathStatus after = StatPath(path);
    if (!SameStamp(before, after) || ChangedLately(after, cache.MinimumAge())) {
        return;
    }
    std::vector<TCrcItem> kept = items;
    for (TCrcItem& item : kept) {
        if (item.Name == path && item.NameOnDisk.empty()) {
            item.Name.clear();
        }
    }
    cache.Store(absolutePath, after, options, kept);
}

} // namespace tabula
