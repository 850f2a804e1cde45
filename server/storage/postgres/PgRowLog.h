#pragma once
// Own lists brought up to date on PostgreSQL from the rows this server
// changed. Triggers (made by --init) copy each row a change of projects or
// tasks touches, before and after, and note each statement that moves the
// table's change counter, into the session's own temporary table, but only
// while the session says so (solvane.log_rows): psql and other programs are
// untouched. A change tells its rows to the log shared by the server's
// sessions only when nothing else changed the table meanwhile: the table's
// version read just before the change began, moved by the change's own
// statements, must be the version read just after its commit. Both reads
// and the copies' are made outside the change, so that the log takes no part
// in what serializes changes, nor can hold one back. A list then follows the
// log from the version it was read at to the version now, and runs its
// statement when any step is missing (another server, psql, a change not
// told whole).
//
// PostgreSQL leaves rows tied by an ORDER BY in no fixed order, so the own
// lists' statements are given one: their order, then every column in table
// order, ascending; rows tied on all of them read the same in any order.

#include "statements/OwnListShapes.h"
#include "storage/Storage.h"
#include "storage/postgres/PgConnection.h"

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace appserver {

// The trigger function and the triggers; creates what is missing.
std::string rowLogSql();

// Whether the database (in UTF-8) has the triggers, enabled; creates them
// where the role may, and says on stderr when it cannot. Throws
// std::runtime_error when the database cannot be reached.
bool checkRowLog(const std::string &conninfo);

// The own list sql asks for; null when it is none.
const OwnListShape *ownListOf(const std::string &sql);

// Makes the translated statement of list answer in a total order.
void orderListTiesByColumns(const OwnListShape &list, std::string &translated);

// The tables whose rows the triggers copy (bits as PgStatement's tablesNamed).
unsigned loggedTables();

// Creates the session's table the triggers copy rows into, once per
// connection, outside a transaction; false when the role may not.
bool prepareRowCopies(const PgCall &call);

// Inside a change's transaction, before anything else: rows are copied
// until it ends.
constexpr const char *kCopyRows = "SET LOCAL solvane.log_rows = 'on'";

// What a change did to one table: the rows it changed, in order, and how
// many of its statements moved the table's counter.
struct CopiedChanges {
    std::vector<ChangedRow> rows;
    long long statements = 0;
};
// After a change's transaction: what it did to each table of loggedTables()
// it changed (by name), and the copies cleared; nothing when they cannot be
// read.
using CopiedRows = std::unordered_map<std::string, CopiedChanges>;
std::optional<CopiedRows> takeCopiedRows(const PgCall &call);

// A table's version (as PgChangeCounters tells one table's) once moved by
// statements more changes; empty when it is not one.
std::string versionMovedBy(const std::string &version, long long statements);

// The rows each logged change of this server made, by the version of its
// table before and after it; shared by the server's sessions, the oldest
// forgotten first.
class PgRowLog {
public:
    void note(const std::string &before, const std::string &after, std::vector<ChangedRow> rows);
    // The rows changed from version since to version now, in order, when
    // every change between them is logged.
    bool changesBetween(const std::string &since, const std::string &now,
                        std::vector<ChangedRow> &rows);

private:
    static constexpr size_t kMostSteps = 8192;
    static constexpr size_t kMostBytes = 16 << 20;

    struct Step {
        std::string after;
        std::vector<ChangedRow> rows;
        size_t bytes = 0;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Step> byBefore_;
    std::deque<std::string> order_; // the versions before, oldest first
    size_t bytes_ = 0;
};

} // namespace appserver
