#include "core/cache/SqliteChecksumCache.h"

#include "core/cache/SqliteRows.h"
#include "core/platform/CacheFiles.h"
#include "core/scan/ScanTree.h"
#include "core/text/CodePages.h"

#include <sqlite3.h>

#include <chrono>
#include <unordered_set>
#include <utility>

namespace tabula {

using namespace cache;

namespace {

constexpr int SchemaVersion = 1;
// Entries written per transaction: a scan of 100,000 files commits five times.
constexpr std::size_t WriteBatch = 20000;
constexpr int BusyMilliseconds = 5000;
const char* const Companions[] = {"-wal", "-shm", nullptr};

const char* const Schema = R"sql(
CREATE TABLE IF NOT EXISTS options(id INTEGER PRIMARY KEY, text BLOB NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS files(
    id INTEGER PRIMARY KEY, path BLOB NOT NULL,
    options INTEGER NOT NULL REFERENCES options(id),
    device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL,
    mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, checksum INTEGER NOT NULL,
    UNIQUE(path, options));
CREATE TABLE IF NOT EXISTS members(
    file INTEGER NOT NULL REFERENCES files(id) ON DELETE CASCADE, ordinal INTEGER NOT NULL,
    name BLOB NOT NULL, name_on_disk BLOB NOT NULL, crc BLOB NOT NULL, size INTEGER NOT NULL,
    md5 BLOB NOT NULL, sha1 BLOB NOT NULL, sha256 BLOB NOT NULL, detector BLOB NOT NULL,
    PRIMARY KEY(file, ordinal)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS scans(key TEXT PRIMARY KEY, value INTEGER NOT NULL);
)sql";

// The reader connection a thread used last, and the cache it belongs to:
// found again without a lock.
struct TThreadReader {
    uint64_t Cache = 0;
    void* Connection = nullptr;
};
thread_local TThreadReader threadReader;
std::atomic<uint64_t> nextCacheId{1};

} // namespace

struct TSqliteChecksumCache::TConnection {
    sqlite3* Db = nullptr;
    std::map<std::string, int64_t> OptionsIds; // a reader's, of the options it met
    std::unique_ptr<TStatement> FindOptions, FindFile;

