#pragma once

#include "core/platform/SequentialFile.h"
#include "core/scan/Crc32.h"

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tabula::cache {

// What an SQLite call failed with: its result code and message.
struct ECacheFailure {
    int Code;
    std::string Message;
};

// Throws the failure of code on db (its message when db is known).
[[noreturn]] void Throw(sqlite3* db, int code);
// Runs sql, which returns no rows; throws on failure.
void Execute(sqlite3* db, const char* sql);

// A prepared statement, kept for many uses; every failure throws.
class TStatement {
public:
    TStatement(sqlite3* db, const char* sql) : db_(db) {
        if (const int code =
                sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
            code != SQLITE_OK) {
            Throw(db, code);
        }
    }
    ~TStatement() { sqlite3_finalize(stmt_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    // Starts a use: the last one's row and bindings are let go.
    TStatement& Start() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        return *this;
    }
    TStatement& Bind(int index, int64_t value) {
        Check(sqlite3_bind_int64(stmt_, index, value));
        return *this;
    }
    // Bytes as they are (a name need not be UTF-8); empty is an empty blob, not NULL.
    TStatement& Bind(int index, std::string_view bytes) {
        static const char nothing = 0;
        Check(sqlite3_bind_blob(stmt_, index, bytes.empty() ? &nothing : bytes.data(),
                                static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // True for a row, false when done.
    bool Step() {
        const int code = sqlite3_step(stmt_);
        if (code == SQLITE_ROW) {
            return true;
        }
        if (code != SQLITE_DONE) {
            Throw(db_, code);
        }
        return false;
    }
    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    bool IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string Bytes(int column) const {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        return bytes != nullptr
                   ? std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                   : std::string();
    }

private:
    void Check(int code) const {
        if (code != SQLITE_OK) {
            Throw(db_, code);
        }
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

int64_t Nanoseconds(const TFileTime& time);
TFileTime FromNanoseconds(int64_t value);

// What a read compares with an entry's stored checksum: everything the
// entry gives, so damage anywhere in it shows.
uint32_t EntryChecksum(const std::string& path, const std::string& options,
                       const TPathStatus& stamp, const std::vector<TCrcItem>& items);

// The stamp in the five columns of row from first on: device, inode, size,
// mtime, ctime.
TPathStatus StampOf(const TStatement& row, int first);
// A member in the eight columns of row from first on, in the members table's order.
TCrcItem MemberOf(const TStatement& row, int first);

} // namespace tabula::cache
