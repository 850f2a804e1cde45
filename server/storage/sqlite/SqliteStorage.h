#pragma once
// SQLite behind the Storage interface: one database file, one connection per
// session, and SQLite's own guards deciding which statements may run.

#include "storage/Storage.h"
#include "storage/sqlite/SqliteChangeCounters.h"
#include "storage/sqlite/StatementWatchdog.h"

#include <memory>
#include <string>

struct sqlite3;

namespace appserver {

struct SqliteLimits {
    int statementMillis = 3000;             // a query running longer is stopped
    int writeMillis = 1000;                 // a change running longer is stopped
    int maxValueBytes = 16 << 20;           // longest text or blob a statement may make
    long long heapLimitBytes = 512LL << 20; // whole-process cap on SQLite's memory
    int maxStatementBytes = 1 << 20;        // matches the request body cap
    // Changes go through one writer, so this only matters when another process
    // holds the database, such as a backup.
    int busyTimeoutMillis = 5000;
    // Each session's page cache, which a sort also draws on.
    long long sessionCacheBytes = 2 << 20;
    // Serve a file the server may not write: queries only. Without it such a
    // file is an error at start rather than changes failing one by one.
    bool readOnly = false;
};

// A page cache per session such that all sessions together keep to a quarter
// of the heap cap, leaving the rest to statements and answers; between 256 KiB
// and SQLite's default of 2 MiB.
long long sessionCacheFor(long long heapLimitBytes, int sessions);

class SqliteStorage : public Storage {
public:
    // Opens (and on first use creates) the database; throws std::runtime_error
    // with a readable message when that is impossible.
    SqliteStorage(std::string path, SqliteLimits limits = {});

    std::unique_ptr<Session> openSession() override;

    // Opens a connection with the server's settings but without the guards;
    // only for the server's own start-up work (schema, seeding, checks).
    sqlite3 *openTrustedConnection() const;

private:
    void requireWritable() const;
    std::string notWritable(const std::string &why) const;

    std::string path_;
    SqliteLimits limits_;
    bool immutable_ = false; // read-only, and its write-ahead index cannot be made
    StatementWatchdog watchdog_;
    std::unique_ptr<ChangeCounters> counters_;
};

} // namespace appserver