    explicit TConnection(const std::string& path) {
        // The file exists: the cache made it for its owner alone.
        const int code = sqlite3_open_v2(path.c_str(), &Db,
                                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (code != SQLITE_OK) {
            const ECacheFailure failure{code,
                                        Db != nullptr ? sqlite3_errmsg(Db) : sqlite3_errstr(code)};
            sqlite3_close_v2(Db);
            throw failure;
        }
        sqlite3_busy_timeout(Db, BusyMilliseconds);
        sqlite3_extended_result_codes(Db, 1);
        // Pages are read in place from the mapped file, not copied in by a call
        // each. A damaged file fails here already, before the destructor could
        // close it.
        try {
            Execute(Db, "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; "
                        "PRAGMA mmap_size=1073741824");
        } catch (...) {
            sqlite3_close_v2(Db);
            throw;
        }
    }
    ~TConnection() {
        FindOptions.reset();
        FindFile.reset();
        sqlite3_close_v2(Db);
    }
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    std::optional<int64_t> OptionsId(const std::string& options) {
        if (const auto known = OptionsIds.find(options); known != OptionsIds.end()) {
            return known->second;
        }
        if (!FindOptions) {
            FindOptions = std::make_unique<TStatement>(Db, "SELECT id FROM options WHERE text=?");
        }
        if (!FindOptions->Start().Bind(1, options).Step()) {
            return std::nullopt; // not yet stored: asked again next time
        }
        return OptionsIds[options] = FindOptions->Int(0);
    }
};

std::string TSqliteChecksumCache::DefaultPath() {
    const std::string folder = UserCacheDirectory();
    return folder.empty() ? std::string() : folder + "/tabula/checksums.sqlite";
}

TSqliteChecksumCache::TSqliteChecksumCache(std::string path)
    : path_(std::move(path)), id_(nextCacheId++) {
    Open();
}

TSqliteChecksumCache::~TSqliteChecksumCache() {
    Close();
}

void TSqliteChecksumCache::Open() {
    const auto unusable = [this](const std::string& why) {
        off_ = true;
        warnings_.push_back("The checksum cache " + QuotedPath(path_) + " cannot be used (" + why +
                            "); files are read without it");
    };
    if (path_.empty()) {
        unusable("no home folder is known");
        return;
    }
    if (const size_t slash = path_.rfind('/'); slash != std::string::npos && slash > 0) {
        if (std::string why = MakePrivateDirectories(path_.substr(0, slash)); !why.empty()) {
            unusable(why);
            return;
        }
    }
    if (std::string why = PreparePrivateFile(path_); !why.empty()) {
        unusable(why);
        return;
    }
    // Two programs making the database at once meet in its change to WAL,
    // where SQLite does not wait: the later one tries again.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyMilliseconds);
    while (true) {
        try {
            OpenWriter();
            return;
        } catch (const ECacheFailure& failure) {
            if ((failure.Code & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() > until) {
                Fail(failure.Code, failure.Message);
                return;
            }
            writer_.reset();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void TSqliteChecksumCache::OpenWriter() {
    writer_ = std::make_unique<TConnection>(path_);
    Execute(writer_->Db, "PRAGMA journal_mode=WAL");
    // Made in one write transaction, so two first scans at once make it once.
    Execute(writer_->Db, "BEGIN IMMEDIATE");
    TStatement version(writer_->Db, "PRAGMA user_version");
    version.Start().Step();
    const int64_t found = version.Int(0);
    TStatement tables(writer_->Db, "SELECT count(*) FROM sqlite_master");
    tables.Start().Step();
    if (found == 0 && tables.Int(0) == 0) {
        Execute(writer_->Db, Schema);
        Execute(writer_->Db, ("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
    }
    Execute(writer_->Db, "COMMIT");
    if (found != 0 && found != SchemaVersion) {
        off_ = true;
        setAside_ = ".old";
        warnings_.push_back("The checksum cache " + QuotedPath(path_) + " is of another version (" +
                            std::to_string(found) + "); it is set aside as " +
                            QuotedPath(path_ + setAside_) + " and files are read without it");
    }
}

void TSqliteChecksumCache::Fail(int code, const std::string& why) {
    if (off_.exchange(true)) {
        return; // one warning is enough
    }
    const std::lock_guard lock(warningsMutex_);
    const std::string cache = "The checksum cache " + QuotedPath(path_);
    switch (code & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        setAside_ = ".damaged";
        warnings_.push_back(cache + " is damaged (" + why + "); it is set aside as " +
                            QuotedPath(path_ + setAside_) + " and files are read without it");
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        warnings_.push_back(cache + " is in use by another program for more than " +
                            std::to_string(BusyMilliseconds / 1000) + " seconds (" + why +
                            "); files are read without it");
        break;
    default:
        warnings_.push_back(cache + " cannot be used (" + why + "); files are read without it");
    }
}

TSqliteChecksumCache::TConnection* TSqliteChecksumCache::ReaderHere() {
    if (threadReader.Cache == id_) {
        return static_cast<TConnection*>(threadReader.Connection);
    }
    const std::lock_guard lock(readersMutex_);
    std::unique_ptr<TConnection>& reader = readers_[std::this_thread::get_id()];
    if (!reader) {
        reader = std::make_unique<TConnection>(path_);
    }
    threadReader = {id_, reader.get()};
    return reader.get();
}

std::optional<std::vector<TCrcItem>> TSqliteChecksumCache::Find(const std::string& absolutePath,
                                                                const TPathStatus& stamp,
                                                                const std::string& options) {
    if (off_.load()) {
        return std::nullopt;
    }
    ++lookups_;
    try {
        TConnection& reader = *ReaderHere();
        const std::optional<int64_t> optionsId = reader.OptionsId(options);
        if (!optionsId) {
            return std::nullopt;
        }
        if (!reader.FindFile) {
            // One statement: the file's row and its members', in order.
            reader.FindFile = std::make_unique<TStatement>(
                reader.Db, "SELECT f.device, f.inode, f.size, f.mtime, f.ctime, f.checksum, "
                           "m.name, m.name_on_disk, m.crc, m.size, m.md5, m.sha1, m.sha256, "
                           "m.detector FROM files f LEFT JOIN members m ON m.file = f.id "
                           "WHERE f.path=? AND f.options=? ORDER BY m.ordinal");
        }
        TStatement& file = reader.FindFile->Start().Bind(1, absolutePath).Bind(2, *optionsId);
        if (!file.Step()) {
            return std::nullopt;
        }
        const TPathStatus kept = StampOf(file, 0);
        const auto checksum = static_cast<uint32_t>(file.Int(5));
        if (!SameStamp(kept, stamp)) {
            return std::nullopt;
        }
        // A file that gave no row has one line, its members' columns NULL.
        std::vector<TCrcItem> items;
        if (!file.IsNull(8)) {
            do {
                items.push_back(MemberOf(file, 6));
            } while (file.Step());
        }
        if (EntryChecksum(absolutePath, options, kept, items) != checksum) {
            throw ECacheFailure{SQLITE_CORRUPT, "an entry does not match its checksum"};
        }
        ++hits_;
        return items;
    } catch (const ECacheFailure& failure) {
        Fail(failure.Code, failure.Message);
        return std::nullopt;
    }
}

void TSqliteChecksumCache::Store(const std::string& absolutePath, const TPathStatus& stamp,
                                 const std::string& options, const std::vector<TCrcItem>& items) {
    if (off_.load()) {
        return;
    }
    std::vector<TPending> batch;
    {
        const std::lock_guard lock(pendingMutex_);
        pending_.push_back({absolutePath, stamp, options, items});
        if (pending_.size() < WriteBatch) {
            return;
        }
        batch.swap(pending_);
    }
    WritePending(std::move(batch));
}

int64_t TSqliteChecksumCache::OptionsId(const std::string& options) {
    if (const auto known = optionsIds_.find(options); known != optionsIds_.end()) {
        return known->second;
    }
    TStatement insert(writer_->Db, "INSERT OR IGNORE INTO options(text) VALUES(?)");
    insert.Start().Bind(1, options).Step();
    TStatement select(writer_->Db, "SELECT id FROM options WHERE text=?");
    select.Start().Bind(1, options).Step();
    return optionsIds_[options] = select.Int(0);
}

void TSqliteChecksumCache::WritePending(std::vector<TPending> pending) {
    const std::lock_guard lock(writeMutex_);
    if (pending.empty() || off_.load()) {
        return;
    }
    sqlite3* const db = writer_->Db;
    try {
        Execute(db, "BEGIN IMMEDIATE");
        try {
            // Entries of the same path with another stamp are of an older
            // version of the file: none of them can match again.
            TStatement remove(db, "DELETE FROM files WHERE path=?1 AND (options=?2 OR device<>?3 "
                                  "OR inode<>?4 OR size<>?5 OR mtime<>?6 OR ctime<>?7)");
            TStatement file(db, "INSERT INTO files(path, options, device, inode, size, mtime, "
                                "ctime, checksum) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
            TStatement member(db, "INSERT INTO members VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
            for (const TPending& entry : pending) {
                const int64_t optionsId = OptionsId(entry.Options);
                const TPathStatus& stamp = entry.Stamp;
                const int64_t numbers[] = {optionsId,
                                           static_cast<int64_t>(stamp.Device),
                                           static_cast<int64_t>(stamp.Inode),
                                           static_cast<int64_t>(stamp.Size),
                                           Nanoseconds(stamp.Modified),
                                           Nanoseconds(stamp.Changed)};
                remove.Start().Bind(1, entry.Path);
                file.Start().Bind(1, entry.Path);
                for (int i = 0; i < 6; ++i) {
                    remove.Bind(i + 2, numbers[i]);
                    file.Bind(i + 2, numbers[i]);
                }
                remove.Step();
                file.Bind(8, EntryChecksum(entry.Path, entry.Options, stamp, entry.Items)).Step();
                const int64_t fileId = sqlite3_last_insert_rowid(db);
                int64_t ordinal = 0;
                for (const TCrcItem& item : entry.Items) {
                    member.Start().Bind(1, fileId).Bind(2, ordinal++).Bind(3, item.Name);
                    member.Bind(4, item.NameOnDisk).Bind(5, item.CrcText).Bind(6, item.Size);
                    member.Bind(7, item.Md5).Bind(8, item.Sha1).Bind(9, item.Sha256);
                    member.Bind(10, item.Detector).Step();
                }
            }
            Execute(db, "COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            optionsIds_.clear(); // those inserted went with the transaction
            throw;
        }
    } catch (const ECacheFailure& failure) {
        Fail(failure.Code, failure.Message);
    }
}

void TSqliteChecksumCache::ScanCompleted(const std::string& folder, bool tree,
                                         const TScanList& list) {
    Flush();
    const std::lock_guard lock(writeMutex_);
    if (off_.load() || folder.empty()) {
        return;
    }
    // Made only when the folder has entries: a folder of archives listed in
    // normal mode has none.
    std::unordered_set<std::string_view> present;
    const auto listed = [&](std::string_view relative) {
        if (present.empty()) {
            for (const TScanEntry& entry : list.Entries) {
                present.insert(entry.Path);
            }
        }
        return present.contains(relative);
    };
    sqlite3* const db = writer_->Db;
    try {
        Execute(db, "BEGIN IMMEDIATE");
        try {
            // Every path under folder sorts from folder to folder with its
            // last byte (the "/") one higher.
            std::string end = folder;
            end.back() = static_cast<char>(end.back() + 1);
            TStatement under(db, "SELECT id, path FROM files WHERE path>=? AND path<?");
            under.Start().Bind(1, folder).Bind(2, end);
            std::vector<int64_t> gone;
            while (under.Step()) {
                const std::string path = under.Bytes(1);
                if ((tree || path.find('/', folder.size()) == std::string::npos) &&
                    !listed(std::string_view(path).substr(folder.size()))) {
                    gone.push_back(under.Int(0));
                }
            }
            TStatement remove(db, "DELETE FROM files WHERE id=?");
            for (const int64_t id : gone) {
                remove.Start().Bind(1, id).Step();
            }
            Execute(db, "COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    } catch (const ECacheFailure& failure) {
        Fail(failure.Code, failure.Message);
    }
}

void TSqliteChecksumCache::Flush() {
    std::vector<TPending> batch;
    {
        const std::lock_guard lock(pendingMutex_);
        batch.swap(pending_);
    }
    WritePending(std::move(batch));
    const std::lock_guard lock(writeMutex_);
    const int64_t lookups = lookups_.exchange(0);
    const int64_t hits = hits_.exchange(0);
    if (off_.load() || lookups == 0) {
        return;
    }
    try {
        TStatement record(writer_->Db, "INSERT OR REPLACE INTO scans VALUES('lookups', ?), "
                                       "('hits', ?)");
        record.Start().Bind(1, lookups).Bind(2, hits).Step();
    } catch (const ECacheFailure& failure) {
        Fail(failure.Code, failure.Message);
    }
}

void TSqliteChecksumCache::Close() {
    if (writer_) {
        Flush();
    }
    off_ = true;
    readers_.clear();
    writer_.reset();
    optionsIds_.clear();
    const std::lock_guard lock(warningsMutex_);
    if (!setAside_.empty()) {
        if (std::string why = MoveAside(path_, setAside_, Companions); !why.empty()) {
            warnings_.push_back("The checksum cache " + QuotedPath(path_) +
                                " could not be set aside (" + why + ")");
        }
        setAside_.clear();
    }
}

std::vector<std::string> TSqliteChecksumCache::TakeWarnings() {
    const std::lock_guard lock(warningsMutex_);
    return std::exchange(warnings_, {});
}

std::optional<TSqliteChecksumCache::TStats> TSqliteChecksumCache::Stats() {
    const std::lock_guard lock(writeMutex_);
    if (off_.load()) {
        return std::nullopt;
    }
    try {
        TStats stats;
        TStatement count(writer_->Db, "SELECT (SELECT count(*) FROM files), "
                                      "(SELECT count(*) FROM members)");
        count.Start().Step();
        stats.Files = count.Int(0);
        stats.Members = count.Int(1);
        TStatement scans(writer_->Db, "SELECT key, value FROM scans");
        scans.Start();
        while (scans.Step()) {
            (scans.Bytes(0) == "hits" ? stats.LastHits : stats.LastLookups) = scans.Int(1);
        }
        for (const char* suffix : {"", "-wal"}) {
            stats.Bytes += DiskUsage(path_ + suffix);
        }
        return stats;
    } catch (const ECacheFailure& failure) {
        Fail(failure.Code, failure.Message);
        return std::nullopt;
    }
}

} // namespace tabula
