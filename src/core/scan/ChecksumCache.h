#pragma once

#include "core/platform/SequentialFile.h"
#include "core/scan/Crc32.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabula {

class IZipUi;
struct TScanList;

// The file a cache entry was made from, as the file system tells it without
// opening it: any write moves its status-change time, so an entry whose
// stamp still matches holds what reading the file would give.
bool SameStamp(const TPathStatus& a, const TPathStatus& b);

// Checksums computed before, kept between scans. Called from every worker
// at once: implementations are safe for that. What a file gave is told by
// its absolute path, its stamp and the options text of the collector
// (CacheOptionsText), and is exactly the items Collect gave it.
class IChecksumCache {
public:
    virtual ~IChecksumCache() = default;
    // The items the file gave when it had this stamp and was read with these
    // options; nothing when that is not known.
    virtual std::optional<std::vector<TCrcItem>>
    Find(const std::string& absolutePath, const TPathStatus& stamp, const std::string& options) = 0;
    // What the file gave; replaces what was kept of it before.
    virtual void Store(const std::string& absolutePath, const TPathStatus& stamp,
                       const std::string& options, const std::vector<TCrcItem>& items) = 0;
    // A scan of folder (absolute, ending in "/") ran to its end having listed
    // the files of list (by their paths from folder): what is kept of other
    // files of that folder (and, for a tree, of the folders beneath) is of
    // files gone.
    virtual void ScanCompleted(const std::string& folder, bool tree, const TScanList& list) = 0;
    // Seconds a file must have gone unchanged before what it gave is kept:
    // long enough for the coarsest clock of a file system (two seconds).
    virtual double MinimumAge() const { return 2.0; }
};

// Everything of the collector's settings that decides a file's items, as
// one text: a cache keeps each file's items per text.
std::string CacheOptionsText(const TCollectorFlags& flags);

// Collects the results of one file into items. Throws what the collector
// throws; items already holds the results collected before the failure.
using TCollectFile = std::function<void(const std::string& path, const TCollectorFlags& flags,
                                        IZipUi* zipUi, std::vector<TCrcItem>& items)>;

// Collects path (absoluteDir + relative names the same file) as collect does with
// flags (options is their CacheOptionsText), taking the items from cache when it knows them,
// without opening the file. What a read gave is told to the cache only when the file did not change
// meanwhile, showed no message and asked nothing, read no other file (a
// volume of a set), and was last changed at least the cache's MinimumAge
// before (so that a write within the same tick of the file system's clock is
// never missed). The same throws and partial items as collect.
void CollectThroughCache(IChecksumCache& cache, const TCollectFile& collect,
                         const std::string& path, std::string_view absoluteDir,
                         std::string_view relative, const TCollectorFlags& flags,
                         const std::string& options, IZipUi* zipUi, std::vector<TCrcItem>& items);

} // namespace tabula
