#pragma once

#include "core/scan/ChecksumCache.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

namespace tabula {

// The checksum cache in an SQLite database: one entry per file and options
// text, each with the file's stamp and its items in order, and a checksum
// of the whole that a read compares, so a file damaged anywhere never gives
// a wrong row. Lookups run on one connection per thread; what is stored
// waits in memory and is written by one connection in few transactions.
//
// Nothing it meets is fatal: a database that is damaged or of another
// version is set aside (renamed) and one that cannot be opened, is busy
// past its timeout or cannot be written (a read-only or full disk) is left
// alone; each time one warning says so and the cache keeps and gives
// nothing more, so files are read as without it.
class TSqliteChecksumCache final : public IChecksumCache {
public:
    // $XDG_CACHE_HOME/tabula/checksums.sqlite (~/.cache/...); "" when no
    // home directory is known.
    static std::string DefaultPath();

    // Opens the database at path, making it (and its folder, for the owner
    // alone) when it is not there.
    explicit TSqliteChecksumCache(std::string path);
    // Writes what waits, and what the scan found (Flush).
    ~TSqliteChecksumCache() override;
    TSqliteChecksumCache(const TSqliteChecksumCache&) = delete;
    TSqliteChecksumCache& operator=(const TSqliteChecksumCache&) = delete;

    std::optional<std::vector<TCrcItem>> Find(const std::string& absolutePath,
                                              const TPathStatus& stamp,
                                              const std::string& options) override;
    void Store(const std::string& absolutePath, const TPathStatus& stamp,
               const std::string& options, const std::vector<TCrcItem>& items) override;
    void ScanCompleted(const std::string& folder, bool tree, const TScanList& list) override;
    double MinimumAge() const override { return minimumAge_; }
    void SetMinimumAge(double seconds) { minimumAge_ = seconds; }

    // Writes what waits, with the lookups and hits since the last Flush as
    // the last scan's.
    void Flush();
    // Flushes, closes the database and sets a damaged one aside; the cache
    // gives and keeps nothing more. The warnings stay to be taken.
    void Close();
    // The warnings not yet taken, each a line for the user.
    std::vector<std::string> TakeWarnings();
    const std::string& Path() const { return path_; }
    bool Usable() const { return !off_.load(); }

    struct TStats {
        int64_t Files = 0;
        int64_t Members = 0;
        uint64_t Bytes = 0; // the database and its journal on disk
        int64_t LastLookups = 0;
        int64_t LastHits = 0;
    };
    // What the database holds; nothing when it cannot be used.
    std::optional<TStats> Stats();

private:
    struct TConnection;
    struct TPending {
        std::string Path;
        TPathStatus Stamp;
        std::string Options;
        std::vector<TCrcItem> Items;
    };

    void Open();
    // Opens the writer and makes the tables when the database is new; throws
    // what SQLite failed with.
    void OpenWriter();
    // An SQLite failure of code: the cache goes off with one warning, and a
    // damaged database is set aside when it is closed.
    void Fail(int code, const std::string& why);
    TConnection* ReaderHere();
    void WritePending(std::vector<TPending> pending);
    int64_t OptionsId(const std::string& options);

    std::string path_;
    const uint64_t id_; // tells this cache's readers from those of another
    double minimumAge_ = 2.0;
    std::atomic<bool> off_{false};

    std::mutex writeMutex_; // the writer and the options ids it made
    std::unique_ptr<TConnection> writer_;
    std::map<std::string, int64_t> optionsIds_;

    std::mutex warningsMutex_;
    std::vector<std::string> warnings_;
    std::string setAside_; // the suffix the database takes when closed; "" to keep it

    std::mutex pendingMutex_;
    std::vector<TPending> pending_;

    std::mutex readersMutex_;
    std::map<std::thread::id, std::unique_ptr<TConnection>> readers_;

    std::atomic<int64_t> lookups_{0};
    std::atomic<int64_t> hits_{0};
};

} // namespace tabula
