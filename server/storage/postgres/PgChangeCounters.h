#pragma once
// Tells when what a statement reads may have changed, for every server on one
// database: --init keeps counters per client table in solvane_change_slots,
// moved by a statement-level trigger inside the transaction of each change,
// whoever makes it (any server, psql, a restore). A session reads the counters before
// it runs the statement, so a change committed in between can only make the
// answer newer than its version, never older.

#include "storage/postgres/PgConnection.h"

#include <chrono>
#include <optional>
#include <string>

namespace appserver {

// The counters, the function that moves them and the triggers; creates what
// is missing, so it brings a database made by an earlier --init up to date.
std::string changeCountersSql();

// What the server's role needs: to read the counters, nothing more.
std::string grantChangeCountersSql(const std::string &quotedRole);

// One line on stderr when the database keeps no counters the role may read.
void reportMissingChangeCounters(PGconn *conn);

class PgChangeCounters {
public:
    // The version of the tables in tables (bit i for kClientTables[i]) now;
    // nullopt when the counters cannot be read, such as on a database made by
    // an earlier --init. Costs one short query, made through call.
    std::optional<std::string> versionOf(PGconn *conn, unsigned tables, const PgCall &call);
    // How many changes of table did more than insert rows, as the last
    // versionOf() read them; nothing when they were not read.
    std::optional<std::string> othersOf(const char *table) const;
    // The connection was opened anew: its prepared query is gone.
    void connectionReset() {
        prepared_ = false;
        read_.reset();
    }
    // A request begins: the counters are read afresh at its first version.
    // Later versions in the same request (the member check's, then the
    // statement's) reuse that read, which can only make them older than
    // what the statement then reads, never newer.
    void requestBegins() { read_.reset(); }

private:
    bool prepared_ = false;
    PgResultPtr read_;     // the counters as this request read them
    std::string database_; // the database's oid in its cluster
    // After a failed read, the next try waits, so an older database is not
    // asked for a missing table at every request.
    std::chrono::steady_clock::time_point retryAfter_{};
};

} // namespace appserver
