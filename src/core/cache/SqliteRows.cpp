#include "core/cache/SqliteRows.h"

#include "core/checksum/CrcUpdate.h"

namespace tabula::cache {

[[noreturn]] void Throw(sqlite3* db, int code) {
    throw ECacheFailure{code, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code)};
}

void Execute(sqlite3* db, const char* sql) {
    if (const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr); code != SQLITE_OK) {
        Throw(db, code);
    }
}

int64_t Nanoseconds(const TFileTime& time) {
    return time.Seconds * 1000000000 + time.Nanoseconds;
}

TFileTime FromNanoseconds(int64_t value) {
    return {value / 1000000000, value % 1000000000};
}

// What a read compares with the entry's checksum: everything the entry
// gives, so damage anywhere in it shows. Each field ends in a zero byte, so
// no two entries give the same bytes.
uint32_t EntryChecksum(const std::string& path, const std::string& options,
                       const TPathStatus& stamp, const std::vector<TCrcItem>& items) {
    // Gathered first: one CRC over them costs less than one per field.
    thread_local std::string text;
    text.clear();
    const auto feed = [](std::string_view bytes) {
        text += bytes;
        text += '\0';
    };
    const auto number = [&feed](uint64_t value) {
        feed(std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
    };
    feed(path);
    feed(options);
    for (const uint64_t value :
         {stamp.Device, stamp.Inode, stamp.Size, static_cast<uint64_t>(Nanoseconds(stamp.Modified)),
          static_cast<uint64_t>(Nanoseconds(stamp.Changed)), uint64_t{items.size()}}) {
        number(value);
    }
    for (const TCrcItem& item : items) {
        for (const std::string* field : {&item.Name, &item.CrcText, &item.Md5, &item.Sha1,
                                         &item.Sha256, &item.NameOnDisk, &item.Detector}) {
            feed(*field);
        }
        number(static_cast<uint64_t>(item.Size));
    }
    uint32_t crc = CrcInit;
    CrcUpdate(text.data(), 0, text.size(), crc);
    return ~crc;
}

// The stamp in the five columns from first on: device, inode, size, mtime, ctime.
TPathStatus StampOf(const TStatement& row, int first) {
    TPathStatus stamp;
    stamp.Kind = TPathKind::Regular;
    stamp.Device = static_cast<uint64_t>(row.Int(first));
    stamp.Inode = static_cast<uint64_t>(row.Int(first + 1));
    stamp.Size = static_cast<uint64_t>(row.Int(first + 2));
    stamp.Modified = FromNanoseconds(row.Int(first + 3));
    stamp.Changed = FromNanoseconds(row.Int(first + 4));
    return stamp;
}

// A member in the eight columns from first on, in the table's order.
TCrcItem MemberOf(const TStatement& row, int first) {
    return {row.Bytes(first),     row.Bytes(first + 2), row.Int(first + 3),   row.Bytes(first + 4),
            row.Bytes(first + 5), row.Bytes(first + 6), row.Bytes(first + 1), row.Bytes(first + 7)};
}

} // namespace tabula::cache
